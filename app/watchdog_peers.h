#ifndef WDOG_APP_WATCHDOG_PEERS_H
#define WDOG_APP_WATCHDOG_PEERS_H

#include <sys/types.h>
#include <wx/string.h>

// The watchdog that this one must leave supervising to, when the lock
// cannot say: a live process other than this one whose real, effective and
// saved user ids (the "Uid:" line of its status, never a file's owner) are
// this process's, whose argv[0] gives the same, non-empty application name
// (AppNameOf), that runs in this process's pid namespace and sees the same
// directory at dir (the lock's place), that started before this one (in
// the same tick: with a lower pid), and that has run longer than a start
// that the lock refuses can. The oldest such process's pid, or 0 when there
// is none. Only the process table is asked, which no other user can forge.
pid_t OlderWatchdog(const wxString& appName, const char* dir);

// True when this process has run longer than a start that the lock refuses
// can: a watchdog started within that time before it counts from now on.
bool IsEstablished();

#endif
