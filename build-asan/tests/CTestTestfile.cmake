# CMake generated Testfile for 
# Source directory: /work/main/tests
# Build directory: /work/main/build-asan/tests
# 
# This file includes the relevant testing commands required for 
# testing this directory and lists subdirectories to be tested as well.
include("/work/main/build-asan/tests/proctable_tests[1]_include.cmake")
include("/work/main/build-asan/tests/supervise_tests[1]_include.cmake")
include("/work/main/build-asan/tests/app_tests[1]_include.cmake")
add_test([=[WdogLinksNoGuiLibrary]=] "sh" "-c" "libs=\$(ldd \"\$1\") && echo \"\$libs\" | grep -q wx_baseu && ! echo \"\$libs\" | grep -E -q 'gtk|gdk|X11|wx_gtk|wayland'" "sh" "/work/main/build-asan/app/wdog")
set_tests_properties([=[WdogLinksNoGuiLibrary]=] PROPERTIES  _BACKTRACE_TRIPLES "/work/main/tests/CMakeLists.txt;35;add_test;/work/main/tests/CMakeLists.txt;0;")
