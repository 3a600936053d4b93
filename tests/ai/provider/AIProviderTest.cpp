#include "ai/AIProvider.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

TEST(AIProvider, LooseAndExactLookups) {
    const std::tuple<std::string, std::optional<AIProvider>, std::optional<AIProvider>> cases[] = {
        // text, named(_:), init(rawValue:)
        {"  Z.AI \n", AIProvider::glm, std::nullopt},
        {"zai", AIProvider::glm, std::nullopt},
        {"CLAUDE", AIProvider::claude, std::nullopt},
        {"Claude", AIProvider::claude, AIProvider::claude},
        {"Apple", std::nullopt, std::nullopt},
        {"apple intelligence", AIProvider::apple, std::nullopt},
        {"openai", AIProvider::openAI, std::nullopt},
        {"glm (z.ai)", AIProvider::glm, std::nullopt},
        {"GLM (Z.ai)", AIProvider::glm, AIProvider::glm},
        {"", std::nullopt, std::nullopt},
        {"\u00A0OpenAI\u2028", AIProvider::openAI, std::nullopt}, // Unicode blanks trimmed
        {"DEEPSEE\u212A", AIProvider::deepSeek, std::nullopt}, // the Kelvin sign lower-cases to k
    };
    for (const auto& [text, named, exact] : cases) {
        EXPECT_EQ(aiProviderNamed(text), named) << text;
        EXPECT_EQ(aiProviderFromRawValue(text), exact) << text;
    }
}

} // namespace
} // namespace quorilanth
