#pragma once

#include <string>

namespace quorilanth {

// AI-assisted discovery: web search and model classification of candidate sites.
class AIResearchEngine {
public:
    // Whether the on-device model can classify, as the settings sheet shows it.
    // Read afresh at each use.
    static std::string appleAvailability();
};

} // namespace quorilanth
