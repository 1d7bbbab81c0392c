#ifndef WDOG_APP_WDOG_APP_H
#define WDOG_APP_WDOG_APP_H

#include "supervision_loop.h"

#include <ctime>
#include <wx/app.h>
#include <wx/string.h>

// The watchdog: takes its three arguments in OnInit, supervises in OnRun.
class wdog : public wxAppConsole {
public:
    wdog();
    ~wdog() override;

    bool OnInit() override;
    int OnRun() override;
    int OnExit() override;

private:
    bool m_stop = false;
    time_t m_lastHeartbeat = 0;
    time_t m_lastAlive = 0;
    wxString m_command;
    wxString m_controlFile;
    wxString m_processName;
    // The same three arguments as the exact bytes given, for the kernel and
    // the C library.
    WatchedProgram m_watched;
};

#endif
