# The 32-bit x86 build on a 64-bit Debian machine, with Debian's cross
# compiler for i386 (crossbuild-essential-i386), the one that builds the i386
# package, against the i386 multiarch libraries (the framework's base library
# and GoogleTest from their ":i386" packages). Use it with
#   cmake -S . -B build-i386 -DCMAKE_TOOLCHAIN_FILE=cmake/i386-linux-gnu.cmake
# scripts/install-deps.sh --i386 installs what it needs. The programs it
# builds run on this machine, natively or under emulation, so the suite runs
# as in any other build.
set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
