#include "process_lookup.h"

#include "process_table.h"

#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

const unsigned long kKillWaitPassMs = 1000;

// True while the snapshot still lists pid under the name it bore when killed.
bool StillListed(const ProcessTable& table, pid_t pid, const char* name)
{
    const auto it = table.find(pid);
    return it != table.end() && std::strcmp(it->second.name, name) == 0;
}

} // namespace

PauseFunction& KillWaitPause()
{
    // sleep() counts whole seconds, which is all the wait asks of it.
    static PauseFunction pause = [](unsigned long milliseconds) {
        sleep(static_cast<unsigned>(milliseconds / 1000));
    };
    return pause;
}

int FindProcess(const char* name, int mode)
{
    char ownName[64] = {};
    ProcessTable table;
    const pid_t self = ScanProcessTable(table, ownName, sizeof ownName);
    const char* sought = name ? name : ownName;

    int found = 0;
    for (const auto& [pid, entry] : table) {
        if (pid == self || std::strcmp(entry.name, sought) != 0)
            continue;
        found = static_cast<int>(pid);
        if (mode != kKillAllProcesses)
            break;
        KillProcessAndWait(found);
    }
    return found;
}

void KillProcessAndWait(int pid)
{
    // kill() takes 0 and negative pids for whole process groups, or for every
    // process there is: never let a bad entry turn into that.
    if (pid <= 0)
        return;

    ProcessTable table;
    ScanProcessTable(table, nullptr, 0);
    char name[sizeof(ProcessEntry::name)] = "";
    if (const auto it = table.find(pid); it != table.end())
        std::memcpy(name, it->second.name, sizeof name);

    kill(pid, SIGKILL);

    for (unsigned pass = 0; pass < kKillWaitPasses; ++pass) {
        // Snapshot first, pause second: the wait lasts at least one pass,
        // even for a process that has gone at once.
        ScanProcessTable(table, nullptr, 0);
        KillWaitPause()(kKillWaitPassMs);
        if (!StillListed(table, pid, name))
            return;
    }
}
