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
std::vector<std::string> shown(const JSONTree& tree) {
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

TEST(JSONTree, ShowsEachLevelWithinItsLimits) {
    JSONValue fields = JSONValue::emptyObject();
    for (int i = 0; i < 51; ++i)
        fields.set("k" + std::string(i < 10 ? "0" : "") + std::to_string(i), JSONValue(i));
    const JSONValue items = JSONValue(JSONValue::Array(1000, JSONValue(true)));
    const std::vector<std::pair<JSONValue, std::vector<std::string>>> cases{
        {JSONValue::emptyObject(), {}},
        {JSONValue::parse(R"({"b":1,"B":"x","a":{"n":1},"é":null})"),
         {"B=x", "+a", "b=1", "é=null"}},
        {JSONValue::parse(R"([{"name":"search"},{"name":7},"abc",3,[],false])"),
         {"+[0] search", "+[1] item", "+[2] abc", "+[3] item", "+[4] item", "+[5] item"}},
        {JSONValue::parse(R"("")"), {""}},
        {JSONValue(42), {"42"}},
    };
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(shown(JSONTree(value)), expected) << value.pretty();

    // Fifty fields and thirty items at most, then a note.
    const std::vector<std::string> fieldLevel = shown(JSONTree(fields));
    EXPECT_EQ(std::vector<std::string>(fieldLevel.end() - 2, fieldLevel.end()),
              (std::vector<std::string>{"k49=49", "!More fields in RAW…"}));
    const std::vector<std::string> itemLevel = shown(JSONTree(items));
    EXPECT_EQ(std::vector<std::string>(itemLevel.end() - 2, itemLevel.end()),
              (std::vector<std::string>{"+[29] item", "!970 more items in RAW…"}));
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
    EXPECT_EQ(shown(*tree), std::vector<std::string>{"!Depth limit · open RAW to inspect"});
    EXPECT_EQ(shown(JSONTree(JSONValue("scalar"), 12)), shown(*tree));

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
    const std::vector<std::string> level = shown(tree);
    ASSERT_EQ(level.size(), 2u);
    // The key is cut shorter than the value; each ends in "…".
    EXPECT_EQ(level[1],
              std::string(300, 'x') + "…=" + std::string(SelectableText::displayLimit, 'x') + "…");
    auto* list = tree.findChild<DisclosureGroup*>();
    list->setExpanded(true);
    const auto titles = shown(*qobject_cast<JSONTree*>(list->content()));
    EXPECT_LE(titles[0].size(), 1 + 300u);
    EXPECT_EQ(titles[1].substr(0, 7), "+[1] é");
}

} // namespace
} // namespace quorilanth
