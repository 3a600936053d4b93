#pragma once

// Timing helpers shared by the benchmark programs.
#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace quorilanth::bench {

// Wall times of several runs of one piece of work, in milliseconds. The
// machine is shared, so the fastest run is kept beside the median.
struct Timing {
    double median = 0;
    double fastest = 0;
};

inline Timing milliseconds(const std::function<void()>& work, int runs = 15) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.front()};
}

inline double medianMilliseconds(const std::function<void()>& work, int runs = 15) {
    return milliseconds(work, runs).median;
}

// The resident memory of this process, in MiB.
inline double residentMiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

} // namespace quorilanth::bench
