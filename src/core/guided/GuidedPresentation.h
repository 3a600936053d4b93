#pragma once

#include "core/base/JSONValue.h"
#include "core/documents/AgentSurfaceAssessment.h"
#include "core/model/ScanReport.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorilanth {

// The language of a plain-language text. The application decides it from the
// user's preferred languages at the moment a text is built and passes it in;
// nothing here remembers it.
enum class Language : std::uint8_t { italian, english };

// The words, rules and conversions behind the plain-language views: pure
// functions of their arguments, without side effects.
namespace GuidedPresentation {

// The plain label of a parameter or result key: the fixed table, else the key
// humanised ("max_price" reads "Max Price", "user-ID" reads "User Id").
std::string label(std::string_view key, Language language);

// The title, one-sentence introduction and safety line of a tool.
std::string actionTitle(const MCPTool& tool, Language language);
std::string actionIntroduction(const MCPTool& tool, Language language);
std::string safety(const MCPTool& tool, Language language);

// The plain title of a discovered document.
std::string documentTitle(const GraphNode& node, Language language);

// The verdict word for one surface; Italian agrees in gender and number.
std::string presenceTitle(AgentSurfaceAssessment::Presence presence, bool feminine, bool plural,
                          Language language);

// The site's own description in the user's language, else in English, else
// as published; nothing when no node published one.
std::optional<std::string> siteDescription(const ScanReport& report, Language language);

// The tools the guide offers: those of every valid server, in report order,
// neither sorted nor de-duplicated.
std::vector<MCPTool> tools(const ScanReport& report);

// One key per tool of a list, for what a view builds per tool: the tool's id,
// and for a later tool with the same id (one server listing two tools of one
// name) the id followed by "#" and its occurrence number, so neither is
// dropped nor shown twice in place of the other.
std::vector<std::string> toolKeys(const std::vector<MCPTool>& tools);

// The plain word of a well-known enumerated value ("it" reads "Italiano" or
// "Italian"); any other text unchanged.
std::string choice(std::string_view text, Language language);

// What the user typed, by property name. Kept in key order, so that every
// conversion visits the fields in one order and names the same one first.
using FormValues = std::map<std::string, std::string, std::less<>>;
// Where each value picked from a list stands in the property's "enum": two
// elements may show one text (1 and "1"), and the text names only the first.
using ChoicePositions = std::map<std::string, std::size_t, std::less<>>;

// The effective JSON-Schema type name of a property schema, or nothing.
std::optional<std::string> fieldType(const JSONValue& schema);
// Whether the guided form can edit a property: a scalar, or a list of strings.
bool supportsField(const JSONValue& schema);
// The values a new form starts with: at most "language", set to the user's.
FormValues initialValues(const MCPTool& tool, Language language);
// The required properties still blank, in name order.
std::vector<std::string> missingRequired(const FormValues& values, const MCPTool& tool);
// The arguments object of the call, or QuorilanthError with the one sentence
// that tells the user what to change.
JSONValue arguments(const FormValues& values, const MCPTool& tool, Language language,
                    const ChoicePositions& positions = {});

// The page an answer (or one of its objects) points to: the first page member
// that is a safe web address of something other than a download; nothing when
// none is.
std::optional<std::string> pageURL(const JSONValue& value);

} // namespace GuidedPresentation
} // namespace quorilanth
