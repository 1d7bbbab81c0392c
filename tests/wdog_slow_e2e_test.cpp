// The built wdog in real time where a scenario takes most of a minute: the
// package's build leaves these out.
#include "file_support.h"
#include "wdog_runner.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

// A program file named with 20 characters runs under its first 15: the
// watchdog launches it once, about 20 s in, and then finds it.
TEST(Wdog, AProgramNameLongerThanTheKernelKeepsIsFoundAfterItsLaunch)
{
    const TempDir dir;
    std::string listed = UniqueName("long");
    listed.resize(15, '-'); // the kernel keeps 15 bytes
    const std::string name = listed + "-name";
    const Reaper reaper(listed);
    WriteBeater(dir.path() + "/" + name);

    const auto start = std::chrono::steady_clock::now();
    Watchdog w(dir.path(), UniqueName("wdlong"),
               {dir.path() + "/" + name, dir.path() + "/ctl", name});
    const pid_t program = WaitForProcessNamed(listed, 40s);
    ASSERT_NE(program, 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 18s);
    std::this_thread::sleep_for(25s);
    EXPECT_EQ(ProgramsNamed(listed), std::vector<pid_t>{program});
    WriteFile(dir.path() + "/ctl", "die\n");
    EXPECT_EQ(w.WaitExit(5s), 0);
}

} // namespace
