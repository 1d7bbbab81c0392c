// Measures what the watchdog costs: one lookup of a name in the process
// table against pidof, pgrep -x and the least such a scan can cost, one
// whole first pass of the loop, and an idle wdog over real time, with N
// extra idle processes on the machine. Prints the tables, then the goals.
//
// Usage: wdog_bench [--sizes 100,1000,5000,20000] [--runs 15] [--idle-seconds 30]
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
    std::vector<int> sizes{100, 1000, 5000, 20000};
    int runs = 15;
    int idleSeconds = 30;
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
    std::printf("\nOne first pass of the loop (a full scan) without its pause, median of %d runs, in ms\n", runs);
    std::printf("%6s | %9s %9s %9s\n", "extra", kControlLabels[0], kControlLabels[1],
                kControlLabels[2]);
    for (const auto& r : rows)
        std::printf("%6d | %9.2f %9.2f %9.2f%s\n", r.extra, Ms(r.seconds[0]), Ms(r.seconds[1]),
                    Ms(r.seconds[2]), r.idle ? "" : "  (not idle: a pass restarted)");
}

double IdleRatio(const IdleCost& cost, const LookupRow& at)
{
    return cost.cpuSeconds / cost.seconds / at.floor;
}

void PrintIdle(const std::vector<IdleCost>& costs, const std::vector<LookupRow>& at)
{
    std::printf("\nIdle wdog that holds its lock, over %.0f s each\n", costs.front().seconds);
    std::printf("%6s | %12s %12s %7s | %9s\n", "extra", "CPU ms/s", "floor ms/s", "ratio", "peak MiB");
    for (size_t i = 0; i < costs.size(); ++i) {
        const IdleCost& cost = costs[i];
        if (!cost.measured) {
            std::printf("%6d | not measured: the watchdog could not be run or read\n", at[i].extra);
            continue;
        }
        std::printf("%6d | %12.3f %12.2f %6.3fx | %9.2f\n", at[i].extra, Ms(cost.cpuSeconds / cost.seconds),
                    Ms(at[i].floor), IdleRatio(cost, at[i]), static_cast<double>(cost.peakKiB) / 1024);
    }
    std::printf("(ratio: its CPU per second over one floor scan a second)\n");
}

// The goals, for the sizes they name that were measured.
void PrintGoals(const std::vector<LookupRow>& lookups, const std::vector<IdleCost>& idles)
{
    std::printf("\nGoals\n");
    for (size_t i = 0; i < lookups.size(); ++i) {
        const LookupRow& r = lookups[i];
        if (r.extra == 1000 || r.extra == 5000)
            std::printf("one full scan <= 0.6x the floor at %d: %.2fx, %s\n", r.extra, r.hit / r.floor,
                        r.hit / r.floor <= 0.6 ? "met" : "MISSED");
        if (i >= idles.size() || !idles[i].measured)
            continue;
        if (r.extra == 5000 || r.extra == 20000)
            std::printf("idle CPU <= 0.05x one floor scan a second at %d: %.3fx, %s\n", r.extra,
                        IdleRatio(idles[i], r), IdleRatio(idles[i], r) <= 0.05 ? "met" : "MISSED");
        if (r.extra == 20000)
            std::printf("peak resident memory <= 8 MiB at %d: %.2f MiB, %s\n", r.extra,
                        static_cast<double>(idles[i].peakKiB) / 1024, idles[i].peakKiB <= 8L * 1024 ? "met" : "MISSED");
    }
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
    std::vector<IdleCost> idles;
    for (const int size : options.sizes) {
        const Crowd crowd("wbidle", size);
        if (crowd.size() < size || crowd.size() == 0) {
            (void)std::fprintf(stderr, "only %d of %d processes could be started (pid_max, the"
                                       " process limit, memory)\n", crowd.size(), size);
            return 1;
        }
        lookups.push_back(MeasureLookups(crowd, options.runs));
        passes.push_back(MeasurePasses(crowd, options.runs));
        if (options.idleSeconds > 0)
            idles.push_back(MeasureIdleWatchdog(options.wdog, crowd.NameOf(0), options.idleSeconds));
    }

    PrintLookups(lookups, options.runs);
    PrintPasses(passes, options.runs);
    if (!idles.empty())
        PrintIdle(idles, lookups);
    PrintGoals(lookups, idles);
    return 0;
}
