#ifndef WDOG_APP_LOCK_FILE_H
#define WDOG_APP_LOCK_FILE_H

#include <cstdint>
#include <sys/types.h>

// Looks at the single-instance lock file at path before the framework's
// checker does, and answers true when another process holds its lock: a
// watchdog of that name runs, or is starting.
//
// The checker creates the file, locks it, then writes its pid, and on its
// way out removes the file before it lets go of the lock. It judges a file
// that is already there only by the pid in it: an empty one (a watchdog
// caught between creating and writing, or killed there) it calls invalid
// and then runs without any lock; one whose pid answers kill(pid, 0), as an
// unreaped zombie or any process that took the pid over does, keeps every
// later watchdog out, silently. So a file that nobody locks is removed here
// when it holds a pid, or when it is still empty after a short grace.
//
// The name is looked at without following it. Anything there but a regular
// file of this user with mode 0600 and one link is not the checker's: another user's link
// would make the checker read and judge whatever file it points at. Closing
// any descriptor of the file drops every lock this process holds on it: call
// this only while holding none.
enum class LockPlace : uint8_t {
    kFree,    // nothing there, or a stale file, now removed
    kInUse,   // another watchdog holds the lock, or is taking it
    kHeldElsewhere, // the holder runs in another pid namespace (a pod's
                    // other container): another machine's watchdog
    kForeign, // something else than a lock file of this user: leave it alone
};
LockPlace LookAtLockFile(const char* path);

// The pid, in this pid namespace, of the process that holds the lock on the
// lock file of this user at path, or 0 when none can be named. The same
// caution as above: call it only while holding no lock on the file.
pid_t LockHolder(const char* path);

// True when path names, at this moment, a regular file of this user with
// one link: not a symbolic link, whatever it points at.
bool IsOwnRegularFile(const char* path);

#endif
