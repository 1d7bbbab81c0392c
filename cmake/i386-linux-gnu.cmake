# The 32-bit x86 build on a 64-bit Debian machine: g++-multilib with -m32,
# linking the i386 multiarch libraries (the framework's base library and
# GoogleTest from their ":i386" packages). Use it with
#   cmake -S . -B build-i386 -DCMAKE_TOOLCHAIN_FILE=cmake/i386-linux-gnu.cmake
# scripts/install-deps.sh --i386 installs what it needs.
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
