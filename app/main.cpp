#include "wdog_app.h"

wxIMPLEMENT_APP_CONSOLE(wdog);
