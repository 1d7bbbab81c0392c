#include "supervision_loop.h"

#include "process_table.h"

#include <cstdint>

namespace {

// A "restart" asked for by the program: give it up to ten pauses of five
// seconds to leave by itself first.
void WaitForExit(const std::string& name, SupervisionWorld& world)
{
    for (unsigned pauses = 0; world.Runs(name) && pauses < kRestartWaitPauses; ++pauses)
        world.Pause(kRestartWaitMs);
}

} // namespace

int Supervise(const WatchedProgram& watched, const bool& stop, time_t& lastHeartbeat,
              time_t& lastAlive, SupervisionWorld& world)
{
    // A name the process table cannot show would never be found: the program
    // would be launched again every 20 s. Judge it as the table shows it.
    const std::string name = ListedName(watched.processName);
    uint16_t missCount = 0;
    // The file's time right after the last restart, or 0.
    time_t fileTimeAtRestart = 0;
    for (bool firstPass = true; !stop; firstPass = false) {
        const time_t now = world.Now();
        const time_t fileTime = world.FileTime(watched.controlFile);
        if (world.Runs(name))
            lastAlive = now;
        // The file's own time replaces the start or restart time, even when
        // older. After a restart it counts only once it has changed: a file
        // that could not be truncated keeps the old time that caused it.
        if (fileTime != 0 && fileTime != fileTimeAtRestart) {
            lastHeartbeat = fileTime;
            fileTimeAtRestart = 0;
        }

        const bool miss =
            now - lastHeartbeat > kHeartbeatLimit || now - lastAlive > kLivenessLimit;
        missCount = miss ? missCount + 1 : 0;

        const wxString line = world.ControlLine(watched.controlFile);
        if (line == "die") {
            world.Truncate(watched.controlFile);
            // On the first pass "die" is left over from an earlier run: consume it.
            if (!firstPass)
                return 0;
        }

        const bool restartAsked = line == "restart";
        if (!restartAsked && missCount <= kMissLimit) {
            world.Pause(kPassPauseMs);
            continue;
        }
        if (restartAsked)
            WaitForExit(name, world);
        // Truncated after the kills, just before the launch, so that the
        // file's time is the launch's. A "die" written meanwhile stays for
        // the next pass, which obeys it.
        const time_t launched = world.Restart(watched.command, name, [&] {
            if (world.ControlLine(watched.controlFile) != "die")
                world.Truncate(watched.controlFile);
        });
        // The new program is judged from its launch, however long the kills took.
        lastHeartbeat = launched;
        lastAlive = launched;
        fileTimeAtRestart = world.FileTime(watched.controlFile);
        missCount = 0;
    }
    return 0;
}
