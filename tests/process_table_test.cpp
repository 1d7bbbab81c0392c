#include "process_table.h"
#include "process_support.h"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#ifdef WDOG_SANITIZED
#include <sanitizer/lsan_interface.h>
#endif
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string NameOf(const ProcessTable& table, pid_t pid)
{
    const auto it = table.find(pid);
    return it == table.end() ? "<absent>" : it->second.name;
}

TEST(ScanProcessTable, ListsProcessesUnderTheKernelNameCutAtBlankAndParenthesis)
{
    const std::string base = UniqueName("p");
    auto plain = NamedProcess::Exec(base);
    auto twoWords = NamedProcess::Exec(base + " second");
    auto paren = NamedProcess::Exec(base + ")tail");

    ProcessTable table;
    ScanProcessTable(table, nullptr, 0);

    EXPECT_EQ(NameOf(table, plain.pid()), base);
    EXPECT_EQ(NameOf(table, twoWords.pid()), base);
    EXPECT_EQ(NameOf(table, paren.pid()), base);
    EXPECT_EQ(NameOf(table, getpid()), ProcName(getpid()));

    // Asked for one name, the table keeps those processes alone.
    ScanProcessTable(table, nullptr, 0, base.c_str());
    EXPECT_EQ(table.size(), 3u);
    for (const pid_t pid : {plain.pid(), twoWords.pid(), paren.pid()})
        EXPECT_EQ(NameOf(table, pid), base);
}

// A kernel thread's name may be longer than the 15 bytes a program's is
// cut to: its first 15 bytes do not name it.
TEST(ScanProcessTable, KeepsNamesLongerThanFifteenBytesWhole)
{
    ProcessTable all;
    ScanProcessTable(all, nullptr, 0);
    for (const auto& [pid, entry] : all) {
        const std::string name = entry.name;
        if (name.size() <= 15)
            continue;
        ProcessTable cut;
        ScanProcessTable(cut, nullptr, 0, name.substr(0, 15).c_str());
        EXPECT_EQ(cut.count(pid), 0u) << name;
        return;
    }
    GTEST_SKIP() << "no process here bears a name longer than 15 bytes";
}

TEST(ScanProcessTable, NamesAProcessGaveItself)
{
    const std::string base = UniqueName("r");
    auto empty = NamedProcess::Rename("");
    auto leadingBlank = NamedProcess::Rename("  " + base);
    auto parenFirst = NamedProcess::Rename(")" + base);
    auto tab = NamedProcess::Rename(base + "\tx");

    ProcessTable table;
    ScanProcessTable(table, nullptr, 0);

    EXPECT_EQ(NameOf(table, empty.pid()), "");
    EXPECT_EQ(NameOf(table, leadingBlank.pid()), base);
    EXPECT_EQ(NameOf(table, parenFirst.pid()), "");
    EXPECT_EQ(NameOf(table, tab.pid()), base);

    ScanProcessTable(table, nullptr, 0, base.c_str());
    EXPECT_EQ(table.size(), 2u);
    EXPECT_EQ(NameOf(table, leadingBlank.pid()), base);
    ScanProcessTable(table, nullptr, 0, "");
    EXPECT_EQ(NameOf(table, empty.pid()), "");
    EXPECT_EQ(NameOf(table, parenFirst.pid()), "");
}

