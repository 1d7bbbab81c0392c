# A build for another Debian architecture on this machine, with Debian's
# cross compiler for it (crossbuild-essential-ARCH, the one that builds its
# package) against that architecture's multiarch libraries (the framework's
# base library and GoogleTest from their ":ARCH" packages). Use it with
#   cmake -S . -B build-ARCH -DCMAKE_TOOLCHAIN_FILE=cmake/debian-cross.cmake -DWDOG_ARCH=ARCH
# (ARCH: i386, arm64, armhf, s390x, ...). The compiler's prefix and the
# library tuple come from dpkg-architecture: they differ for i386
# (i686-linux-gnu and i386-linux-gnu). scripts/check-arch.sh ARCH installs
# what it needs. The programs it builds run on this machine, natively or
# under qemu's user-mode emulation registered with binfmt_misc
# (scripts/enable-arch.sh), so the suite runs as in any other build.
if(NOT WDOG_ARCH)
  set(WDOG_ARCH "$ENV{WDOG_ARCH}")
endif()
if(NOT WDOG_ARCH)
  message(FATAL_ERROR "name the Debian architecture to build for: -DWDOG_ARCH=ARCH")
endif()
# Read again for every try_compile: pass it on.
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES WDOG_ARCH)

foreach(variable GNU_TYPE MULTIARCH)
  execute_process(COMMAND dpkg-architecture -a${WDOG_ARCH} -qDEB_HOST_${variable}
    OUTPUT_VARIABLE wdog_${variable} OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET
    RESULT_VARIABLE wdog_status)
  if(NOT wdog_status EQUAL 0 OR NOT wdog_${variable})
    message(FATAL_ERROR "dpkg-architecture knows no architecture ${WDOG_ARCH}")
  endif()
endforeach()

set(CMAKE_C_COMPILER ${wdog_GNU_TYPE}-gcc)
set(CMAKE_CXX_COMPILER ${wdog_GNU_TYPE}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${wdog_MULTIARCH})
