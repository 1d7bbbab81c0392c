#ifndef WDOG_BENCH_EXTERNAL_TOOL_H
#define WDOG_BENCH_EXTERNAL_TOOL_H

#include <string>
#include <vector>

// Runs a program found through PATH with the arguments, its output thrown
// away, and waits for it, as a shell loop would. Returns its exit status, or
// -1 when it could not be run.
int RunTool(const std::vector<std::string>& argv);

#endif
