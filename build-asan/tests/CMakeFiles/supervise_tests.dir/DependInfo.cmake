
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/main/tests/control_file_test.cpp" "tests/CMakeFiles/supervise_tests.dir/control_file_test.cpp.o" "gcc" "tests/CMakeFiles/supervise_tests.dir/control_file_test.cpp.o.d"
  "/work/main/tests/fake_world.cpp" "tests/CMakeFiles/supervise_tests.dir/fake_world.cpp.o" "gcc" "tests/CMakeFiles/supervise_tests.dir/fake_world.cpp.o.d"
  "/work/main/tests/restart_target_test.cpp" "tests/CMakeFiles/supervise_tests.dir/restart_target_test.cpp.o" "gcc" "tests/CMakeFiles/supervise_tests.dir/restart_target_test.cpp.o.d"
  "/work/main/tests/supervision_loop_test.cpp" "tests/CMakeFiles/supervise_tests.dir/supervision_loop_test.cpp.o" "gcc" "tests/CMakeFiles/supervise_tests.dir/supervision_loop_test.cpp.o.d"
  "/work/main/tests/wx_test_main.cpp" "tests/CMakeFiles/supervise_tests.dir/wx_test_main.cpp.o" "gcc" "tests/CMakeFiles/supervise_tests.dir/wx_test_main.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  "/work/main/build-asan/supervise/CMakeFiles/supervise.dir/DependInfo.cmake"
  "/work/main/build-asan/tests/CMakeFiles/test_support.dir/DependInfo.cmake"
  "/work/main/build-asan/proctable/CMakeFiles/proctable.dir/DependInfo.cmake"
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
