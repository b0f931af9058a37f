# The 32-bit Windows DLL (mingw-w64, i686), for 32-bit host applications.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(QV_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