TEST(ListedName, CutsAsTheKernelAndTheSnapshotCut)
{
    const struct {
        const char* name;
        const char* listed;
    } cases[] = {
        {"acme-report-server", "acme-report-ser"}, // 18 bytes
        {"fifteen-bytes-x", "fifteen-bytes-x"},
        {"fourteen-bytes\xC3\xA9", "fourteen-bytes\xC3"}, // a character split at byte 15
        {"  lead", "lead"},
        {"tab\tafter", "tab"},
        {"my server", "my"},
        {"a)b", "a"},
        {")a", ""},
        {"", ""},
        {"   ", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ListedName(c.name), c.listed) << c.name;
}

TEST(ScanProcessTable, RebuildsTheTableAndKeepsOnlyProcessDirectories)
{
    ProcessTable table;
    table.emplace(-7, ProcessEntry{-7, "stale"});

    EXPECT_EQ(ScanProcessTable(table, nullptr, 0), getpid());

    EXPECT_EQ(table.count(-7), 0u);
    EXPECT_EQ(table.count(getpid()), 1u);
    for (const auto& [pid, entry] : table) {
        EXPECT_GT(pid, 0);
        EXPECT_EQ(entry.pid, pid);
    }
}

TEST(ScanProcessTable, CopiesOwnNameWithStrncpySemantics)
{
    const std::string own = UniqueName("own");
    RenameSelf(own);
    if (!OwnStatShowsKernelName())
        GTEST_SKIP() << kEmulatedOwnStat;
    ProcessTable table;

    char zeroed[64] = {};
    ScanProcessTable(table, zeroed, sizeof zeroed);
    EXPECT_STREQ(zeroed, own.c_str());

    // The span up to the limit is padded with NULs; the last byte is left alone.
    char small[64];
    std::memset(small, 'x', sizeof small);
    ScanProcessTable(table, small, sizeof small);
    EXPECT_EQ(std::string(small, own.size()), own);
    for (size_t i = own.size(); i < 63; ++i)
        ASSERT_EQ(small[i], '\0') << i;
    EXPECT_EQ(small[63], 'x');

    char large[600];
    std::memset(large, 'x', sizeof large);
    ScanProcessTable(table, large, sizeof large);
    EXPECT_EQ(std::string(large, own.size()), own);
    for (size_t i = own.size(); i < 511; ++i)
        ASSERT_EQ(large[i], '\0') << i;
    for (size_t i = 511; i < sizeof large; ++i)
        ASSERT_EQ(large[i], 'x') << i;

    char one[2] = {'x', 'y'};
    ScanProcessTable(table, one, 1);
    EXPECT_EQ(one[0], 'x');
    EXPECT_EQ(one[1], 'y');

    char none[4] = {'x', 'x', 'x', 'x'};
    ScanProcessTable(table, none, 0);
    EXPECT_EQ(std::string(none, 4), "xxxx");
}

// Orphans come to the first process of a pid namespace: one ended child
// reaped per scan would let them pile up.
TEST(ScanProcessTable, ReapsEveryEndedChild)
{
    pid_t children[3];
    for (pid_t& child : children) {
        child = fork();
        ASSERT_GE(child, 0);
        if (child == 0)
            _exit(0);
        // Waitable, not merely 'Z': under a user-mode emulator the child has
        // threads of the emulator's, and its first thread shows 'Z' before
        // they have ended.
        ASSERT_TRUE(WaitUntil([&] {
            siginfo_t info{};
            return waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                   info.si_pid == child;
        }));
    }

    ProcessTable table;
    ScanProcessTable(table, nullptr, 0);
    for (const pid_t child : children)
        EXPECT_FALSE(ProcListed(child));
}

// Takes this process into an empty root without a /proc, then scans. Exits 77
// when the machine allows neither chroot nor a user namespace to do it in.
void ScanWithoutProc(const char* root)
{
#ifdef WDOG_SANITIZED
    // The leak check at exit needs /proc; made now, it is not made again.
    __lsan_do_leak_check();
#endif
    if (chroot(root) != 0) {
        if (errno != EPERM || unshare(CLONE_NEWUSER) != 0 || chroot(root) != 0)
            _exit(77);
    }
    if (chdir("/") != 0)
        _exit(78);
    ProcessTable table;
    ScanProcessTable(table, nullptr, 0);
    _exit(0);
}

TEST(ScanProcessTable, ProcThatCannotBeOpenedIsFatal)
{
    TempDir empty;
    const ChildResult result = RunInChild([&] { ScanWithoutProc(empty.path().c_str()); });
    ASSERT_TRUE(WIFEXITED(result.status));
    if (WEXITSTATUS(result.status) == 77)
        GTEST_SKIP() << "neither chroot nor a user namespace is permitted here";
    EXPECT_EQ(WEXITSTATUS(result.status), 1);
    EXPECT_EQ(result.err, "[Watchdog]: Fatal error: Could not open /proc!\n");
}

} // namespace
