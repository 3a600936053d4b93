#pragma once

#include "core/update/ApplicationBundle.h"
#include "core/update/UpdateChannelClient.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace quorilanth {

struct UpdateChannelSelfTest {
    // Signs a manifest with a key made for this run alone and checks that the
    // verifier offers it, compares builds and refuses a forged signature.
    // Prints nothing; throws the first failure.
    static void run();
};

// The update self-test modes of the command line, run before anything else
// exists. Returns the exit status when the arguments ask for one of them
// ("--selftest-update" wins over "--selftest-update-live"), none otherwise.
// PASS lines go to out, the FAIL line to err.
std::optional<int> runUpdateSelfTestMode(const std::vector<std::string>& arguments,
                                         const ApplicationBundle& bundle,
                                         const UpdateSessionConfiguration& session,
                                         std::ostream& out, std::ostream& err);

} // namespace quorilanth
