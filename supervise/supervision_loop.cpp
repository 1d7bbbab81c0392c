#include "supervision_loop.h"

#include "process_table.h"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace {

// A "restart" asked for by the program: give it up to ten pauses of five
// seconds to leave by itself first.
void WaitForExit(const std::string& name, SupervisionWorld& world)
{
    for (unsigned pauses = 0; world.Runs(name) && pauses < kRestartWaitPauses; ++pauses)
        world.Pause(kRestartWaitMs);
}

// The instant of the monotonic clock at which something dated on the wall
// clock happened, seen at now. A date ahead of the wall clock is now.
time_t Instant(time_t date, const Clocks& now)
{
    return now.monotonic - std::max<time_t>(0, now.wall - date);
}

} // namespace

int Supervise(const WatchedProgram& watched, const bool& stop, time_t& lastHeartbeat,
              time_t& lastAlive, SupervisionWorld& world)
{
    // A name the process table cannot show would never be found: the program
    // would be launched again every 20 s. Judge it as the table shows it.
    const std::string name = ListedName(watched.processName);
    uint16_t missCount = 0;
    // Ages run on the monotonic clock from these instants of it, so that a
    // wall clock set back or forward, or a file dated ahead, changes none.
    time_t heartbeatAt = 0;
    time_t aliveAt = 0;
    // The file's time as last seen, or as it was right after the last
    // restart: only a time that differs from it is a heartbeat.
    time_t seenFileTime = 0;
    SupervisionState state;
    SupervisionState told;
    for (bool firstPass = true; !stop; firstPass = false) {
        if (!firstPass && !world.StillTheOne())
            return 0;
        const Clocks now{world.Now(), world.Monotonic()};
        if (firstPass) {
            heartbeatAt = Instant(lastHeartbeat, now);
            aliveAt = Instant(lastAlive, now);
        }
        const time_t fileTime = world.FileTime(watched.controlFile);
        const bool runs = world.Runs(name);
        if (runs)
            aliveAt = now.monotonic;
        if (firstPass || runs != state.found) {
            state.found = runs;
            state.since = now.wall;
        }
        if (firstPass || !(state == told)) {
            world.Tell(state);
            told = state;
        }
        // The file's own time replaces the start or restart time, even when
        // older. After a restart it counts only once it has changed: a file
        // that could not be truncated keeps the old time that caused it.
        if (fileTime != 0 && fileTime != seenFileTime) {
            heartbeatAt = Instant(fileTime, now);
            seenFileTime = fileTime;
        }

        const time_t heartbeatAge = now.monotonic - heartbeatAt;
        const time_t aliveAge = now.monotonic - aliveAt;
        lastHeartbeat = now.wall - heartbeatAge;
        lastAlive = now.wall - aliveAge;
        const bool miss = heartbeatAge > kHeartbeatLimit || aliveAge > kLivenessLimit;
        // Withheld restarts can go on for as long as descriptors are short:
        // the count stops rather than wraps.
        if (!miss)
            missCount = 0;
        else if (missCount < UINT16_MAX)
            ++missCount;

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
        const RestartCause cause = restartAsked                      ? RestartCause::kAsked
                                   : heartbeatAge > kHeartbeatLimit ? RestartCause::kHeartbeat
                                                                    : RestartCause::kUnseen;
        const time_t causeAge = cause == RestartCause::kHeartbeat ? heartbeatAge : aliveAge;
        if (restartAsked)
            WaitForExit(name, world);
        // Truncated after the kills, just before the launch, so that the
        // file's time is the launch's. A "die" written meanwhile stays for
        // the next pass, which obeys it.
        const std::optional<Clocks> launched = world.Restart(watched.command, name, [&] {
            if (world.ControlLine(watched.controlFile) != "die")
                world.Truncate(watched.controlFile);
        });
        // Withheld (a process of the name may still run): everything stays
        // as it was, and the next pass tries again after the usual pause.
        if (!launched) {
            world.Pause(kPassPauseMs);
            continue;
        }
        // The new program is judged from its launch, however long the kills took.
        heartbeatAt = aliveAt = launched->monotonic;
        lastHeartbeat = lastAlive = launched->wall;
        seenFileTime = world.FileTime(watched.controlFile);
        missCount = 0;
        // The new program is seen from the next pass on.
        state.found = false;
        state.since = launched->wall;
        ++state.restarts;
        state.lastRestart = launched->wall;
        state.cause = cause;
        state.age = cause == RestartCause::kAsked ? 0 : causeAge;
    }
    return 0;
}
