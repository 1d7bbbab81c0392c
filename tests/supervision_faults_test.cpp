// The loop when the world around it fails: a control file that is replaced
// under it, a full file system, and a process of the watched name that can
// never leave /proc. Files and processes are real; time is virtual.
#include "fake_world.h"
#include "file_support.h"
#include "process_lookup.h"
#include "process_support.h"
#include "restart_target.h"

#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A world whose program beats at every pause (and right after a restart) by
// setting the control file's modification time to the virtual now, through
// a symbolic link too, unless the test has taken the file away.
class BeatingWorld : public RealFileWorld {
public:
    void Beat() { SetFileTimes(controlFile, now); }
    std::optional<Clocks> Restart(const std::string& command, const std::string& processName,
                                  const std::function<void()>& beforeLaunch) override
    {
        const std::optional<Clocks> launched =
            RealFileWorld::Restart(command, processName, beforeLaunch);
        Beat();
        return launched;
    }
};

// What a scenario saw: the passes whose heartbeat was not their own time,
// then the truncations, the restarts and the last pass.
std::string Transcript(const BeatingWorld& w, const std::vector<std::pair<time_t, time_t>>& stale)
{
    const time_t start = w.passes.front();
    std::ostringstream out;
    out << "stale";
    for (const auto& [at, heartbeat] : stale)
        out << ' ' << at - start << ':' << heartbeat - start;
    out << "; truncated";
    for (const time_t t : w.truncations)
        out << ' ' << t - start;
    out << "; restarted";
    for (const time_t t : w.restarts)
        out << ' ' << t - start;
    out << "; ended " << w.passes.back() - start;
    return out.str();
}

// The control file is deleted, recreated, replaced by a directory, by a
// symbolic link to another file (which asks for a restart), by a FIFO and by
// a "die" that cannot be read, which is obeyed once it can be. Runs as a user
// for whom the mode of a file matters; prints the transcript on stderr.
void ReplaceTheFileUnderTheLoop()
{
    if (geteuid() == 0 && !BecomeNobody())
        _exit(77);
    const TempDir dir;
    BeatingWorld w;
    const std::string ctl = w.controlFile = dir.path() + "/ctl";
    const std::string target = dir.path() + "/target";
    w.StartAt(time(nullptr));
    const time_t start = w.now;
    WriteFile(ctl, "");
    w.Beat();

    std::vector<std::pair<time_t, time_t>> stale;
    w.afterPause = [&](FakeWorld&) {
        if (w.passes.back() != w.lastHeartbeat)
            stale.emplace_back(w.passes.back(), w.lastHeartbeat);
        switch (w.now - start) {
        case 5: unlink(ctl.c_str()); return; // no beat while it is gone
        case 10: WriteFile(ctl, ""); break;
        case 15: unlink(ctl.c_str()); mkdir(ctl.c_str(), 0755); break;
        case 20:
            rmdir(ctl.c_str());
            WriteFile(target, "restart\n");
            if (symlink(target.c_str(), ctl.c_str()) != 0)
                _exit(1);
            break;
        case 75: unlink(ctl.c_str()); mkfifo(ctl.c_str(), 0644); break;
        case 80: unlink(ctl.c_str()); WriteFile(ctl, "die\n"); chmod(ctl.c_str(), 0); break;
        case 85: chmod(ctl.c_str(), 0644); break;
        default:
            if (w.now - start > 5 && w.now - start < 10)
                return;
        }
        w.Beat();
    };
    w.Run(start + 200);
    (void)std::fprintf(stderr, "%s; target %ld; ctl %ld", Transcript(w, stale).c_str(), FileSize(target),
                 FileSize(ctl));
}

TEST(LoopFaults, TheControlFileIsReplacedUnderTheLoop)
{
    const ChildResult result = RunInChild(ReplaceTheFileUnderTheLoop);
    ASSERT_TRUE(WIFEXITED(result.status)) << result.err;
    if (WEXITSTATUS(result.status) == 77)
        GTEST_SKIP() << "cannot take the identity of an unprivileged user";
    // Deleted, the file keeps the last heartbeat; each replacement's own time
    // is the next one. The link's target asks for a restart: after the
    // ten-pause wait (the program keeps running) it is truncated through the
    // link. The FIFO is passed over, the unreadable "die" too, until it can
    // be read.
    EXPECT_EQ(result.err, "stale 5:4 6:4 7:4 8:4 9:4; truncated 70 85; restarted 70; ended 85;"
                          " target 0; ctl 0");
}

