// The built wdog in real time, against real programs, files and locks.
#include "file_support.h"
#include "process_support.h"
#include "wdog_runner.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <stdexcept>
#include <sched.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

using namespace std::chrono_literals;

namespace {


TEST(Wdog, RefusesToRunWithoutThreeArguments)
{
    const TempDir dir;
    const std::string exe = UniqueName("wdref");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, std::vector<std::string>{"/bin/true", "ctl"}}) {
        Watchdog w(dir.path(), exe, args, "", "./" + exe);
        EXPECT_EQ(w.WaitExit(10s), 255);
        EXPECT_EQ(w.Stderr(), "Error: ./" + exe + " should not be run directly.\n");
    }
    EXPECT_NE(access(LockPath(exe).c_str(), F_OK), 0); // no lock taken
}

// The whole life of one watchdog: the program is started about 20 s after
// start-up, from a directory whose name holds a blank, as a child with
// SIGTERM at its default; SIGTERM does not touch the watchdog; a second
// watchdog is refused silently; "die" ends it and leaves the program running;
// a new watchdog then takes the lock.
TEST(Wdog, StartsTheProgramIgnoresSigtermAndEndsOnDie)
{
    const WatchedSetup setup("my dir", "beat");
    const std::string& dir = setup.dir;
    const std::string& name = setup.name;
    const std::string exe = UniqueName("wdlife");

    const auto start = std::chrono::steady_clock::now();
    Watchdog first(dir, exe, {dir + "/" + name, dir + "/ctl", name});
    ASSERT_TRUE(WaitForLock(exe)); // so SIGTERM is ignored by now
    for (int i = 0; i < 20; ++i)
        kill(first.pid(), SIGTERM);

    {
        Watchdog second(dir, exe, {"/bin/false", "/tmp/other.ctl", "other"});
        EXPECT_EQ(second.WaitExit(10s), 0);
        EXPECT_EQ(second.Stderr(), "");
    }

    const pid_t program = WaitForProcessNamed(name, 40s);
    ASSERT_NE(program, 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 18s);
    EXPECT_EQ(ParentOf(program), first.pid());
    std::this_thread::sleep_for(1s);
    const std::string state = ReadFile(dir + "/state");
    EXPECT_TRUE(SignalsDefaultAndNothingBlocked(state)) << state;
    kill(first.pid(), SIGTERM);
    ASSERT_TRUE(first.Running());

    WriteFile(dir + "/ctl", "die\n");
    EXPECT_EQ(first.WaitExit(5s), 0);
    EXPECT_TRUE(IsRunning(program));
    EXPECT_EQ(first.Stderr(), "");

    // A "die" left from before is consumed by the first pass; its truncation
    // shows the pass has happened, however slow the machine.
    WriteFile(dir + "/ctl", "die\n");
    Watchdog next(dir, exe, {dir + "/" + name, dir + "/ctl", name});
    ASSERT_TRUE(WaitUntil([&] { return ReadFile(dir + "/ctl").empty(); }, 20s));
    EXPECT_TRUE(next.Running()); // not refused: the lock was released
    WriteFile(dir + "/ctl", "die\n");
    EXPECT_EQ(next.WaitExit(20s), 0);
    EXPECT_EQ(ProgramsNamed(name), std::vector<pid_t>{program}); // never restarted
}

