#ifndef WDOG_APP_STALE_LOCK_H
#define WDOG_APP_STALE_LOCK_H

// Removes the single-instance lock file at path when the watchdog that made
// it has gone without removing it (killed with SIGKILL, or ended by a fatal
// error). The framework's checker judges a lock file that is already there
// only by whether the pid in it answers kill(pid, 0), which an unreaped
// zombie or any process that took the pid over does: every later watchdog
// would then refuse to run, silently. A file that is not a regular file of
// this user with mode 0600 holding a pid is left for the framework to
// report; one whose lock is held belongs to a live watchdog.
void RemoveStaleLock(const char* path);

#endif
