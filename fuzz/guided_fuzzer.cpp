// A hostile input schema and what a user might type into its form (the
// schema's JSON on the first line, then one "name=text" per line): building
// the arguments either fails with the one documented error or gives an
// object that writes as valid JSON; the readable trees of the schema and of
// the arguments, opened all the way down, stay within their budget and show
// only whole UTF-8 text of bounded length.
#include "FuzzInput.h"
#include "core/base/UTF8.h"
#include "core/guided/GuidedText.h"
#include "core/guided/ReadableValue.h"

#include <cstring>
#include <vector>

using namespace quorilanth;

namespace {

// Whole UTF-8, and no longer than a capped text of `characters` may be.
void shown(const std::string& text, std::size_t characters) {
    if (!utf8::isValid(text) ||
        text.size() > characters * guidedText::kMaxBytesPerCharacter + std::strlen("…"))
        __builtin_trap();
}

// Checks one tree, then opens its folded groups as a reader would.
std::size_t walk(const ReadableNode& node, std::vector<ReadableNode>& folded) {
    shown(node.text, ReadableValue::kMaxTextCharacters);
    shown(node.label, ReadableValue::kMaxLabelCharacters);
    for (const std::optional<std::string>* text : {&node.title, &node.description})
        if (*text) shown(**text, ReadableValue::kMaxTextCharacters);
    if (node.kind == ReadableNode::Kind::folded) folded.push_back(node);
    std::size_t count = 1;
    for (const ReadableNode& child : node.children)
        count += walk(child, folded);
    return count;
}

void show(const ReadableNode& top) {
    std::vector<ReadableNode> folded;
    // Past the budget, each container still open on the way down ends with one sentence.
    if (walk(top, folded) > ReadableValue::kMaxNodes + ReadableValue::kMaxDepth + 3)
        __builtin_trap();
    for (const ReadableNode& group : folded)
        show(ReadableValue::open(group, Language::italian));
}

void show(const JSONValue& value) {
    show(ReadableValue::tree(value, Language::english));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto [schemaText, rest] = fuzz::splitLine(fuzz::text(data, size));
    JSONValue schema;
    try {
        schema = JSONValue::parse(schemaText);
    } catch (const JSONParseError&) {
        return 0;
    }
    GuidedPresentation::FormValues values;
    while (!rest.empty()) {
        const auto [line, after] = fuzz::splitLine(rest);
        rest = after;
        const std::size_t equals = line.find('=');
        // What a text field hands over is always whole UTF-8.
        if (equals != std::string_view::npos && utf8::isValid(line))
            values[std::string(line.substr(0, equals))] = std::string(line.substr(equals + 1));
        if (after.empty()) break;
    }
    const MCPTool tool(
        "https://a.example/mcp",
        JSONValue(JSONValue::Object{{"name", JSONValue("t")}, {"inputSchema", schema}}));
    show(schema);
    try {
        const JSONValue arguments = GuidedPresentation::arguments(values, tool, Language::english);
        const std::string written = arguments.pretty();
        if (!arguments.isObject() || written.empty() || JSONValue::parse(written) != arguments)
            __builtin_trap();
        show(arguments);
    } catch (const QuorilanthError&) {
    }
    return 0;
}
