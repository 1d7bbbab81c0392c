#ifndef WDOG_BENCH_ONE_PASS_H
#define WDOG_BENCH_ONE_PASS_H

#include "supervision_loop.h"

// Makes one pass of the supervision loop with the real lookup, file time and
// control-file read, and returns instead of pausing. The program must run and
// the control file hold no command: false when the pass restarted or
// truncated anything, which would not be an idle pass.
bool RunOnePass(const WatchedProgram& watched);

#endif
