file(REMOVE_RECURSE
  "CMakeFiles/test_support.dir/file_support.cpp.o"
  "CMakeFiles/test_support.dir/file_support.cpp.o.d"
  "CMakeFiles/test_support.dir/process_support.cpp.o"
  "CMakeFiles/test_support.dir/process_support.cpp.o.d"
  "libtest_support.a"
  "libtest_support.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/test_support.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
