#ifndef WDOG_SUPERVISE_RESTART_TARGET_H
#define WDOG_SUPERVISE_RESTART_TARGET_H

#include "function_override.h"

#include <functional>

// Kills every process named processName (other than the watchdog itself),
// waiting until each has gone; pauses 5 seconds if it killed any; calls
// beforeLaunch, when given; then starts command as one program path with no
// arguments, without waiting for it. An empty processName names no process,
// so nothing is killed. When the kills cannot be sure that every process of
// the name has gone (short of descriptors or memory), neither beforeLaunch
// nor the launch happens, and the result is false: a second copy of the
// program must not start beside one that may run.
bool RestartTarget(const char* command, const char* processName,
                   const std::function<void()>& beforeLaunch = {});

// The pause after the kills, wxMilliSleep. A test puts a PauseOverride on it
// to run the restart in virtual time.
PauseFunction& PauseAfterKills();

#endif
