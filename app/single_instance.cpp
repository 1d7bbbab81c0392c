#include "single_instance.h"

#include "lock_file.h"
#include "watchdog_peers.h"

#include <cstdint>
#include <cstdio>
#include <utility>
#include <wx/log.h>
#include <wx/utils.h>

namespace {

// Before the one retry of a checker that could not take the lock.
const unsigned long kRetryMs = 100;

enum class Taken : uint8_t {
    kHeld,     // this watchdog holds the lock
    kRefused,  // another watchdog holds it, or is taking it
    kForeign,  // the lock's place holds what is not a lock file of this user
    kNoLock,   // no lock can be made there (the framework has said why)
};

// Tries to take the lock once. Every look at the file happens while this
// process holds no lock on it. The checker is consulted only about a lock
// file of this user: it follows links, and judges whatever file one points
// at by the pid in it.
Taken TakeLock(const wxString& name, const wxString& dir, std::unique_ptr<wxSingleInstanceChecker>& held)
{
    // The path as the checker makes it, converted as it converts it. The
    // buffer may point into the string: keep the string alive.
    const wxString file = dir + "/" + name;
    const wxScopedCharBuffer path = file.fn_str();
    if (!path.data())
        return Taken::kNoLock;

    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt > 0)
            wxMilliSleep(kRetryMs);
        const LockPlace place = LookAtLockFile(path.data());
        if (place == LockPlace::kInUse)
            return Taken::kRefused;
        if (place == LockPlace::kForeign)
            return Taken::kForeign;
        auto checker = std::make_unique<wxSingleInstanceChecker>();
        if (checker->Create(name, dir)) {
            if (!checker->IsAnotherRunning()) {
                held = std::move(checker);
                return Taken::kHeld;
            }
            // A link planted since the look above has no say either.
            return IsOwnRegularFile(path.data()) ? Taken::kRefused : Taken::kForeign;
        }
        // A race lost in the microseconds between two looks, or a real fault
        // (no /dev/shm): the failed checker holds nothing.
    }
    const LockPlace place = LookAtLockFile(path.data());
    if (place == LockPlace::kInUse)
        return Taken::kRefused;
    return place == LockPlace::kForeign ? Taken::kForeign : Taken::kNoLock;
}

} // namespace

SingleInstance::SingleInstance(const wxString& appName, const wxString& lockName, const wxString& dir)
    : appName_(appName), lockName_(lockName), dir_(dir)
{
}

bool SingleInstance::Claim()
{
    const Taken taken = TakeLock(lockName_, dir_, held_);
    if (taken == Taken::kRefused)
        return false;
    if (taken == Taken::kForeign)
        SayWithoutLock();
    return !LeaveForOlder();
}

bool SingleInstance::StillTheOne()
{
    if (held_)
        return true;
    Taken taken = Taken::kNoLock;
    {
        // The framework said why at start: not again at every pass.
        const wxLogNull quiet;
        taken = TakeLock(lockName_, dir_, held_);
    }
    if (taken == Taken::kHeld)
        saidWithoutLock_ = false;
    if (taken == Taken::kForeign)
        SayWithoutLock();
    return !LeaveForOlder();
}

void SingleInstance::SayWithoutLock()
{
    if (saidWithoutLock_)
        return;
    saidWithoutLock_ = true;
    const wxString file = dir_ + "/" + lockName_;
    (void)std::fprintf(stderr, "[Watchdog]: %s is not a lock file of this user: supervising without the lock\n",
                       static_cast<const char*>(file.fn_str()));
}

// True, having said so and let go of the lock, when an older watchdog of
// this name and user supervises.
bool SingleInstance::LeaveForOlder()
{
    const pid_t older = OlderWatchdog(appName_);
    if (older == 0)
        return false;
    held_.reset();
    (void)std::fprintf(stderr, "[Watchdog]: an older watchdog of this name supervises (pid %d): leaving\n",
                       static_cast<int>(older));
    return true;
}
