
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/main/supervise/control_file.cpp" "supervise/CMakeFiles/supervise.dir/control_file.cpp.o" "gcc" "supervise/CMakeFiles/supervise.dir/control_file.cpp.o.d"
  "/work/main/supervise/launch.cpp" "supervise/CMakeFiles/supervise.dir/launch.cpp.o" "gcc" "supervise/CMakeFiles/supervise.dir/launch.cpp.o.d"
  "/work/main/supervise/restart_target.cpp" "supervise/CMakeFiles/supervise.dir/restart_target.cpp.o" "gcc" "supervise/CMakeFiles/supervise.dir/restart_target.cpp.o.d"
  "/work/main/supervise/supervision_loop.cpp" "supervise/CMakeFiles/supervise.dir/supervision_loop.cpp.o" "gcc" "supervise/CMakeFiles/supervise.dir/supervision_loop.cpp.o.d"
  "/work/main/supervise/supervision_world.cpp" "supervise/CMakeFiles/supervise.dir/supervision_world.cpp.o" "gcc" "supervise/CMakeFiles/supervise.dir/supervision_world.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  "/work/main/build-asan/proctable/CMakeFiles/proctable.dir/DependInfo.cmake"
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
