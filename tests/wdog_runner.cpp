#include "wdog_runner.h"

#include "file_support.h"
#include "process_support.h"

#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <stdexcept>
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
                   const std::string& argv0)
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
        unsetenv("LANG");
        unsetenv("LC_ALL");
        unsetenv("LC_CTYPE");
        if (!locale.empty())
            setenv("LANG", locale.c_str(), 1);
        (void)signal(SIGTERM, SIG_DFL);
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

std::vector<char*> ArgvOf(std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (auto& a : arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    return argv;
}

void KillAllNamed(const std::string& name)
{
    for (const pid_t pid : PidsNamed(name))
        kill(pid, SIGKILL);
}

pid_t ParentOf(pid_t pid)
{
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    if (close == std::string::npos || close + 4 >= stat.size())
        return -1;
    return std::atoi(stat.c_str() + close + 4);
}

pid_t WaitForProcessNamed(const std::string& name, std::chrono::seconds timeout, pid_t except)
{
    pid_t found = 0;
    WaitUntil(
        [&] {
            for (const pid_t pid : PidsNamed(name))
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
