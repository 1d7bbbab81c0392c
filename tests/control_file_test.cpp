// The control file through real files: how its time, its first line and its
// truncation behave for regular files, links, FIFOs, directories and paths
// that are not valid text.
#include "control_file.h"
#include "fake_world.h"
#include "file_support.h"
#include "process_support.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/sysmacros.h>
#include <thread>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(ControlFile, FirstLineAsTheTextReaderSplitsIt)
{
    const TempDir dir;
    const std::string path = dir.path() + "/ctl";
    const struct {
        const char* bytes;
        size_t size;
        const char* line;
    } cases[] = {
        {"die\n", 4, "die"},
        {"die\r\n", 5, "die"},
        {"die", 3, "die"},
        {"\xEF\xBB\xBF" "die\n", 7, "die"},           // UTF-8 byte-order mark
        {"\xFF\xFE" "d\0i\0e\0\n\0", 10, "die"},       // UTF-16 with its mark
        {"restart\ndie\n", 12, "restart"},
        {"a\rdie", 5, "a"},                            // a lone CR ends the line
        {"\ndie\n", 5, ""},                            // "die" on the second line only
        {"", 0, ""},
        {"  die \n", 7, "  die "},
        {"caf\xC3\xA9\n", 6, "caf\xC3\xA9"},
    };
    for (const auto& c : cases) {
        WriteFile(path, std::string(c.bytes, c.size));
        EXPECT_EQ(ReadControlLine(path.c_str()), wxString::FromUTF8(c.line))
            << std::string(c.bytes, c.size);
    }
}

// head padded with unit to 4094 bytes, then tail: the first 4 KiB end two
// bytes into tail.
std::string CutInTail(std::string head, const std::string& unit, const std::string& tail)
{
    while (head.size() + unit.size() <= 4094)
        head += unit;
    return head + tail;
}

// Only the first 4 KiB are read, whatever the file's size; a character that
// the edge cuts in two is dropped, and the line before it stays a command.
TEST(ControlFile, OnlyTheFirst4KiBAreRead)
{
    const std::string utf16("\xFF\xFE" "d\0i\0e\0\n\0", 10);
    const std::string utf16Unit("x\0", 2);
    const std::string utf16Pair("\x3D\xD8\x00\xDE", 4); // U+1F600
    const struct {
        const char* label;
        std::string bytes;
        const char* line;
    } cases[] = {
        {"a large file", "die\n" + std::string(4 << 20, 'x'), "die"},
        {"a first line over 4 KiB", std::string(5000, 'a') + "\ndie\n", ""},
        {"UTF-8 cut in a sequence", CutInTail("\xEF\xBB\xBF" "die\n", "x", "\xE2\x82\xAC"), "die"},
        {"UTF-16 cut in a pair", CutInTail(utf16, utf16Unit, utf16Pair), "die"},
    };
    const TempDir dir;
    const std::string path = dir.path() + "/ctl";
    for (const auto& c : cases) {
        WriteFile(path, c.bytes);
        EXPECT_EQ(ReadControlLine(path.c_str()), c.line) << c.label;
    }
}

TEST(ControlFile, PathsAreUsedByteForByte)
{
    const TempDir dir;
    for (const char* name : {"caf\xC3\xA9", "ctl\xFF\xFE", "a \"b\" \\c"}) {
        const std::string path = dir.path() + "/" + name;
        WriteFile(path, "die\n");
        EXPECT_EQ(ReadControlLine(path.c_str()), "die") << name;
        SetFileTimes(path, 4000000000);
        EXPECT_EQ(ControlFileTime(path.c_str()), 4000000000) << name;
        TruncateControlFile(path.c_str());
        EXPECT_EQ(FileSize(path), 0) << name;
    }
}

TEST(ControlFile, TimeIsTheLaterOfChangeAndModification)
{
    const TempDir dir;
    const std::string path = dir.path() + "/ctl";
    EXPECT_EQ(ControlFileTime(path.c_str()), 0);

    WriteFile(path, "");
    const time_t before = time(nullptr);
    SetFileTimes(path, 1000000000); // modified long ago, changed just now
    const time_t changed = ControlFileTime(path.c_str());
    EXPECT_GE(changed, before);
    EXPECT_LE(changed, time(nullptr));

    SetFileTimes(path, 4000000000); // modified in the future
    EXPECT_EQ(ControlFileTime(path.c_str()), 4000000000);

    // A symbolic link stands for its target.
    const std::string link = dir.path() + "/link";
    ASSERT_EQ(symlink(path.c_str(), link.c_str()), 0);
    EXPECT_EQ(ControlFileTime(link.c_str()), 4000000000);
}