// A watchdog killed with SIGKILL leaves its lock file, and while it stays an
// unreaped zombie its pid still answers kill(pid, 0). The next watchdog of
// that name finds nobody holding the lock, takes it and supervises.
TEST(Wdog, ALockLeftByAKilledWatchdogKeepsNobodyOut)
{
    const WatchedSetup setup("watched", "stale");
    const std::string exe = UniqueName("wdstale");
    Watchdog killed(setup.dir, exe, {"/bin/false", setup.dir + "/other.ctl", "other"});
    ASSERT_TRUE(WaitForLock(exe));
    kill(killed.pid(), SIGKILL);
    ASSERT_TRUE(WaitForState(killed.pid(), 'Z'));

    WriteFile(setup.dir + "/ctl", "restart\n");
    Watchdog next(setup.dir, exe, {setup.program, setup.dir + "/ctl", setup.name});
    const pid_t program = WaitForProcessNamed(setup.name, 10s);
    ASSERT_NE(program, 0) << next.Stderr();
    EXPECT_EQ(ParentOf(program), next.pid());
    WriteFile(setup.dir + "/ctl", "die\n");
    EXPECT_EQ(next.WaitExit(5s), 0);
    EXPECT_EQ(next.Stderr(), "");
}

// A link at the lock's place, to a file of this user holding a live pid,
// which the framework's checker would take for another watchdog's lock: the
// watchdog neither follows it nor leaves, but supervises without the lock
// and says so once.
TEST(Wdog, ALinkAtTheLocksPlaceIsNeverFollowed)
{
    const WatchedSetup setup("watched", "planted");
    const std::string exe = UniqueName("wdplant");
    const std::string decoy = setup.dir + "/decoy";
    const std::string pid = std::to_string(getpid()) + "\n";
    WriteFile(decoy, pid);
    ASSERT_EQ(chmod(decoy.c_str(), 0600), 0);
    ASSERT_EQ(symlink(decoy.c_str(), LockPath(exe).c_str()), 0);

    WriteFile(setup.dir + "/ctl", "restart\n");
    Watchdog w(setup.dir, exe, {setup.program, setup.dir + "/ctl", setup.name});
    const pid_t program = WaitForProcessNamed(setup.name, 10s);
    ASSERT_NE(program, 0) << w.Stderr();
    WriteFile(setup.dir + "/ctl", "die\n");
    EXPECT_EQ(w.WaitExit(5s), 0);
    unlink(LockPath(exe).c_str());
    EXPECT_EQ(w.Stderr(), "[Watchdog]: " + LockPath(exe) +
                              " is not a lock file of this user: supervising without the lock\n");
    EXPECT_EQ(ReadFile(decoy), pid);
}

