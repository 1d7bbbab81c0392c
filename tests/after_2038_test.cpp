// Time after January 2038, when a 32-bit time_t overflows: the loop keeps
// time then exactly as it does today, and a control file stamped in 2040 is
// read as such. On 32-bit x86 this holds only with a 64-bit time_t.
#include "control_file.h"
#include "fake_world.h"
#include "file_support.h"
#include "process_support.h"

#include <gtest/gtest.h>
#include <sstream>

namespace {

const time_t kToday = 1700000000;       // November 2023
const time_t k2040 = 2208988800;        // 2040-01-01 00:00:00 UTC
const time_t kPast32Bits = 4294967296 + 1000; // February 2106

// Everything the loop did, in seconds from start.
std::string Transcript(const FakeWorld& w, time_t start)
{
    std::ostringstream out;
    out << "passes";
    for (const time_t t : w.passes)
        out << ' ' << t - start;
    out << "; pauses " << w.pauses.size() << "; truncated";
    for (const time_t t : w.truncations)
        out << ' ' << t - start;
    out << "; restarted";
    for (const time_t t : w.restarts)
        out << ' ' << t - start;
    return out.str();
}

// Each scenario sets up a world that starts at its second argument.
using Scenario = void (*)(FakeWorld&, time_t);

constexpr struct {
    const char* name;
    Scenario setUp;
} kScenarios[] = {
    {"a hang", [](FakeWorld&, time_t) {}},
    {"a program that vanishes",
     [](FakeWorld& w, time_t start) {
         w.running = [start](time_t t) { return t < start + 10; };
         w.afterPause = [](FakeWorld& w) { w.fileTime = w.now; };
         w.restartTakes = 6;
     }},
    {"four misses, then a beat",
     [](FakeWorld& w, time_t start) {
         w.afterPause = [start](FakeWorld& w) {
             if (w.now == start + 65)
                 w.fileTime = w.now;
         };
     }},
    {"heartbeats exactly 60 s old",
     [](FakeWorld& w, time_t start) {
         w.fileTime = start - 60;
         w.afterPause = [](FakeWorld& w) { w.fileTime = w.now - 60; };
     }},
    {"heartbeats 61 s old",
     [](FakeWorld& w, time_t start) {
         w.fileTime = start - 61;
         w.afterPause = [](FakeWorld& w) { w.fileTime = w.now - 61; };
     }},
    {"a restart asked for, then a die",
     [](FakeWorld& w, time_t start) {
         w.running = [start](time_t t) { return t < start + 13 || t > start + 20; };
         w.afterPause = [start](FakeWorld& w) {
             w.fileTime = w.now;
             if (w.now == start + 3)
                 w.line = "restart";
             if (w.now == start + 40)
                 w.line = "die";
         };
     }},
};

TEST(After2038, TheLoopKeepsTimeIn2040AndPast32BitsExactlyAsToday)
{
    for (const auto& scenario : kScenarios) {
        FakeWorld today;
        today.StartAt(kToday);
        scenario.setUp(today, kToday);
        today.Run(kToday + 200);
        const std::string expected = Transcript(today, kToday);

        for (const time_t start : {k2040, kPast32Bits}) {
            FakeWorld later;
            later.StartAt(start);
            scenario.setUp(later, start);
            later.Run(start + 200);
            EXPECT_EQ(Transcript(later, start), expected) << scenario.name << " from " << start;
        }
    }
}

// The transcripts compared above are the ones the limits call for.
TEST(After2038, TheScenariosComparedRestartWhenTheyShould)
{
    FakeWorld hang;
    hang.StartAt(k2040);
    hang.Run(k2040 + 100);
    EXPECT_EQ(hang.restarts, std::vector<time_t>{k2040 + 65});

    FakeWorld asked;
    asked.StartAt(k2040);
    kScenarios[5].setUp(asked, k2040);
    EXPECT_EQ(asked.Run(k2040 + 200), 0);
    // Asked at +3; the program leaves at +13, after two five-second pauses.
    EXPECT_EQ(asked.restarts, std::vector<time_t>{k2040 + 13});
    EXPECT_EQ(asked.passes.back(), k2040 + 40);
}

// Stamped in 2040 while the clock says today, the file's time is read to the
// second, and is a heartbeat as the first pass sees it: left alone, the file
// is a hang like any other.
TEST(After2038, AControlFileStampedIn2040IsReadExactly)
{
    const TempDir dir;
    RealFileWorld w;
    w.controlFile = dir.path() + "/ctl";
    WriteFile(w.controlFile, "");
    SetFileTimes(w.controlFile, k2040);
    EXPECT_EQ(ControlFileTime(w.controlFile.c_str()), k2040);

    w.StartAt(time(nullptr));
    const time_t start = w.now;
    w.restartTakes = 100000;
    w.Run(start + 300);
    EXPECT_EQ(w.restarts, std::vector<time_t>{start + 65});

    // With the clock an hour past that stamp, the same file is a miss at
    // once.
    SetFileTimes(w.controlFile, k2040);
    RealFileWorld stale;
    stale.controlFile = w.controlFile;
    stale.StartAt(k2040 + 3600);
    stale.restartTakes = 100000;
    stale.Run(k2040 + 3900);
    EXPECT_EQ(stale.restarts, std::vector<time_t>{k2040 + 3604});
}

} // namespace
