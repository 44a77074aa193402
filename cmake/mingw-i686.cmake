# 32-bit product DLL. Its programs run only where the machine can execute 32-bit code;
# the runner says why and reports a skip where it cannot.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VTL_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/run-x86.sh)