TEST(ControlFile, TruncationEmptiesOrCreatesAndRenewsTheTime)
{
    const TempDir dir;
    const std::string path = dir.path() + "/ctl";
    WriteFile(path, "restart\n");
    SetFileTimes(path, 1000000000);
    sleep(1); // so that a renewed change time differs from the write's
    const time_t before = time(nullptr);
    TruncateControlFile(path.c_str());
    EXPECT_EQ(FileSize(path), 0);
    EXPECT_GE(ControlFileTime(path.c_str()), before);

    // Already empty: the times are renewed all the same.
    SetFileTimes(path, 1000000000);
    struct stat st;
    TruncateControlFile(path.c_str());
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_GE(st.st_mtime, before);

    const std::string created = dir.path() + "/new";
    const mode_t old = umask(027);
    TruncateControlFile(created.c_str());
    umask(old);
    ASSERT_EQ(stat(created.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    const std::string nowhere = dir.path() + "/missing/ctl";
    TruncateControlFile(nowhere.c_str());
    EXPECT_EQ(FileSize(nowhere), -1);

    // Through a link, the target is truncated.
    const std::string target = dir.path() + "/target";
    const std::string link = dir.path() + "/link";
    WriteFile(target, "die\n");
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    TruncateControlFile(link.c_str());
    EXPECT_EQ(FileSize(target), 0);
}

// What each kind of name is made of, in a fresh directory: "ctl" is the
// control file's name, "data" a regular file holding "die" where a row needs
// one.
struct NameKind {
    const char* label;
    bool needsRoot;
    void (*make)(const std::string& dir);
    const char* line;     // what reading gives
    const char* observed; // the file whose contents the truncation may change
    const char* after;    // its contents afterwards; null: it must not exist
    mode_t type;          // what the path is afterwards; 0: nothing
    int messages;         // lines on standard error
    const char* at = "ctl"; // the control file's path in the directory
};

void Data(const std::string& dir) { WriteFile(dir + "/data", "die\n"); }
void Link(const std::string& dir, const char* text, const char* at = "ctl")
{
    if (symlink(text, (dir + "/" + at).c_str()) != 0)
        throw std::runtime_error("cannot link");
}
// Gives the name, not what it points at, to nobody.
void Nobodys(const std::string& path)
{
    if (lchown(path.c_str(), 65534, 65534) != 0)
        throw std::runtime_error("cannot chown " + path);
}
// "sub" a link to the directory "to" of owner 0 or nobody, holding "ctl"
// with "die" when withFile; the link is nobody's, as the program's user
// would swap a directory of theirs for a link.
void SwappedDirectory(const std::string& d, const char* to, bool nobodysDir, bool withFile)
{
    const std::string target = d + "/" + to;
    if (mkdir(target.c_str(), 0755) != 0)
        throw std::runtime_error("cannot make " + target);
    if (withFile)
        WriteFile(target + "/ctl", "die\n");
    if (nobodysDir) {
        Nobodys(target);
        if (withFile)
            Nobodys(target + "/ctl");
    }
    Link(d, target.c_str(), "sub");
    Nobodys(d + "/sub");
}

TEST(ControlFile, EachKindOfNameIsReadTruncatedOrCreatedAsItMay)
{
    // Refused rows are never adjacent: the message is said again only after
    // the path has led elsewhere.
    const NameKind kinds[] = {
        {"a regular file", false, [](const std::string& d) { WriteFile(d + "/ctl", "die\n"); },
         "die", "ctl", "", S_IFREG, 0},
        {"a link of this user", false, [](const std::string& d) { Data(d), Link(d, "data"); },
         "die", "data", "", S_IFLNK, 0},
        {"a link to a link", false,
         [](const std::string& d) { Data(d), Link(d, "data", "mid"), Link(d, "mid"); },
         "die", "data", "", S_IFLNK, 0},
        {"a hard link to a link of root's", false,
         [](const std::string& d) {
             Data(d), Link(d, "data", "mid");
             if (linkat(AT_FDCWD, (d + "/mid").c_str(), AT_FDCWD, (d + "/ctl").c_str(), 0) != 0)
                 throw std::runtime_error("cannot link");
         },
         "", "data", "die\n", S_IFLNK, 1},
        {"a missing name", false, [](const std::string&) {}, "", "ctl", "", S_IFREG, 0},
        {"a link of another user", true,
         [](const std::string& d) {
             Data(d), Link(d, "data");
             if (lchown((d + "/ctl").c_str(), 65534, 65534) != 0)
                 throw std::runtime_error("cannot chown the link");
         },
         "", "data", "die\n", S_IFLNK, 1},
        {"another user's link to their own file", true,
         [](const std::string& d) { Data(d), Nobodys(d + "/data"), Link(d, "data"), Nobodys(d + "/ctl"); },
         "die", "data", "", S_IFLNK, 0},
        {"a directory of the path swapped for another user's link to root's", true,
         [](const std::string& d) { SwappedDirectory(d, "root", false, true); }, "", "root/ctl", "die\n",
         S_IFREG, 1, "sub/ctl"},
        {"a file with a second hard link", false,
         [](const std::string& d) {
             Data(d);
             if (link((d + "/data").c_str(), (d + "/ctl").c_str()) != 0)
                 throw std::runtime_error("cannot link");
         },
         "die", "data", "die\n", S_IFREG, 0},
        {"a dangling link", false, [](const std::string& d) { Link(d, "data"); }, "", "data",
         nullptr, S_IFLNK, 0},
        {"the same, the name missing", true,
         [](const std::string& d) { SwappedDirectory(d, "root", false, false); }, "", "root/ctl", nullptr,
         0, 1, "sub/ctl"},
        {"another user's absolute link to their own directory", true,
         [](const std::string& d) { SwappedDirectory(d, "app", true, true); }, "die", "app/ctl", "", S_IFREG,
         0, "sub/ctl"},
        {"the same, the name missing", true,
         [](const std::string& d) { SwappedDirectory(d, "app", true, false); }, "", "app/ctl", "", S_IFREG,
         0, "sub/ctl"},
        {"a FIFO", false, [](const std::string& d) { (void)mkfifo((d + "/ctl").c_str(), 0600); }, "",
         "data", nullptr, S_IFIFO, 0},
        {"a directory", false, [](const std::string& d) { (void)mkdir((d + "/ctl").c_str(), 0700); },
         "", "data", nullptr, S_IFDIR, 0},
        {"a device node", true,
         [](const std::string& d) {
             if (mknod((d + "/ctl").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
                 throw std::runtime_error("cannot make a device node");
         },
         "", "data", nullptr, S_IFCHR, 0},
    };
    for (const NameKind& kind : kinds) {
        SCOPED_TRACE(kind.label);
        if (kind.needsRoot && geteuid() != 0) {
            std::printf("skipped row '%s': needs root\n", kind.label);
            continue;
        }
        const TempDir dir;
        kind.make(dir.path());
        const std::string ctl = dir.path() + "/" + kind.at;
        testing::internal::CaptureStderr();
        for (int pass = 0; pass < 2; ++pass)
            EXPECT_EQ(ReadControlLine(ctl.c_str()), kind.line);
        TruncateControlFile(ctl.c_str());
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), kind.messages) << err;

        const std::string observed = dir.path() + "/" + kind.observed;
        if (kind.after)
            EXPECT_EQ(ReadFile(observed), kind.after);
        else
            EXPECT_NE(access(observed.c_str(), F_OK), 0);
        struct stat st;
        if (kind.type == 0) {
            EXPECT_NE(lstat(ctl.c_str(), &st), 0);
            continue;
        }
        ASSERT_EQ(lstat(ctl.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & S_IFMT, kind.type);
    }
}

// The name swapped, again and again, between a regular file and a link to a
// FIFO whose writer waits for a reader: a read that opened the FIFO would
// let the writer go. Only the file that was looked at is ever opened.
TEST(ControlFile, ANameSwappedUnderTheReadNeverOpensWhatItWasSwappedFor)
{
    const TempDir dir;
    const std::string ctl = dir.path() + "/ctl";
    const std::string fifo = dir.path() + "/fifo";
    const std::string swap = dir.path() + "/swap";
    WriteFile(ctl, "die\n");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(symlink("fifo", swap.c_str()), 0);

    std::atomic<bool> writerOpened{false};
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        const int fd = open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
        writerOpened = true;
        if (fd >= 0)
            close(fd);
    });
    std::thread swapper([&] {
        while (!stop)
            (void)renameat2(AT_FDCWD, ctl.c_str(), AT_FDCWD, swap.c_str(), RENAME_EXCHANGE);
    });
    unsigned commands = 0;
    for (int i = 0; i < 20000 && !writerOpened; ++i)
        commands += ReadControlLine(ctl.c_str()) == "die";
    stop = true;
    swapper.join();

    EXPECT_FALSE(writerOpened);
    EXPECT_GT(commands, 0u); // the regular file was read meanwhile
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    writer.join();
    close(reader);
}

// With a writer holding "die", nothing is read from a FIFO nor taken out of it.
TEST(ControlFile, AFifoIsNeverOpenedNorTruncated)
{
    const TempDir dir;
    const std::string fifo = dir.path() + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_NE(ControlFileTime(fifo.c_str()), 0); // its times still count

    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(write(writer, "die\n", 4), 4);
    EXPECT_EQ(ReadControlLine(fifo.c_str()), "");
    TruncateControlFile(fifo.c_str());
    char buffer[8] = {};
    EXPECT_EQ(read(reader, buffer, sizeof buffer), 4); // still in the FIFO
    close(writer);
    close(reader);
    EXPECT_EQ(ReadControlLine("/dev/null"), "");
}

TEST(ControlFile, TheLoopObeysCommandsInTheRealFile)
{
    const TempDir dir;
    RealFileWorld w;
    w.controlFile = dir.path() + "/ctl";
    w.StartAt(time(nullptr));
    const time_t start = w.now;
    // A "die" left from an earlier run is consumed; one written later, with
    // a byte-order mark and CR LF, ends the loop.
    WriteFile(w.controlFile, "die\n");
    w.afterPause = [start](const FakeWorld& w) {
        if (w.now == start + 3)
            WriteFile(w.controlFile, "\xEF\xBB\xBF" "die\r\n");
    };
    EXPECT_EQ(w.Run(start + 100), 0);
    EXPECT_EQ(w.passes.back(), start + 3);
    EXPECT_EQ(w.truncations.size(), 2u);
    EXPECT_EQ(FileSize(w.controlFile), 0);

    RealFileWorld second;
    second.controlFile = dir.path() + "/ctl2";
    second.StartAt(time(nullptr));
    WriteFile(second.controlFile, "\ndie\nrestart\n");
    EXPECT_EQ(second.Run(second.now + 5), 0);
    EXPECT_TRUE(second.stop);
    EXPECT_TRUE(second.truncations.empty());
}

// Seen through an overlay with xino whose layers lie on different file
// systems, a file of the lower layer has an inode number above 32 bits, on
// which a stat() without 64-bit inode numbers fails with EOVERFLOW. Prints
// what the control file functions made of it on stderr.
void ExamineAFileWithA64BitInodeNumber()
{
    if (!EnterPrivateMountNamespace())
        _exit(77);
    const TempDir lower;
    const TempDir above;
    const std::string ctl = lower.path() + "/ctl";
    WriteFile(ctl, "die\n");
    SetFileTimes(ctl, 4000000000);
    if (mount("tmpfs", above.path().c_str(), "tmpfs", 0, nullptr) != 0)
        _exit(77);
    const std::string upper = above.path() + "/upper";
    const std::string work = above.path() + "/work";
    const std::string merged = above.path() + "/merged";
    for (const std::string& dir : {upper, work, merged})
        (void)mkdir(dir.c_str(), 0755);
    const std::string options =
        "lowerdir=" + lower.path() + ",upperdir=" + upper + ",workdir=" + work + ",xino=on";
    if (mount("overlay", merged.c_str(), "overlay", 0, options.c_str()) != 0)
        _exit(77);

    const std::string path = merged + "/ctl";
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || st.st_ino <= 0xFFFFFFFFu)
        _exit(78);
    (void)std::fprintf(stderr, "time %lld; line %s; ",
                       static_cast<long long>(ControlFileTime(path.c_str())),
                       ReadControlLine(path.c_str()).utf8_str().data());
    TruncateControlFile(path.c_str());
    (void)std::fprintf(stderr, "size %ld", FileSize(path));
    (void)umount2(merged.c_str(), MNT_DETACH);
    (void)umount2(above.path().c_str(), MNT_DETACH);
}

TEST(ControlFile, AFileWithA64BitInodeNumberIsExaminedLikeAnyOther)
{
    const ChildResult result = RunInChild(ExamineAFileWithA64BitInodeNumber);
    ASSERT_TRUE(WIFEXITED(result.status)) << result.err;
    if (WEXITSTATUS(result.status) == 77)
        GTEST_SKIP() << "no private mount namespace with a tmpfs and an overlay is permitted here";
    if (WEXITSTATUS(result.status) == 78)
        GTEST_SKIP() << "the overlay gives no inode number above 32 bits here";
    EXPECT_EQ(result.err, "time 4000000000; line die; size 0");
}

} // namespace
