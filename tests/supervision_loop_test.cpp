// The supervision loop in virtual time: every scenario runs the real loop
// against a scripted program and control file.
#include "fake_world.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

const time_t T = FakeWorld::kStart;

// The file is touched at every pass.
void Beat(FakeWorld& w)
{
    w.fileTime = w.now;
}

TEST(SupervisionLoop, HangRestartsAtTheFifthMissAbout65sAfterTheLastHeartbeat)
{
    FakeWorld w; // the program runs, the file keeps its start time
    EXPECT_EQ(w.Run(T + 100), 0);

    // Ages 61..65 are the five misses; the truncation renews the file.
    ASSERT_EQ(w.restarts, std::vector<time_t>{T + 65});
    EXPECT_EQ(w.truncations, std::vector<time_t>{T + 65});
    EXPECT_EQ(w.restartCommand, "/opt/prog/run");
    EXPECT_EQ(w.restartName, "prog");
    // The pass after the restart follows without a pause.
    const auto at = std::find(w.passes.begin(), w.passes.end(), T + 65);
    ASSERT_TRUE(at != w.passes.end() && at + 1 != w.passes.end());
    EXPECT_EQ(at[1], T + 65);
    EXPECT_EQ(w.pauses.size(), w.passes.size() - 1); // all but the restarting pass
}

TEST(SupervisionLoop, VanishedProgramRestartsAbout20sAfterItsLastSighting)
{
    FakeWorld w;
    w.running = [](time_t t) { return t < T + 10; };
    w.afterPause = Beat;
    w.restartTakes = 6;
    w.Run(T + 60);

    // Last seen at T+9; ages 16..20 are the misses. Both times are reset to
    // the launch, at the end of the 6 s restart, so the next restart follows
    // 20 s after T+35.
    EXPECT_EQ(w.restarts, (std::vector<time_t>{T + 29, T + 55}));
    EXPECT_EQ(w.truncations, (std::vector<time_t>{T + 35, T + 61}));
}

// A restart that takes long (kills that wait, the pause after them), then a
// program that shows itself 10 s after its launch and beats from 30 s on:
// it is judged from its launch, also when the control file cannot be
// truncated and keeps its old time (a FIFO), and is restarted once only.
TEST(SupervisionLoop, ARelaunchedProgramHasItsFullTimeAfterALongRestart)
{
    for (const bool truncatable : {true, false}) {
        FakeWorld w;
        w.fileTime = T - 3600; // hung since long before the start
        w.truncatable = truncatable;
        w.restartTakes = 56;
        w.running = [&w](time_t t) { return w.launches.empty() || t >= w.launches[0] + 10; };
        w.afterPause = [](FakeWorld& w) {
            if (!w.launches.empty() && w.now >= w.launches[0] + 30)
                Beat(w);
        };
        w.Run(T + 300);
        EXPECT_EQ(w.restarts, std::vector<time_t>{T + 4}) << truncatable;
        EXPECT_EQ(w.launches, std::vector<time_t>{T + 60}) << truncatable;
    }
}

TEST(SupervisionLoop, FourMissesThenAGoodPassStartOver)
{
    FakeWorld w;
    w.afterPause = [](FakeWorld& w) {
        if (w.now == T + 65)
            w.fileTime = w.now;
    };
    w.Run(T + 140);

    // Misses at 61..64, none at 65; the next run of five ends at 65 + 65.
    EXPECT_EQ(w.restarts, std::vector<time_t>{T + 130});
}

