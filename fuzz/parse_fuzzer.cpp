// Feeds the document parser arbitrary exchanges. The input is split at its first
// two newlines into the content type, the URL path and the body, so the fuzzer
// steers which reader runs as well as what it reads.
#include "FuzzInput.h"
#include "core/documents/AgentManifestParser.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto [contentType, rest] =
        quorilanth::fuzz::splitLine(quorilanth::fuzz::text(data, size));
    const auto [path, input] = quorilanth::fuzz::splitLine(rest);

    quorilanth::Evidence evidence("https://fuzz.example/" + std::string(path), "GET");
    evidence.statusCode = 200;
    evidence.responseHeaders["content-type"] = std::string(contentType);
    // Reuse the body as a Link header too: its pattern search is part of every parse.
    evidence.responseHeaders["link"] = std::string(input.substr(0, 4096));
    evidence.responseBody = std::string(input);
    const quorilanth::ParsedDocument doc = quorilanth::AgentManifestParser::parse(evidence);
    if (doc.links.size() > quorilanth::AgentManifestParser::maxLinks) {
        __builtin_trap();
    }
    return 0;
}
