#include "single_instance.h"

#include "lock_file.h"

#include <cstdio>
#include <wx/utils.h>

namespace {

// Before the one retry of a checker that could not take the lock.
const unsigned long kRetryMs = 100;

void SayWithoutLock(const char* path)
{
    (void)std::fprintf(stderr,
                       "[Watchdog]: %s is not a lock file of this user: supervising without the lock\n",
                       path);
}

} // namespace

bool AnotherInstanceRuns(const wxString& name, const wxString& dir,
                         std::unique_ptr<wxSingleInstanceChecker>& held)
{
    // The path as the checker makes it, converted as it converts it. The
    // buffer may point into the string: keep the string alive.
    const wxString file = dir + "/" + name;
    const wxScopedCharBuffer path = file.fn_str();
    if (!path.data())
        return false;

    // Every look at the file happens while this process holds no lock on it.
    // The checker is consulted only about a lock file of this user: it
    // follows links, and judges whatever file one points at by the pid in it.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt > 0)
            wxMilliSleep(kRetryMs);
        const LockPlace place = LookAtLockFile(path.data());
        if (place == LockPlace::kInUse)
            return true;
        if (place == LockPlace::kForeign) {
            SayWithoutLock(path.data());
            return false;
        }
        auto checker = std::make_unique<wxSingleInstanceChecker>();
        if (checker->Create(name, dir)) {
            if (!checker->IsAnotherRunning()) {
                held = std::move(checker);
                return false;
            }
            // A link planted since the look above has no say either.
            if (IsOwnRegularFile(path.data()))
                return true;
            SayWithoutLock(path.data());
            return false;
        }
        // A race lost in the microseconds between two looks, or a real fault
        // (no /dev/shm): the failed checker holds nothing.
    }
    const LockPlace place = LookAtLockFile(path.data());
    if (place == LockPlace::kForeign)
        SayWithoutLock(path.data());
    return place == LockPlace::kInUse;
}
