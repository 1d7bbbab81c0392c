file(REMOVE_RECURSE
  "CMakeFiles/app.dir/own_arguments.cpp.o"
  "CMakeFiles/app.dir/own_arguments.cpp.o.d"
  "CMakeFiles/app.dir/wdog_app.cpp.o"
  "CMakeFiles/app.dir/wdog_app.cpp.o.d"
  "libapp.a"
  "libapp.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/app.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
