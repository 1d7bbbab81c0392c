#include "program_sighting.h"

#include "process_lookup.h"
#include "process_place.h"
#include "process_table.h"

#include <cstring>

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
    if (pid_ <= 0)
        return false;
    ProcessEntry entry;
    unsigned long long start = 0;
    return ReadListedProcess(pid_, entry, &start) == StatRead::kListed && start == start_ &&
           std::strcmp(entry.name, name) == 0;
}

void ProgramSighting::Remember(int found, const char* name)
{
    pid_ = 0;
    if (found <= 0)
        return;
    // The process at that pid now, read before and after its place: the
    // same start time both times makes it one process throughout.
    ProcessEntry entry;
    unsigned long long before = 0;
    unsigned long long after = 0;
    ProcessPlace place;
    if (ReadListedProcess(found, entry, &before) != StatRead::kListed || std::strcmp(entry.name, name) != 0)
        return;
    // One of another pid namespace counts only through its parents, which
    // may change: the whole table is asked about it every pass.
    if (!ReadProcessPlace(found, place) || place.namespaces > 1)
        return;
    if (ReadListedProcess(found, entry, &after) != StatRead::kListed || after != before || before == 0)
        return;
    pid_ = found;
    start_ = before;
}
