#ifndef WDOG_TESTS_WDOG_RUNNER_H
#define WDOG_TESTS_WDOG_RUNNER_H

#include "process_support.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <string>
#include <sys/types.h>
#include <vector>

// The built wdog, started as a child of the test under an executable name of
// the test's choosing (a symbolic link in dir), so that parallel tests hold
// different locks. Standard error goes to a file. Killed and reaped on
// destruction if still running, and then its lock file is removed.
class Watchdog {
public:
    // argv[0] is dir + "/" + exeName unless argv0 is given; cwd is dir.
    // locale: "" leaves LANG and LC_ALL unset, otherwise LANG is set to it.
    // prepare, when given, runs in the child just before the exec; it ends
    // the child with status 77 when it cannot do its part.
    Watchdog(const std::string& dir, const std::string& exeName,
             const std::vector<std::string>& arguments, const std::string& locale = "",
             const std::string& argv0 = "", void (*prepare)() = nullptr);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    pid_t pid() const { return pid_; }
    // Waits up to timeout for the exit; the exit status, or -1 on timeout.
    int WaitExit(std::chrono::milliseconds timeout);
    bool Running();
    std::string Stderr() const;

private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    int status_ = 0;
    std::string errFile_;
    std::string lockPath_;
};

// The path of the built wdog.
std::string WdogBinary();

// The lock file that a watchdog of that executable name holds for this user.
std::string LockPath(const std::string& exeName);
// Waits up to ten seconds for the lock file to appear; false if it did not.
bool WaitForLock(const std::string& exeName);


// Whether pid is a child of this process, or of one of its descendants.
bool DescendsFromThisProcess(pid_t pid);
// The session of pid, or -1.
pid_t SessionOf(pid_t pid);
// Sends SIGKILL to every process of that kernel name that descends from this
// process or runs in its session (and reaps those that are its children):
// never another's.
void KillOwnNamed(const std::string& name);
// The processes of that name whose parent bears another name. A shell
// script's child bears the script's name until it execs its command: such a
// child is not a program of that name.
std::vector<pid_t> ProgramsNamed(const std::string& name);
// Waits up to timeout for a program of that name other than except; 0 if none.
pid_t WaitForProcessNamed(const std::string& name, std::chrono::seconds timeout,
                          pid_t except = 0);

// Resident memory of pid in KiB, from /proc/<pid>/status; -1 when unlisted.
long ResidentKiB(pid_t pid);
// The children of pid that have ended and are not reaped yet.
int UnreapedChildren(pid_t pid);

// Counts the passes of a watchdog by its reads of the control file (which
// it makes at every pass while the file is regular): a burst of read-only
// closes after a quiet 300 ms is one pass. A pass that follows a restart at
// once falls into the burst of the one before.
class PassCounter {
public:
    explicit PassCounter(const std::string& controlFile);
    ~PassCounter();
    PassCounter(const PassCounter&) = delete;
    PassCounter& operator=(const PassCounter&) = delete;
    // The passes seen since the last call.
    int Take() { return passes_.exchange(0); }

private:
    void Watch();

    int fd_ = -1;
    std::atomic<bool> done_{false};
    std::atomic<int> passes_{0};
    std::thread watcher_;
};

// Held by a test that must run alone on the machine, since it measures it:
// an exclusive lock on $WDOG_ALONE_LOCK (default /tmp/wdog-tests-alone.lock),
// which every such test of every build takes, in chroots too. A file that
// cannot be opened leaves the test unlocked, as one ctest's RUN_SERIAL does.
class AloneOnMachine {
public:
    AloneOnMachine();
    ~AloneOnMachine();
    AloneOnMachine(const AloneOnMachine&) = delete;
    AloneOnMachine& operator=(const AloneOnMachine&) = delete;

private:
    int fd_ = -1;
};

// Kills the watched programs a test leaves behind, and only those: from its
// construction on, orphans come back to the test's process.
class Reaper {
public:
    explicit Reaper(std::string name);
    ~Reaper() { KillOwnNamed(name_); }
    Reaper(const Reaper&) = delete;
    Reaper& operator=(const Reaper&) = delete;

private:
    std::string name_;
};

// The watched program of one test: a beater under a unique name, in subdir of
// a fresh directory. Every process of that name that the test started is
// killed at the end.
struct WatchedSetup {
    WatchedSetup(const std::string& subdir, const std::string& namePrefix);

    const TempDir root;
    const std::string dir;
    const std::string name;
    const std::string program;
    const Reaper reaper;
};

// A shell script at path that stands for a watched program: it writes its
// signal state to "state" in its directory once, then touches "ctl" there
// every half second, and exits when the first line of "ctl" is "restart".
void WriteBeater(const std::string& path);

#endif
