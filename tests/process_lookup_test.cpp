#include "process_lookup.h"
#include "process_support.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
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

TEST_F(ProcessLookup, FindsLowestPidAndKillsAllOneAfterTheOther)
{
    const std::string name = UniqueName("two");
    auto a = NamedProcess::Exec(name);
    auto b = NamedProcess::Exec(name);
    const pid_t low = std::min(a.pid(), b.pid());
    const pid_t high = std::max(a.pid(), b.pid());

    EXPECT_EQ(FindProcess(name.c_str(), kFindProcess), low);
    EXPECT_EQ(pauses, 0u);

    struct Sample {
        bool firstListed;
        bool secondRunning;
    };
    std::vector<Sample> samples;
    onPause = [&] { samples.push_back({ProcListed(low), IsRunning(high)}); };
    EXPECT_EQ(FindProcess(name.c_str(), kKillAllProcesses), high);

    EXPECT_FALSE(ProcListed(low));
    EXPECT_FALSE(ProcListed(high));
    EXPECT_EQ(FindProcess(name.c_str(), kFindProcess), 0);

    // The lower one left /proc while the higher one still ran, and only then
    // was the higher one killed.
    size_t killed = 0;
    while (killed < samples.size() && samples[killed].secondRunning)
        ++killed;
    ASSERT_GT(killed, 0u);
    ASSERT_LT(killed, samples.size());
    EXPECT_FALSE(samples[killed - 1].firstListed);
    for (size_t i = killed; i < samples.size(); ++i)
        EXPECT_FALSE(samples[i].firstListed);
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
    EXPECT_FALSE(ProcListed(twin.pid()));
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

TEST_F(ProcessLookup, GivesUpOnAProcessThatCannotLeaveProc)
{
    const std::string name = UniqueName("zomb");
    ForeignZombie zombie(name);

    EXPECT_EQ(FindProcess(name.c_str(), kKillAllProcesses), zombie.pid());

    EXPECT_EQ(pauses, kKillWaitPasses);
    EXPECT_EQ(ProcState(zombie.pid()), 'Z');
}

// The kill-all walks one snapshot. A later match that takes another name
// while an earlier one is killed and waited for (as a pid passed on to
// another program would) is not signalled, nor counted.
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
    onPause = [&] {
        if (pauses == 1) {
            ASSERT_TRUE(write(cue[1], "x", 1) == 1 && WaitForName(second.pid(), other));
        }
    };

    EXPECT_EQ(FindProcess(name.c_str(), kKillAllProcesses), first.pid());
    EXPECT_FALSE(ProcListed(first.pid()));
    EXPECT_TRUE(IsRunning(second.pid()));
    close(cue[0]);
    close(cue[1]);
}

// A root-owned process that renames itself when cued, signalled by an
// unprivileged child of the test, which kill() cannot reach it from.
TEST_F(ProcessLookup, WaitEndsWhenThePidBearsAnotherName)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to signal from another user";
    int cue[2];
    int done[2];
    ASSERT_EQ(pipe(cue), 0);
    ASSERT_EQ(pipe(done), 0);
    const std::string before = UniqueName("old");
    const std::string after = UniqueName("new");
    auto target = NamedProcess::Rename(before, [&] {
        char byte;
        if (read(cue[0], &byte, 1) != 1)
            _exit(1);
        RenameSelf(after);
        if (write(done[1], &byte, 1) != 1)
            _exit(1);
    });

    const ChildResult result = RunInChild([&] {
        if (!BecomeNobody())
            _exit(77);
        unsigned passes = 0;
        const PauseOverride cueRenameAtThirdPause(KillWaitPause(), [&](unsigned long) {
            if (++passes != 3)
                return;
            char byte = 1;
            if (write(cue[1], &byte, 1) != 1 || read(done[0], &byte, 1) != 1)
                _exit(98);
        });
        KillProcessAndWait(target.pid(), before.c_str());
        _exit(static_cast<int>(passes));
    });

    // Pass 3's snapshot still showed the old name; pass 4's shows the new one.
    ASSERT_TRUE(WIFEXITED(result.status));
    if (WEXITSTATUS(result.status) == 77)
        GTEST_SKIP() << "cannot switch to an unprivileged user here";
    EXPECT_EQ(WEXITSTATUS(result.status), 4);
    EXPECT_EQ(ProcName(target.pid()), after);
    for (int fd : {cue[0], cue[1], done[0], done[1]})
        close(fd);
}

TEST(ProcessLookupRealTime, KillWaitsAtLeastOneSecondAndReapsTheChild)
{
    const std::string name = UniqueName("rt");
    auto process = NamedProcess::Exec(name);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(FindProcess(name.c_str(), kKillAllProcesses), process.pid());
    const auto elapsed = std::chrono::steady_clock::now() - start;

    EXPECT_GE(elapsed, std::chrono::seconds(1));
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
