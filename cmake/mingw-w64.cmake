# What the mingw-w64 toolchain files share: each sets TELVARN_MINGW_TRIPLE, the
# processor and TELVARN_WINE_ARCH (win32 or win64), then includes this file.
set(CMAKE_SYSTEM_NAME Windows)

# The -posix flavour carries std::thread and std::mutex, which GoogleTest and the
# std-library platform backend need; the DLL itself uses only the Win32 backend.
set(CMAKE_C_COMPILER ${TELVARN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TELVARN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TELVARN_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TELVARN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Everything links its C and C++ runtime statically, so the DLL and the test
# programs import nothing but Windows system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine with the loader of their architecture, in the
# checkout's own prefix for it.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh ${TELVARN_WINE_ARCH})