TEST(SupervisionLoop, AgesOfExactlyTheLimitsAreNoMiss)
{
    FakeWorld sixty;
    sixty.fileTime = T - 60;
    sixty.afterPause = [](FakeWorld& w) { w.fileTime = w.now - 60; };
    sixty.Run(T + 300);
    EXPECT_TRUE(sixty.restarts.empty());

    FakeWorld sixtyOne;
    sixtyOne.fileTime = T - 61;
    sixtyOne.afterPause = [](FakeWorld& w) { w.fileTime = w.now - 61; };
    sixtyOne.restartTakes = 1000; // one restart is enough
    sixtyOne.Run(T + 300);
    EXPECT_EQ(sixtyOne.restarts, std::vector<time_t>{T + 4});

    // Never seen: the liveness age is 15 at T+15, no miss; 16..20 are misses.
    FakeWorld unseen;
    unseen.running = [](time_t) { return false; };
    unseen.afterPause = Beat;
    unseen.restartTakes = 1000;
    unseen.Run(T + 300);
    EXPECT_EQ(unseen.restarts, std::vector<time_t>{T + 20});
}

// A heartbeat ages on the monotonic clock from the pass that sees it: a file
// dated ahead, or a wall clock stepped back or forward, neither hides a hang
// nor makes one. The program beats every 10 s until lastBeat.
TEST(SupervisionLoop, NeitherAFileDatedAheadNorAClockStepChangesADecision)
{
    const time_t hour = 3600;
    const struct {
        const char* what;
        time_t fileTime;
        time_t lastBeat; // seconds after the start
        time_t step;     // added to the wall clock at 21 s
        std::vector<time_t> restarts;
    } rows[] = {
        {"a file dated an hour ahead, never changed", T + hour, 0, 0, {T + 65}},
        {"the clock set back an hour after the last beat", T, 20, -hour, {T + 85 - hour}},
        {"the clock set forward an hour while the program beats", T, 300, hour, {}},
    };
    for (const auto& row : rows) {
        FakeWorld w;
        w.fileTime = row.fileTime;
        w.restartTakes = 1000; // one restart is enough
        w.afterPause = [&row](FakeWorld& w) {
            const time_t elapsed = w.monotonic - FakeWorld::kMonotonicStart;
            if (elapsed == 21)
                w.now += row.step;
            if (elapsed <= row.lastBeat && elapsed % 10 == 0)
                Beat(w);
        };
        w.Run(T + 300);
        EXPECT_EQ(w.restarts, row.restarts) << row.what;
    }
}

TEST(SupervisionLoop, FileTimeReplacesTheStartTimeEvenWhenOlder)
{
    FakeWorld w;
    w.fileTime = T - 3600;
    w.restartTakes = 1000;
    w.Run(T + 100);
    // The first pass is already a miss.
    EXPECT_EQ(w.restarts, std::vector<time_t>{T + 4});
}

TEST(SupervisionLoop, AVanishedFileKeepsItsLastTimeAsHeartbeat)
{
    FakeWorld w;
    w.afterPause = [](FakeWorld& w) { w.fileTime = w.now <= T + 30 ? w.now : 0; };
    w.restartTakes = 1000;
    w.Run(T + 200);
    EXPECT_EQ(w.restarts, std::vector<time_t>{T + 95});
}

TEST(SupervisionLoop, DieOnTheFirstPassIsConsumed)
{
    FakeWorld w;
    w.line = "die";
    w.afterPause = Beat;
    EXPECT_EQ(w.Run(T + 30), 0);
    EXPECT_TRUE(w.stop); // ended by the stop flag, not by "die"
    EXPECT_EQ(w.truncations, std::vector<time_t>{T});
    EXPECT_TRUE(w.restarts.empty());
}

// The file is touched at every pass, and says "die" from time when on.
std::function<void(FakeWorld&)> BeatThenDieAt(time_t when)
{
    return [when](FakeWorld& w) {
        Beat(w);
        if (w.now == when)
            w.line = "die";
    };
}

