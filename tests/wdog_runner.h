#ifndef WDOG_TESTS_WDOG_RUNNER_H
#define WDOG_TESTS_WDOG_RUNNER_H

#include <chrono>
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
    Watchdog(const std::string& dir, const std::string& exeName,
             const std::vector<std::string>& arguments, const std::string& locale = "",
             const std::string& argv0 = "");
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

// The lock file that a watchdog of that executable name holds for this user.
std::string LockPath(const std::string& exeName);
// Waits up to ten seconds for the lock file to appear; false if it did not.
bool WaitForLock(const std::string& exeName);

// An execv argument vector over arguments, ended by a null pointer.
std::vector<char*> ArgvOf(std::vector<std::string>& arguments);

// Sends SIGKILL to every process whose kernel name is name.
void KillAllNamed(const std::string& name);
// The parent pid of pid, or -1.
pid_t ParentOf(pid_t pid);
// Waits up to timeout for a process of that name other than except; 0 if none.
pid_t WaitForProcessNamed(const std::string& name, std::chrono::seconds timeout,
                          pid_t except = 0);

// A shell script at path that stands for a watched program: it writes its
// signal state to "state" in its directory once, then touches "ctl" there
// every half second, and exits when the first line of "ctl" is "restart".
void WriteBeater(const std::string& path);

#endif
