#include "process_place.h"

#include "process_table.h"
#include "unique_fd.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A chain of parents longer than this is not followed to its end.
const unsigned kMaxAncestors = 256;

// The number of pids on the "NSpid:" line at line, up to its end.
unsigned CountPids(const char* line)
{
    unsigned count = 0;
    for (const char* at = line; *at && *at != '\n';) {
        at += std::strspn(at, " \t");
        if (*at < '0' || *at > '9')
            break;
        ++count;
        at += std::strspn(at, "0123456789");
    }
    return count;
}

size_t ReadWhole(const char* path, char* text, size_t size)
{
    const UniqueFd fd(open(path, O_RDONLY | O_CLOEXEC));
    if (!fd)
        return 0;
    const ssize_t got = read(fd.get(), text, size - 1);
    if (got <= 0)
        return 0;
    text[got] = '\0';
    return static_cast<size_t>(got);
}

} // namespace

size_t ReadProcFile(pid_t pid, const char* file, char* text, size_t size)
{
    char path[128];
    (void)std::snprintf(path, sizeof path, "/proc/%d/%s", static_cast<int>(pid), file);
    return ReadWhole(path, text, size);
}

bool ReadProcessPlace(pid_t pid, ProcessPlace& place)
{
    char status[4096];
    if (pid <= 0 || ReadProcFile(pid, "status", status, sizeof status) == 0)
        return false;
    const char* group = std::strstr(status, "\nTgid:");
    const char* parent = std::strstr(status, "\nPPid:");
    int groupPid = 0;
    int parentPid = 0;
    if (!group || !parent || std::sscanf(group, "\nTgid: %d", &groupPid) != 1 ||
        std::sscanf(parent, "\nPPid: %d", &parentPid) != 1)
        return false;
    const char* namespaces = std::strstr(status, "\nNSpid:");
    place.group = groupPid;
    place.parent = parentPid;
    place.namespaces = namespaces ? CountPids(namespaces + std::strlen("\nNSpid:")) : 0;
    return true;
}

bool ProcIsOwnNamespace()
{
    // By "self", which /proc resolves in its own namespace: the pid that
    // getpid() gives may name another process there.
    char status[4096];
    // No "self" in a /proc that lists processes: this process is not in its
    // namespace at all. One that lists none names none wrongly (the scan
    // says what is missing).
    if (ReadWhole("/proc/self/status", status, sizeof status) == 0)
        return IsShortage(errno) || access("/proc/1", F_OK) != 0;
    const char* line = std::strstr(status, "\nNSpid:");
    if (!line)
        return true; // a kernel too old to tell: one namespace, as far as is known
    int pid = 0;
    return CountPids(line + std::strlen("\nNSpid:")) == 1 && std::sscanf(line, "\nNSpid: %d", &pid) == 1 &&
           pid == getpid();
}

bool InOwnNamespace(pid_t pid)
{
    ProcessPlace place;
    return !ReadProcessPlace(pid, place) || place.namespaces <= 1;
}

bool IsOwnProcess(pid_t pid, pid_t self)
{
    ProcessPlace place;
    if (!ReadProcessPlace(pid, place) || place.namespaces <= 1)
        return true;
    for (unsigned hops = 0; hops < kMaxAncestors && place.parent > 0; ++hops) {
        if (place.parent == self)
            return true;
        if (!ReadProcessPlace(place.parent, place))
            return false;
    }
    return false;
}
