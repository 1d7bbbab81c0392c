#include "fake_world.h"

#include "control_file.h"
#include "supervision_loop.h"

int FakeWorld::Run(time_t stopAt)
{
    stopAt_ = stopAt;
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

void FakeWorld::Pause(unsigned long milliseconds)
{
    pauses.push_back(milliseconds);
    pausedMs_ += milliseconds;
    now += static_cast<time_t>(pausedMs_ / 1000);
    pausedMs_ %= 1000;
    if (afterPause)
        afterPause(*this);
    if (now >= stopAt_)
        stop = true;
}

bool FakeWorld::Runs(const std::string&)
{
    ++lookups;
    return running(now);
}

time_t FakeWorld::Restart(const std::string& command, const std::string& processName,
                          const std::function<void()>& beforeLaunch)
{
    restarts.push_back(now);
    restartCommand = command;
    restartName = processName;
    now += restartTakes;
    beforeLaunch();
    launches.push_back(now);
    // A pass after a restart begins without a pause: stop here too.
    if (now >= stopAt_ || restarts.size() > 10000)
        stop = true;
    return now;
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
