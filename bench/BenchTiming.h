#pragma once

// Timing helpers shared by the benchmark programs.
#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

namespace quorilanth::bench {

// The median wall time of `runs` runs of the work, in milliseconds.
inline double medianMilliseconds(const std::function<void()>& work, int runs = 15) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace quorilanth::bench
