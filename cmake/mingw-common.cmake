# Shared part of the two MinGW-w64 toolchain files. VTL_TRIPLE names the target.
set(CMAKE_SYSTEM_NAME Windows)

# The -posix variants carry the standard library's threads, which GoogleTest needs.
set(CMAKE_C_COMPILER   ${VTL_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VTL_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${VTL_TRIPLE}-windres)
set(VTL_OBJDUMP        ${VTL_TRIPLE}-objdump)
set(VTL_WIDL           ${VTL_TRIPLE}-widl)

set(CMAKE_FIND_ROOT_PATH /usr/${VTL_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
