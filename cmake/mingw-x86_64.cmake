# 64-bit DLL: the build whose tests run here, under the 64-bit Wine loader.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VTL_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
