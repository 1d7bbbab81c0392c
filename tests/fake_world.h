#ifndef WDOG_TESTS_FAKE_WORLD_H
#define WDOG_TESTS_FAKE_WORLD_H

#include "supervision_world.h"

#include <functional>
#include <string>
#include <vector>

// A world in virtual time for the supervision loop: time moves only when the
// loop pauses (or a restart takes time), on both clocks alike, the program
// and the control file are plain state that scenarios script, and every call
// is recorded. A scenario may step the wall clock (now) by itself.
class FakeWorld : public SupervisionWorld {
public:
    static const time_t kStart = 1700000000;
    // Far from any wall-clock time, so that a clock mixed up with the other
    // shows at once.
    static const time_t kMonotonicStart = 1000;

    // Runs the loop from now until it returns or the monotonic clock has
    // moved on by stopAt - now; returns what the loop returned.
    int Run(time_t stopAt);
    // Moves the clock, both of the loop's times and the file's time to start.
    void StartAt(time_t start);

    std::string command = "/opt/prog/run";
    std::string controlFile = "/run/prog.ctl";
    std::string processName = "prog";
    time_t now = kStart;
    time_t monotonic = kMonotonicStart;
    bool stop = false;
    time_t lastHeartbeat = kStart;
    time_t lastAlive = kStart;

    // The program: whether a lookup at a time finds it.
    std::function<bool(time_t)> running = [](time_t) { return true; };
    // The control file: its time (0 when it cannot be examined), first line,
    // and whether truncation works. A truncation empties the line and sets
    // the file time to now.
    time_t fileTime = kStart;
    wxString line;
    bool truncatable = true;
    // Called after each pause, for scenarios that change the world over time.
    std::function<void(FakeWorld&)> afterPause;
    // Seconds that each restart takes (the kills and the pause after them),
    // before its beforeLaunch and its launch.
    time_t restartTakes = 0;

    // Advances both clocks by seconds, and stops the loop at its end.
    void Advance(time_t seconds);

    // What the loop did.
    std::vector<time_t> passes;        // the time the loop read at each pass
    std::vector<unsigned long> pauses; // in milliseconds
    std::vector<time_t> restarts;      // the times at which Restart was called
    std::vector<time_t> launches;      // the times at which it launched
    std::vector<time_t> truncations;
    int lookups = 0;
    std::string restartCommand;
    std::string restartName;

    time_t Now() override;
    time_t Monotonic() override;
    void Pause(unsigned long milliseconds) override;
    bool Runs(const std::string& processName) override;
    std::optional<Clocks> Restart(const std::string& command, const std::string& processName,
                                  const std::function<void()>& beforeLaunch) override;
    time_t FileTime(const std::string& path) override;
    wxString ControlLine(const std::string& path) override;
    void Truncate(const std::string& path) override;

private:
    unsigned long pausedMs_ = 0;
    time_t stopAt_ = 0; // on the monotonic clock
};

// The same world with the real control file: only time, lookups and
// restarts are virtual. Scenarios start its clock at the real time, so that
// the file's times are fresh heartbeats.
class RealFileWorld : public FakeWorld {
public:
    time_t FileTime(const std::string& path) override;
    wxString ControlLine(const std::string& path) override;
    void Truncate(const std::string& path) override;
};

#endif
