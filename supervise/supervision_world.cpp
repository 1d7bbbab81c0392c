#include "supervision_world.h"

#include "control_file.h"
#include "restart_target.h"

#include <wx/utils.h>

time_t SupervisionWorld::Now()
{
    return time(nullptr);
}

time_t SupervisionWorld::Monotonic()
{
    struct timespec now = {};
    (void)clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec;
}

void SupervisionWorld::Pause(unsigned long milliseconds)
{
    wxMilliSleep(milliseconds);
}

bool SupervisionWorld::Runs(const std::string& processName)
{
    // An empty name would match every process whose name the kernel reports
    // empty: it names no program. kIncomplete counts as running.
    return !processName.empty() && sighting_.Runs(processName.c_str());
}

std::optional<Clocks> SupervisionWorld::Restart(const std::string& command,
                                                const std::string& processName,
                                                const std::function<void()>& beforeLaunch)
{
    if (!RestartTarget(command.c_str(), processName.c_str(), beforeLaunch))
        return std::nullopt;
    return Clocks{Now(), Monotonic()};
}

time_t SupervisionWorld::FileTime(const std::string& path)
{
    return ControlFileTime(path.c_str());
}

wxString SupervisionWorld::ControlLine(const std::string& path)
{
    return ReadControlLine(path.c_str());
}

void SupervisionWorld::Truncate(const std::string& path)
{
    (void)TruncateControlFile(path.c_str());
}

bool SupervisionWorld::StillTheOne()
{
    return true;
}

void SupervisionWorld::Tell(const SupervisionState&) {}
