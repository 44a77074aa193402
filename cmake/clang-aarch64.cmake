# ARM64 DLL: Debian's clang and lld for aarch64-w64-mingw32, with the static C and C++ runtime
# that scripts/arm64-toolchain.sh builds from Debian's sources into build/arm64-toolchain. Its
# programs run under Debian's ARM64 Wine in the ARM64 root, through qemu-user
# (scripts/run-arm64.sh).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(VTL_TRIPLE aarch64-w64-mingw32)
# VTL_ARM64_TOOLCHAIN in the environment names another folder (scripts/release.sh builds an
# exported tree with this tree's runtime).
if(DEFINED ENV{VTL_ARM64_TOOLCHAIN})
  set(VTL_ARM64_TOOLCHAIN $ENV{VTL_ARM64_TOOLCHAIN})
else()
  get_filename_component(VTL_ARM64_TOOLCHAIN ${CMAKE_CURRENT_LIST_DIR}/../build/arm64-toolchain ABSOLUTE)
endif()

set(CMAKE_C_COMPILER   ${VTL_ARM64_TOOLCHAIN}/bin/${VTL_TRIPLE}-clang)
set(CMAKE_CXX_COMPILER ${VTL_ARM64_TOOLCHAIN}/bin/${VTL_TRIPLE}-clang++)
set(CMAKE_RC_COMPILER  /usr/bin/llvm-windres-16)
# llvm-windres preprocesses with the toolchain's compiler, which knows the sysroot's headers.
set(CMAKE_RC_FLAGS_INIT
  "--target=${VTL_TRIPLE} --preprocessor=${VTL_ARM64_TOOLCHAIN}/bin/${VTL_TRIPLE}-rc-preprocessor")
# GNU ld writes the PE checksum into every DLL; lld does only when asked. Signing tools fill it
# in too, so without it a signed DLL stripped of its signature would differ from the build.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-Wl,-Xlink=-release")
set(CMAKE_AR           /usr/bin/llvm-ar-16)
set(CMAKE_RANLIB       /usr/bin/llvm-ranlib-16)
set(VTL_OBJDUMP        /usr/bin/llvm-objdump-16)
set(VTL_WIDL           x86_64-w64-mingw32-widl)   # the type library is the 64-bit one

set(CMAKE_FIND_ROOT_PATH ${VTL_ARM64_TOOLCHAIN}/sysroot/${VTL_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/run-arm64.sh)
