#include "wdog_app.h"

#include "app_name.h"
#include "own_arguments.h"
#include "process_lookup.h"
#include "process_place.h"
#include "process_table.h"
#include "restart_target.h"
#include "service_notifier.h"
#include "single_instance.h"
#include "status_line.h"
#include "supervision_world.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>
#include <wx/utils.h>

// The framework's setup.h belongs to one architecture: another one's would
// describe the sizes of this build's types wrongly.
static_assert(SIZEOF_VOID_P == sizeof(void*) && SIZEOF_LONG == sizeof(long),
              "the framework's setup.h is not this architecture's");

namespace {

// The framework's copy of the arguments, for a system without /proc. The
// watchdog cannot supervise there, but still refuses or starts as it should.
std::vector<std::string> FrameworkArguments(const wxCmdLineArgsArray& argv, int argc)
{
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) {
        // The buffer may point into the string: keep the string alive.
        const wxString argument = argv[i];
        const wxScopedCharBuffer bytes = argument.mb_str(*wxConvFileName);
        arguments.emplace_back(bytes.data() ? bytes.data() : "");
    }
    return arguments;
}

// The longest step of a wait: between two steps the watchdog reaps its ended
// children (orphans, as a pid namespace's first process, come to it) and
// tells the service manager, if one listens, that it is alive.
const unsigned long kWaitStepMs = 1000;

void PauseReaping(const ServiceNotifier& notifier, unsigned long milliseconds)
{
    for (;;) {
        if (notifier.Usable())
            notifier.Send("WATCHDOG=1");
        const unsigned long step = std::min(milliseconds, kWaitStepMs);
        wxMilliSleep(step);
        ReapEndedChildren();
        milliseconds -= step;
        if (milliseconds == 0)
            return;
    }
}

// How long a watchdog on its way out waits for the service manager to have
// read its last messages.
const int kBarrierMs = 5000;

std::string LeavingStatus(pid_t other)
{
    std::string status = "another watchdog of this name and user supervises";
    if (other > 0)
        status += " (pid " + std::to_string(other) + ")";
    return status + ": leaving";
}

// The last words to the service manager: why, if there is more to say than
// the last status, then that it stops, read before the process is gone.
void SayLeaving(const ServiceNotifier& notifier, const std::string& status)
{
    if (!notifier.Usable())
        return;
    notifier.Send(status.empty() ? "STOPPING=1" : "STATUS=" + status + "\nSTOPPING=1");
    notifier.Barrier(kBarrierMs);
}

// The real world, where another watchdog of the same name may take over,
// and where a service manager may listen.
class WatchdogWorld : public SupervisionWorld {
public:
    WatchdogWorld(SingleInstance& instance, const ServiceNotifier& notifier, std::string name)
        : instance_(instance), notifier_(notifier), name_(std::move(name))
    {
    }
    bool StillTheOne() override { return instance_.StillTheOne(); }
    void Pause(unsigned long milliseconds) override { PauseReaping(notifier_, milliseconds); }
    // A watchdog that may yet leave for an older one kills and launches
    // nothing: the next pass, once it has looked, tries again.
    std::optional<Clocks> Restart(const std::string& command, const std::string& processName,
                                  const std::function<void()>& beforeLaunch) override
    {
        if (!instance_.Established())
            return std::nullopt;
        return SupervisionWorld::Restart(command, processName, beforeLaunch);
    }
    void Tell(const SupervisionState& state) override
    {
        if (notifier_.Usable())
            notifier_.Send("STATUS=" + StatusLine(name_, state));
    }

private:
    SingleInstance& instance_;
    const ServiceNotifier& notifier_;
    std::string name_;
};

} // namespace

wdog::wdog() = default;

wdog::~wdog() = default;

bool wdog::OnInit()
{
    m_lastHeartbeat = time(nullptr);
    m_lastAlive = m_lastHeartbeat;

    std::vector<std::string> arguments;
    if (!ReadOwnArguments(arguments))
        arguments = FrameworkArguments(argv, argc);
    if (arguments.size() <= 3) {
        (void)std::fprintf(stderr, "Error: %s should not be run directly.\n",
                     arguments.empty() ? "" : arguments[0].c_str());
        return false;
    }

    m_watched = {arguments[1], arguments[2], arguments[3]};
    m_command = Text(m_watched.command);
    m_controlFile = Text(m_watched.controlFile);
    m_processName = Text(m_watched.processName);
    // The framework names the application after its own copy of argv[0],
    // which depends on the locale and shifts when an argument cannot be
    // converted. Name it after the exact program name instead, by the same
    // rule, so that the lock is the same in every locale.
    SetAppName(AppNameOf(arguments[0]));
    (void)signal(SIGTERM, SIG_IGN);
    return true;
}

int wdog::OnRun()
{
    // The service manager, if one listens, hears of this watchdog alone.
    const ServiceNotifier notifier(getenv(kNotifySocket));
    ForgetServiceManager();

    // Its pids would name other processes here: never signal by them.
    if (!ProcIsOwnNamespace()) {
        (void)std::fprintf(stderr, "[Watchdog]: Fatal error: /proc is not of this pid namespace!\n");
        return 1;
    }

    // One watchdog per executable name and user, whatever it supervises.
    SingleInstance instance(GetAppName(), GetAppName() + wxGetUserId(), "/dev/shm");
    if (!instance.Claim()) {
        // Ready, then stopping: a unit whose start this was ends inactive.
        // The manager forgets an ended unit's status, so its journal gets
        // the reason too; a start script's start stays silent.
        const std::string why = LeavingStatus(instance.LeftFor());
        if (notifier.Usable())
            (void)std::fprintf(stderr, "[Watchdog]: %s\n", why.c_str());
        notifier.Send("READY=1");
        SayLeaving(notifier, why);
        return 0;
    }

    // The kills' wait and the pause after the kills reap and tell too.
    const PauseFunction pause = [&notifier](unsigned long milliseconds) {
        PauseReaping(notifier, milliseconds);
    };
    const PauseOverride killWait(KillWaitPause(), pause);
    const PauseOverride afterKills(PauseAfterKills(), pause);
    WatchdogWorld world(instance, notifier, ListedName(m_watched.processName));
    notifier.Send("READY=1");
    const int status = Supervise(m_watched, m_stop, m_lastHeartbeat, m_lastAlive, world);
    SayLeaving(notifier, instance.LeftFor() != 0 ? LeavingStatus(instance.LeftFor()) : std::string());
    return status;
}

int wdog::OnExit()
{
    m_stop = true;
    return 0;
}
