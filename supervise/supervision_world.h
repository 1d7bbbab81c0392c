#ifndef WDOG_SUPERVISE_SUPERVISION_WORLD_H
#define WDOG_SUPERVISE_SUPERVISION_WORLD_H

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <wx/string.h>

// The wall clock and the monotonic clock, read together. The wall clock dates
// the control file's times; the monotonic one, which never jumps and does not
// count a suspend, measures ages.
struct Clocks {
    time_t wall;
    time_t monotonic;
};

// Everything the loop does to the world. The defaults are the real clock,
// sleep, process lookup, restart and control file; tests replace them to run
// the loop in virtual time.
class SupervisionWorld {
public:
    virtual ~SupervisionWorld() = default;
    virtual time_t Now();
    // Whole seconds of CLOCK_MONOTONIC.
    virtual time_t Monotonic();
    virtual void Pause(unsigned long milliseconds);
    // True when a process of that name runs, other than the watchdog, or may
    // run: a process table that could not be read whole is no evidence that
    // it has gone.
    virtual bool Runs(const std::string& processName);
    // Kills every process of that name, calls beforeLaunch, launches the
    // command; returns both clocks right after the launch. Nothing when the
    // kills could not be sure that the name has gone: then nothing is
    // launched and beforeLaunch is not called.
    virtual std::optional<Clocks> Restart(const std::string& command,
                                          const std::string& processName,
                                          const std::function<void()>& beforeLaunch);
    virtual time_t FileTime(const std::string& path);
    virtual wxString ControlLine(const std::string& path);
    virtual void Truncate(const std::string& path);
    // False when another watchdog should supervise in this one's place;
    // asked at the start of every pass but the first.
    virtual bool StillTheOne();
};

#endif
