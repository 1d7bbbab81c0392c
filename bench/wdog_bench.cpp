// Measures what the watchdog costs: one lookup of a name in the process
// table against pidof, pgrep -x and the least such a scan can cost, one
// whole pass of the loop, and an idle wdog over real time, with N extra
// idle processes on the machine. Prints one table.
//
// Usage: wdog_bench [--sizes 100,1000,5000] [--runs 15] [--idle-seconds 60]
//                   [--wdog PATH]
#include "crowd.h"
#include "external_tool.h"
#include "floor_scan.h"
#include "idle_watchdog.h"
#include "one_pass.h"
#include "process_lookup.h"
#include "timing.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/utsname.h>
#include <unistd.h>
#include <vector>

namespace {

struct Options {
    std::vector<int> sizes{100, 1000, 5000};
    int runs = 15;
    int idleSeconds = 60;
    std::string wdog = WDOG_BINARY;
};

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const char* value = argv[i + 1];
        if (key == "--sizes") {
            options.sizes.clear();
            std::istringstream list(value);
            for (std::string size; std::getline(list, size, ',');)
                options.sizes.push_back(std::atoi(size.c_str()));
        } else if (key == "--runs") {
            options.runs = std::atoi(value);
        } else if (key == "--idle-seconds") {
            options.idleSeconds = std::atoi(value);
        } else if (key == "--wdog") {
            options.wdog = value;
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && options.runs > 0 && !options.sizes.empty();
}

std::string CpuModel()
{
    std::ifstream in("/proc/cpuinfo");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("model name", 0) == 0)
            return line.substr(line.find(':') + 2);
    return "unknown CPU";
}

void PrintMachine()
{
    utsname system{};
    uname(&system);
    std::printf("machine: %s, %ld cores, Linux %s\n", CpuModel().c_str(),
                sysconf(_SC_NPROCESSORS_ONLN), system.release);
}

struct LookupRow {
    int extra = 0;
    int entries = 0;
    double hit = 0, miss = 0, floor = 0, floorNoStat = 0, pidof = 0, pgrep = 0;
};

LookupRow MeasureLookups(const Crowd& crowd, int runs)
{
    LookupRow row;
    row.extra = crowd.size();
    row.entries = FloorScan(true);
    const std::string hit = crowd.NameOf(crowd.size() - 1);
    const std::string miss = "wbench-absent";
    const std::vector<double> t = InterleavedMedians(
        runs, {[&] { FindProcess(hit.c_str(), kFindProcess); },
               [&] { FindProcess(miss.c_str(), kFindProcess); }, [] { FloorScan(true); },
               [] { FloorScan(false); }, [&] { RunTool({"pidof", hit}); },
               [&] { RunTool({"pgrep", "-x", hit}); }});
    row.hit = t[0];
    row.miss = t[1];
    row.floor = t[2];
    row.floorNoStat = t[3];
    row.pidof = t[4];
    row.pgrep = t[5];
    return row;
}

struct PassRow {
    int extra = 0;
    double seconds[3] = {};
    bool idle = true;
};

const size_t kControlSizes[3] = {0, 4096, size_t{1024} * 1024};
const char* const kControlLabels[3] = {"0 B", "4 KiB", "1 MiB"};

// A control file of size bytes of text that holds no command.
std::string WriteControlFile(size_t size, int index)
{
    std::string path = "/tmp/wdog-bench-ctl-" + std::to_string(getpid()) + "-" +
                             std::to_string(index);
    std::string text;
    while (text.size() < size)
        text += "no command on this line, only text to read\n";
    text.resize(size);
    std::ofstream(path, std::ios::trunc) << text;
    return path;
}

PassRow MeasurePasses(const Crowd& crowd, int runs)
{
    PassRow row;
    row.extra = crowd.size();
    std::vector<WatchedProgram> watched;
    std::vector<std::function<void()>> passes;
    watched.reserve(3);
    passes.reserve(3);
    for (int i = 0; i < 3; ++i)
        watched.push_back({"/bin/true", WriteControlFile(kControlSizes[i], i),
                           crowd.NameOf(crowd.size() - 1)});
    for (const auto& w : watched)
        passes.emplace_back([&row, &w] { row.idle = RunOnePass(w) && row.idle; });
    const std::vector<double> t = InterleavedMedians(runs, passes);
    for (int i = 0; i < 3; ++i) {
        row.seconds[i] = t[static_cast<size_t>(i)];
        (void)std::remove(watched[static_cast<size_t>(i)].controlFile.c_str());
    }
    return row;
}

