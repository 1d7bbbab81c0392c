#ifndef WDOG_APP_STATUS_LINE_H
#define WDOG_APP_STATUS_LINE_H

#include "supervision_world.h"

#include <string>

// One short line of plain printable ASCII for the service manager's status:
// whether the program is running and since when, then how many restarts
// since the start and the last one's time and cause, e.g.
//   server running since 2026-12-09 03:01:02; 2 restarts, the last at
//   2026-12-09 03:00:41 (no heartbeat for 61 s)
// Bytes of the name outside printable ASCII, and backslashes, are written
// as \xNN. Times are local.
std::string StatusLine(const std::string& name, const SupervisionState& state);

#endif
