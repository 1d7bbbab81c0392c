// The built wdog with no place for its lock, and with arguments that are
// empty, begin with a dash or are 64 KiB long.
#include "file_support.h"
#include "process_support.h"
#include "wdog_runner.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// An empty /dev: there is no /dev/shm at all.
void WithoutDevShm()
{
    if (!EnterPrivateMountNamespace())
        _exit(77);
    if (mount("tmpfs", "/dev", "tmpfs", 0, "size=16k") != 0)
        _exit(77);
}

void WithReadOnlyDevShm()
{
    if (!EnterPrivateMountNamespace())
        _exit(77);
    if (mount("tmpfs", "/dev/shm", "tmpfs", MS_RDONLY, "size=16k") != 0)
        _exit(77);
}

struct LockPlace {
    const char* label;
    void (*prepare)();
};

class NoLockPlace : public ::testing::TestWithParam<LockPlace> {};

// Without a lock the watchdog still supervises: a "restart" starts the
// program at once, and "die" ends the watchdog.
TEST_P(NoLockPlace, TheWatchdogStillSupervises)
{
    const WatchedSetup setup("watched", std::string("nolock") + GetParam().label[0]);
    WriteFile(setup.dir + "/ctl", "restart\n");
    const std::string exe = UniqueName("wdshm");
    Watchdog w(setup.dir, exe, {setup.program, setup.dir + "/ctl", setup.name}, "", "",
               GetParam().prepare);

    const pid_t program = WaitForProcessNamed(setup.name, 10s);
    if (program == 0 && w.WaitExit(1s) == 77)
        GTEST_SKIP() << "no private mount namespace is permitted here";
    ASSERT_NE(program, 0) << w.Stderr();
    EXPECT_EQ(ParentOf(program), w.pid());
    EXPECT_NE(access(LockPath(exe).c_str(), F_OK), 0); // the real /dev/shm was not used
    WriteFile(setup.dir + "/ctl", "die\n");
    EXPECT_EQ(w.WaitExit(5s), 0);
    std::printf("framework said: %s\n", w.Stderr().c_str());
}

INSTANTIATE_TEST_SUITE_P(DevShm, NoLockPlace,
                         ::testing::Values(LockPlace{"Missing", WithoutDevShm},
                                           LockPlace{"ReadOnly", WithReadOnlyDevShm}),
                         [](const auto& info) { return std::string(info.param.label); });

// Arguments that begin with a dash are arguments like any other: the
// command is found through PATH, the control file in the working directory.
TEST(WdogArguments, LeadingDashesAreNoOptions)
{
    const WatchedSetup setup("watched", "-");
    WriteFile(setup.dir + "/--help", "restart\n");
    const char* const oldPath = getenv("PATH");
    const std::string path = oldPath ? oldPath : "";
    setenv("PATH", (setup.dir + ":" + path).c_str(), 1);
    Watchdog w(setup.dir, UniqueName("wddash"), {setup.name, "--help", setup.name, "-v"});
    setenv("PATH", path.c_str(), 1);

    const pid_t program = WaitForProcessNamed(setup.name, 10s);
    ASSERT_NE(program, 0) << w.Stderr();
    EXPECT_EQ(ParentOf(program), w.pid());
    WriteFile(setup.dir + "/--help", "die\n");
    EXPECT_EQ(w.WaitExit(5s), 0);
}

// A command that cannot be started is reported by the launched child, with
// the command exactly as given; the watchdog goes on and obeys "die".
void ExpectFailedLaunchThenDie(const std::vector<std::string>& arguments, const std::string& reason,
                               const std::string& argv0 = "")
{
    const TempDir dir;
    WriteFile(dir.path() + "/ctl", "restart\n");
    Watchdog w(dir.path(), UniqueName("wdarg"), arguments, "", argv0);
    const std::string report = "[Watchdog]: Could not start " + arguments[0] + ": " + reason + "\n";
    EXPECT_TRUE(WaitUntil([&] { return w.Stderr().find(report) != std::string::npos; }, 10s))
        << w.Stderr().substr(0, 200);
    EXPECT_TRUE(w.Running());
    WriteFile(dir.path() + "/ctl", "die\n");
    EXPECT_EQ(w.WaitExit(5s), 0);
}

TEST(WdogArguments, EmptyArguments)
{
    ExpectFailedLaunchThenDie({"", "ctl", "", "", "-x"}, "No such file or directory");
}

// 64 KiB each: the command, the process name and the program name, which
// names the lock (a file name far too long for it).
TEST(WdogArguments, ArgumentsOf64KiB)
{
    const size_t size = size_t{64} * 1024;
    ExpectFailedLaunchThenDie({std::string(size, 'c'), "ctl", std::string(size, 'n')},
                              "File name too long", std::string(size, 'w'));
}

} // namespace
