// The guided form's side of a tool call: which properties it edits, what it
// starts with, and how the typed texts become the call's arguments.
#include "core/base/QuorilanthError.h"
#include "core/base/UnicodeText.h"
#include "core/guided/GuidedPresentation.h"
#include "core/guided/GuidedText.h"
#include "core/mcp/JSONSchemaValidator.h"
#include "core/mcp/ToolInput.h"

#include <algorithm>
#include <array>

namespace quorilanth::GuidedPresentation {
namespace {

using guidedText::Pair;

constexpr std::array<std::string_view, 4> kScalarTypes{"string", "number", "integer", "boolean"};

// The label between the typographic quotes of each language.
std::string quoted(std::string_view name, Language language) {
    const std::string shown = label(name, language);
    return language == Language::italian ? "«" + shown + "»" : "‘" + shown + "’";
}

[[noreturn]] void fail(Pair lead, const std::string& detail, Pair end, Language language) {
    throw QuorilanthError(std::string(lead.in(language)) + detail + std::string(end.in(language)));
}

// The lines of a list field: split at every line break the platform counts
// as one, trimmed of spaces and tabs, blank lines dropped.
JSONValue lines(std::string_view text) {
    JSONValue::Array items;
    std::size_t start = 0;
    const auto take = [&](std::size_t end) {
        std::string_view line = text.substr(start, end - start);
        const auto blank = [](char c) { return c == ' ' || c == '\t'; };
        while (!line.empty() && blank(line.front()))
            line.remove_prefix(1);
        while (!line.empty() && blank(line.back()))
            line.remove_suffix(1);
        if (!line.empty()) items.emplace_back(line);
    };
    for (std::size_t at = 0; at < text.size();) {
        // LF, VT, FF, CR (CR LF as one), NEL, LINE and PARAGRAPH SEPARATOR.
        std::size_t width = 0;
        const auto c = static_cast<unsigned char>(text[at]);
        if (c >= 0x0A && c <= 0x0D) {
            width = c == 0x0D && at + 1 < text.size() && text[at + 1] == '\n' ? 2 : 1;
        } else if (text.substr(at, 2) == "\xC2\x85") {
            width = 2;
        } else if (text.substr(at, 3) == "\xE2\x80\xA8" || text.substr(at, 3) == "\xE2\x80\xA9") {
            width = 3;
        }
        if (width == 0) {
            ++at;
            continue;
        }
        take(at);
        at += width;
        start = at;
    }
    take(text.size());
    return JSONValue(std::move(items));
}

} // namespace

std::optional<std::string> fieldType(const JSONValue& schema) {
    const JSONValue& type = schema["type"];
    if (std::optional<std::string_view> name = type.string()) return std::string(*name);
    const JSONValue::Array& names = type.array();
    if (std::find(names.begin(), names.end(), JSONValue("string")) != names.end()) return "string";
    for (const JSONValue& name : names)
        if (name.string() && *name.string() != "null") return std::string(*name.string());
    // A choice among texts needs no declared type to be a text field; without
    // this an untyped list of languages could never be sent.
    const JSONValue::Array& choices = schema["enum"].array();
    if (!choices.empty() && std::all_of(choices.begin(), choices.end(),
                                        [](const JSONValue& c) { return c.isString(); }))
        return "string";
    return std::nullopt;
}

bool supportsField(const JSONValue& schema) {
    const std::optional<std::string> type = fieldType(schema);
    if (!type) return false;
    if (std::find(kScalarTypes.begin(), kScalarTypes.end(), *type) != kScalarTypes.end())
        return true;
    return *type == "array" && fieldType(schema["items"]) == "string";
}

FormValues initialValues(const MCPTool& tool, Language language) {
    const std::string code = language == Language::italian ? "it" : "en";
    const JSONValue& schema = ToolInput::property(tool, "language");
    const JSONValue::Array& choices = schema["enum"].array();
    // Only a field the form can edit is filled in: a value the user cannot
    // see or change would otherwise block every send.
    if (supportsField(schema) &&
        std::find(choices.begin(), choices.end(), JSONValue(code)) != choices.end())
        return {{"language", code}};
    return {};
}

std::vector<std::string> missingRequired(const FormValues& values, const MCPTool& tool) {
    std::vector<std::string> missing;
    for (const JSONValue& name : tool.inputSchema()["required"].array()) {
        std::optional<std::string_view> text = name.string();
        if (!text) continue;
        const auto value = values.find(*text);
        if (value == values.end() || unicodeText::isBlank(value->second))
            missing.emplace_back(*text);
    }
    std::sort(missing.begin(), missing.end());
    return missing;
}

JSONValue arguments(const FormValues& values, const MCPTool& tool, Language language,
                    const ChoicePositions& positions) {
    if (const std::vector<std::string> missing = missingRequired(values, tool); !missing.empty()) {
        std::string labels;
        for (const std::string& name : missing)
            labels += (labels.empty() ? "" : ", ") + label(name, language);
        fail({"Compila i campi obbligatori: ", "Complete the required fields: "}, labels,
             {".", "."}, language);
    }
    JSONValue result = JSONValue::emptyObject();
    for (const auto& entry : values) {
        const std::string& name = entry.first;
        const std::string& text = entry.second;
        if (text.empty()) continue;
        const JSONValue& schema = ToolInput::property(tool, name);
        if (!supportsField(schema))
            fail({"Il campo ", "The field "}, quoted(name, language),
                 {" richiede l’editor tecnico.", " requires the technical editor."}, language);
        const auto picked = positions.find(name);
        if (const JSONValue* chosen = ToolInput::choice(
                schema, text,
                picked == positions.end() ? std::nullopt : std::optional(picked->second))) {
            result.set(name, *chosen);
            continue;
        }
        const std::string type = *fieldType(schema);
        if (type == "string") {
            result.set(name, JSONValue(text));
        } else if (type == "array") {
            result.set(name, lines(text));
        } else {
            // The reader refuses "NaN", "Infinity" and numbers beyond a
            // double's range, so nothing typed here can make the request
            // body invalid JSON.
            try {
                result.set(name, JSONValue::parse(text));
            } catch (const JSONParseError&) {
                fail({"Controlla il valore di ", "Check the value of "}, quoted(name, language),
                     {".", "."}, language);
            }
        }
    }
    const SchemaValidation validation = JSONSchemaValidator::validate(result, tool.inputSchema());
    if (!validation.unsupported.empty())
        fail({"Questa funzione richiede opzioni che Quorilanth non sa ancora verificare. Puoi "
              "consultarle nella vista tecnica.",
              "This function requires options Quorilanth cannot yet validate. You can inspect "
              "them in the technical view."},
             "", {"", ""}, language);
    if (!validation.errors.empty()) {
        std::string lines;
        for (const std::string& error : validation.errors)
            lines += "\n" + error;
        fail({"Alcuni campi non rispettano i requisiti del sito:",
              "Some fields do not meet the site’s requirements:"},
             lines, {"", ""}, language);
    }
    return result;
}

} // namespace quorilanth::GuidedPresentation
