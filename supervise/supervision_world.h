#ifndef WDOG_SUPERVISE_SUPERVISION_WORLD_H
#define WDOG_SUPERVISE_SUPERVISION_WORLD_H

#include <ctime>
#include <functional>
#include <string>
#include <wx/string.h>

// Everything the loop does to the world. The defaults are the real clock,
// sleep, process lookup, restart and control file; tests replace them to run
// the loop in virtual time.
class SupervisionWorld {
public:
    virtual ~SupervisionWorld() = default;
    virtual time_t Now();
    virtual void Pause(unsigned long milliseconds);
    // True when a process of that name runs, other than the watchdog.
    virtual bool Runs(const std::string& processName);
    // Kills every process of that name, calls beforeLaunch, launches the
    // command; returns the clock's time right after the launch.
    virtual time_t Restart(const std::string& command, const std::string& processName,
                           const std::function<void()>& beforeLaunch);
    virtual time_t FileTime(const std::string& path);
    virtual wxString ControlLine(const std::string& path);
    virtual void Truncate(const std::string& path);
};

#endif
