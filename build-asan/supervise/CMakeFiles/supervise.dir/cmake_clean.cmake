file(REMOVE_RECURSE
  "CMakeFiles/supervise.dir/control_file.cpp.o"
  "CMakeFiles/supervise.dir/control_file.cpp.o.d"
  "CMakeFiles/supervise.dir/launch.cpp.o"
  "CMakeFiles/supervise.dir/launch.cpp.o.d"
  "CMakeFiles/supervise.dir/restart_target.cpp.o"
  "CMakeFiles/supervise.dir/restart_target.cpp.o.d"
  "CMakeFiles/supervise.dir/supervision_loop.cpp.o"
  "CMakeFiles/supervise.dir/supervision_loop.cpp.o.d"
  "CMakeFiles/supervise.dir/supervision_world.cpp.o"
  "CMakeFiles/supervise.dir/supervision_world.cpp.o.d"
  "libsupervise.a"
  "libsupervise.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/supervise.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
