#ifndef WDOG_PROCTABLE_PROGRAM_SIGHTING_H
#define WDOG_PROCTABLE_PROGRAM_SIGHTING_H

#include <sys/types.h>

// Where the watched program was last seen, so that a pass where nothing has
// changed reads one stat line instead of the whole process table. The
// process seen answers for the name while it is still there under the same
// pid and start time (a pid taken over is another process, whatever its
// name or namespace), bears the name, and has not ended. Anything else, and
// the first look, scans the table (FindProcess), whose answer Runs gives,
// and whose match, if of this pid namespace, it remembers.
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
    unsigned long long start_ = 0;
    bool fromSighting_ = false;
};

#endif
