# Builds 32-bit x86 Linux programs (gcc -m32, g++-multilib), so that the i686 kernels run on any x86-64 Linux host.
# A host whose kernel runs no 32-bit code runs them through qemu-i386 registered
# with binfmt_misc (scripts/setup.sh), transparently: no emulator is named here.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)

# Libraries come from the multilib folders; nothing of the x86-64 system may be found.
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
