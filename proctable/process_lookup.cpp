#include "process_lookup.h"

#include "process_place.h"
#include "process_table.h"
#include "unique_fd.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>
// glibc 2.36 declares these calls without C linkage for C++.
extern "C" {
#include <sys/pidfd.h>
}

namespace {

const unsigned long kKillWaitPassMs = 1000;

std::vector<pid_t>& ReportedForeign()
{
    static std::vector<pid_t> reported;
    return reported;
}

// A process that was sent SIGKILL: its pid and its start time, which tell
// it apart from whoever takes the pid over.
struct Signalled {
    pid_t pid;
    unsigned long long start;
};

// True while the snapshot still lists the process under the name it bore
// when killed, and the pid is still that process.
bool StillListed(const ProcessTable& table, const Signalled& process, const char* name)
{
    const auto it = table.find(process.pid);
    return it != table.end() && std::strcmp(it->second.name, name) == 0 &&
           ReadStartTime(process.pid) == process.start;
}

// True when pid is a process's own id, not one of its other threads'.
bool LeadsItsGroup(pid_t pid)
{
    ProcessPlace place;
    return ReadProcessPlace(pid, place) && place.group == pid;
}

// Sends SIGKILL to pid if it bears name when signalled. A snapshot may be
// seconds old by now, and its pid may belong to another program since: a
// pidfd holds on to the process that had the pid when it was opened, so a
// signal through it never reaches whoever takes the pid over. Passed over
// when the process has gone, bears another name, or may not be signalled
// (another user's process). The pidfd is closed on return: a thousand
// processes of the name must not hold a thousand descriptors.
KillOutcome KillIfNamed(pid_t pid, const char* name, Signalled& signalled)
{
    // kill() takes 0 and negative pids for whole process groups, or for every
    // process there is: never let a bad entry turn into that.
    if (pid <= 0)
        return KillOutcome::kPassedOver;
    const UniqueFd process(pidfd_open(pid, 0));
    if (!process && IsShortage(errno))
        return KillOutcome::kIncomplete;
    // Only where pidfds do not exist or are refused may kill() stand in. Any
    // other error (gone; a thread's id, which pidfd_open rejects) passes over:
    // kill() of a thread's id would end its whole process, of whatever name.
    if (!process && errno != ENOSYS && errno != EPERM)
        return KillOutcome::kPassedOver;
    if (!process && !LeadsItsGroup(pid))
        return KillOutcome::kPassedOver;
    ProcessEntry entry;
    const StatRead read = ReadListedProcess(pid, entry);
    if (read == StatRead::kShort)
        return KillOutcome::kIncomplete;
    if (read != StatRead::kListed || std::strcmp(entry.name, name) != 0)
        return KillOutcome::kPassedOver;
    signalled = {pid, ReadStartTime(pid)};
    // Without a pidfd (an old kernel, a seccomp filter, valgrind) the name
    // read just before is all the check there can be.
    const int sent = SendKill()(process.get(), pid);
    return sent == 0 ? KillOutcome::kKilled : KillOutcome::kPassedOver;
}

// Says once of each process of the name in another pid namespace that it is
// passed over: a command that starts a detached container would otherwise
// be launched again and again without a word. Forgets the pids that the
// table no longer lists, so that it never holds more than the table.
void ReportForeign(pid_t pid, const char* name)
{
    auto& reported = ReportedForeign();
    if (std::find(reported.begin(), reported.end(), pid) != reported.end())
        return;
    reported.push_back(pid);
    (void)std::fprintf(stderr, "[Watchdog]: pid %d of the name %s runs in another pid namespace,"
                               " not started from here: not this watchdog's\n",
                       static_cast<int>(pid), name);
}

void ForgetUnlisted(const ProcessTable& table)
{
    auto& reported = ReportedForeign();
    reported.erase(std::remove_if(reported.begin(), reported.end(),
                                  [&](pid_t pid) { return table.count(pid) == 0; }),
                   reported.end());
}

// Waits for every signalled process together: a snapshot, then a pause, pass
// after pass, until none of them is listed any more, at most kKillWaitPasses
// passes for all of them. So the wait lasts at least one pass, and as long
// as the slowest, not the sum. False when a process that was given up on
// could not be looked for and may still run; one that cannot leave /proc
// counts as gone.
bool WaitUntilGone(std::vector<Signalled>& signalled, const char* name)
{
    ProcessTable table;
    for (unsigned pass = 0; pass < kKillWaitPasses && !signalled.empty(); ++pass) {
        ScanProcessTable(table, nullptr, 0, name);
        KillWaitPause()(kKillWaitPassMs);
        if (!table.complete)
            continue;
        signalled.erase(std::remove_if(signalled.begin(), signalled.end(),
                                       [&](const Signalled& process) {
                                           return !StillListed(table, process, name);
                                       }),
                        signalled.end());
    }
    return table.complete || std::all_of(signalled.begin(), signalled.end(), [&](const Signalled& process) {
               return StillListed(table, process, name);
           });
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
    ProcessEntry own{};
    if (!name && ReadListedProcess(getpid(), own) != StatRead::kListed)
        own.name[0] = '\0';
    const char* sought = name ? name : own.name;
    ProcessTable table;
    const pid_t self = ScanProcessTable(table, nullptr, 0, sought);

    int found = 0;
    bool complete = table.complete;
    std::vector<Signalled> signalled;
    for (const auto& [pid, entry] : table) {
        if (pid == self || std::strcmp(entry.name, sought) != 0)
            continue;
        if (!IsOwnProcess(static_cast<pid_t>(pid), self)) {
            ReportForeign(static_cast<pid_t>(pid), sought);
            continue;
        }
        if (mode != kKillAllProcesses) {
            found = static_cast<int>(pid);
            break;
        }
        // The matches that can be seen are killed even when others may hide.
        Signalled process{};
        const KillOutcome outcome = KillIfNamed(static_cast<pid_t>(pid), sought, process);
        if (outcome == KillOutcome::kKilled) {
            found = static_cast<int>(pid);
            signalled.push_back(process);
        }
        complete = complete && outcome != KillOutcome::kIncomplete;
    }
    ForgetUnlisted(table);
    if (!signalled.empty())
        complete = WaitUntilGone(signalled, sought) && complete;
    ReportShortage(!complete);
    // A match seen is a match; only what could not be seen is in doubt.
    const bool inDoubt = !complete && (mode == kKillAllProcesses || found == 0);
    return inDoubt ? kIncomplete : found;
}

KillOutcome KillProcessAndWait(int pid, const char* name)
{
    std::vector<Signalled> signalled(1);
    const KillOutcome sent = KillIfNamed(pid, name, signalled.front());
    if (sent != KillOutcome::kKilled)
        return sent;
    return WaitUntilGone(signalled, name) ? KillOutcome::kKilled : KillOutcome::kIncomplete;
}
