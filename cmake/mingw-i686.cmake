# Cross-builds for 32-bit Windows with mingw-w64 (i686) and runs the results under Wine.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TELVARN_MINGW_TRIPLE i686-w64-mingw32)
set(TELVARN_WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
