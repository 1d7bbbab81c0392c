#ifndef WDOG_PROCTABLE_PROCESS_TABLE_H
#define WDOG_PROCTABLE_PROCESS_TABLE_H

#include "recycling_allocator.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <sys/types.h>

// One process of a snapshot: its pid and the command name from /proc/<pid>/stat.
struct ProcessEntry {
    long pid;
    char name[512];
};

// A snapshot of /proc, ordered by ascending pid. Its nodes are recycled from
// one snapshot to the next. complete is false when the scan could not read
// /proc or some process in it for want of descriptors or memory: such a
// snapshot may lack processes that run, so a name it does not show may
// still be running.
struct ProcessTable : std::map<long, ProcessEntry, std::less<long>,
                               RecyclingAllocator<std::pair<const long, ProcessEntry>>> {
    bool complete = true;
};

// What reading one process from /proc found.
enum class StatRead : uint8_t {
    kListed,   // read and parsed
    kUnlisted, // gone, or not a process
    kShort,    // not read for want of descriptors or memory
};

// True for the errors that mean the process is short of descriptors or
// memory, not that a file is missing: EMFILE, ENFILE, ENOMEM.
bool IsShortage(int error);

// Reads the pid and the command name from the start of a stat line (a
// NUL-terminated string). The name is the first run of non-blank characters
// after the '(', cut at its first ')'. Returns false unless both fields were
// read.
bool ReadStatLine(const char* line, ProcessEntry& entry);

// True when the stat line is of a process that has ended: its state (the
// field after the line's last ')') is X, or Z with one thread left. A
// process whose first thread has ended while others run shows Z with more
// threads, and runs. Fields that cannot be read mean running.
bool StatLineShowsEnded(const char* line);

// Field 22 of a stat line: when the process started, in clock ticks since
// boot (the fork's time, not the exec's). With the pid it names one process
// for as long as the machine runs. 0 when it cannot be read.
unsigned long long StatLineStartTime(const char* line);

// The start time of pid (StatLineStartTime), or 0 when it is not listed or
// has ended.
unsigned long long ReadStartTime(pid_t pid);

// The name under which a snapshot lists a program called name: its first 15
// bytes, as the kernel keeps them, cut by the rules of ReadStatLine. A name
// that is listed as it stands comes back unchanged; one of only blanks, or
// one that begins with ')', comes back empty.
std::string ListedName(const std::string& name);

// Reads the pid and name of one process from /proc/<pid>/stat, by the rules
// of ReadStatLine. A process that has ended (StatLineShowsEnded) is not
// listed: its name stays in /proc until its parent reaps it, but it is no
// program, cannot be killed and would never leave.
StatRead ReadListedProcess(pid_t pid, ProcessEntry& entry);

// Reaps every child of the caller that has ended, without waiting. As a pid
// namespace's first process the caller inherits every orphan there: one
// ended child per call would let them pile up past the namespace's limit.
void ReapEndedChildren();

// Rebuilds the table from /proc and returns the caller's own pid. Reaps every
// ended child first (ReapEndedChildren). Each process's name is read from
// /proc/<pid>/comm, uncut (a kernel thread's may be longer than 15 bytes),
// by the rules of ReadStatLine; its stat line is read only for the
// processes the table keeps, which leaves out those that have ended. With
// only, the table keeps the processes of that name alone, so that a scan
// holds its matches and not the whole machine. When ownName is given, the
// caller's own command name is copied into it with strncpy semantics, at
// most min(ownNameSize, 512) - 1 bytes. A /proc that cannot be opened for
// want of descriptors or memory gives an empty table that is not complete;
// for any other reason the process ends with status 1.
pid_t ScanProcessTable(ProcessTable& table, char* ownName, unsigned ownNameSize, const char* only = nullptr);

#endif
