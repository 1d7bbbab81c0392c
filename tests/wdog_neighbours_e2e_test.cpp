// The built wdog against what other users can do at its lock's place: one
// watchdog of a name and user supervises, whatever is there.
#include "file_support.h"
#include "process_table.h"
#include "process_support.h"
#include "wdog_runner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// An empty file at the lock's place that is not a lock file of this user:
// another user's as root, otherwise one that anybody may read.
class Squat {
public:
    explicit Squat(const std::string& exe) : path_(LockPath(exe))
    {
        WriteFile(path_, "");
        const bool made = geteuid() == 0 ? chown(path_.c_str(), 65534, 65534) == 0
                                         : chmod(path_.c_str(), 0644) == 0;
        if (!made)
            throw std::runtime_error("cannot squat " + path_);
    }
    ~Squat() { Remove(); }
    Squat(const Squat&) = delete;
    Squat& operator=(const Squat&) = delete;
    void Remove() { unlink(path_.c_str()); }

private:
    std::string path_;
};

// Under a user-mode emulator the kernel's argument list of another process
// is the emulator's, so no watchdog recognises another by its argv[0].
const char* const kEmulatedArguments =
    "under user-mode emulation another process's /proc cmdline is the emulator's, not the program's";

// The pid that holds a write lock on the file, or 0.
pid_t LockHolder(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return 0;
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    const bool asked = fcntl(fd, F_GETLK, &lock) == 0;
    close(fd);
    return asked && lock.l_type != F_UNLCK ? lock.l_pid : 0;
}

// The number of times text occurs in s.
size_t Occurrences(const std::string& s, const std::string& text)
{
    size_t n = 0;
    for (size_t at = s.find(text); at != std::string::npos; at = s.find(text, at + 1))
        ++n;
    return n;
}

// The manual's start script, which starts a watchdog and then the server at
// every launch. This server asks for a restart at once, four times, then
// stays: each of its launches starts one more watchdog. The first launch
// waits until the first watchdog has run for over a second: a watchdog
// started before that does not yet take it for established, supervises
// beside it for a pass, and may obey the same "restart" (both launch).
TEST(WdogNeighbours, ASquattedLockAndAStartScriptLeaveOneWatchdog)
{
    const WatchedSetup setup("watched", "script");
    const std::string exe = UniqueName("wdsquat");
    const Reaper strays(exe);
    const Squat squat(exe);
    const std::string ctl = setup.dir + "/ctl";
    const std::string straysStderr = setup.dir + "/strays.stderr";
    WriteExecutable(setup.program, "#!/bin/sh\n"
                                   "cd '" + setup.dir + "'\n"
                                   "echo >> launches\n"
                                   "[ \"$(wc -l < launches)\" -gt 1 ] || sleep 1.5\n"
                                   "setsid -f ./" + exe + " '" + setup.program + "' '" + ctl + "' " +
                                       setup.name + " < /dev/null > /dev/null 2>> strays.stderr\n"
                                   "[ \"$(wc -l < launches)\" -ge 5 ] || { echo restart > ctl; exit 0; }\n"
                                   "while :; do touch ctl; sleep 0.5; done\n");
    WriteFile(ctl, "restart\n");

    Watchdog first(setup.dir, exe, {setup.program, ctl, setup.name});
    if (UnderUserModeEmulator(first.pid()))
        GTEST_SKIP() << kEmulatedArguments;
    EXPECT_TRUE(WaitUntil([&] { return Occurrences(ReadFile(straysStderr), "leaving") >= 5; }, 30s))
        << first.Stderr() << ReadFile(straysStderr);
    const std::vector<pid_t> one{first.pid()};
    EXPECT_TRUE(WaitUntil([&] { return ProgramsNamed(exe) == one; }, 5s)) << ReadFile(straysStderr);
    WriteFile(ctl, "die\n");
    EXPECT_EQ(first.WaitExit(5s), 0);
    // One launch per "restart": no other watchdog obeyed one as well.
    EXPECT_EQ(ReadFile(setup.dir + "/launches"), "\n\n\n\n\n");
}

// The squat removed while the first watchdog supervises without the lock: a
// second one started then leaves, and the first one takes the lock, also
// when the second starts within the first one's first second (which its
// start does not count yet) and takes the lock: it looks again once it is
// established. Only the first launches the program.
class OldestWatchdog : public ::testing::TestWithParam<std::chrono::milliseconds> {};

TEST_P(OldestWatchdog, TakesTheLockOnceItIsFree)
{
    const WatchedSetup setup("watched", "freed");
    const std::string exe = UniqueName("wdfreed");
    Squat squat(exe);
    const std::vector<std::string> arguments{setup.program, setup.dir + "/ctl", setup.name};
    WriteFile(setup.dir + "/ctl", "restart\n");
    Watchdog first(setup.dir, exe, arguments);
    if (UnderUserModeEmulator(first.pid()))
        GTEST_SKIP() << kEmulatedArguments;
    ASSERT_TRUE(WaitUntil([&] { return first.Stderr().find("not a lock file") != std::string::npos; }));
    std::this_thread::sleep_for(GetParam());

    squat.Remove();
    Watchdog second(setup.dir, exe, arguments);
    const auto apart = ReadStartTime(second.pid()) - ReadStartTime(first.pid());
    if (GetParam().count() == 0 && apart >= static_cast<unsigned long long>(sysconf(_SC_CLK_TCK)))
        GTEST_SKIP() << "the machine took over a second to start the first watchdog";
    EXPECT_EQ(second.WaitExit(5s), 0);
    EXPECT_TRUE(WaitUntil([&] { return LockHolder(LockPath(exe)) == first.pid(); }, 5s));
    const pid_t program = WaitForProcessNamed(setup.name, 10s);
    EXPECT_EQ(ParentOf(program), first.pid());
    EXPECT_EQ(ProgramsNamed(setup.name), std::vector<pid_t>{program});
    WriteFile(setup.dir + "/ctl", "die\n");
    EXPECT_EQ(first.WaitExit(5s), 0);
}

