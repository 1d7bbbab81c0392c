#ifndef WDOG_SUPERVISE_SUPERVISION_LOOP_H
#define WDOG_SUPERVISE_SUPERVISION_LOOP_H

#include "supervision_world.h"

#include <ctime>
#include <string>

// Heartbeat and liveness ages are differences of time_t: a 32-bit one
// overflows in January 2038.
static_assert(sizeof(time_t) == 8, "time_t must have 64 bits: build with _TIME_BITS=64");

// The three arguments of the watchdog, as the exact bytes it was given.
struct WatchedProgram {
    std::string command;
    std::string controlFile;
    std::string processName;
};

// Limits of the loop, in seconds and pauses.
const time_t kHeartbeatLimit = 60;
const time_t kLivenessLimit = 15;
const unsigned kMissLimit = 4; // a restart at the fifth consecutive miss
const unsigned long kPassPauseMs = 1000;
const unsigned long kRestartWaitMs = 5000;
const unsigned kRestartWaitPauses = 10;

// Supervises the program until its control file says "die" (on any pass but
// the first), stop is set, or the world says that another watchdog should
// supervise in its place, and returns 0, the watchdog's exit status.
// lastHeartbeat and lastAlive belong to the caller and hold the start time
// when the loop begins; each pass leaves in them its own time minus the
// heartbeat's and the liveness's age, which the loop measures on the
// monotonic clock. The program is looked up and killed under the name
// that the process table shows for watched.processName (ListedName).
int Supervise(const WatchedProgram& watched, const bool& stop, time_t& lastHeartbeat,
              time_t& lastAlive, SupervisionWorld& world);

#endif
