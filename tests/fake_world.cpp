#include "fake_world.h"

#include "control_file.h"
#include "supervision_loop.h"

int FakeWorld::Run(time_t stopAt)
{
    stopAt_ = monotonic + (stopAt - now);
    const WatchedProgram watched{command, controlFile, processName};
    return Supervise(watched, stop, lastHeartbeat, lastAlive, *this);
}

void FakeWorld::StartAt(time_t start)
{
    now = lastHeartbeat = lastAlive = fileTime = start;
}

time_t FakeWorld::Now()
{
    passes.push_back(now);
    return now;
}

time_t FakeWorld::Monotonic()
{
    return monotonic;
}

void FakeWorld::Advance(time_t seconds)
{
    now += seconds;
    monotonic += seconds;
    if (monotonic >= stopAt_)
        stop = true;
}

void FakeWorld::Pause(unsigned long milliseconds)
{
    pauses.push_back(milliseconds);
    pausedMs_ += milliseconds;
    Advance(static_cast<time_t>(pausedMs_ / 1000));
    pausedMs_ %= 1000;
    if (afterPause)
        afterPause(*this);
}

bool FakeWorld::Runs(const std::string&)
{
    ++lookups;
    return running(now);
}

std::optional<Clocks> FakeWorld::Restart(const std::string& command,
                                         const std::string& processName,
                                         const std::function<void()>& beforeLaunch)
{
    restarts.push_back(now);
    restartCommand = command;
    restartName = processName;
    // A pass after a restart begins without a pause: Advance stops it too.
    Advance(restartTakes);
    beforeLaunch();
    launches.push_back(now);
    if (restarts.size() > 10000)
        stop = true;
    return Clocks{now, monotonic};
}

time_t FakeWorld::FileTime(const std::string&)
{
    return fileTime;
}

wxString FakeWorld::ControlLine(const std::string&)
{
    return line;
}

void FakeWorld::Truncate(const std::string&)
{
    truncations.push_back(now);
    if (!truncatable)
        return;
    line.clear();
    fileTime = now;
}

time_t RealFileWorld::FileTime(const std::string& path)
{
    return ControlFileTime(path.c_str());
}

wxString RealFileWorld::ControlLine(const std::string& path)
{
    return ReadControlLine(path.c_str());
}

void RealFileWorld::Truncate(const std::string& path)
{
    FakeWorld::Truncate(path);
    TruncateControlFile(path.c_str());
}
