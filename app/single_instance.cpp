#include "single_instance.h"

#include "lock_file.h"
#include "watchdog_peers.h"

#include <cstdint>
#include <cstdio>
#include <sys/stat.h>
#include <utility>
#include <wx/log.h>
#include <wx/utils.h>

namespace {

// Before the one retry of a checker that could not take the lock.
const unsigned long kRetryMs = 100;

enum class Taken : uint8_t {
    kHeld,     // this watchdog holds the lock
    kRefused,  // another watchdog holds it, or is taking it
    kElsewhere, // a watchdog of another pid namespace holds it
    kForeign,  // the lock's place holds what is not a lock file of this user
    kNoLock,   // no lock can be made there (the framework has said why)
};

Taken TakenFor(LockPlace place)
{
    switch (place) {
    case LockPlace::kInUse:
        return Taken::kRefused;
    case LockPlace::kHeldElsewhere:
        return Taken::kElsewhere;
    case LockPlace::kForeign:
        return Taken::kForeign;
    case LockPlace::kFree:
        break;
    }
    return Taken::kNoLock;
}

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
        if (place != LockPlace::kFree)
            return TakenFor(place);
        auto checker = std::make_unique<wxSingleInstanceChecker>();
        if (checker->Create(name, dir)) {
            if (!checker->IsAnotherRunning()) {
                held = std::move(checker);
                return Taken::kHeld;
            }
            // A link planted since the look above has no say either.
            if (!IsOwnRegularFile(path.data()))
                return Taken::kForeign;
            const LockPlace now = LookAtLockFile(path.data());
            return now == LockPlace::kHeldElsewhere ? Taken::kElsewhere : Taken::kRefused;
        }
        // A race lost in the microseconds between two looks, or a real fault
        // (no /dev/shm): the failed checker holds nothing.
    }
    const LockPlace place = LookAtLockFile(path.data());
    return place == LockPlace::kFree ? Taken::kNoLock : TakenFor(place);
}

// The name of a lock of this pid namespace alone, beside the shared one:
// the namespace's inode number, unique while it lives. Empty when it
// cannot be known.
wxString NamespaceLockName(const wxString& lockName)
{
    struct stat ns;
    if (stat("/proc/self/ns/pid", &ns) != 0)
        return wxString();
    return lockName + ".pidns" + wxString::Format("%llu", static_cast<unsigned long long>(ns.st_ino));
}

// Another pid namespace's watchdog holds the shared lock: this namespace's
// own lock, under a name of its own beside it, stands in for it from now on.
Taken TakeNamespaceLock(wxString& lockName, const wxString& dir, std::unique_ptr<wxSingleInstanceChecker>& held)
{
    const wxString shared = dir + "/" + lockName;
    const wxString own = NamespaceLockName(lockName);
    if (own.empty())
        return Taken::kRefused;
    lockName = own;
    const Taken taken = TakeLock(lockName, dir, held);
    if (taken == Taken::kHeld)
        (void)std::fprintf(stderr, "[Watchdog]: %s is held from another pid namespace: holding %s/%s instead\n",
                           static_cast<const char*>(shared.fn_str()), static_cast<const char*>(dir.fn_str()),
                           static_cast<const char*>(lockName.fn_str()));
    return taken;
}

} // namespace

SingleInstance::SingleInstance(const wxString& appName, const wxString& lockName, const wxString& dir)
    : appName_(appName), lockName_(lockName), dir_(dir)
{
}

bool SingleInstance::Claim()
{
    Taken taken = TakeLock(lockName_, dir_, held_);
    if (taken == Taken::kElsewhere)
        taken = TakeNamespaceLock(lockName_, dir_, held_);
    if (taken == Taken::kRefused || taken == Taken::kElsewhere) {
        // The buffer may point into the string: keep the string alive.
        const wxString file = dir_ + "/" + lockName_;
        const wxScopedCharBuffer path = file.fn_str();
        leftFor_ = path.data() ? LockHolder(path.data()) : 0;
        return false;
    }
    if (taken == Taken::kForeign)
        SayWithoutLock();
    return !LeaveForOlder();
}

bool SingleInstance::StillTheOne()
{
    // A holder looks at the table once more when it is established: a
    // watchdog started within its first second, which its start did not
    // count, is older and established by then, and the younger one leaves.
    if (held_) {
        if (established_)
            return true;
        return !LeaveForOlder();
    }
    Taken taken = Taken::kNoLock;
    {
        // The framework said why at start: not again at every pass.
        const wxLogNull quiet;
        taken = TakeLock(lockName_, dir_, held_);
    }
    if (taken == Taken::kElsewhere)
        taken = TakeNamespaceLock(lockName_, dir_, held_);
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
    const bool established = IsEstablished();
    const wxScopedCharBuffer dir = dir_.fn_str();
    const pid_t older = OlderWatchdog(appName_, dir.data() ? dir.data() : "");
    if (older == 0) {
        established_ = established;
        return false;
    }
    held_.reset();
    leftFor_ = older;
    (void)std::fprintf(stderr, "[Watchdog]: an older watchdog of this name supervises (pid %d): leaving\n",
                       static_cast<int>(older));
    return true;
}
