#include "process_lookup.h"
#include "file_support.h"
#include "process_support.h"
#include "program_sighting.h"
#include "unique_fd.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <csignal>
#include <gtest/gtest.h>
#include <linux/sched.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Runs the kill waits in virtual time: each pause is counted and lasts a few
// real milliseconds, enough for a killed process to die between snapshots.
class ProcessLookup : public ::testing::Test {
protected:
    unsigned pauses = 0;
    std::function<void()> onPause;
    const PauseOverride recordingPause{KillWaitPause(), [this](unsigned long milliseconds) {
        EXPECT_EQ(milliseconds, 1000u);
        ++pauses;
        if (onPause)
            onPause();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }};
};

TEST_F(ProcessLookup, MatchesWholeKernelNamesOnly)
{
    const std::string name = UniqueName("q"); // at most 8 bytes
    const std::string full = name + std::string(15 - name.size(), 'n');
    auto process = NamedProcess::Exec(full + "X"); // the kernel keeps 15 bytes

    EXPECT_EQ(FindProcess(full.c_str(), kFindProcess), process.pid());
    EXPECT_EQ(FindProcess((full + "X").c_str(), kFindProcess), 0);
    EXPECT_EQ(FindProcess(name.c_str(), kFindProcess), 0);
    EXPECT_EQ(FindProcess((full + "X").c_str(), kKillAllProcesses), 0);
    EXPECT_EQ(pauses, 0u);
    EXPECT_TRUE(IsRunning(process.pid()));
}

// However many processes bear the name, all of them are signalled before
// the first pause, and the wait lasts as long as the slowest of them.
TEST_F(ProcessLookup, FindsLowestPidAndKillsThirtyAtOnce)
{
    const std::string name = UniqueName("many");
    std::vector<NamedProcess> processes;
    processes.reserve(30);
    for (int i = 0; i < 30; ++i)
        processes.push_back(NamedProcess::Exec(name));
    pid_t low = processes.front().pid();
    pid_t high = low;
    for (const NamedProcess& process : processes) {
        ASSERT_TRUE(WaitForName(process.pid(), name));
        low = std::min(low, process.pid());
        high = std::max(high, process.pid());
    }
    EXPECT_EQ(FindProcess(name.c_str(), kFindProcess), low);
    EXPECT_EQ(pauses, 0u);

    const KillFunction kill = SendKill();
    unsigned sent = 0;
    const FunctionOverride<int(int, int)> counting(SendKill(), [&](int pidfd, int pid) {
        ++sent;
        return kill(pidfd, pid);
    });
    unsigned sentAtFirstPause = 0;
    onPause = [&] {
        if (pauses == 1)
            sentAtFirstPause = sent;
    };
    EXPECT_EQ(FindProcess(name.c_str(), kKillAllProcesses), high);

    EXPECT_EQ(sentAtFirstPause, 30u);
    // Waited for one after the other, they would take a pass each.
    EXPECT_LT(pauses, 30u);
    EXPECT_EQ(FindProcess(name.c_str(), kFindProcess), 0);
}

// A child of this process at exactly that pid, which renames itself and
// waits to be killed; -1 where the pid cannot be chosen (not root, an old
// kernel).
pid_t ForkAt(pid_t pid, const char* name)
{
    clone_args args = {};
    args.exit_signal = SIGCHLD;
    args.set_tid = reinterpret_cast<uintptr_t>(&pid);
    args.set_tid_size = 1;
    const long child = syscall(SYS_clone3, &args, sizeof args);
    if (child == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        prctl(PR_SET_NAME, name);
        for (;;)
            pause();
    }
    return static_cast<pid_t>(child);
}

