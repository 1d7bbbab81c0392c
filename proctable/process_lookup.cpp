#include "process_lookup.h"

#include "process_table.h"
#include "unique_fd.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>
// glibc 2.36 declares these calls without C linkage for C++.
extern "C" {
#include <sys/pidfd.h>
}

namespace {

const unsigned long kKillWaitPassMs = 1000;

// True while the snapshot still lists pid under the name it bore when killed.
bool StillListed(const ProcessTable& table, pid_t pid, const char* name)
{
    const auto it = table.find(pid);
    return it != table.end() && std::strcmp(it->second.name, name) == 0;
}

// Sends SIGKILL to pid if it bears name when signalled. A snapshot may be
// seconds old by now, and its pid may belong to another program since: a
// pidfd holds on to the process that had the pid when it was opened, so a
// signal through it never reaches whoever takes the pid over. Passed over
// when the process has gone or bears another name; a signal refused
// (another user's process) still counts as sent, and its wait runs.
KillOutcome KillIfNamed(pid_t pid, const char* name)
{
    const UniqueFd process(pidfd_open(pid, 0));
    if (!process && errno == ESRCH)
        return KillOutcome::kPassedOver;
    if (!process && IsShortage(errno))
        return KillOutcome::kIncomplete;
    ProcessEntry entry;
    const StatRead read = ReadListedProcess(pid, entry);
    if (read == StatRead::kShort)
        return KillOutcome::kIncomplete;
    if (read != StatRead::kListed || std::strcmp(entry.name, name) != 0)
        return KillOutcome::kPassedOver;
    // Without a pidfd (an old kernel, a seccomp filter, valgrind) the name
    // read just before is all the check there can be.
    const int sent = SendKill()(process.get(), pid);
    return sent == 0 ? KillOutcome::kKilled : KillOutcome::kPassedOver;
}

// One line when the process table first cannot be read whole, and nothing
// more until it can again.
void ReportShortage(bool shortNow)
{
    static bool reported = false;
    if (shortNow && !reported)
        (void)std::fprintf(stderr, "[Watchdog]: Out of descriptors or memory: cannot read /proc whole,"
                                   " no restart until it can\n");
    reported = shortNow;
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

KillFunction& SendKill()
{
    static KillFunction send = [](int pidfd, int pid) {
        return pidfd >= 0 ? pidfd_send_signal(pidfd, SIGKILL, nullptr, 0) : kill(pid, SIGKILL);
    };
    return send;
}

int FindProcess(const char* name, int mode)
{
    char ownName[64] = {};
    ProcessTable table;
    const pid_t self = ScanProcessTable(table, ownName, sizeof ownName);
    const char* sought = name ? name : ownName;

    int found = 0;
    bool complete = table.complete;
    for (const auto& [pid, entry] : table) {
        if (pid == self || std::strcmp(entry.name, sought) != 0)
            continue;
        if (mode != kKillAllProcesses) {
            found = static_cast<int>(pid);
            break;
        }
        // The matches that can be seen are killed even when others may hide.
        const KillOutcome outcome = KillProcessAndWait(static_cast<int>(pid), sought);
        if (outcome == KillOutcome::kKilled)
            found = static_cast<int>(pid);
        complete = complete && outcome != KillOutcome::kIncomplete;
    }
    ReportShortage(!complete);
    // A match seen is a match; only what could not be seen is in doubt.
    const bool inDoubt = !complete && (mode == kKillAllProcesses || found == 0);
    return inDoubt ? kIncomplete : found;
}

KillOutcome KillProcessAndWait(int pid, const char* name)
{
    // kill() takes 0 and negative pids for whole process groups, or for every
    // process there is: never let a bad entry turn into that.
    if (pid <= 0)
        return KillOutcome::kPassedOver;
    const KillOutcome sent = KillIfNamed(pid, name);
    if (sent != KillOutcome::kKilled)
        return sent;

    ProcessTable table;
    for (unsigned pass = 0; pass < kKillWaitPasses; ++pass) {
        // Snapshot first, pause second: the wait lasts at least one pass,
        // even for a process that has gone at once.
        ScanProcessTable(table, nullptr, 0);
        KillWaitPause()(kKillWaitPassMs);
        if (table.complete && !StillListed(table, pid, name))
            return KillOutcome::kKilled;
    }
    // Given up on: one that cannot leave /proc counts as killed, one that
    // could not be looked for may still run.
    return table.complete || StillListed(table, pid, name) ? KillOutcome::kKilled
                                                           : KillOutcome::kIncomplete;
}
