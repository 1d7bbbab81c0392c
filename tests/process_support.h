#ifndef WDOG_TESTS_PROCESS_SUPPORT_H
#define WDOG_TESTS_PROCESS_SUPPORT_H

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>
#include <sys/types.h>

// Makes a fresh directory under /tmp and returns its path.
std::string MakeTempDir();

// A fresh directory, removed with its contents when it goes out of scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// A child of the test process under a kernel name of the test's choosing. It
// dies with the test process and is killed and reaped when it goes out of
// scope, unless it has been reaped already.
class NamedProcess {
public:
    // Starts sleep through a symbolic link called name, so that the kernel
    // names the process after the link, cut to 15 bytes.
    static NamedProcess Exec(const std::string& name);
    // Forks a child that renames itself with prctl (any name the kernel
    // takes, the empty one too), then runs body, or waits to be killed.
    static NamedProcess Rename(const std::string& name, const std::function<void()>& body = {});
    // Forks a child that keeps the test process's own name.
    static NamedProcess Twin();

    NamedProcess(NamedProcess&& other) noexcept;
    NamedProcess& operator=(NamedProcess&&) = delete;
    ~NamedProcess();

    pid_t pid() const { return pid_; }

private:
    NamedProcess(pid_t pid, std::string dir) : pid_(pid), dir_(std::move(dir)) {}
    pid_t pid_;
    std::string dir_; // holds the link of Exec, removed on destruction
};

// An execv argument vector over arguments, ended by a null pointer.
std::vector<char*> ArgvOf(std::vector<std::string>& arguments);

// A command run by unshare(1) as the first process of a pid namespace of its
// own, with a /proc of its own, in a user namespace that maps this user to
// itself (so that no root is needed). Its standard error goes to errFile.
// Killed, with every process of that namespace, when it goes out of scope.
class InPidNamespace {
public:
    explicit InPidNamespace(const std::vector<std::string>& command, const std::string& errFile = "/dev/null");
    ~InPidNamespace();
    InPidNamespace(const InPidNamespace&) = delete;
    InPidNamespace& operator=(const InPidNamespace&) = delete;

    // The command's process as this namespace sees it; waits up to five
    // seconds for it. 0 when it did not start: where user or pid namespaces
    // are not permitted, unshare fails.
    pid_t First();

private:
    pid_t unshare_ = -1;
};

// A zombie under a chosen name whose parent is alive and is not the test
// process, so that nothing the test process does can make it leave /proc.
class ForeignZombie {
public:
    explicit ForeignZombie(const std::string& name);
    ~ForeignZombie();
    ForeignZombie(const ForeignZombie&) = delete;
    ForeignZombie& operator=(const ForeignZombie&) = delete;

    pid_t pid() const { return zombie_; }

private:
    pid_t parent_ = -1;
    pid_t zombie_ = -1;
};

// A name no other process bears: prefix, the test's pid and a random part
// (the same for every call of one process), at most 7 bytes more than prefix.
std::string UniqueName(const std::string& prefix);

// Renames the calling process, as the kernel lists it.
void RenameSelf(const std::string& name);

bool ProcListed(pid_t pid);
// Listed and not a zombie.
bool IsRunning(pid_t pid);
// /proc/<pid>/stat cut around the name: the text between the first '(' and
// the last ')', and the fields after that ')' and its blank, the state first.
// Both are "" when pid is unlisted.
struct ProcStat {
    std::string name;
    std::string fields;
};
ProcStat ReadProcStat(pid_t pid);
// The state letter of /proc/<pid>/stat ('Z' for a zombie), or 0 when unlisted.
char ProcState(pid_t pid);
// The parent pid of pid, or -1.
pid_t ParentOf(pid_t pid);
// The kernel's name of pid, from /proc/<pid>/comm, or "" when unlisted.
std::string ProcName(pid_t pid);
// Polls done every step until it is true; false if it still is not after
// timeout.
template <typename Done>
bool WaitUntil(Done done, std::chrono::milliseconds timeout = std::chrono::seconds(5),
               std::chrono::milliseconds step = std::chrono::milliseconds(10))
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(step);
    }
}

// True when this process's own /proc/<pid>/stat shows its kernel name. A
// user-mode emulator such as qemu answers reads of the process's own stat
// itself, naming the process after argv[0]; /proc/<pid>/comm stays the
// kernel's.
bool OwnStatShowsKernelName();
const char* const kEmulatedOwnStat =
    "this process's own /proc stat line is not the kernel's (user-mode emulation writes it)";
// True when pid runs under a user-mode emulator: the kernel's executable of
// the process is the emulator, not the program.
bool UnderUserModeEmulator(pid_t pid);

// Wait up to five seconds for pid to reach the state or bear the name; false
// if it did not.
bool WaitForState(pid_t pid, char state);
bool WaitForName(pid_t pid, const std::string& name);

// Shell lines that print the "PPid:", "SigBlk:" and "SigIgn:" lines of the
// shell's own status. They use builtins only: while the shell waits for a
// child, it blocks every signal, and a child reading its status would see that.
#define WDOG_SHELL_PRINT_OWN_SIGNALS \
    "while read -r key value; do\n" \
    "  case $key in PPid:|SigBlk:|SigIgn:) echo \"$key $value\";; esac\n" \
    "done < /proc/$$/status"

// True when the "SigBlk:" and "SigIgn:" lines of a /proc/<pid>/status
// excerpt show no signal blocked and none of SIGINT, SIGQUIT, SIGPIPE and
// SIGTERM ignored.
bool SignalsDefaultAndNothingBlocked(const std::string& statusLines);
// The mask of the "SigIgn:" line of such an excerpt (bit n - 1 for signal n),
// or ~0 when there is none.
unsigned long IgnoredSignals(const std::string& statusLines);

// Pids of every process listed in /proc, in /proc order.
std::vector<pid_t> ListedPids();
// Pids of the running processes whose kernel name is name, in /proc order.
std::vector<pid_t> PidsNamed(const std::string& name);

// Takes the identity of user and group 65534 (nobody); false when it cannot.
bool BecomeNobody();
// Moves the caller into a mount namespace of its own, from which no mount
// propagates back; false where that is not permitted.
bool EnterPrivateMountNamespace();

// Changes the working directory while it lives.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::string& dir);
    ~WorkingDirectory();
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

private:
    std::string previous_;
};

// The descriptors pid holds open, in ascending order.
std::vector<int> OpenDescriptors(pid_t pid);

// Runs fn in a forked child and returns its wait status and what it wrote to
// standard error.
struct ChildResult {
    int status;
    std::string err;
};
ChildResult RunInChild(const std::function<void()>& fn);

#endif