void EndAndReap(pid_t pid)
{
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// True once pid has a handler for signal (its status's "SigCgt:" mask).
bool WaitUntilCaught(pid_t pid, int signal)
{
    for (int tries = 0; tries < 500; ++tries) {
        const std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status");
        const size_t at = status.find("SigCgt:");
        if (at != std::string::npos && (std::stoull(status.substr(at + 7), nullptr, 16) >> (signal - 1) & 1))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// The process where the program was last seen answers while it is the same
// process under the same name; any change falls back to the whole table,
// and both answer alike.
TEST(ProgramSighting, AnswersFromTheProgramLastSeenUntilItChanges)
{
    const std::string name = UniqueName("seen");
    const auto renamesOnSignal = [] {
        (void)signal(SIGUSR1, [](int) { prctl(PR_SET_NAME, "renamed-away"); });
        for (;;)
            pause();
    };
    struct Change {
        const char* what;
        std::function<bool(pid_t, std::vector<NamedProcess>&)> apply; // false: cannot be made here
        bool fromSighting;
        bool runs;
    };
    const Change changes[] = {
        {"nothing", [](pid_t, auto&) { return true; }, true, true},
        {"renamed",
         [](pid_t pid, auto&) {
             return WaitUntilCaught(pid, SIGUSR1) && kill(pid, SIGUSR1) == 0 && WaitForName(pid, "renamed-away");
         },
         false, false},
        {"ended, not yet reaped",
         [](pid_t pid, auto&) {
             siginfo_t info;
             return kill(pid, SIGKILL) == 0 && waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) == 0;
         },
         false, false},
        {"gone", [](pid_t pid, auto&) { return EndAndReap(pid), true; }, false, false},
        {"gone, another of the name started",
         [&](pid_t pid, auto& keep) {
             EndAndReap(pid);
             keep.push_back(NamedProcess::Rename(name));
             return WaitForName(keep.back().pid(), name);
         },
         false, true},
        {"its pid taken over by another of the name",
         [&](pid_t pid, auto&) {
             EndAndReap(pid);
             return ForkAt(pid, name.c_str()) == pid && WaitForName(pid, name);
         },
         false, true},
    };
    // Without pidfds (an old kernel, an emulator that lacks them) every look scans.
    const UniqueFd pidfd(static_cast<int>(syscall(SYS_pidfd_open, getpid(), 0)));
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        std::vector<NamedProcess> keep;
        keep.reserve(2);
        keep.push_back(NamedProcess::Rename(name, renamesOnSignal));
        const pid_t program = keep.front().pid();
        ASSERT_TRUE(WaitForName(program, name));
        ProgramSighting sighting;
        ASSERT_TRUE(sighting.Runs(name.c_str()));
        EXPECT_FALSE(sighting.AnsweredFromSighting()); // the first look scans
        // Whatever runs at the program's pid in the end is this test's child,
        // which the program's destructor ends.
        if (!change.apply(program, keep)) {
            std::printf("not made here: %s\n", change.what);
            continue;
        }
        EXPECT_EQ(sighting.Runs(name.c_str()), change.runs);
        EXPECT_EQ(sighting.AnsweredFromSighting(), change.fromSighting && pidfd);
        EXPECT_EQ(FindProcess(name.c_str(), kFindProcess) != 0, change.runs);
    }
}

TEST_F(ProcessLookup, NeverReturnsNorKillsTheCallerItself)
{
    const std::string own = UniqueName("self");
    RenameSelf(own);
    if (!OwnStatShowsKernelName())
        GTEST_SKIP() << kEmulatedOwnStat;

    EXPECT_EQ(FindProcess(nullptr, kFindProcess), 0);
    EXPECT_EQ(FindProcess(own.c_str(), kFindProcess), 0);
    EXPECT_EQ(FindProcess(nullptr, kKillAllProcesses), 0);
    EXPECT_EQ(FindProcess(own.c_str(), kKillAllProcesses), 0);
    EXPECT_EQ(pauses, 0u);

    auto twin = NamedProcess::Twin();
    ASSERT_TRUE(WaitForName(twin.pid(), own));
    EXPECT_EQ(FindProcess(nullptr, kFindProcess), twin.pid());
    EXPECT_EQ(FindProcess(own.c_str(), kFindProcess), twin.pid());

    EXPECT_EQ(FindProcess(nullptr, kKillAllProcesses), twin.pid());
    EXPECT_FALSE(IsRunning(twin.pid()));
    EXPECT_TRUE(ProcListed(getpid()));
}

TEST_F(ProcessLookup, EmptyNameMatchesOnlyEmptyKernelNames)
{
    auto empty = NamedProcess::Rename("");
    auto paren = NamedProcess::Rename(")" + UniqueName("e"));
    auto named = NamedProcess::Rename(UniqueName("e"));

    // Other processes on the machine may bear an empty name too, so the
    // lowest match may be theirs.
    const pid_t found = FindProcess("", kFindProcess);
    EXPECT_GT(found, 0);
    EXPECT_LE(found, std::min(empty.pid(), paren.pid()));
    const std::string name = ProcName(found);
    EXPECT_TRUE(name.empty() || name[0] == ')') << name;
    EXPECT_NE(found, named.pid());
}

// Signals that never arrive: a process that SIGKILL cannot remove from /proc
// (one stuck in the kernel), made of a live one.
KillFunction SwallowedKill()
{
    return [](int, int) { return 0; };
}

TEST_F(ProcessLookup, GivesUpOnAProcessThatCannotLeaveProc)
{
    const std::string name = UniqueName("stuck");
    auto process = NamedProcess::Exec(name);
    ASSERT_TRUE(WaitForName(process.pid(), name));
    const FunctionOverride<int(int, int)> swallow(SendKill(), SwallowedKill());

    EXPECT_EQ(FindProcess(name.c_str(), kKillAllProcesses), process.pid());

    EXPECT_EQ(pauses, kKillWaitPasses);
    EXPECT_TRUE(IsRunning(process.pid()));
}

// A process that has ended is no program: neither found, nor killed, nor
// waited for, although /proc lists it under its name until its parent
// reaps it. One whose first thread has ended while another runs is running.
TEST_F(ProcessLookup, AnEndedProcessIsNotTheProgram)
{
    // Names that hold a state of their own do not fool the parse.
    const std::string name = UniqueName("z");
    const ForeignZombie zombie(name + ") R 1 (");
    EXPECT_EQ(FindProcess(name.c_str(), kFindProcess), 0);
    EXPECT_EQ(FindProcess(name.c_str(), kKillAllProcesses), 0);
    EXPECT_EQ(pauses, 0u);
    EXPECT_EQ(ProcState(zombie.pid()), 'Z');

    const std::string running = UniqueName("r");
    auto disguised = NamedProcess::Rename(running + ") Z 1 (");
    const std::string headless = UniqueName("h");
    auto firstThreadEnded = NamedProcess::Rename(headless, [] {
        std::thread([] { pause(); }).detach();
        // The first thread alone ends, as pthread_exit() would end it
        // without unwinding through the test framework.
        syscall(SYS_exit, 0);
    });
    ASSERT_TRUE(WaitForState(firstThreadEnded.pid(), 'Z'));
    EXPECT_EQ(FindProcess(headless.c_str(), kFindProcess), firstThreadEnded.pid());
    EXPECT_EQ(FindProcess(running.c_str(), kFindProcess), disguised.pid());
}

// The kill-all walks one snapshot. A later match that takes another name
// while an earlier one is killed (as a pid passed on to another program
// would) is not signalled, nor counted.
TEST_F(ProcessLookup, AMatchRenamedBeforeItsTurnIsNotSignalled)
{
    const std::string name = UniqueName("turn");
    const std::string other = "o" + name.substr(1);
    int cue[2];
    ASSERT_EQ(pipe(cue), 0);
    auto first = NamedProcess::Exec(name);
    auto second = NamedProcess::Rename(name, [&] {
        char byte;
        if (read(cue[0], &byte, 1) == 1)
            RenameSelf(other);
    });
    ASSERT_TRUE(WaitForName(first.pid(), name));
    if (first.pid() > second.pid())
        GTEST_SKIP() << "pids wrapped around between the two starts";
    const KillFunction kill = SendKill();
    bool cued = false;
    const FunctionOverride<int(int, int)> renameAtFirstKill(SendKill(), [&](int pidfd, int pid) {
        if (!cued)
            cued = write(cue[1], "x", 1) == 1 && WaitForName(second.pid(), other);
        return kill(pidfd, pid);
    });

    EXPECT_EQ(FindProcess(name.c_str(), kKillAllProcesses), first.pid());
    EXPECT_TRUE(cued);
    EXPECT_FALSE(IsRunning(first.pid()));
    EXPECT_TRUE(IsRunning(second.pid()));
    close(cue[0]);
    close(cue[1]);
}

// A process that still bears its name after its kill is waited for until
// its pid bears another name.
TEST_F(ProcessLookup, WaitEndsWhenThePidBearsAnotherName)
{
    const std::string before = UniqueName("old");
    const std::string after = UniqueName("new");
    int cue[2];
    ASSERT_EQ(pipe(cue), 0);
    auto target = NamedProcess::Rename(before, [&] {
        char byte;
        if (read(cue[0], &byte, 1) == 1)
            RenameSelf(after);
        pause();
    });
    ASSERT_TRUE(WaitForName(target.pid(), before));
    const FunctionOverride<int(int, int)> swallow(SendKill(), SwallowedKill());
    onPause = [&] {
        if (pauses == 3) {
            ASSERT_TRUE(write(cue[1], "x", 1) == 1 && WaitForName(target.pid(), after));
        }
    };

    EXPECT_EQ(KillProcessAndWait(target.pid(), before.c_str()), KillOutcome::kKilled);
    // Pass 3's snapshot still showed the old name; pass 4's shows the new one.
    EXPECT_EQ(pauses, 4u);
    close(cue[0]);
    close(cue[1]);
}

// Another user's process of the name: the kill is refused, and nothing is
// waited for.
TEST_F(ProcessLookup, ARefusedKillIsPassedOver)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to make a process of another user";
    const std::string name = UniqueName("root");
    auto target = NamedProcess::Rename(name);
    ASSERT_TRUE(WaitForName(target.pid(), name));

    const ChildResult result = RunInChild([&] {
        if (!BecomeNobody())
            _exit(77);
        const KillOutcome outcome = KillProcessAndWait(target.pid(), name.c_str());
        const bool foundAlive = FindProcess(name.c_str(), kFindProcess) == target.pid();
        _exit(outcome == KillOutcome::kPassedOver && pauses == 0 && foundAlive ? 0 : 1);
    });

    ASSERT_TRUE(WIFEXITED(result.status));
    if (WEXITSTATUS(result.status) == 77)
        GTEST_SKIP() << "cannot switch to an unprivileged user here";
    EXPECT_EQ(WEXITSTATUS(result.status), 0);
    EXPECT_TRUE(IsRunning(target.pid()));
}

