# Type libraries compiled from IDL with widl, for the target's pointer size (SYS_WIN32 in the
# 32-bit build, SYS_WIN64 in the 64-bit one).
#
# The IDL files import the standard automation library ("stdole2.tlb"), which widl reads from
# Wine's installed copy: a PE file whose TYPELIB resource widl can load through -L.

find_program(VTL_PYTHON3 python3 REQUIRED)
find_file(VTL_STDOLE2_TLB stdole2.tlb
  PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows
        /usr/lib/i386-linux-gnu/wine/i386-windows
        /usr/lib/wine/x86_64-windows
        /usr/lib/wine/i386-windows
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT VTL_STDOLE2_TLB)
  message(FATAL_ERROR "stdole2.tlb of the installed Wine was not found; run scripts/install-deps.sh")
endif()
get_filename_component(VTL_STDOLE2_DIR ${VTL_STDOLE2_TLB} DIRECTORY)

if(VTL_ARCH STREQUAL "x86")
  set(VTL_WIDL_ARCH --win32)
else()
  set(VTL_WIDL_ARCH --win64)
endif()

# The build's fixed time (SOURCE_DATE_EPOCH, or the last commit's), checked on every build and
# rewritten only when it changes: widl stamps each library with the time it ran, and the
# stamp is replaced by this one.
set(VTL_SOURCE_DATE_EPOCH ${CMAKE_BINARY_DIR}/source-date-epoch)
add_custom_target(vtl_source_date_epoch
  COMMAND ${VTL_PYTHON3} ${CMAKE_SOURCE_DIR}/cmake/source_date_epoch.py ${CMAKE_SOURCE_DIR} ${VTL_SOURCE_DATE_EPOCH}
  BYPRODUCTS ${VTL_SOURCE_DATE_EPOCH}
  VERBATIM)

# vtl_compile_type_library(<target> <output.tlb> <input.idl>)
# Compiles the IDL, which may import res/automation_base.idl, drops the banner widl adds to
# the library's custom data and puts the build's fixed time in place of widl's
# (cmake/trim_type_library.py). <target> makes <output.tlb>; the caller makes the module that
# carries it depend on <target>.
function(vtl_compile_type_library target output idl)
  set(base ${CMAKE_SOURCE_DIR}/res/automation_base.idl)
  add_custom_command(OUTPUT ${output}
    COMMAND ${VTL_WIDL} ${VTL_WIDL_ARCH} --nostdinc -I ${CMAKE_SOURCE_DIR}/res
            -L ${VTL_STDOLE2_DIR} -t -o ${output}.widl ${idl}
    COMMAND ${VTL_PYTHON3} ${CMAKE_SOURCE_DIR}/cmake/trim_type_library.py ${output}.widl ${output}
            ${VTL_SOURCE_DATE_EPOCH}
    DEPENDS ${idl} ${base} ${CMAKE_SOURCE_DIR}/cmake/trim_type_library.py ${VTL_SOURCE_DATE_EPOCH}
    COMMENT "Compiling type library ${output}"
    VERBATIM)
  add_custom_target(${target} DEPENDS ${output})
  add_dependencies(${target} vtl_source_date_epoch)
endfunction()