INSTANTIATE_TEST_SUITE_P(SecondStart, OldestWatchdog, ::testing::Values(1500ms, std::chrono::milliseconds::zero()));

// No process with an empty application name is another watchdog: an argv[0]
// that ends in "/" gives this one an empty name, as every kernel thread has.
TEST(WdogNeighbours, AnEmptyApplicationNameHasNoPeers)
{
    const WatchedSetup setup("watched", "empty");
    const std::string exe = UniqueName("wdempty");
    Watchdog w(setup.dir, exe, {setup.program, setup.dir + "/ctl", setup.name}, "", setup.dir + "/");
    EXPECT_EQ(w.WaitExit(2s), -1) << w.Stderr();
    WriteFile(setup.dir + "/ctl", "die\n");
    EXPECT_EQ(w.WaitExit(5s), 0);
}

// A watchdog as the first process of a pid namespace of its own, with the
// same /dev/shm (as a pod's container): it reaps every orphan that comes to
// it, and a watchdog of the same name and user started beside it on the
// host supervises too, taking neither its lock nor its program for its own.
TEST(WdogNeighbours, AWatchdogInAChildPidNamespaceIsAnotherMachines)
{
    const WatchedSetup setup("watched", "pod");
    const std::string exe = UniqueName("wdpod");
    const std::string inner = setup.dir + "/inner";
    ASSERT_EQ(mkdir(inner.c_str(), 0755), 0);
    // Thirty orphans at once, then a heartbeat.
    WriteExecutable(inner + "/" + setup.name, "#!/bin/sh\n"
                                              "cd '" + inner + "'\n"
                                              "for i in $(seq 30); do sh -c 'sleep 0.1 &'; done\n"
                                              "echo > spawned\n"
                                              "while :; do touch ctl; sleep 0.5; done\n");
    WriteFile(inner + "/ctl", "restart\n");
    ASSERT_EQ(symlink(WdogBinary().c_str(), (setup.dir + "/" + exe).c_str()), 0);
    // The pod's watchdog is killed at the end: its lock file goes after it.
    struct RemovedAtEnd {
        std::string path;
        ~RemovedAtEnd() { unlink(path.c_str()); }
    } const lockFile{LockPath(exe)};
    InPidNamespace pod({setup.dir + "/" + exe, inner + "/" + setup.name, inner + "/ctl", setup.name},
                       inner + "/stderr");
    const pid_t podWatchdog = pod.First();
    if (podWatchdog == 0 || !WaitForLock(exe))
        GTEST_SKIP() << "unshare cannot make a user and a pid namespace here";
    ASSERT_TRUE(WaitUntil([&] { return !ReadFile(inner + "/spawned").empty(); }, 10s)) << ReadFile(inner + "/stderr");
    const pid_t podProgram = WaitForProcessNamed(setup.name, 5s);
    EXPECT_TRUE(WaitUntil([&] { return UnreapedChildren(podWatchdog) == 0; }, 3s));

    WriteFile(setup.dir + "/ctl", "restart\n");
    Watchdog host(setup.dir, exe, {setup.program, setup.dir + "/ctl", setup.name});
    const pid_t hostProgram = WaitForProcessNamed(setup.name, 30s, podProgram);
    EXPECT_EQ(ParentOf(hostProgram), host.pid()) << host.Stderr();
    EXPECT_TRUE(host.Running());
    EXPECT_TRUE(IsRunning(podProgram));
    const std::string said = host.Stderr();
    EXPECT_NE(said.find(LockPath(exe) + " is held from another pid namespace"), std::string::npos) << said;
    EXPECT_NE(said.find("pid " + std::to_string(podProgram) + " of the name"), std::string::npos) << said;
    WriteFile(setup.dir + "/ctl", "die\n");
    EXPECT_EQ(host.WaitExit(5s), 0);
}

// Another user's hard link to a running watchdog's lock, at the lock's place
// of another name: the watchdog of that name supervises without the lock
// instead of taking the held lock for its own.
TEST(WdogNeighbours, AHardLinkToAnotherNamesLockKeepsNobodyOut)
{
    const WatchedSetup setup("watched", "linked");
    const std::string holderExe = UniqueName("wdholder");
    const std::string exe = UniqueName("wdlinked");
    Watchdog holder(setup.dir, holderExe, {"/bin/false", setup.dir + "/other.ctl", "other"});
    ASSERT_TRUE(WaitForLock(holderExe));
    ASSERT_EQ(link(LockPath(holderExe).c_str(), LockPath(exe).c_str()), 0);

    WriteFile(setup.dir + "/ctl", "restart\n");
    Watchdog w(setup.dir, exe, {setup.program, setup.dir + "/ctl", setup.name});
    const pid_t program = WaitForProcessNamed(setup.name, 10s);
    unlink(LockPath(exe).c_str());
    ASSERT_NE(program, 0) << w.Stderr();
    EXPECT_EQ(ParentOf(program), w.pid());
    WriteFile(setup.dir + "/ctl", "die\n");
    EXPECT_EQ(w.WaitExit(5s), 0);
}

} // namespace