// The control file on a file system with no space left: the program's beats
// (times only) still count, a "restart" is obeyed, truncation works, and the
// "die" written into the space that truncation freed ends the loop.
void SuperviseOnAFullFileSystem()
{
    if (!EnterPrivateMountNamespace())
        _exit(77);
    const TempDir dir;
    if (mount("tmpfs", dir.path().c_str(), "tmpfs", 0, "size=64k,nr_inodes=16") != 0)
        _exit(77);
    BeatingWorld w;
    w.controlFile = dir.path() + "/ctl";
    w.StartAt(time(nullptr));
    const time_t start = w.now;
    WriteFile(w.controlFile, "restart\n");
    w.running = [](time_t) { return false; };

    // Use up the inodes, then the blocks.
    const int filler = open((dir.path() + "/filler").c_str(), O_WRONLY | O_CREAT, 0644);
    for (int i = 0; TryWriteFile(dir.path() + "/f" + std::to_string(i), ""); ++i) {
    }
    const std::string block(4096, 'x');
    while (write(filler, block.data(), block.size()) > 0) {
    }
    const bool full = write(filler, "x", 1) < 0 && errno == ENOSPC &&
                      !TryWriteFile(dir.path() + "/one-more", "");
    close(filler);

    bool dieWritten = false;
    w.afterPause = [&](FakeWorld&) {
        w.Beat();
        if (w.now == start + 3)
            dieWritten = TryWriteFile(w.controlFile, "die\n");
    };
    w.Run(start + 30);
    (void)std::fprintf(stderr, "full %d; die written %d; %s; ctl %ld", full, dieWritten,
                 Transcript(w, {}).c_str(), FileSize(w.controlFile));
    umount2(dir.path().c_str(), MNT_DETACH);
}

TEST(LoopFaults, AFullFileSystemChangesNothing)
{
    const ChildResult result = RunInChild(SuperviseOnAFullFileSystem);
    ASSERT_TRUE(WIFEXITED(result.status)) << result.err;
    if (WEXITSTATUS(result.status) == 77)
        GTEST_SKIP() << "no private mount namespace with a tmpfs is permitted here";
    EXPECT_EQ(result.err, "full 1; die written 1; stale; truncated 0 3; restarted 0; ended 3; ctl 0");
}

// The real lookups and restarts too: only the clock and the pauses are virtual.
class VirtualClockWorld : public RealFileWorld {
public:
    bool Runs(const std::string& name) override { return real_.Runs(name); }
    std::optional<Clocks> Restart(const std::string& command, const std::string& name,
                                  const std::function<void()>& beforeLaunch) override
    {
        if (!real_.Restart(command, name, beforeLaunch))
            return std::nullopt;
        launches.push_back(now);
        return Clocks{now, monotonic};
    }

private:
    SupervisionWorld real_;
};

// A process of the watched name that its kill cannot remove from /proc (one
// stuck in the kernel) never leaves. A "restart" waits the ten pauses for it, the
// kill's wait gives up after its bound, the command is launched all the
// same, and the passes go on.
TEST(LoopFaults, AProcessThatNeverLeavesDoesNotStopTheRestart)
{
    const std::string name = UniqueName("undying");
    auto undying = NamedProcess::Exec(name);
    ASSERT_TRUE(WaitForName(undying.pid(), name));
    const FunctionOverride<int(int, int)> swallowKills(SendKill(), [](int, int) { return 0; });
    const TempDir dir;
    WriteExecutable(dir.path() + "/prog", "#!/bin/sh\necho ran > \"$(dirname \"$0\")/ran\"\n");
    WriteFile(dir.path() + "/ctl", "restart\n");
    unsigned killWaitPauses = 0;
    std::vector<unsigned long> restartPauses;
    const PauseOverride countKillWaitPause(KillWaitPause(), [&](unsigned long) { ++killWaitPauses; });
    const PauseOverride recordRestartPause(PauseAfterKills(), [&](unsigned long milliseconds) {
        restartPauses.push_back(milliseconds);
    });

    VirtualClockWorld world;
    world.command = dir.path() + "/prog";
    world.controlFile = dir.path() + "/ctl";
    world.processName = name;
    const time_t start = world.now;
    world.Run(start + 58);

    EXPECT_TRUE(IsRunning(undying.pid()));
    EXPECT_EQ(killWaitPauses, kKillWaitPasses);
    EXPECT_EQ(restartPauses, std::vector<unsigned long>{5000});
    EXPECT_TRUE(WaitUntil([&] { return ReadFile(dir.path() + "/ran") == "ran\n"; }));
    EXPECT_EQ(FileSize(dir.path() + "/ctl"), 0);
    // The restarting pass at the start, the ten-pause wait, then one pass a second.
    ASSERT_GE(world.passes.size(), 4u);
    EXPECT_EQ(world.passes[0], start);
    EXPECT_EQ(world.passes[1], start + 50);
    EXPECT_EQ(world.passes.back(), start + 57);
}

