#ifndef WDOG_APP_APP_NAME_H
#define WDOG_APP_APP_NAME_H

#include <string>
#include <wx/string.h>

// Text for the framework: UTF-8 as file names are, or byte per character
// when it is not valid UTF-8, so that the result never depends on the locale.
wxString Text(const std::string& bytes);

// The application's name for a program started as argv0, as the framework
// derives it: the base name without its extension. Watchdogs of the same
// name and user share one lock ("wdog.web" and "wdog.db" share "wdog").
wxString AppNameOf(const std::string& argv0);

#endif
