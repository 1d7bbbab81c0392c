#include "timing.h"

#include <algorithm>
#include <chrono>

std::vector<double> InterleavedMedians(int runs, const std::vector<std::function<void()>>& works)
{
    for (const auto& work : works)
        work();
    std::vector<std::vector<double>> times(works.size());
    for (int round = 0; round < runs; ++round) {
        for (size_t i = 0; i < works.size(); ++i) {
            const auto start = std::chrono::steady_clock::now();
            works[i]();
            times[i].push_back(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
    }
    std::vector<double> medians;
    for (auto& t : times) {
        std::sort(t.begin(), t.end());
        medians.push_back(t[t.size() / 2]);
    }
    return medians;
}