// Leaves exactly spare descriptors free, under a limit a little above the
// highest one open (which sanitizers and emulators make differ), by filling
// every other free number with /dev/null; puts everything back when it goes.
class DescriptorShortage {
public:
    explicit DescriptorShortage(int spare)
    {
        getrlimit(RLIMIT_NOFILE, &saved_);
        struct rlimit lowered = saved_;
        lowered.rlim_cur = static_cast<rlim_t>(OpenDescriptors(getpid()).back()) + 16;
        setrlimit(RLIMIT_NOFILE, &lowered);
        for (int fd; (fd = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
            fillers_.push_back(fd);
        for (; spare > 0 && !fillers_.empty(); --spare) {
            close(fillers_.back());
            fillers_.pop_back();
        }
    }
    ~DescriptorShortage()
    {
        for (const int fd : fillers_)
            close(fd);
        setrlimit(RLIMIT_NOFILE, &saved_);
    }
    DescriptorShortage(const DescriptorShortage&) = delete;
    DescriptorShortage& operator=(const DescriptorShortage&) = delete;

private:
    struct rlimit saved_ = {};
    std::vector<int> fillers_;
};

// A hung program, restarted while the watchdog is short of descriptors: with
// one spare, no process's stat file opens; with none, not even /proc does.
// Prints the launches and whether the program still ran at the end.
void RestartShortOfDescriptors(int spare)
{
    const NamedProcess program = NamedProcess::Exec(UniqueName("short"));
    const TempDir dir;
    const PauseOverride noKillWait(KillWaitPause(), [](unsigned long) {});
    const PauseOverride noPauseAfterKills(PauseAfterKills(), [](unsigned long) {});
    VirtualClockWorld w;
    w.command = "/bin/true";
    w.controlFile = dir.path() + "/ctl";
    w.processName = ProcName(program.pid());
    w.StartAt(time(nullptr));
    const time_t start = w.now;
    w.lastHeartbeat = start - 3600; // no control file: the fifth miss is at +4

    // UBSan checks the object of a virtual call the first time it meets its
    // type, through a pipe: meet it before the pipe cannot be made.
    w.Runs(w.processName);
    static_cast<SupervisionWorld&>(w).Monotonic();
    std::optional<DescriptorShortage> shortage(spare);
    w.afterPause = [&](FakeWorld&) {
        if (w.now == start + 10)
            shortage.reset();
    };
    w.Run(start + 12);
    (void)std::fprintf(stderr, "launched");
    for (const time_t t : w.launches)
        (void)std::fprintf(stderr, " %ld", static_cast<long>(t - start));
    (void)std::fprintf(stderr, "; program %s", IsRunning(program.pid()) ? "ran" : "killed");
}

// Short of descriptors, a running program is not taken for gone, and no
// second copy is launched beside it; the restart waits, saying so once, and
// goes ahead as soon as descriptors are back.
TEST(LoopFaults, ShortOfDescriptorsNothingIsLaunchedBesideTheProgram)
{
    for (const int spare : {1, 0}) {
        const ChildResult result = RunInChild([spare] { RestartShortOfDescriptors(spare); });
        ASSERT_TRUE(WIFEXITED(result.status) && WEXITSTATUS(result.status) == 0) << result.err;
        EXPECT_EQ(result.err, "[Watchdog]: Out of descriptors or memory: cannot read /proc whole,"
                              " no restart until it can\nlaunched 10; program killed")
            << spare;
    }
}

} // namespace
