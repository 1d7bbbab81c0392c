#ifndef WDOG_APP_SINGLE_INSTANCE_H
#define WDOG_APP_SINGLE_INSTANCE_H

#include <memory>
#include <wx/defs.h>
#include <wx/snglinst.h>
#include <wx/string.h>

// True when another watchdog holds, or is taking, the lock called name in
// dir. Otherwise held is the checker that holds the lock for as long as it
// lives, or null when no lock could be made (the framework has said why),
// and the watchdog supervises all the same.
bool AnotherInstanceRuns(const wxString& name, const wxString& dir,
                         std::unique_ptr<wxSingleInstanceChecker>& held);

#endif
