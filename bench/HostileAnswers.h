#pragma once

// Answers a hostile site may send, shared by the benchmarks of the guide.
#include <cstddef>
#include <string>

namespace quorilanth::bench {

// Lists of lists, 20 wide, repeated until the answer is about `bytes` long.
inline std::string nestedLists(std::size_t bytes) {
    std::string level = "[1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20]";
    while (level.size() * 20 < bytes) {
        std::string wider = "[";
        for (int i = 0; i < 20; ++i)
            wider += (i ? "," : "") + level;
        level = wider + "]";
    }
    std::string all = "[";
    while (all.size() + level.size() + 2 < bytes)
        all += (all.size() > 1 ? "," : "") + level;
    return all + "]";
}

} // namespace quorilanth::bench
