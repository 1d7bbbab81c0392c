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

// Reading and truncating reach the file by WalkPath's rules: a link of this
// user or of root is followed; another user's link leads only to that
// user's regular file, or into that user's directory; nothing that is not a
// regular file is ever opened. When the path leads through another user's
// link to anything else, standard error says so once. The file is opened as
// the very inode that was looked at, so nothing swapped in meanwhile is
// opened instead.

// The first line of the file as the framework's text-file reader splits it
// (after LF, CR LF or a lone CR; a byte-order mark dropped), or "" when the
// file has no lines, cannot be opened, or is not reached as above. Only the
// first 4 KiB are read: a first line longer than that is "".
wxString ReadControlLine(const char* path);

// Truncates the file to zero length, which also renews its timestamps. A
// missing name is created (never through a link); a file with more than one
// hard link is left alone. True when the file was emptied or created; the
// loop needs no answer (a file that keeps its time is a case it handles),
// and nothing is said.
bool TruncateControlFile(const char* path);

#endif
