file(REMOVE_RECURSE
  "CMakeFiles/wdog.dir/main.cpp.o"
  "CMakeFiles/wdog.dir/main.cpp.o.d"
  "wdog"
  "wdog.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/wdog.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
