#include "wdog_app.h"

#include "app_name.h"
#include "own_arguments.h"
#include "single_instance.h"
#include "supervision_world.h"

#include <csignal>
#include <cstdio>
#include <string>
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

// The real world, where another watchdog of the same name may take over.
class WatchdogWorld : public SupervisionWorld {
public:
    explicit WatchdogWorld(SingleInstance& instance) : instance_(instance) {}
    bool StillTheOne() override { return instance_.StillTheOne(); }

private:
    SingleInstance& instance_;
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
    // One watchdog per executable name and user, whatever it supervises.
    SingleInstance instance(GetAppName(), GetAppName() + wxGetUserId(), "/dev/shm");
    if (!instance.Claim())
        return 0;

    WatchdogWorld world(instance);
    return Supervise(m_watched, m_stop, m_lastHeartbeat, m_lastAlive, world);
}

int wdog::OnExit()
{
    m_stop = true;
    return 0;
}
