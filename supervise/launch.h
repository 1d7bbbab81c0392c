#ifndef WDOG_SUPERVISE_LAUNCH_H
#define WDOG_SUPERVISE_LAUNCH_H

#include <sys/types.h>

// Starts the program at path as a child, with no arguments, and returns at
// once without waiting for it: the path is used byte for byte, nothing in it
// is split or unquoted (a path without '/' is looked up in PATH). The child
// gets SIGINT, SIGQUIT, SIGPIPE and SIGTERM at their default dispositions and
// an empty signal mask whatever the watchdog ignores or blocks, inherits the environment and the working
// directory, and keeps only the standard three descriptors. Nothing of it is
// remembered here: the process table's scan reaps it once it has ended.
// Returns the child's pid, or 0 when no child could be made.
pid_t LaunchProgram(const char* path);

#endif
