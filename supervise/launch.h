#ifndef WDOG_SUPERVISE_LAUNCH_H
#define WDOG_SUPERVISE_LAUNCH_H

// Starts the program at path as a child, with no arguments, and returns at
// once: the path is used byte for byte, nothing in it is split or unquoted.
// The child gets SIGTERM at its default disposition and an empty signal mask
// whatever the watchdog ignores, and it inherits the environment and the
// working directory. Returns the child's pid, or 0 when it could not start.
long LaunchProgram(const char* path);

#endif
