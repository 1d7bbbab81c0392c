#ifndef WDOG_PROCTABLE_PROCESS_PLACE_H
#define WDOG_PROCTABLE_PROCESS_PLACE_H

#include <cstddef>
#include <sys/types.h>

// Up to size - 1 bytes of /proc/<pid>/<file>, NUL-terminated; their count,
// or 0 when nothing could be read (errno tells why).
size_t ReadProcFile(pid_t pid, const char* file, char* text, size_t size);

// Where a process stands, from /proc/<pid>/status: its thread group (the
// process a thread id belongs to), its parent, and the number of pids its
// "NSpid:" line gives, one per pid namespace from that of /proc down to its
// own (0 on a kernel that shows none).
struct ProcessPlace {
    pid_t group = 0;
    pid_t parent = 0;
    unsigned namespaces = 0;
};
bool ReadProcessPlace(pid_t pid, ProcessPlace& place);

// True when /proc is the one of this process's own pid namespace: its own
// status gives one pid, its own. A pid namespace that kept its parent's
// /proc lists pids of that namespace, which name other processes here.
bool ProcIsOwnNamespace();

// True when pid runs in this process's pid namespace (where /proc is that
// namespace's). A process whose status cannot be read counts as one of it.
bool InOwnNamespace(pid_t pid);

// True when pid is this process's to look for and to kill: it runs in this
// process's pid namespace, or descends from self by its chain of parents
// (a program that its command started in a sandbox of its own). A process
// whose status cannot be read counts as before: as one of the namespace.
bool IsOwnProcess(pid_t pid, pid_t self);

#endif
