#include "process_table.h"

#include "unique_dir.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const unsigned kNameField = sizeof(ProcessEntry::name);
// The kernel keeps this many bytes of a program's name.
const size_t kKernelNameBytes = 15;

// Room for the start of any stat line: the pid, the name in parentheses and
// more. One read of it is all the parse needs.
const size_t kStatRead = 1024;

// Reads the start of <dirName>/stat, relative to dirFd (a descriptor of
// /proc, or AT_FDCWD with a dirName under /proc), into line, kStatRead + 1
// bytes. A process that has ended since the listing fails to open.
StatRead ReadStatFile(int dirFd, const char* dirName, char* line)
{
    char path[sizeof(dirent::d_name) + 8];
    (void)std::snprintf(path, sizeof path, "%s/stat", dirName);
    const int fd = openat(dirFd, path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return IsShortage(errno) ? StatRead::kShort : StatRead::kUnlisted;
    const ssize_t size = read(fd, line, kStatRead);
    close(fd);
    if (size <= 0)
        return StatRead::kUnlisted;
    line[size] = '\0';
    return StatLineShowsEnded(line) ? StatRead::kUnlisted : StatRead::kListed;
}

// Fills entry from the stat line of pid, and start with its start time when
// asked: one read.
StatRead ReadPidEntry(pid_t pid, ProcessEntry& entry, unsigned long long* start)
{
    if (pid <= 0)
        return StatRead::kUnlisted;
    char dirName[32];
    (void)std::snprintf(dirName, sizeof dirName, "/proc/%d", static_cast<int>(pid));
    char line[kStatRead + 1];
    const StatRead read = ReadStatFile(AT_FDCWD, dirName, line);
    if (read != StatRead::kListed)
        return read;
    if (!ReadStatLine(line, entry))
        return StatRead::kUnlisted;
    if (start)
        *start = StatLineStartTime(line);
    return StatRead::kListed;
}

// Reads <dirName>/comm under /proc into name: the bytes that the stat line
// gives between its parentheses, uncut, and cheaper to read than the stat
// line, which the kernel formats whole. Every process of a scan comes here,
// so the name is taken as ReadStatLine takes it (its first run of non-blank
// characters, cut at its first ')') without formatting or scanning a line.
StatRead ReadCommName(int procFd, const char* dirName, char* name)
{
    // self, thread-self, sys and the like; a name that merely begins with a
    // digit fails later.
    if (dirName[0] < '0' || dirName[0] > '9')
        return StatRead::kUnlisted;
    char path[sizeof(dirent::d_name) + 8];
    const size_t dirLength = strnlen(dirName, sizeof(dirent::d_name));
    std::memcpy(path, dirName, dirLength);
    std::memcpy(path + dirLength, "/comm", sizeof "/comm");
    const int fd = openat(procFd, path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return IsShortage(errno) ? StatRead::kShort : StatRead::kUnlisted;
    char text[kNameField];
    const ssize_t size = read(fd, text, sizeof text);
    close(fd);
    if (size <= 0)
        return StatRead::kUnlisted;
    const char* begin = text;
    const char* const end = text + size - (text[size - 1] == '\n' ? 1 : 0);
    while (begin < end && std::isspace(static_cast<unsigned char>(*begin)))
        ++begin;
    const char* stop = begin;
    while (stop < end && *stop != ')' && !std::isspace(static_cast<unsigned char>(*stop)))
        ++stop;
    const auto length = std::min(static_cast<size_t>(stop - begin), size_t{kNameField - 1});
    std::memcpy(name, begin, length);
    name[length] = '\0';
    return StatRead::kListed;
}

// strncpy's contract, spelled out: up to limit bytes of the name, the rest of
// them zeros, and no terminator when the name fills all of them.
void CopyName(char* to, const char* name, size_t limit)
{
    const size_t length = strnlen(name, limit);
    std::memcpy(to, name, length);
    std::memset(to + length, 0, limit - length);
}

} // namespace

bool ReadStatLine(const char* line, ProcessEntry& entry)
{
    if (std::sscanf(line, "%ld (%511s", &entry.pid, entry.name) != 2)
        return false;
    if (char* close = std::strchr(entry.name, ')'))
        *close = '\0';
    return true;
}

bool StatLineShowsEnded(const char* line)
{
    // The name may hold anything, ") Z 1 (" too; the fields after the last
    // ')' are the kernel's. Field 3 is the state, field 20 the thread count,
    // read only for a zombie: every process of every scan comes here.
    const char* close = std::strrchr(line, ')');
    if (!close)
        return false;
    const char* state = close + 1 + std::strspn(close + 1, " ");
    if (*state == 'X')
        return true;
    if (*state != 'Z')
        return false;
    long threads = 0;
    return std::sscanf(state + 1,
                       "%*s %*s %*s %*s %*s %*s %*s %*s"
                       " %*s %*s %*s %*s %*s %*s %*s %*s %ld",
                       &threads) == 1 &&
           threads == 1;
}

unsigned long long StatLineStartTime(const char* line)
{
    // Field 22 is the 20th after the name, the state being the first.
    const char* close = std::strrchr(line, ')');
    unsigned long long start = 0;
    if (!close || std::sscanf(close + 1,
                              " %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s"
                              " %*s %*s %*s %*s %*s %*s %*s %*s %*s %llu",
                              &start) != 1)
        return 0;
    return start;
}

unsigned long long ReadStartTime(pid_t pid)
{
    ProcessEntry entry;
    unsigned long long start = 0;
    return ReadPidEntry(pid, entry, &start) == StatRead::kListed ? start : 0;
}

bool IsShortage(int error)
{
    return error == EMFILE || error == ENFILE || error == ENOMEM;
}

StatRead ReadListedProcess(pid_t pid, ProcessEntry& entry)
{
    return ReadPidEntry(pid, entry, nullptr);
}

std::string ListedName(const std::string& name)
{
    // The stat line the kernel would write for such a program, read as every
    // other: the same rules by construction.
    const std::string line = "0 (" + name.substr(0, kKernelNameBytes) + ") S";
    ProcessEntry entry;
    return ReadStatLine(line.c_str(), entry) ? entry.name : "";
}

void ReapEndedChildren()
{
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
}

pid_t ScanProcessTable(ProcessTable& table, char* ownName, unsigned ownNameSize, const char* only)
{
    ReapEndedChildren();

    const UniqueDir proc(opendir("/proc"));
    const int openError = errno;
    const pid_t self = getpid();
    table.clear();
    table.complete = true;
    if (!proc) {
        if (IsShortage(openError)) {
            table.complete = false;
            return self;
        }
        (void)std::fprintf(stderr, "[Watchdog]: Fatal error: Could not open /proc!\n");
        std::exit(1);
    }

    const int procFd = dirfd(proc.get());
    const unsigned copyLimit = std::min(ownNameSize, kNameField) - 1;
    const std::string selfDir = std::to_string(self);
    while (const dirent* dir = readdir(proc.get())) {
        ProcessEntry entry;
        entry.pid = 0; // the stat line gives it
        StatRead read = ReadCommName(procFd, dir->d_name, entry.name);
        // The stat line, for whether it has ended, only where it counts.
        const bool wanted = read == StatRead::kListed &&
                            (!only || std::strcmp(entry.name, only) == 0 || selfDir == dir->d_name);
        if (wanted) {
            char line[kStatRead + 1];
            read = ReadStatFile(procFd, dir->d_name, line);
            if (read == StatRead::kListed && !ReadStatLine(line, entry))
                read = StatRead::kUnlisted;
        } else if (read == StatRead::kListed) {
            continue;
        }
        if (read == StatRead::kShort)
            table.complete = false;
        if (read != StatRead::kListed)
            continue;
        // A size of 0 would wrap the limit; no buffer can be written then.
        if (entry.pid == self && ownName && ownNameSize > 0)
            CopyName(ownName, entry.name, copyLimit);
        // Renamed between the two reads: the later name counts.
        if (only && std::strcmp(entry.name, only) != 0)
            continue;
        // /proc lists pids in ascending order: the hint makes each insertion
        // constant time. Were one out of order, it would still go where it belongs.
        table.emplace_hint(table.end(), entry.pid, entry);
    }
    return self;
}
