#include "core/guided/ReadableValue.h"

#include <functional>
#include <gtest/gtest.h>
#include <set>

namespace quorilanth {
namespace {

using enum Language;
using Kind = ReadableNode::Kind;
using Slot = ReadableNode::Slot;

ReadableNode tree(const std::string& json, Language language = english) {
    return ReadableValue::tree(JSONValue::parse(json), language);
}

std::string members(int count, const std::string& prefix = "k") {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += (i ? ",\"" : "\"") + prefix + std::to_string(i) + "\":" + std::to_string(i);
    return "{" + text + "}";
}

std::string elements(int count, const std::string& element = "0") {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += (i ? "," : "") + element;
    return "[" + text + "]";
}

std::size_t nodes(const ReadableNode& node, std::set<std::string>& ids) {
    EXPECT_TRUE(ids.insert(node.id).second) << node.id;
    std::size_t count = 1;
    for (const ReadableNode& child : node.children)
        count += nodes(child, ids);
    return count;
}

TEST(ReadableValue, ScalarsReadAsWords) {
    for (const auto& [json, italian, english] :
         std::initializer_list<std::tuple<const char*, const char*, const char*>>{
             {"true", "Sì", "Yes"},
             {"false", "No", "No"},
             {"null", "Non specificato", "Not specified"},
             {"3", "3", "3"},
             {"\"a\\\"b\"", "a\"b", "a\"b"}}) {
        EXPECT_EQ(ReadableValue::display(JSONValue::parse(json), Language::italian), italian);
        EXPECT_EQ(ReadableValue::display(JSONValue::parse(json), Language::english), english);
    }
}

TEST(ReadableValue, LimitsAndTheirSentences) {
    struct Row {
        std::string json;
        std::function<void(const ReadableNode&)> check;
    };
    const std::string deep = R"([[[[[["six"]]]]]])";
    for (const Row& row : std::initializer_list<Row>{
             {deep,
              [](const ReadableNode& n) {
                  const ReadableNode* at = &n;
                  for (int depth = 0; depth < 6; ++depth)
                      at = &at->children.at(0);
                  EXPECT_EQ(at->kind, Kind::omitted);
                  EXPECT_EQ(at->text, "More details are available in the original response.");
              }},
             {members(30),
              [](const ReadableNode& n) {
                  EXPECT_EQ(n.children.size(), 30u);
                  EXPECT_FALSE(n.note);
              }},
             {members(31),
              [](const ReadableNode& n) {
                  EXPECT_EQ(n.children.size(), 30u);
                  EXPECT_EQ(n.note,
                            "Showing 30 of 31 fields. The rest are in the original response.");
              }},
             {elements(20), [](const ReadableNode& n) { EXPECT_FALSE(n.note); }},
             {elements(21, "{}"),
              [](const ReadableNode& n) {
                  EXPECT_EQ(n.children.size(), 20u);
                  EXPECT_EQ(n.children[0].slot, Slot::card);
                  EXPECT_EQ(
                      n.note,
                      "Showing 20 of 21 items. The complete list is in the original response.");
              }},
             {"[]", [](const ReadableNode& n) { EXPECT_EQ(n.text, "No items returned."); }},
             // Per-level limits alone would give 20^5 rows; the tree stops at its budget.
             {elements(20, elements(20, elements(20, elements(20, "[1]")))),
              [](const ReadableNode& n) {
                  std::set<std::string> ids;
                  EXPECT_LE(nodes(n, ids), ReadableValue::kMaxNodes + 10);
                  EXPECT_EQ(n.children.back().kind, Kind::omitted);
              }},
             {"\"" + std::string(5000, 'e') + "\"",
              [](const ReadableNode& n) {
                  EXPECT_EQ(n.text, std::string(4000, 'e') + "…");
                  EXPECT_EQ(n.note, "More details are available in the original response.");
              }},
         }) {
        row.check(tree(row.json));
    }
}

TEST(ReadableValue, ObjectsTitledFieldsOrderedAndPagesHidden) {
    const ReadableNode n = tree(R"({"name":"N","title":"T","summary":"S","zeta":1,"price":{"a":1},
        "alpha":[1],"results":[],"_meta":1,"canonical_url":"https://a.example/p","url":"ftp://x",
        "inputSchema":{}})",
                                italian);
    EXPECT_EQ(n.title, "N");
    EXPECT_EQ(n.description, "S");
    EXPECT_EQ(n.page, "https://a.example/p");
    EXPECT_EQ(n.pageHost, "a.example");
    std::string fields;
    for (const ReadableNode& field : n.children)
        fields += field.label + ":" + std::to_string(static_cast<int>(field.slot)) + " ";
    const auto slot = [](Slot s) { return std::to_string(static_cast<int>(s)); };
    EXPECT_EQ(fields, "Risultati:" + slot(Slot::open) + " Prezzo:" + slot(Slot::folded) +
                          " Alpha:" + slot(Slot::folded) + " Titolo:" + slot(Slot::row) +
                          " Zeta:" + slot(Slot::row) + " ");
    const ReadableNode opened = ReadableValue::open(n.children[1], italian);
    EXPECT_EQ(opened.children.at(0).text, "1");
    EXPECT_EQ(opened.id, n.children[1].id);

    const ReadableNode refused = tree(R"({"name":3,"url":"http://a.example/"})");
    EXPECT_FALSE(refused.title || refused.page);
    EXPECT_EQ(refused.children.size(), 2u);
}

} // namespace
} // namespace quorilanth
