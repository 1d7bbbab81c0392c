#include "restart_target.h"

#include "launch.h"
#include "process_lookup.h"

#include <wx/utils.h>

namespace {

// Between the last kill and the launch, when anything was killed.
const unsigned long kPauseAfterKillsMs = 5000;

} // namespace

PauseFunction& PauseAfterKills()
{
    static PauseFunction pause = wxMilliSleep;
    return pause;
}

bool RestartTarget(const char* command, const char* processName,
                   const std::function<void()>& beforeLaunch)
{
    const int killed = *processName ? FindProcess(processName, kKillAllProcesses) : 0;
    if (killed == kIncomplete)
        return false;
    if (killed > 0)
        PauseAfterKills()(kPauseAfterKillsMs);
    if (beforeLaunch)
        beforeLaunch();
    LaunchProgram(command);
    return true;
}
