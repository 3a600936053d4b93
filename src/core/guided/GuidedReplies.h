#pragma once

#include "core/guided/GuidedPresentation.h"
#include "core/report/ToolCalls.h"

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quorilanth {

// The decoded last answer of a tool, rebuilt from the report, never stored.
struct GuidedReply {
    // The exchange that answered the call (after redirects, the last hop): it
    // holds the request and the answer, and the raw view opens it.
    Evidence evidence;
    JSONValue value;
    // The answer is an error, or did not arrive whole.
    bool isError = false;
};

// A value proposed for an identifier field, taken from an earlier answer of
// a tool of the same server.
struct ParameterSuggestion {
    std::string value;
    std::string title;
    std::string evidenceID;

    friend bool operator==(const ParameterSuggestion&, const ParameterSuggestion&) = default;
};

// The answers of one report, read for the guided views. Decoding a reply of
// up to 2 MB is the costly part, and a form asks for suggestions at every
// keystroke, so each reply is decoded at most once and each field's
// suggestions gathered once, for as long as the index lives. Build one per
// report and drop it when the report changes; it keeps what it needs and does
// not refer back to the report. Safe to share between threads: a view may
// warm it on a worker (a first look at fifty 2 MB answers takes a second or more)
// while it answers for the answers it already holds.
class GuidedReplies {
public:
    explicit GuidedReplies(const ScanReport& report);
    ~GuidedReplies();
    GuidedReplies(const GuidedReplies&) = delete;
    GuidedReplies& operator=(const GuidedReplies&) = delete;

    // The answer of the newest call of this tool on its server, or nothing.
    std::optional<GuidedReply> lastReply(const MCPTool& tool, Language language) const;

    // Identifiers for the field `key` of the form of `tool`, from the answers
    // of every offered tool of its server, in the collator's order of their
    // titles. Empty for a key that gets no suggestions or is not a text field.
    std::vector<ParameterSuggestion> suggestions(std::string_view key, const MCPTool& tool) const;

    // What the index keeps per answer and per field; defined where it is used.
    struct Decoded;
    struct Cached;

private:
    // The decoded answer of the tool's newest call, decoded on first use.
    // What it points to never changes and lives as long as the index.
    const Decoded* decoded(const MCPTool& tool) const;

    ToolCalls calls_;
    std::vector<MCPTool> offered_;
    mutable std::mutex mutex_;
    // By the call, which tools of one server and name share.
    mutable std::unordered_map<const ToolCall*, std::unique_ptr<Decoded>> replies_;
    mutable std::vector<Cached> suggestions_;
};

namespace GuidedPresentation {

// One-off forms of the index's questions, for a single look at a report.
std::optional<GuidedReply> lastReply(const MCPTool& tool, const ScanReport& report,
                                     Language language);
std::vector<ParameterSuggestion> suggestions(std::string_view key, const MCPTool& tool,
                                             const ScanReport& report);

} // namespace GuidedPresentation
} // namespace quorilanth
