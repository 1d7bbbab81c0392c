#include "watchdog_peers.h"

#include "app_name.h"
#include "process_place.h"
#include "process_table.h"
#include "unique_dir.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A start that the lock refuses leaves within a few hundred milliseconds;
// one that has run longer is a watchdog that supervises.
const long kEstablishedMs = 1000;

struct UserIds {
    uid_t real = 0;
    uid_t effective = 0;
    uid_t saved = 0;
    bool operator==(const UserIds& other) const
    {
        return real == other.real && effective == other.effective && saved == other.saved;
    }
};

bool ReadUserIds(pid_t pid, UserIds& ids)
{
    char status[4096];
    if (ReadProcFile(pid, "status", status, sizeof status) == 0)
        return false;
    const char* line = std::strstr(status, "\nUid:");
    unsigned real = 0;
    unsigned effective = 0;
    unsigned saved = 0;
    if (!line || std::sscanf(line, "\nUid: %u %u %u", &real, &effective, &saved) != 3)
        return false;
    ids = {real, effective, saved};
    return true;
}

// argv[0] of pid, as far as the first 4 KiB of its arguments hold it.
std::string ReadArgv0(pid_t pid)
{
    char cmdline[4096];
    if (ReadProcFile(pid, "cmdline", cmdline, sizeof cmdline) == 0)
        return std::string();
    return std::string(cmdline); // up to the first NUL
}

// The clock of the processes' start times, in clock ticks since boot.
unsigned long long TicksSinceBoot()
{
    struct timespec now = {};
    (void)clock_gettime(CLOCK_BOOTTIME, &now);
    const auto hz = static_cast<unsigned long long>(sysconf(_SC_CLK_TCK));
    return static_cast<unsigned long long>(now.tv_sec) * hz +
           static_cast<unsigned long long>(now.tv_nsec) * hz / 1000000000ULL;
}

// This process's start time, from its main thread's stat line: a user-mode
// emulator answers reads of the process's own stat itself, without it.
unsigned long long OwnStartTime(pid_t self)
{
    char path[64];
    (void)std::snprintf(path, sizeof path, "task/%d/stat", static_cast<int>(self));
    char line[1024];
    if (ReadProcFile(self, path, line, sizeof line) == 0)
        return 0;
    return StatLineStartTime(line);
}

// Ticks that a watchdog must have run to be established.
unsigned long long EstablishedTicks()
{
    return kEstablishedMs * static_cast<unsigned long long>(sysconf(_SC_CLK_TCK)) / 1000;
}

// True when pid sees at dir the very directory that this process sees there:
// its lock is this one's. One that cannot be looked at counts as sharing it.
bool SharesDir(pid_t pid, const char* dir, const struct stat& own)
{
    char path[PATH_MAX];
    (void)std::snprintf(path, sizeof path, "/proc/%d/root%s", static_cast<int>(pid), dir);
    struct stat theirs;
    if (stat(path, &theirs) != 0)
        return errno != ENOENT;
    return theirs.st_dev == own.st_dev && theirs.st_ino == own.st_ino;
}

} // namespace

bool IsEstablished()
{
    const unsigned long long start = OwnStartTime(getpid());
    return start != 0 && TicksSinceBoot() >= start + EstablishedTicks();
}

pid_t OlderWatchdog(const wxString& appName, const char* dir)
{
    // A kernel thread has no argv[0], and so every empty name: never a peer.
    if (appName.empty())
        return 0;
    struct stat ownDir;
    const bool dirSeen = stat(dir, &ownDir) == 0;
    UserIds own;
    (void)getresuid(&own.real, &own.effective, &own.saved);
    const pid_t self = getpid();
    const unsigned long long ownStart = OwnStartTime(self);
    const unsigned long long now = TicksSinceBoot();
    const unsigned long long establishedBy = now - std::min(now, EstablishedTicks());
    const UniqueDir proc(opendir("/proc"));
    if (!proc || ownStart == 0)
        return 0;

    pid_t oldest = 0;
    unsigned long long oldestStart = ownStart;
    while (const dirent* entry = readdir(proc.get())) {
        char* end = nullptr;
        const long number = std::strtol(entry->d_name, &end, 10);
        const auto pid = static_cast<pid_t>(number);
        if (*end != '\0' || number <= 0 || pid == self)
            continue;
        const unsigned long long start = ReadStartTime(pid); // 0: gone or ended
        if (start == 0 || start > establishedBy || start > oldestStart ||
            (start == oldestStart && pid > (oldest ? oldest : self)))
            continue;
        UserIds ids;
        if (!ReadUserIds(pid, ids) || !(ids == own) || AppNameOf(ReadArgv0(pid)) != appName)
            continue;
        // Another pid namespace, or another directory at the lock's place,
        // is another machine: its watchdog's lock is not this one's.
        if (!InOwnNamespace(pid) || (dirSeen && !SharesDir(pid, dir, ownDir)))
            continue;
        oldest = pid;
        oldestStart = start;
    }
    return oldest;
}
