# Cross-builds for 64-bit Windows with mingw-w64 (x86-64) and runs the results under wine64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TELVARN_MINGW_TRIPLE x86_64-w64-mingw32)
set(TELVARN_WINE_ARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
