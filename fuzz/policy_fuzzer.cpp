// Hostile text through the network policy: the first line is what a user or a
// page supplied, every further line one address the resolver answers with ("-"
// for an address it could not print). Whatever the policy accepts must pass it
// again unchanged, and only the documented error may come out.
#include "FuzzInput.h"
#include "core/base/QuorilanthError.h"
#include "core/net/NetworkPolicy.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>

using namespace quorilanth;

namespace {

class ScriptedResolver final : public Resolver {
public:
    explicit ScriptedResolver(std::string_view lines) : lines_(lines) {}

    ResolverAnswer resolve(const std::string&) const override {
        ResolverAnswer answer{!lines_.empty(), "Name or service not known", {}};
        std::string_view rest = lines_;
        // The system's lookup never answers with more than a few dozen entries.
        while (!rest.empty() && answer.entries.size() < 64) {
            std::string_view line;
            std::tie(line, rest) = fuzz::splitLine(rest);
            if (line == "-") {
                answer.entries.emplace_back(std::nullopt);
            } else {
                answer.entries.emplace_back(std::string(line));
            }
        }
        return answer;
    }

private:
    std::string_view lines_;
};

void checkStable(const NetworkPolicy& policy, const std::string& accepted) {
    try {
        if (policy.validate(accepted) != accepted || policy.normalizeDomain(accepted) != accepted) {
            __builtin_trap();
        }
    } catch (const QuorilanthError&) {
        __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const auto [text, lines] = fuzz::splitLine(fuzz::text(data + 1, size - 1));

    NetworkPolicy policy((data[0] & 1) != 0);
    policy.resolver = std::make_shared<const ScriptedResolver>(lines);
    for (const bool typed : {false, true}) {
        try {
            const std::string accepted =
                typed ? policy.normalizeDomain(text) : policy.validate(text);
            checkStable(policy, accepted);
            (void)policy.addresses(accepted);
        } catch (const QuorilanthError&) {
        }
    }
    for (std::string_view rest = lines; !rest.empty();) {
        std::string_view line;
        std::tie(line, rest) = fuzz::splitLine(rest);
        (void)NetworkPolicy::isPublicAddress(line);
    }
    return 0;
}