TEST(SupervisionLoop, DieOnALaterPassEndsTheLoopWithoutARestart)
{
    FakeWorld later;
    later.afterPause = BeatThenDieAt(T + 5);
    EXPECT_EQ(later.Run(T + 100), 0);
    EXPECT_FALSE(later.stop);
    EXPECT_EQ(later.passes.back(), T + 5);
    EXPECT_EQ(later.truncations, std::vector<time_t>{T + 5});

    // The pass that reaches the fifth miss ends all the same.
    FakeWorld fifthMiss;
    fifthMiss.running = [](time_t) { return false; };
    fifthMiss.afterPause = BeatThenDieAt(T + 20);
    EXPECT_EQ(fifthMiss.Run(T + 100), 0);
    EXPECT_FALSE(fifthMiss.stop);
    EXPECT_EQ(fifthMiss.passes.back(), T + 20);
    EXPECT_TRUE(fifthMiss.restarts.empty());
}

TEST(SupervisionLoop, DieThatCannotBeTruncatedEndsTheSecondPass)
{
    FakeWorld w;
    w.line = "die";
    w.truncatable = false;
    EXPECT_EQ(w.Run(T + 100), 0);
    EXPECT_EQ(w.truncations, (std::vector<time_t>{T, T + 1}));
}

TEST(SupervisionLoop, RestartWaitsTenPausesForARunningProgram)
{
    FakeWorld w;
    w.line = "restart";
    w.Run(T + 50); // stops after the first restart

    ASSERT_EQ(w.restarts, std::vector<time_t>{T + 50});
    EXPECT_EQ(w.lookups, 12); // the pass's own, then 11 while waiting
    EXPECT_EQ(w.pauses, std::vector<unsigned long>(10, 5000));
    EXPECT_EQ(w.truncations, std::vector<time_t>{T + 50});
    EXPECT_EQ(w.lastHeartbeat, T + 50); // from the launch
    EXPECT_EQ(w.lastAlive, T + 50);
}

TEST(SupervisionLoop, RestartWaitEndsWhenTheProgramLeaves)
{
    FakeWorld gone;
    gone.line = "restart";
    gone.running = [](time_t) { return false; };
    gone.Run(T);
    EXPECT_EQ(gone.restarts, std::vector<time_t>{T});
    EXPECT_TRUE(gone.pauses.empty());

    FakeWorld leaving;
    leaving.line = "restart";
    leaving.running = [](time_t t) { return t < T + 12; };
    leaving.Run(T + 15);
    EXPECT_EQ(leaving.restarts, std::vector<time_t>{T + 15});
    EXPECT_EQ(leaving.pauses, std::vector<unsigned long>(3, 5000));
}

// "die" written while a restart waits is not erased by the restart's
// truncation: the restart goes on, and the next pass ends the loop.
TEST(SupervisionLoop, DieWrittenWhileARestartWaitsEndsTheNextPass)
{
    FakeWorld w;
    w.line = "restart";
    w.afterPause = [](FakeWorld& world) {
        if (world.pauses.size() == 3)
            world.line = "die";
    };
    EXPECT_EQ(w.Run(T + 100), 0);
    EXPECT_FALSE(w.stop); // ended by "die", not by the clock
    EXPECT_EQ(w.restarts, std::vector<time_t>{T + 50});
    EXPECT_EQ(w.passes, (std::vector<time_t>{T, T + 50}));
    EXPECT_EQ(w.truncations, std::vector<time_t>{T + 50}); // by the "die" alone
}

TEST(SupervisionLoop, RestartThatCannotBeTruncatedRepeatsAfterEachWait)
{
    FakeWorld w;
    w.line = "restart";
    w.truncatable = false;
    w.Run(T + 150);
    EXPECT_EQ(w.restarts, (std::vector<time_t>{T + 50, T + 100, T + 150}));
}

TEST(SupervisionLoop, OnlyTheExactWordsAreCommands)
{
    for (const char* line : {"DIE", "Die", " die", "die ", "die now", "RESTART", "restart ",
                             " restart", "restart now", "dies", ""}) {
        FakeWorld w;
        w.line = line;
        w.afterPause = Beat;
        EXPECT_EQ(w.Run(T + 10), 0);
        EXPECT_TRUE(w.stop) << line;
        EXPECT_TRUE(w.truncations.empty()) << line;
        EXPECT_TRUE(w.restarts.empty()) << line;
    }
}

} // namespace
