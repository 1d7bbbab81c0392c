#include "standard_streams.h"
#include "wdog_app.h"

#include <csignal>

// The framework's factory and its registration; main is this file's own.
wxIMPLEMENT_APP_NO_MAIN(wdog);

int main(int argc, char** argv)
{
    OpenClosedStandardStreams();
    // A standard error whose reader has gone (a logger that ended) must not
    // end the watchdog at the first message written to it.
    (void)signal(SIGPIPE, SIG_IGN);
    wxDISABLE_DEBUG_SUPPORT();
    return wxEntry(argc, argv);
}