double Ms(double seconds)
{
    return seconds * 1000;
}

void PrintLookups(const std::vector<LookupRow>& rows, int runs)
{
    std::printf("\nOne lookup of one name, median of %d runs, in ms\n", runs);
    std::printf("%6s %7s | %9s %9s | %7s %9s | %7s %8s | %8s %8s %8s | %9s %9s\n", "extra",
                "entries", "Find hit", "Find miss", "floor", "no stat", "pidof", "pgrep -x",
                "/floor", "pidof/", "pgrep/", "us/entry", "floor/e");
    for (const auto& r : rows) {
        std::printf("%6d %7d | %9.2f %9.2f | %7.2f %9.2f | %7.2f %8.2f | %7.2fx %7.1fx %7.1fx |"
                    " %9.2f %9.2f\n",
                    r.extra, r.entries, Ms(r.hit), Ms(r.miss), Ms(r.floor), Ms(r.floorNoStat),
                    Ms(r.pidof), Ms(r.pgrep), r.hit / r.floor, r.pidof / r.hit, r.pgrep / r.hit,
                    r.hit * 1e6 / r.entries, r.floor * 1e6 / r.entries);
    }
    std::printf("(/floor: FindProcess over the floor; pidof/ and pgrep/: how many times\n"
                " FindProcess is faster; us/entry: FindProcess per process entry)\n");
}

void PrintPasses(const std::vector<PassRow>& rows, int runs)
{
    std::printf("\nOne pass of the loop without its pause, median of %d runs, in ms\n", runs);
    std::printf("%6s | %9s %9s %9s\n", "extra", kControlLabels[0], kControlLabels[1],
                kControlLabels[2]);
    for (const auto& r : rows)
        std::printf("%6d | %9.2f %9.2f %9.2f%s\n", r.extra, Ms(r.seconds[0]), Ms(r.seconds[1]),
                    Ms(r.seconds[2]), r.idle ? "" : "  (not idle: a pass restarted)");
}

void PrintIdle(const IdleCost& cost, const LookupRow& at)
{
    std::printf("\nIdle wdog with %d extra processes, over %.0f s\n", at.extra, cost.seconds);
    if (!cost.measured) {
        std::printf("not measured: the watchdog could not be run or read\n");
        return;
    }
    const double perSecond = cost.cpuSeconds / cost.seconds;
    std::printf("CPU %.3f s in all, %.2f ms per second; one floor scan a second: %.2f ms;"
                " ratio %.2fx\n",
                cost.cpuSeconds, Ms(perSecond), Ms(at.floor), perSecond / at.floor);
    std::printf("peak resident memory %.2f MiB\n", static_cast<double>(cost.peakKiB) / 1024);
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        (void)std::fprintf(stderr, "usage: %s [--sizes N,N,...] [--runs R] [--idle-seconds S]"
                             " [--wdog PATH]\n",
                     argv[0]);
        return 2;
    }
    PrintMachine();

    std::vector<LookupRow> lookups;
    std::vector<PassRow> passes;
    IdleCost idle;
    for (size_t i = 0; i < options.sizes.size(); ++i) {
        const Crowd crowd("wbidle", options.sizes[i]);
        if (crowd.size() < options.sizes[i] || crowd.size() == 0) {
            (void)std::fprintf(stderr, "only %d of %d processes could be started\n", crowd.size(),
                         options.sizes[i]);
            return 1;
        }
        lookups.push_back(MeasureLookups(crowd, options.runs));
        passes.push_back(MeasurePasses(crowd, options.runs));
        if (i + 1 == options.sizes.size() && options.idleSeconds > 0)
            idle = MeasureIdleWatchdog(options.wdog, crowd.NameOf(0), options.idleSeconds);
    }

    PrintLookups(lookups, options.runs);
    PrintPasses(passes, options.runs);
    if (options.idleSeconds > 0)
        PrintIdle(idle, lookups.back());
    return 0;
}
