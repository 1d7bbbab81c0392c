#ifndef WDOG_BENCH_IDLE_WATCHDOG_H
#define WDOG_BENCH_IDLE_WATCHDOG_H

#include <string>

// What a wdog cost while it had nothing to do but its passes.
struct IdleCost {
    bool measured = false;
    double seconds = 0;    // wall time of the measurement
    double cpuSeconds = 0; // CPU time the watchdog used meanwhile
    long peakKiB = 0;      // its peak resident memory since it started
};

// Runs the wdog at binary, under its own executable name, watching
// processName (which must run), with a control file kept fresh, for the
// given number of seconds after a start-up of five seconds; then ends it with
// "die". CPU time comes from /proc/<pid>/schedstat, peak memory from VmHWM.
IdleCost MeasureIdleWatchdog(const std::string& binary, const std::string& processName,
                             int seconds);

#endif
