#include "wdog_runner.h"

#include "file_support.h"
#include "process_support.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <stdexcept>
#include <sstream>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

const char kBeater[] =
    "#!/bin/sh\n"
    "d=$(dirname \"$0\")\n"
    WDOG_SHELL_PRINT_OWN_SIGNALS " > \"$d/state.tmp\" && mv \"$d/state.tmp\" \"$d/state\"\n"
    "while :; do\n"
    "  touch \"$d/ctl\"\n"
    "  read -r line < \"$d/ctl\" || line=\n"
    "  [ \"$line\" = restart ] && exit 0\n"
    "  sleep 0.5\n"
    "done\n";

} // namespace

Watchdog::Watchdog(const std::string& dir, const std::string& exeName,
                   const std::vector<std::string>& arguments, const std::string& locale,
                   const std::string& argv0, void (*prepare)())
    : errFile_(dir + "/" + exeName + ".stderr"), lockPath_(LockPath(exeName))
{
    const std::string exe = dir + "/" + exeName;
    if (access(exe.c_str(), F_OK) != 0 && symlink(WDOG_BINARY, exe.c_str()) != 0)
        throw std::runtime_error("cannot link " + exe);

    std::vector<std::string> args{argv0.empty() ? exe : argv0};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv = ArgvOf(args);

    pid_ = fork();
    if (pid_ < 0)
        throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int err = open(errFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (err < 0 || dup2(err, STDERR_FILENO) < 0 || chdir(dir.c_str()) != 0)
            _exit(120);
        unsetenv("NOTIFY_SOCKET"); // a test's prepare sets it
        unsetenv("WATCHDOG_USEC");
        unsetenv("WATCHDOG_PID");
        unsetenv("LANG");
        unsetenv("LC_ALL");
        unsetenv("LC_CTYPE");
        if (!locale.empty())
            setenv("LANG", locale.c_str(), 1);
        (void)signal(SIGTERM, SIG_DFL);
        if (prepare)
            prepare();
        execv(exe.c_str(), argv.data());
        _exit(121);
    }
}

Watchdog::~Watchdog()
{
    if (reaped_)
        return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    // Killed, it could not remove its lock file.
    unlink(lockPath_.c_str());
}

int Watchdog::WaitExit(std::chrono::milliseconds timeout)
{
    const auto reap = [&] { return reaped_ || (reaped_ = (waitpid(pid_, &status_, WNOHANG) == pid_)); };
    if (!WaitUntil(reap, timeout))
        return -1;
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
}

bool Watchdog::Running()
{
    return WaitExit(std::chrono::milliseconds(0)) == -1;
}

std::string Watchdog::Stderr() const
{
    return ReadFile(errFile_);
}

std::string LockPath(const std::string& exeName)
{
    const passwd* user = getpwuid(geteuid());
    return "/dev/shm/" + exeName + (user ? user->pw_name : "");
}

bool WaitForLock(const std::string& exeName)
{
    const std::string lock = LockPath(exeName);
    return WaitUntil([&] { return access(lock.c_str(), F_OK) == 0; }, std::chrono::seconds(10));
}

std::string WdogBinary()
{
    return WDOG_BINARY;
}

bool DescendsFromThisProcess(pid_t pid)
{
    const pid_t self = getpid();
    for (int depth = 0; pid > 1 && depth < 256; ++depth) {
        pid = ParentOf(pid);
        if (pid == self)
            return true;
    }
    return false;
}

pid_t SessionOf(pid_t pid)
{
    std::istringstream fields(ReadProcStat(pid).fields);
    std::string state;
    pid_t parent = 0;
    pid_t group = 0;
    pid_t session = -1;
    fields >> state >> parent >> group >> session;
    return session;
}

void KillOwnNamed(const std::string& name)
{
    for (const pid_t pid : PidsNamed(name)) {
        // Where orphans cannot come back (qemu's user-mode emulator keeps
        // no subreaper), the session tells: the watchdog a test starts, and
        // what it starts, stay in the test's.
        if (!DescendsFromThisProcess(pid) && SessionOf(pid) != getsid(0))
            continue;
        const bool child = ParentOf(pid) == getpid();
        kill(pid, SIGKILL);
        if (child)
            waitpid(pid, nullptr, 0);
    }
}

AloneOnMachine::AloneOnMachine()
{
    const char* path = std::getenv("WDOG_ALONE_LOCK");
    fd_ = open(path && *path ? path : "/tmp/wdog-tests-alone.lock", O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    while (fd_ >= 0 && flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
}

AloneOnMachine::~AloneOnMachine()
{
    if (fd_ >= 0)
        close(fd_);
}

Reaper::Reaper(std::string name) : name_(std::move(name))
{
    // Orphans come back to this process: a program whose watchdog is gone
    // still descends from the test that started it.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
}

std::vector<pid_t> ProgramsNamed(const std::string& name)
{
    std::vector<pid_t> programs;
    for (const pid_t pid : PidsNamed(name)) {
        // One gone since it was listed (a script's child that ended) has no
        // parent to tell: it was no program.
        const pid_t parent = ParentOf(pid);
        if (parent > 0 && ProcName(parent) != name)
            programs.push_back(pid);
    }
    return programs;
}

pid_t WaitForProcessNamed(const std::string& name, std::chrono::seconds timeout, pid_t except)
{
    pid_t found = 0;
    WaitUntil(
        [&] {
            for (const pid_t pid : ProgramsNamed(name))
                if (pid != except)
                    found = pid;
            return found != 0;
        },
        timeout, std::chrono::milliseconds(100));
    return found;
}

void WriteBeater(const std::string& path)
{
    WriteExecutable(path, kBeater);
}

WatchedSetup::WatchedSetup(const std::string& subdir, const std::string& namePrefix)
    : dir(root.path() + "/" + subdir), name(UniqueName(namePrefix)), program(dir + "/" + name),
      reaper(name)
{
    if (mkdir(dir.c_str(), 0755) != 0)
        throw std::runtime_error("cannot make " + dir);
    WriteBeater(program);
}

long ResidentKiB(pid_t pid)
{
    std::istringstream status(ReadFile("/proc/" + std::to_string(pid) + "/status"));
    for (std::string key; status >> key;) {
        if (key == "VmRSS:") {
            long kib = -1;
            status >> kib;
            return kib;
        }
    }
    return -1;
}

int UnreapedChildren(pid_t pid)
{
    int count = 0;
    for (const pid_t child : ListedPids())
        if (ProcState(child) == 'Z' && ParentOf(child) == pid)
            ++count;
    return count;
}

PassCounter::PassCounter(const std::string& controlFile)
    : fd_(inotify_init1(IN_CLOEXEC))
{
    if (fd_ < 0 || inotify_add_watch(fd_, controlFile.c_str(), IN_CLOSE_NOWRITE) < 0)
        throw std::runtime_error("cannot watch " + controlFile);
    watcher_ = std::thread([this] { Watch(); });
}

PassCounter::~PassCounter()
{
    done_ = true;
    watcher_.join();
    close(fd_);
}

void PassCounter::Watch()
{
    auto last = std::chrono::steady_clock::time_point{};
    alignas(inotify_event) char buffer[4096];
    while (!done_) {
        pollfd ready{fd_, POLLIN, 0};
        if (poll(&ready, 1, 50) <= 0)
            continue;
        if (read(fd_, buffer, sizeof buffer) <= 0)
            continue;
        const auto now = std::chrono::steady_clock::now();
        if (now - last > std::chrono::milliseconds(300))
            ++passes_;
        last = now;
    }
}
