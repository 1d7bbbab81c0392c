#ifndef WDOG_APP_SINGLE_INSTANCE_H
#define WDOG_APP_SINGLE_INSTANCE_H

#include <memory>
#include <sys/types.h>
#include <wx/defs.h>
#include <wx/snglinst.h>
#include <wx/string.h>

// The claim of a watchdog to be the only one of its name and user. The lock
// file (called lockName in dir) is the first word: a start that another
// watchdog's lock refuses leaves without looking further. A lock held from
// another pid namespace (a pod's other container, which shares dir) refuses
// nothing: a lock of this namespace alone, beside it, takes its place. Where
// no lock can be taken (another user's file or link at its place, a file
// with a second hard link, no place at all), or where one was taken while an
// older watchdog supervises without it, the process table decides
// (OlderWatchdog): the oldest watchdog stays, every younger one leaves. A
// holder looks at the table at its start and once more when it is
// established; one without the lock at every pass.
class SingleInstance {
public:
    SingleInstance(const wxString& appName, const wxString& lockName, const wxString& dir);

    // At start: false when this watchdog must leave with status 0.
    bool Claim();
    // At every pass: while without the lock, tries to take it, then looks
    // at the process table again; false when this watchdog must leave.
    bool StillTheOne();
    // True once this watchdog has looked at the table while established and
    // stays: until then it may yet leave, and must launch nothing.
    bool Established() const { return established_; }
    // The pid of the watchdog that this one leaves to, once Claim or
    // StillTheOne has said leave; 0 while it stays, or when unknown.
    pid_t LeftFor() const { return leftFor_; }

private:
    void SayWithoutLock();
    bool LeaveForOlder();

    wxString appName_;
    wxString lockName_;
    wxString dir_;
    std::unique_ptr<wxSingleInstanceChecker> held_;
    bool saidWithoutLock_ = false;
    bool established_ = false;
    pid_t leftFor_ = 0;
};

#endif
