# Compile and link settings shared by the library, the DLL, the tools and the tests.

set(VTL_WINDOWS_DEFINITIONS UNICODE _UNICODE STRICT NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
set(VTL_SYSTEM_LIBRARIES kernel32 advapi32 user32 gdi32 shell32 ole32 oleaut32 uuid)

# Reproducible output: no source or build folder in what the compiler writes (the tree may sit
# anywhere), and no link time in the PE headers (the linker writes one by default).
add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=>"
                    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}/=>")
add_link_options(-Wl,--no-insert-timestamp)

# Code that ends up in the DLL: no exceptions, no RTTI, small and warning-free.
function(vtl_library_settings target)
  target_compile_features(${target} PUBLIC cxx_std_17)
  target_compile_definitions(${target} PUBLIC ${VTL_WINDOWS_DEFINITIONS})
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -fno-exceptions -fno-rtti -ffunction-sections -fdata-sections)
endfunction()

# Programs that run under Wine (tools, tests, benchmarks): statically linked, so that no
# MinGW runtime DLL is needed beside them.
function(vtl_program_settings target)
  target_compile_definitions(${target} PRIVATE ${VTL_WINDOWS_DEFINITIONS})
  target_link_options(${target} PRIVATE -static)
  target_link_libraries(${target} PRIVATE ${VTL_SYSTEM_LIBRARIES})
endfunction()
