#ifndef WDOG_PROCTABLE_PROCESS_LOOKUP_H
#define WDOG_PROCTABLE_PROCESS_LOOKUP_H

#include "function_override.h"

#include <cstdint>

// Modes of FindProcess.
const int kFindProcess = 0;      // return the lowest matching pid
const int kKillAllProcesses = 1; // kill every match, return the highest pid

// FindProcess's result when /proc could not be read whole for want of
// descriptors or memory, so that no answer can be relied on: in find mode no
// match was seen, but one may run; in kill-all mode a match may be left
// running.
const int kIncomplete = -1;

// The wait after the kills gives up after this many one-second passes, so a
// process that can never leave /proc cannot stop the caller for ever.
const unsigned kKillWaitPasses = 30;

// Looks for processes whose command name equals name exactly, other than the
// caller's own process; a null name means the caller's own command name.
// Only the caller's processes count (IsOwnProcess): one of another pid
// namespace that does not descend from the caller is another machine's, and
// is passed over, which standard error tells once for each.
// Returns the matching pid that the mode asks for, 0 when none matched, or
// kIncomplete. Kill-all mode sends SIGKILL to every match first, then waits
// for all of them together (as KillProcessAndWait waits for one), so that
// its time is that of the slowest, whatever their number. A match that
// bears another name by the time its turn comes, or that may not be
// signalled, is passed over: not counted, not waited for. The first call that is
// incomplete after one that was not says so on standard error.
int FindProcess(const char* name, int mode);

enum class KillOutcome : uint8_t {
    kKilled,     // signalled, and gone or waited for
    kPassedOver, // gone or bearing another name: nothing sent
    kIncomplete, // short of descriptors or memory: it may still run
};

// Sends SIGKILL to pid once, but only if it bears name at that moment, then
// takes a snapshot and pauses one second per pass until pid has left /proc,
// bears another name or is another process, at most kKillWaitPasses passes. Passed over, at
// once, when pid has gone, has ended, bears another name, or may not be
// signalled (another user's process), or is the id of a thread other than
// its process's first: nothing to wait for. A pid of 0 or
// less is never signalled. A snapshot that is not complete does not end the
// wait.
KillOutcome KillProcessAndWait(int pid, const char* name);

// The pause of each pass of KillProcessAndWait, one second of sleep(). A test
// puts a PauseOverride on it to run the wait in virtual time.
PauseFunction& KillWaitPause();

// Sends SIGKILL to the process that pidfd holds, or to pid when there is no
// pidfd (-1); 0 when sent, otherwise -1 with errno set. A test puts a
// FunctionOverride on it to keep a process listed through its kill.
using KillFunction = std::function<int(int pidfd, int pid)>;
KillFunction& SendKill();

#endif
