
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/main/tests/process_lookup_test.cpp" "tests/CMakeFiles/proctable_tests.dir/process_lookup_test.cpp.o" "gcc" "tests/CMakeFiles/proctable_tests.dir/process_lookup_test.cpp.o.d"
  "/work/main/tests/process_table_test.cpp" "tests/CMakeFiles/proctable_tests.dir/process_table_test.cpp.o" "gcc" "tests/CMakeFiles/proctable_tests.dir/process_table_test.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  "/work/main/build-asan/proctable/CMakeFiles/proctable.dir/DependInfo.cmake"
  "/work/main/build-asan/tests/CMakeFiles/test_support.dir/DependInfo.cmake"
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
