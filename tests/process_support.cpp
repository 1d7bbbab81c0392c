#include "process_support.h"

#include "file_support.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

struct Pipe {
    int fd[2];
    Pipe()
    {
        if (pipe2(fd, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe2 failed");
    }
    ~Pipe()
    {
        CloseRead();
        CloseWrite();
    }
    void CloseRead()
    {
        if (fd[0] >= 0)
            close(fd[0]);
        fd[0] = -1;
    }
    void CloseWrite()
    {
        if (fd[1] >= 0)
            close(fd[1]);
        fd[1] = -1;
    }
};

pid_t ForkOrThrow()
{
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    return pid;
}

[[noreturn]] void PauseForever()
{
    for (;;)
        pause();
}

// True while pid is an unreaped child of this process.
bool IsOurChild(pid_t pid)
{
    siginfo_t info{};
    return waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0;
}

} // namespace

std::string MakeTempDir()
{
    char pattern[] = "/tmp/wdog-test-XXXXXX";
    if (!mkdtemp(pattern))
        throw std::runtime_error("mkdtemp failed");
    return pattern;
}

TempDir::TempDir() : path_(MakeTempDir())
{
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

NamedProcess NamedProcess::Exec(const std::string& name)
{
    std::string dir = MakeTempDir();
    const std::string link = dir + "/" + name;
    if (symlink("/bin/sleep", link.c_str()) != 0)
        throw std::runtime_error("symlink failed: " + link);

    const pid_t child = ForkOrThrow();
    if (child == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        execl(link.c_str(), link.c_str(), "1000", static_cast<char*>(nullptr));
        _exit(127);
    }
    NamedProcess process(child, std::move(dir));
    if (!WaitForName(child, name.substr(0, 15)))
        throw std::runtime_error("exec failed: " + link);
    return process;
}

pid_t ParentOf(pid_t pid)
{
    const std::string fields = ReadProcStat(pid).fields;
    return fields.size() > 2 ? std::atoi(fields.c_str() + 2) : -1;
}

std::vector<char*> ArgvOf(std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    // data() of a const string is const: exec takes char*.
    // cppcheck-suppress constVariableReference
    for (auto& a : arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    return argv;
}

InPidNamespace::InPidNamespace(const std::vector<std::string>& command, const std::string& errFile)
{
    std::vector<std::string> arguments{"unshare",      "--map-current-user", "--pid",
                                       "--fork",       "--mount-proc",       "--kill-child"};
    arguments.insert(arguments.end(), command.begin(), command.end());
    std::vector<char*> argv = ArgvOf(arguments);
    unshare_ = ForkOrThrow();
    if (unshare_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (err >= 0)
            dup2(err, STDERR_FILENO);
        execvp(argv[0], argv.data());
        _exit(127);
    }
}

InPidNamespace::~InPidNamespace()
{
    // --kill-child: the namespace's first process dies with unshare, and
    // every other one of the namespace with it.
    kill(unshare_, SIGKILL);
    waitpid(unshare_, nullptr, 0);
}

pid_t InPidNamespace::First()
{
    pid_t first = 0;
    (void)WaitUntil([&] {
        for (const pid_t pid : ListedPids())
            if (ParentOf(pid) == unshare_)
                first = pid;
        return first != 0 || !IsOurChild(unshare_) || ProcState(unshare_) == 'Z';
    });
    return first;
}

NamedProcess NamedProcess::Rename(const std::string& name, const std::function<void()>& body)
{
    Pipe sync;
    const pid_t child = ForkOrThrow();
    if (child == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        RenameSelf(name);
        const char byte = 1;
        if (write(sync.fd[1], &byte, 1) != 1)
            _exit(1);
        if (body)
            body();
        PauseForever();
    }
    sync.CloseWrite();
    char byte;
    while (read(sync.fd[0], &byte, 1) < 0 && errno == EINTR) {
    }
    return NamedProcess(child, "");
}

NamedProcess NamedProcess::Twin()
{
    const pid_t child = ForkOrThrow();
    if (child == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        PauseForever();
    }
    return NamedProcess(child, "");
}

NamedProcess::NamedProcess(NamedProcess&& other) noexcept
    : pid_(other.pid_), dir_(std::move(other.dir_))
{
    other.pid_ = -1;
    other.dir_.clear();
}

NamedProcess::~NamedProcess()
{
    // A child that the code under test has reaped already must not be
    // signalled: its pid may belong to someone else by now.
    if (pid_ > 0 && IsOurChild(pid_)) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (!dir_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
}

ForeignZombie::ForeignZombie(const std::string& name)
{
    // Orphans come back to this process, so the zombie is reaped at the end
    // instead of being left to whatever init the machine runs.
    prctl(PR_SET_CHILD_SUBREAPER, 1);

    Pipe sync;
    parent_ = ForkOrThrow();
    if (parent_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        const pid_t child = fork();
        if (child == 0) {
            RenameSelf(name);
            _exit(0);
        }
        if (write(sync.fd[1], &child, sizeof child) != sizeof child)
            _exit(1);
        PauseForever(); // never reaps the child
    }
    sync.CloseWrite();
    if (read(sync.fd[0], &zombie_, sizeof zombie_) != sizeof zombie_ || zombie_ <= 0)
        throw std::runtime_error("no zombie");
    if (!WaitForState(zombie_, 'Z'))
        throw std::runtime_error("child did not become a zombie");
}

ForeignZombie::~ForeignZombie()
{
    if (parent_ > 0) {
        kill(parent_, SIGKILL);
        waitpid(parent_, nullptr, 0);
    }
    if (zombie_ > 0)
        waitpid(zombie_, nullptr, 0);
}

std::string UniqueName(const std::string& prefix)
{
    // The pid keeps the names of one machine apart, and two random letters
    // those of a container that runs the same suite under the same pids. In
    // base 36 both take no more room than the pid did in decimal.
    static const unsigned salt = std::random_device{}() % (36 * 36);
    const auto base36 = [](unsigned long n, size_t width) {
        std::string digits;
        do {
            digits.insert(digits.begin(), "0123456789abcdefghijklmnopqrstuvwxyz"[n % 36]);
            n /= 36;
        } while (digits.size() < width || n > 0);
        return digits;
    };
    return prefix + base36(static_cast<unsigned long>(getpid()), 1) + base36(salt, 2);
}

void RenameSelf(const std::string& name)
{
    prctl(PR_SET_NAME, name.c_str());
}

bool ProcListed(pid_t pid)
{
    return access(("/proc/" + std::to_string(pid)).c_str(), F_OK) == 0;
}

ProcStat ReadProcStat(pid_t pid)
{
    const std::string line = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t open = line.find('(');
    const size_t close = line.rfind(')');
    if (close == std::string::npos)
        return {};
    ProcStat stat;
    if (open < close)
        stat.name = line.substr(open + 1, close - open - 1);
    if (close + 2 < line.size())
        stat.fields = line.substr(close + 2);
    return stat;
}

char ProcState(pid_t pid)
{
    const std::string fields = ReadProcStat(pid).fields;
    return fields.empty() ? '\0' : fields[0];
}

bool IsRunning(pid_t pid)
{
    const char state = ProcState(pid);
    return state != 0 && state != 'Z';
}

std::string ProcName(pid_t pid)
{
    const std::string comm = ReadFile("/proc/" + std::to_string(pid) + "/comm");
    return comm.substr(0, comm.find('\n'));
}

bool OwnStatShowsKernelName()
{
    const ProcStat own = ReadProcStat(getpid());
    return !own.fields.empty() && own.name == ProcName(getpid());
}

bool UnderUserModeEmulator(pid_t pid)
{
    char exe[4096];
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    const ssize_t size = readlink(link.c_str(), exe, sizeof exe - 1);
    if (size <= 0)
        return false;
    exe[size] = '\0';
    const char* slash = std::strrchr(exe, '/');
    return std::strncmp(slash ? slash + 1 : exe, "qemu-", 5) == 0;
}

bool WaitForState(pid_t pid, char state)
{
    return WaitUntil([&] { return ProcState(pid) == state; });
}

bool WaitForName(pid_t pid, const std::string& name)
{
    return WaitUntil([&] { return ProcName(pid) == name; });
}

unsigned long IgnoredSignals(const std::string& statusLines)
{
    const size_t at = statusLines.find("SigIgn: ");
    return at == std::string::npos ? ~0ul : std::stoul(statusLines.substr(at + 8), nullptr, 16);
}

bool SignalsDefaultAndNothingBlocked(const std::string& statusLines)
{
    const unsigned long defaults = 1ul << (SIGINT - 1) | 1ul << (SIGQUIT - 1) |
                                   1ul << (SIGPIPE - 1) | 1ul << (SIGTERM - 1);
    return statusLines.find("SigBlk: 0000000000000000\n") != std::string::npos &&
           (IgnoredSignals(statusLines) & defaults) == 0;
}

ChildResult RunInChild(const std::function<void()>& fn)
{
    Pipe err;
    (void)std::fflush(nullptr);
    const pid_t pid = ForkOrThrow();
    if (pid == 0) {
        dup2(err.fd[1], STDERR_FILENO);
        fn();
        _exit(0);
    }
    err.CloseWrite();
    ChildResult result{0, ""};
    char buf[256];
    ssize_t n;
    while ((n = read(err.fd[0], buf, sizeof buf)) != 0) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        result.err.append(buf, static_cast<size_t>(n));
    }
    waitpid(pid, &result.status, 0);
    return result;
}

WorkingDirectory::WorkingDirectory(const std::string& dir)
    : previous_(std::filesystem::current_path().string())
{
    std::filesystem::current_path(dir);
}

WorkingDirectory::~WorkingDirectory()
{
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
}

std::vector<int> OpenDescriptors(pid_t pid)
{
    std::vector<int> fds;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error))
        fds.push_back(std::stoi(entry.path().filename().string()));
    std::sort(fds.begin(), fds.end());
    return fds;
}

std::vector<pid_t> ListedPids()
{
    std::vector<pid_t> pids;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string dir = entry.path().filename().string();
        if (dir[0] >= '0' && dir[0] <= '9')
            pids.push_back(std::stoi(dir));
    }
    return pids;
}

std::vector<pid_t> PidsNamed(const std::string& name)
{
    std::vector<pid_t> pids;
    for (const pid_t pid : ListedPids())
        if (ProcName(pid) == name && IsRunning(pid))
            pids.push_back(pid);
    return pids;
}

bool BecomeNobody()
{
    const uid_t nobody = 65534;
    return setgid(nobody) == 0 && setuid(nobody) == 0;
}

bool EnterPrivateMountNamespace()
{
    return unshare(CLONE_NEWNS) == 0 &&
           mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}
