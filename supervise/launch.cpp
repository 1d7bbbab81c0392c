#include "launch.h"

#include <csignal>
#include <wx/utils.h>

namespace {

// While it lives, SIGTERM is blocked and at its default disposition, so that
// a child started meanwhile does not inherit it ignored. Blocked, a SIGTERM
// that arrives cannot end the watchdog; restoring the ignoring disposition
// before unblocking discards it.
class DefaultSigtermWhileBlocked {
public:
    DefaultSigtermWhileBlocked()
    {
        sigset_t term;
        sigemptyset(&term);
        sigaddset(&term, SIGTERM);
        sigprocmask(SIG_BLOCK, &term, &oldMask_);
        struct sigaction dfl = {};
        dfl.sa_handler = SIG_DFL;
        sigemptyset(&dfl.sa_mask);
        sigaction(SIGTERM, &dfl, &oldAction_);
    }
    ~DefaultSigtermWhileBlocked()
    {
        sigaction(SIGTERM, &oldAction_, nullptr);
        sigprocmask(SIG_SETMASK, &oldMask_, nullptr);
    }
    DefaultSigtermWhileBlocked(const DefaultSigtermWhileBlocked&) = delete;
    DefaultSigtermWhileBlocked& operator=(const DefaultSigtermWhileBlocked&) = delete;

private:
    sigset_t oldMask_;
    struct sigaction oldAction_;
};

} // namespace

long LaunchProgram(const char* path)
{
    const char* const argv[] = {path, nullptr};
    const DefaultSigtermWhileBlocked sigterm;
    return wxExecute(argv, wxEXEC_ASYNC);
}
