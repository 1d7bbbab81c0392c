#include "program_sighting.h"

#include "process_lookup.h"
#include "process_place.h"
#include "process_table.h"

#include <cstring>
#include <poll.h>
// glibc 2.36 declares these calls without C linkage for C++.
extern "C" {
#include <sys/pidfd.h>
}

namespace {

// True while the process that pidfd holds has not ended: until then its pid
// is its own, and /proc/<pid> shows it.
bool Alive(const UniqueFd& pidfd)
{
    pollfd ended{pidfd.get(), POLLIN, 0};
    return poll(&ended, 1, 0) == 0;
}

// True when /proc/<pid> shows a process of that name that has not ended.
bool Named(pid_t pid, const char* name)
{
    ProcessEntry entry;
    return ReadListedProcess(pid, entry) == StatRead::kListed && std::strcmp(entry.name, name) == 0;
}

} // namespace

bool ProgramSighting::Runs(const char* name)
{
    fromSighting_ = StillThere(name);
    if (fromSighting_)
        return true;
    const int found = FindProcess(name, kFindProcess);
    Remember(found, name);
    return found != 0;
}

bool ProgramSighting::StillThere(const char* name) const
{
    // Read first, then asked whether it lives: alive after the read, it was
    // the process at that pid during the read.
    return process_ && Named(pid_, name) && Alive(process_);
}

void ProgramSighting::Remember(int found, const char* name)
{
    process_ = UniqueFd(found > 0 ? pidfd_open(found, 0) : -1);
    pid_ = found;
    if (!process_)
        return;
    // One of another pid namespace counts only through its parents, which
    // may change: the whole table is asked about it every pass.
    ProcessPlace place;
    if (!ReadProcessPlace(found, place) || place.namespaces > 1 || !Named(found, name) || !Alive(process_))
        process_ = UniqueFd(-1);
}
