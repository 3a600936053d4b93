#pragma once

// Times a piece of work over several runs for the benchmark programs.

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

namespace quorilanth::bench {

struct Timing {
    double median;
    double fastest;
};

// The machine is shared, so the fastest run is given beside the median.
inline Timing milliseconds(const std::function<void()>& run, int repetitions = 9) {
    std::vector<double> times;
    for (int i = 0; i < repetitions; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.front()};
}

} // namespace quorilanth::bench
