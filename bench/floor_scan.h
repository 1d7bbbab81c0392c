#ifndef WDOG_BENCH_FLOOR_SCAN_H
#define WDOG_BENCH_FLOOR_SCAN_H

// The least a scan of the process table by the watchdog's method can cost:
// list /proc and, for each process directory, stat its stat file (unless
// withStat is false), open it, read it once and close it. Nothing is parsed
// or kept. Returns the number of process directories read.
int FloorScan(bool withStat);

#endif
