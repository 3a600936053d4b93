#include "ai/AIProvider.h"

#include "core/base/AsciiText.h"

#include <algorithm>

namespace quorilanth {

std::string_view rawValue(AIProvider provider) {
    switch (provider) {
    case AIProvider::apple:
        return "Apple Intelligence";
    case AIProvider::openAI:
        return "OpenAI";
    case AIProvider::claude:
        return "Claude";
    case AIProvider::deepSeek:
        return "DeepSeek";
    case AIProvider::glm:
        return "GLM (Z.ai)";
    }
    return {};
}

std::string_view defaultModel(AIProvider provider) {
    switch (provider) {
    case AIProvider::apple:
        return "SystemLanguageModel";
    case AIProvider::openAI:
        return "gpt-6-astra";
    case AIProvider::claude:
        return "claude-sonnet-4-6";
    case AIProvider::deepSeek:
        return "deepseek-chat";
    case AIProvider::glm:
        return "glm-5.3";
    }
    return {};
}

std::optional<AIProvider> aiProviderFromRawValue(std::string_view raw) {
    for (AIProvider provider : allAIProviders)
        if (rawValue(provider) == raw) return provider;
    return std::nullopt;
}

std::optional<AIProvider> aiProviderNamed(std::string_view name) {
    constexpr std::string_view blanks = " \t\n\r\v\f";
    const auto first = name.find_first_not_of(blanks);
    if (first == std::string_view::npos) return std::nullopt;
    const auto last = name.find_last_not_of(blanks);
    const std::string key = asciiLowercase(name.substr(first, last - first + 1));
    if (key == "glm" || key == "z.ai" || key == "zai") return AIProvider::glm;
    for (AIProvider provider : allAIProviders)
        if (asciiLowercase(rawValue(provider)) == key) return provider;
    return std::nullopt;
}

} // namespace quorilanth
