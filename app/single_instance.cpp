#include "single_instance.h"

#include "lock_file.h"

#include <wx/utils.h>

namespace {

// Before the one retry of a checker that could not take the lock.
const unsigned long kRetryMs = 100;

} // namespace

bool AnotherInstanceRuns(const wxString& name, const wxString& dir,
                         std::unique_ptr<wxSingleInstanceChecker>& held)
{
    // The path as the checker makes it, converted as it converts it. The
    // buffer may point into the string: keep the string alive.
    const wxString file = dir + "/" + name;
    const wxScopedCharBuffer path = file.fn_str();
    // Every look at the file happens while this process holds no lock on it.
    const auto inUse = [&] { return path.data() && LockFileInUse(path.data()); };

    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt > 0)
            wxMilliSleep(kRetryMs);
        if (inUse())
            return true;
        auto checker = std::make_unique<wxSingleInstanceChecker>();
        if (checker->Create(name, dir)) {
            if (checker->IsAnotherRunning())
                return true;
            held = std::move(checker);
            return false;
        }
        // A race lost in the microseconds between two looks, or a real fault
        // (no /dev/shm): the failed checker holds nothing.
    }
    return inUse();
}
