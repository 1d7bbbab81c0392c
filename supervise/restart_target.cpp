#include "restart_target.h"

#include "launch.h"
#include "process_lookup.h"

#include <wx/utils.h>

namespace {

void MilliSleep(unsigned long milliseconds)
{
    wxMilliSleep(milliseconds);
}

RestartPause g_pause = MilliSleep;

} // namespace

void SetRestartPause(RestartPause pause)
{
    g_pause = pause ? pause : MilliSleep;
}

void RestartTarget(const char* command, const char* processName)
{
    if (*processName && FindProcess(processName, kKillAllProcesses) > 0)
        g_pause(5000);
    LaunchProgram(command);
}
