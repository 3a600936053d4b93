#include "ai/AIResearchEngine.h"

namespace quorilanth {

std::string AIResearchEngine::appleAvailability() {
    // This platform offers no system language model on the device, so the
    // provider is always unavailable, with this as its reason.
    return "Unavailable: this system has no on-device language model";
}

} // namespace quorilanth