// An empty lock file is a watchdog caught between creating the file and
// writing its pid. Locked (it runs on), it refuses the next watchdog, which
// says nothing; unlocked after the grace (it was killed there), it is stale:
// the next watchdog supervises, and itself refuses another.
TEST(Wdog, AnEmptyLockFileIsAWatchdogStartingOrAStaleOne)
{
    const WatchedSetup setup("watched", "halfmade");
    const std::string exe = UniqueName("wdhalf");
    const std::vector<std::string> arguments{setup.program, setup.dir + "/ctl", setup.name};
    const int fd = open(LockPath(exe).c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    ASSERT_EQ(fchmod(fd, 0600) | fcntl(fd, F_SETLK, &lock), 0);
    WriteFile(setup.dir + "/ctl", "restart\n"); // a supervising watchdog launches at once
    {
        Watchdog refused(setup.dir, exe, arguments);
        EXPECT_EQ(refused.WaitExit(5s), 0);
        EXPECT_EQ(refused.Stderr(), "");
    }
    EXPECT_TRUE(ProgramsNamed(setup.name).empty());

    close(fd); // lets go of the lock; the file stays, empty
    Watchdog first(setup.dir, exe, arguments);
    const pid_t program = WaitForProcessNamed(setup.name, 10s);
    ASSERT_NE(program, 0) << first.Stderr();
    EXPECT_EQ(ParentOf(program), first.pid());
    Watchdog second(setup.dir, exe, arguments);
    EXPECT_EQ(second.WaitExit(5s), 0);
    WriteFile(setup.dir + "/ctl", "die\n");
    EXPECT_EQ(first.WaitExit(5s), 0);
    EXPECT_EQ(first.Stderr() + second.Stderr(), "");
}

// Started with its standard streams closed (cron, init scripts), the
// watchdog opens them on /dev/null: they do not become its lock file, nor
// the launched program's standard streams.
TEST(Wdog, ClosedStandardStreamsAreNotTheLockFile)
{
    const WatchedSetup setup("watched", "closed");
    WriteFile(setup.dir + "/ctl", "restart\n");
    Watchdog w(setup.dir, UniqueName("wdclosed"), {setup.program, setup.dir + "/ctl", setup.name},
               "", "", [] {
                   for (int fd = 0; fd <= 2; ++fd)
                       close(fd);
               });
    const pid_t program = WaitForProcessNamed(setup.name, 40s);
    ASSERT_NE(program, 0);
    for (int fd = 0; fd <= 2; ++fd) {
        const std::string link = "/proc/" + std::to_string(program) + "/fd/" + std::to_string(fd);
        std::error_code error;
        EXPECT_EQ(std::filesystem::read_symlink(link, error), "/dev/null") << fd;
    }
    WriteFile(setup.dir + "/ctl", "die\n");
    EXPECT_EQ(w.WaitExit(5s), 0);
}

TEST(Wdog, AFifoAsControlFileDoesNotStopTheLoop)
{
    const WatchedSetup setup("watched", "fifo");
    const std::string fifo = setup.dir + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    Watchdog w(setup.dir, UniqueName("wdfifo"), {setup.program, fifo, setup.name});
    // Only passes that go on can start the program.
    const pid_t program = WaitForProcessNamed(setup.name, 40s);
    EXPECT_NE(program, 0);
    EXPECT_EQ(ParentOf(program), w.pid());
    struct stat st;
    ASSERT_EQ(stat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// A program whose path and name hold non-ASCII characters is found while it
// runs (so not restarted), and restarted on request, whatever the locale.
class NonAscii : public ::testing::TestWithParam<const char*> {};

TEST_P(NonAscii, ProgramIsFoundAndRestarted)
{
    const WatchedSetup setup("d\xC3\xA9j\xC3\xA0 vu", "caf\xC3\xA9");
    const std::string& dir = setup.dir;
    const std::string& name = setup.name;
    const std::string& program = setup.program;
    const pid_t mine = fork();
    ASSERT_GE(mine, 0);
    if (mine == 0) {
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_NE(WaitForProcessNamed(name, 5s), 0);

    const std::string exe = UniqueName("wd\xC3\xA9");
    Watchdog w(dir, exe, {program, dir + "/ctl", name}, GetParam());
    ASSERT_TRUE(WaitForLock(exe));
    {
        Watchdog second(dir, exe, {program, dir + "/ctl", name}, GetParam());
        EXPECT_EQ(second.WaitExit(10s), 0);
    }
    // Were it not found, it would be restarted about 20 s after start-up.
    std::this_thread::sleep_for(24s);
    EXPECT_EQ(ProgramsNamed(name), std::vector<pid_t>{mine});

    // The program leaves by itself; reaped, it is gone from /proc.
    WriteFile(dir + "/ctl", "restart\n");
    waitpid(mine, nullptr, 0);
    const pid_t next = WaitForProcessNamed(name, 20s, mine);
    ASSERT_NE(next, 0);
    EXPECT_EQ(ParentOf(next), w.pid());
    WriteFile(dir + "/ctl", "die\n");
    EXPECT_EQ(w.WaitExit(5s), 0);
}

INSTANTIATE_TEST_SUITE_P(Locales, NonAscii, ::testing::Values("", "C.UTF-8"),
                         [](const auto& info) {
                             return std::string(*info.param ? "CUtf8" : "LangUnset");
                         });

// Arguments that are no valid text in any encoding, followed by more: each
// reaches its use unchanged and none moves.
TEST(Wdog, InvalidUtf8ArgumentsShiftNothing)
{
    const WatchedSetup setup("x\xFF\xFE", "b\xFF");
    const std::string& dir = setup.dir;
    const std::string& name = setup.name;
    // The control file asks for a restart: the program, not running, starts at once.
    WriteFile(dir + "/ctl", "restart\n");

    const std::string exe = UniqueName("w\xFE");
    Watchdog w(dir, exe, {dir + "/" + name, dir + "/ctl", name, "-v", ""}, "C.UTF-8");
    const pid_t program = WaitForProcessNamed(name, 10s);
    ASSERT_NE(program, 0);
    EXPECT_EQ(ParentOf(program), w.pid());
    {
        Watchdog second(dir, exe, {"a", "b", "c"}, "C.UTF-8");
        EXPECT_EQ(second.WaitExit(10s), 0);
    }
    WriteFile(dir + "/ctl", "die\n");
    EXPECT_EQ(w.WaitExit(5s), 0);
    EXPECT_EQ(ProgramsNamed(name), std::vector<pid_t>{program});
}

// Copies the wdog executable and the libraries it loads into root, where it
// can run without /proc and without /dev/shm.
void InstallWdogInto(const std::string& root)
{
    const std::string binary = WdogBinary();
    std::vector<std::string> files{binary};
    FILE* ldd = popen(("sh " LIBRARIES_OF " " + binary).c_str(), "r");
    ASSERT_NE(ldd, nullptr);
    char line[1024];
    while (std::fgets(line, sizeof line, ldd)) {
        std::istringstream in(line);
        for (std::string word; in >> word;)
            if (word[0] == '/')
                files.push_back(word);
    }
    pclose(ldd);
    for (const std::string& file : files) {
        const std::string copy = root + (file == binary ? "/wdog" : file);
        std::filesystem::create_directories(std::filesystem::path(copy).parent_path());
        std::filesystem::copy_file(file, copy);
        chmod(copy.c_str(), 0755);
    }
}

// Runs /wdog with arguments inside root; its exit status and standard error,
// or status 77 when this machine allows neither chroot nor a user namespace.
std::pair<int, std::string> RunChrooted(const std::string& root,
                                        std::vector<std::string> arguments)
{
    const std::string err = root + ".stderr";
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || dup2(fd, STDERR_FILENO) < 0)
            _exit(120);
        if (chroot(root.c_str()) != 0 &&
            (errno != EPERM || unshare(CLONE_NEWUSER) != 0 || chroot(root.c_str()) != 0))
            _exit(77);
        std::vector<char*> argv = ArgvOf(arguments);
        if (chdir("/") == 0)
            execv("/wdog", argv.data());
        _exit(121);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(err)};
}

// Without /proc the arguments come from the framework's copy: the start is
// refused or accepted as usual, and the first look at the process table is
// the fatal error. Without /dev/shm there is no lock, and supervision starts
// all the same.
TEST(Wdog, WithoutProcTheFirstPassIsFatal)
{
#ifdef WDOG_SANITIZED
    GTEST_SKIP() << "the sanitizers' runtime in wdog needs the /proc this test takes away";
#endif
    const TempDir dir;
    const std::string root = dir.path() + "/root";
    InstallWdogInto(root);

    const auto refused = RunChrooted(root, {"/wdog", "a", "b"});
    if (refused.first == 77)
        GTEST_SKIP() << "neither chroot nor a user namespace is permitted here";
    EXPECT_EQ(refused.first, 255);
    EXPECT_EQ(refused.second, "Error: /wdog should not be run directly.\n");

    const auto fatal = RunChrooted(root, {"/wdog", "/prog", "/ctl", "prog"});
    EXPECT_EQ(fatal.first, 1);
    const std::string message = "[Watchdog]: Fatal error: Could not open /proc!\n";
    ASSERT_GE(fatal.second.size(), message.size()) << fatal.second;
    EXPECT_EQ(fatal.second.substr(fatal.second.size() - message.size()), message);
}

} // namespace
