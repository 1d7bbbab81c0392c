#ifndef WDOG_BENCH_TIMING_H
#define WDOG_BENCH_TIMING_H

#include <functional>
#include <vector>

// Times each work runs times, in rounds that call every work once in turn,
// so that a slow spell of the machine weighs on all of them alike. One round
// first warms the caches. Returns the median wall time of each, in seconds.
std::vector<double> InterleavedMedians(int runs, const std::vector<std::function<void()>>& works);

#endif
