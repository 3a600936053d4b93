#include "ai/AIProvider.h"

#include "core/base/UnicodeText.h"

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
    // Full Unicode trimming and lower-casing: a name pasted with a no-break
    // space, or "DeepSeek" typed with the Kelvin sign for its "K", still names
    // its provider.
    const std::string key = unicodeText::lowercased(unicodeText::trimmed(name));
    if (key == "glm" || key == "z.ai" || key == "zai") return AIProvider::glm;
    for (AIProvider provider : allAIProviders)
        if (unicodeText::lowercased(rawValue(provider)) == key) return provider;
    return std::nullopt;
}

} // namespace quorilanth