TEST(ProcessLookupRealTime, KillWaitsAtLeastOneSecondAndTheChildIsReaped)
{
    const std::string name = UniqueName("rt");
    auto process = NamedProcess::Exec(name);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(FindProcess(name.c_str(), kKillAllProcesses), process.pid());
    const auto elapsed = std::chrono::steady_clock::now() - start;

    EXPECT_GE(elapsed, std::chrono::seconds(1));
    EXPECT_FALSE(IsRunning(process.pid()));
    // Its zombie is reaped by the next snapshot.
    EXPECT_EQ(FindProcess(name.c_str(), kFindProcess), 0);
    EXPECT_FALSE(ProcListed(process.pid()));
}

void KillGroupZeroAndExit()
{
    setpgid(0, 0);
    KillProcessAndWait(0, "");
    KillProcessAndWait(-1 * getpid(), "");
    _exit(0);
}

TEST_F(ProcessLookup, NeverSignalsAProcessGroup)
{
    const ChildResult result = RunInChild(KillGroupZeroAndExit);
    ASSERT_TRUE(WIFEXITED(result.status)) << "killed by signal " << WTERMSIG(result.status);
    EXPECT_EQ(WEXITSTATUS(result.status), 0);
}

} // namespace

// A thread id is no process: a thread named like the program never gets its
// process, which bears another name, killed.
TEST_F(ProcessLookup, AThreadOfTheNameIsNotItsProcess)
{
    const std::string name = UniqueName("thr");
    auto host = NamedProcess::Rename(UniqueName("host"), [&] {
        std::thread([&] {
            RenameSelf(name);
            pause();
        }).detach();
    });
    pid_t thread = 0;
    const std::string task = "/proc/" + std::to_string(host.pid()) + "/task";
    ASSERT_TRUE(WaitUntil([&] {
        for (const auto& entry : std::filesystem::directory_iterator(task))
            if (ReadFile(entry.path() / "comm") == name + "\n")
                thread = std::stoi(entry.path().filename());
        return thread != 0;
    }));
    EXPECT_EQ(KillProcessAndWait(thread, name.c_str()), KillOutcome::kPassedOver);
    EXPECT_TRUE(IsRunning(host.pid()));
}

