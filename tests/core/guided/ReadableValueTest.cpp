#include "core/guided/ReadableValue.h"

#include <gtest/gtest.h>
#include <set>

namespace quorilanth {
namespace {

using enum Language;
using Kind = ReadableNode::Kind;
using Slot = ReadableNode::Slot;

// `count` copies of an element ("k" + i for members), as a JSON array or object.
std::string many(int count, const std::string& element, bool object = false) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += (i ? "," : "") + (object ? "\"k" + std::to_string(i) + "\":" : "") + element;
    return object ? "{" + text + "}" : "[" + text + "]";
}

std::size_t count(const ReadableNode& node, std::set<std::string>& ids) {
    EXPECT_TRUE(ids.insert(node.id).second) << node.id;
    std::size_t total = 1;
    for (const ReadableNode& child : node.children)
        total += count(child, ids);
    return total;
}

TEST(ReadableValue, LimitsAndTheirSentences) {
    const std::string more = "More details are available in the original response.";
    struct Row {
        std::string json;
        std::size_t children;
        const char* note; // "" for none
        const char* text = "";
    };
    for (const Row& row : std::initializer_list<Row>{
             {many(30, "1", true), 30, ""},
             {many(31, "1", true), 30,
              "Showing 30 of 31 fields. The rest are in the original response."},
             {many(20, "1"), 20, ""},
             {many(21, "{}"), 20,
              "Showing 20 of 21 items. The complete list is in the original response."},
             {"[]", 0, "", "No items returned."},
             {"\"" + std::string(5000, 'e') + "\"", 0, more.c_str(), "\u2026"},
             // Per-level limits alone would give 20^5 rows: the tree stops at its budget.
             {many(20, many(20, many(20, many(20, "[1]")))), 2, ""},
         }) {
        const ReadableNode top = ReadableValue::tree(JSONValue::parse(row.json), english);
        EXPECT_EQ(top.children.size(), row.children) << row.json.substr(0, 40);
        EXPECT_EQ(top.note.value_or(""), row.note);
        EXPECT_TRUE(top.text.ends_with(row.text));
        std::set<std::string> ids;
        EXPECT_LE(count(top, ids), ReadableValue::kMaxNodes + ReadableValue::kMaxDepth + 2);
    }
    const ReadableNode* at = nullptr;
    const ReadableNode deep =
        ReadableValue::tree(JSONValue::parse(R"([[[[[["six"]]]]]])"), italian);
    for (at = &deep; !at->children.empty(); at = &at->children[0]) {
    }
    EXPECT_EQ(at->depth, 6u);
    EXPECT_EQ(at->text, "Altri dettagli sono disponibili nella risposta originale.");
    EXPECT_EQ(ReadableValue::display(JSONValue(true), italian) +
                  ReadableValue::display(JSONValue(), english) +
                  ReadableValue::display(JSONValue(3), english),
              "SìNot specified3");
}

TEST(ReadableValue, ObjectsTitledFieldsOrderedAndOnlySafePagesOffered) {
    const ReadableNode n =
        ReadableValue::tree(JSONValue::parse(R"({"name":"N","title":"T","summary":"S",
        "zeta":1,"price":{"a":1},"alpha":[1],"results":[],"_meta":1,"canonical_url":"https://a.example/p#f",
        "official_page_url":"https://a.example/x.DMG","url":"ftp://x","inputSchema":{}})"),
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

    const ReadableNode refused =
        ReadableValue::tree(JSONValue::parse(R"({"name":3,"url":"http://a.example/",
        "website":"https://a.example/a.tar.gz","official_page_url":"https://u@a.example/"})"),
                            english);
    EXPECT_FALSE(refused.title || refused.page);
    EXPECT_EQ(refused.children.size(), 4u);
}

} // namespace
} // namespace quorilanth
