#ifndef WDOG_PROCTABLE_PROGRAM_SIGHTING_H
#define WDOG_PROCTABLE_PROGRAM_SIGHTING_H

#include "unique_fd.h"

#include <sys/types.h>

// Where the watched program was last seen, so that a pass where nothing has
// changed reads one stat line instead of the whole process table. The
// process seen is held by a pidfd, which no other process can ever answer
// to: while it has not ended and still bears the name, it answers for the
// name. Anything else, and the first look, scans the table (FindProcess),
// whose answer Runs gives, and whose match, if of this pid namespace, it
// holds. Where no pidfd can be had, every look scans.
class ProgramSighting {
public:
    // What FindProcess(name, kFindProcess) != 0 answers, from one read
    // when the process last seen still answers for the name.
    bool Runs(const char* name);
    // True when the last answer of Runs came from that one read.
    bool AnsweredFromSighting() const { return fromSighting_; }

private:
    bool StillThere(const char* name) const;
    void Remember(int found, const char* name);

    pid_t pid_ = 0;
    UniqueFd process_{-1};
    bool fromSighting_ = false;
};

#endif