// A process of the name in another pid namespace is another machine's:
// neither found nor killed, unless it descends from the caller (a program
// that its command started in a sandbox of its own).
TEST(ProcessLookupNamespaces, AnotherPidNamespacesProcessCountsOnlyForItsAncestors)
{
    const std::string name = UniqueName("ns");
    const TempDir dir;
    const std::string link = dir.path() + "/" + name;
    ASSERT_EQ(symlink("/bin/sleep", link.c_str()), 0);
    InPidNamespace sandboxed({link, "600"});
    const pid_t pid = sandboxed.First();
    if (pid == 0 || !WaitForName(pid, name))
        GTEST_SKIP() << "unshare cannot make a user and a pid namespace here";

    EXPECT_EQ(FindProcess(name.c_str(), kFindProcess), pid);
    // Its parents may change: every pass asks the whole table about it.
    ProgramSighting sighting;
    EXPECT_TRUE(sighting.Runs(name.c_str()) && sighting.Runs(name.c_str()));
    EXPECT_FALSE(sighting.AnsweredFromSighting());
    // From a process it does not descend from.
    const ChildResult other = RunInChild([&] {
        const bool passedOver = FindProcess(name.c_str(), kFindProcess) == 0 &&
                                FindProcess(name.c_str(), kKillAllProcesses) == 0;
        _exit(passedOver ? 0 : 1);
    });
    EXPECT_EQ(other.status, 0);
    EXPECT_EQ(other.err, "[Watchdog]: pid " + std::to_string(pid) + " of the name " + name +
                             " runs in another pid namespace, not started from here: not this watchdog's\n");
    EXPECT_TRUE(IsRunning(pid));
}
