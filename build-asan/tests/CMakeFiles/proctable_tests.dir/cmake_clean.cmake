file(REMOVE_RECURSE
  "CMakeFiles/proctable_tests.dir/process_lookup_test.cpp.o"
  "CMakeFiles/proctable_tests.dir/process_lookup_test.cpp.o.d"
  "CMakeFiles/proctable_tests.dir/process_table_test.cpp.o"
  "CMakeFiles/proctable_tests.dir/process_table_test.cpp.o.d"
  "proctable_tests"
  "proctable_tests.pdb"
  "proctable_tests[1]_tests.cmake"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/proctable_tests.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
