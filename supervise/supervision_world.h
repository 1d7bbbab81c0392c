#ifndef WDOG_SUPERVISE_SUPERVISION_WORLD_H
#define WDOG_SUPERVISE_SUPERVISION_WORLD_H

#include "program_sighting.h"

#include <cstdint>
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

// Why the loop restarted the program.
enum class RestartCause : uint8_t {
    kNone,      // no restart yet
    kHeartbeat, // no heartbeat for age seconds
    kUnseen,    // the program unseen for age seconds
    kAsked,     // its control file said "restart"
};

// What the loop tells of the program, when it changes. Times are the wall
// clock's.
struct SupervisionState {
    bool found = false;  // seen at the last pass
    time_t since = 0;    // when it was first seen, or first missed, in a row
    unsigned restarts = 0;
    time_t lastRestart = 0; // the last restart's launch
    RestartCause cause = RestartCause::kNone;
    time_t age = 0;
    bool operator==(const SupervisionState& other) const
    {
        return found == other.found && since == other.since && restarts == other.restarts &&
               lastRestart == other.lastRestart && cause == other.cause && age == other.age;
    }
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
    // it has gone. Where the program was last seen is looked at first
    // (ProgramSighting): the same answer, mostly without a scan.
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
    // Told at the start of a pass whenever the state has changed since the
    // last time; the default tells nobody.
    virtual void Tell(const SupervisionState& state);

private:
    ProgramSighting sighting_;
};

#endif
