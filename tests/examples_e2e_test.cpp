// The heartbeat snippets of examples/, each run by a real wdog: started at
// once on a "restart", beating, leaving by itself on the next "restart" and
// started again, and the watchdog ended by "die".
#include "file_support.h"
#include "process_support.h"
#include "wdog_runner.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace std::chrono_literals;

namespace {

struct Snippet {
    const char* label;
    const char* path; // a script or a built program
};

long long ModifiedNs(const std::string& path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return -1;
    return static_cast<long long>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

class HeartbeatSnippet : public ::testing::TestWithParam<Snippet> {};

TEST_P(HeartbeatSnippet, BeatsAndObeysUnderARealWatchdog)
{
    if (std::string(GetParam().label) == "py" && access("/usr/bin/python3", X_OK) != 0)
        GTEST_SKIP() << "no /usr/bin/python3 here";
    // A copy under a name of its own: the kernel lists the program by it.
    const TempDir root;
    const std::string name = UniqueName(std::string("hb") + GetParam().label);
    const std::string program = root.path() + "/" + name;
    std::filesystem::copy_file(GetParam().path, program);
    const std::string ctl = root.path() + "/heartbeat.ctl"; // the snippets' default
    const Reaper reaper(name);

    WriteFile(ctl, "restart\n"); // not running: started at the first pass
    Watchdog w(root.path(), UniqueName("wdhb"), {program, ctl, name});
    const pid_t first = WaitForProcessNamed(name, 10s);
    ASSERT_NE(first, 0) << w.Stderr();
    EXPECT_EQ(ParentOf(first), w.pid());

    const long long before = ModifiedNs(ctl);
    EXPECT_TRUE(WaitUntil([&] { return ModifiedNs(ctl) > before; }, 5s)) << "no heartbeat";

    WriteFile(ctl, "restart\n");
    EXPECT_TRUE(WaitUntil([&] { return !IsRunning(first); }, 5s)) << "did not leave";
    const pid_t second = WaitForProcessNamed(name, 20s, first);
    ASSERT_NE(second, 0) << w.Stderr();
    EXPECT_EQ(ParentOf(second), w.pid());

    WriteFile(ctl, "die\n");
    EXPECT_EQ(w.WaitExit(5s), 0);
    EXPECT_TRUE(IsRunning(second)); // "die" leaves the program running
}

INSTANTIATE_TEST_SUITE_P(Examples, HeartbeatSnippet,
                         ::testing::Values(Snippet{"sh", WDOG_EXAMPLES "/heartbeat.sh"},
                                           Snippet{"c", HEARTBEAT_C},
                                           Snippet{"cpp", HEARTBEAT_CPP},
                                           Snippet{"py", WDOG_EXAMPLES "/heartbeat.py"}),
                         [](const auto& info) { return std::string(info.param.label); });

} // namespace
