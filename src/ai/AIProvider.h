#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace quorilanth {

// The language-model providers a user can choose, in picker order. The raw value
// is the display name, the stored "aiProvider" setting and the key-store account.
enum class AIProvider : unsigned char { apple, openAI, claude, deepSeek, glm };

inline constexpr std::array<AIProvider, 5> allAIProviders{AIProvider::apple, AIProvider::openAI,
                                                          AIProvider::claude, AIProvider::deepSeek,
                                                          AIProvider::glm};

std::string_view rawValue(AIProvider provider);
std::string_view defaultModel(AIProvider provider);
// Exact, case-sensitive match of a raw value.
std::optional<AIProvider> aiProviderFromRawValue(std::string_view raw);
// Loose lookup: trimmed, case-insensitive, with the "glm", "z.ai" and "zai" aliases.
std::optional<AIProvider> aiProviderNamed(std::string_view name);

} // namespace quorilanth
