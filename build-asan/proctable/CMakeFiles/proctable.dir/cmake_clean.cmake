file(REMOVE_RECURSE
  "CMakeFiles/proctable.dir/process_lookup.cpp.o"
  "CMakeFiles/proctable.dir/process_lookup.cpp.o.d"
  "CMakeFiles/proctable.dir/process_table.cpp.o"
  "CMakeFiles/proctable.dir/process_table.cpp.o.d"
  "libproctable.a"
  "libproctable.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/proctable.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
