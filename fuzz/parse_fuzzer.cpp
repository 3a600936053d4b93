// Feeds the document parser arbitrary exchanges. The input is split at its first
// two newlines into the content type, the URL path and the body, so the fuzzer
// steers which reader runs as well as what it reads.
#include "core/discovery/AgentManifestParser.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto take = [&input]() {
        const std::size_t end = input.find('\n');
        const std::string_view part = input.substr(0, end);
        input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
        return std::string(part);
    };
    const std::string contentType = take();
    const std::string path = take();

    quorilanth::Evidence evidence("https://fuzz.example/" + path, "GET");
    evidence.statusCode = 200;
    evidence.responseHeaders["content-type"] = contentType;
    // Reuse the body as a Link header too: its pattern search is part of every parse.
    evidence.responseHeaders["link"] = std::string(input.substr(0, 4096));
    evidence.responseBody = std::string(input);
    const quorilanth::ParsedDocument doc = quorilanth::AgentManifestParser::parse(evidence);
    if (doc.links.size() > quorilanth::AgentManifestParser::maxLinks) {
        __builtin_trap();
    }
    return 0;
}
