#ifndef WDOG_APP_STANDARD_STREAMS_H
#define WDOG_APP_STANDARD_STREAMS_H

// Opens each of descriptors 0, 1 and 2 that is closed on /dev/null (0 for
// reading, 1 and 2 for writing); open ones are left alone. Started with one
// closed (cron, init scripts, >&-), the watchdog would otherwise give that
// number to the first file it opens, its lock file, and the program it
// launches would read or write that file as a standard stream.
void OpenClosedStandardStreams();

#endif
