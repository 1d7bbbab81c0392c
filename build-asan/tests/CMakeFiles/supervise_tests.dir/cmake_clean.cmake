file(REMOVE_RECURSE
  "CMakeFiles/supervise_tests.dir/control_file_test.cpp.o"
  "CMakeFiles/supervise_tests.dir/control_file_test.cpp.o.d"
  "CMakeFiles/supervise_tests.dir/fake_world.cpp.o"
  "CMakeFiles/supervise_tests.dir/fake_world.cpp.o.d"
  "CMakeFiles/supervise_tests.dir/restart_target_test.cpp.o"
  "CMakeFiles/supervise_tests.dir/restart_target_test.cpp.o.d"
  "CMakeFiles/supervise_tests.dir/supervision_loop_test.cpp.o"
  "CMakeFiles/supervise_tests.dir/supervision_loop_test.cpp.o.d"
  "CMakeFiles/supervise_tests.dir/wx_test_main.cpp.o"
  "CMakeFiles/supervise_tests.dir/wx_test_main.cpp.o.d"
  "supervise_tests"
  "supervise_tests.pdb"
  "supervise_tests[1]_tests.cmake"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/supervise_tests.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
