#ifndef WDOG_SUPERVISE_CONTROL_FILE_H
#define WDOG_SUPERVISE_CONTROL_FILE_H

#include <ctime>
#include <wx/string.h>

// The control file is the only channel between the watched program and the
// watchdog: its timestamps are the heartbeat, its first line a command. Paths
// are the exact bytes given on the command line.

// The later of the file's change and modification times (following symbolic
// links), or 0 when it cannot be examined.
time_t ControlFileTime(const char* path);

// The first line of the file as the framework's text-file reader splits it
// (after LF, CR LF or a lone CR; a byte-order mark dropped), or "" when the
// file has no lines, cannot be opened, or is not a regular file. Only the
// first 4 KiB are read: a first line longer than that is "".
wxString ReadControlLine(const char* path);

// Truncates the file to zero length, creating it when it is missing, which
// also renews its timestamps. Anything that is not a regular file is left
// alone. Failures are silent.
void TruncateControlFile(const char* path);

#endif
