#include "app/technical/JSONTree.h"

#include "app/technical/DisclosureGroup.h"
#include "app/technical/SelectableText.h"
#include "app/window/ViewKit.h"

#include <QLabel>
#include <QLayout>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

// What one level of a tree shows, in order: "key=value" for a scalar member,
// "+title" for a group, "!note" for a note, "value" for a lone scalar.
std::vector<std::string> items(const JSONTree& tree) {
    std::vector<std::string> out;
    for (int i = 0; i < tree.layout()->count(); ++i) {
        QWidget* item = tree.layout()->itemAt(i)->widget();
        if (auto* group = qobject_cast<DisclosureGroup*>(item))
            out.push_back("+" + group->header()->title().toStdString());
        else if (auto* label = qobject_cast<QLabel*>(item))
            out.push_back("!" + label->text().toStdString());
        else if (auto* text = qobject_cast<SelectableText*>(item))
            out.push_back(text->text().toStdString());
        else
            out.push_back(item->findChild<ElidedLabel*>()->text().toStdString() + "=" +
                          item->findChild<SelectableText*>()->text().toStdString());
    }
    return out;
}

JSONValue object(std::size_t members) {
    JSONValue value = JSONValue::emptyObject();
    for (std::size_t i = 0; i < members; ++i)
        value.set("k" + std::string(i < 10 ? "0" : "") + std::to_string(i), JSONValue(i));
    return value;
}

JSONValue array(std::size_t elements) {
    return JSONValue(JSONValue::Array(elements, JSONValue(true)));
}

TEST(JSONTree, ShowsEachLevelWithinItsLimits) {
    const std::vector<std::pair<JSONValue, std::vector<std::string>>> cases{
        {JSONValue::emptyObject(), {}},
        {JSONValue::emptyArray(), {}},
        {JSONValue::parse(R"({"b":1,"B":"x","a":{"n":1},"é":null})"),
         {"B=x", "+a", "b=1", "é=null"}},
        {JSONValue::parse(R"([{"name":"search"},{"name":7},"abc",3,null,[],false])"),
         {"+[0] search", "+[1] item", "+[2] abc", "+[3] item", "+[4] item", "+[5] item",
          "+[6] item"}},
        {JSONValue::parse(R"("")"), {""}},
        {JSONValue(42), {"42"}},
    };
    for (const auto& [value, expected] : cases) {
        SCOPED_TRACE(value.pretty());
        EXPECT_EQ(items(JSONTree(value)), expected);
    }

    auto limits = [](const JSONValue& value) {
        const std::vector<std::string> shown = items(JSONTree(value));
        return std::make_pair(shown.size(), shown.back());
    };
    EXPECT_EQ(limits(object(50)), std::make_pair(std::size_t(50), std::string("k49=49")));
    EXPECT_EQ(limits(object(51)),
              std::make_pair(std::size_t(51), std::string("!More fields in RAW…")));
    EXPECT_EQ(limits(array(30)), std::make_pair(std::size_t(30), std::string("+[29] item")));
    EXPECT_EQ(limits(array(31)),
              std::make_pair(std::size_t(31), std::string("!1 more items in RAW…")));
    EXPECT_EQ(limits(array(1000)).second, "!970 more items in RAW…");
}

TEST(JSONTree, BuildsAGroupOnlyWhenOpenedAndStopsAtTheDepthLimit) {
    // 500 levels of arrays, as a hostile answer may nest them.
    std::string text(500, '[');
    text += "\"deep\"" + std::string(500, ']');
    JSONTree root(JSONValue::parse(text));
    JSONTree* tree = &root;
    for (int level = 1; level <= JSONTree::depthLimit; ++level) {
        auto* group = tree->findChild<DisclosureGroup*>(QString(), Qt::FindDirectChildrenOnly);
        ASSERT_NE(group, nullptr) << level;
        EXPECT_EQ(group->content(), nullptr) << "collapsed groups are not built";
        group->header()->click();
        ASSERT_TRUE(group->isExpanded());
        tree = qobject_cast<JSONTree*>(group->content());
        ASSERT_NE(tree, nullptr);
        EXPECT_EQ(tree->depth(), level);
    }
    EXPECT_EQ(items(*tree), std::vector<std::string>{"!Depth limit · open RAW to inspect"});
    EXPECT_EQ(items(JSONTree(JSONValue("scalar"), 12)), items(*tree));

    // Closing keeps what was opened inside.
    auto* first = root.findChild<DisclosureGroup*>(QString(), Qt::FindDirectChildrenOnly);
    first->header()->click();
    EXPECT_FALSE(first->content()->isVisibleTo(&root));
    first->header()->click();
    EXPECT_TRUE(first->content()->findChild<DisclosureGroup*>()->isExpanded());
}

TEST(JSONTree, CutsMegabyteTextsItShows) {
    const std::string huge(2'000'000, 'x');
    const std::string accented = "é" + std::string(SelectableText::displayLimit, 'e');
    JSONValue value = JSONValue::emptyObject();
    value.set(huge, JSONValue(huge));
    value.set("list", JSONValue(JSONValue::Array{JSONValue(huge), JSONValue(accented)}));
    JSONTree tree(value);
    const std::vector<std::string> shown = items(tree);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], "+list");
    // The key is cut shorter than the value; each ends in "…".
    EXPECT_EQ(shown[1].find("x…=x"), 299u);
    EXPECT_EQ(shown[1].size(), 300 + 3 + 1 + SelectableText::displayLimit + 3);
    EXPECT_EQ(shown[1].substr(shown[1].size() - 4), "x…");
    auto* list = tree.findChild<DisclosureGroup*>();
    list->setExpanded(true);
    const auto titles = items(*qobject_cast<JSONTree*>(list->content()));
    EXPECT_LE(titles[0].size(), 1 + 300u);
    EXPECT_EQ(titles[1].substr(0, 7), "+[1] é");
}

} // namespace
} // namespace quorilanth
