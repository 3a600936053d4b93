// The technical panes' text widgets on their own: the bounded JSON tree, the
// plain-text forms of an exchange, the raw text view's rows, the lists' model.

#include "TechnicalTestSupport.h"
#include "app/kit/DisclosureGroup.h"
#include "app/kit/QLTheme.h"
#include "app/kit/ViewKit.h"
#include "app/technical/JSONTree.h"
#include "app/technical/RawText.h"
#include "app/technical/RawTextView.h"
#include "app/technical/RowList.h"
#include "app/technical/SelectableText.h"
#include "app/technical/TechnicalKit.h"

#include <QLayout>
#include <QScrollBar>
#include <cmath>

namespace quorilanth {
namespace {

using test::exchange;

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

TEST(RawText, TheThreeFormsOfAnExchange) {
    Evidence bare = exchange("https://x.example/");
    Evidence full = exchange("https://x.example/mcp", "POST");
    full.requestHeaders = {{"accept", "*/*"}, {"Authorization", "[REDACTED]"}, {"User-Agent", "Q"}};
    full.requestBody = R"({"b":1,"a":"x\/y"})";
    full.statusCode = 200;
    full.responseHeaders = {{"server", "s"}, {"content-type", "application/json"}};
    full.responseBody = R"( {"b":1,"a":"x\/y"} )";
    full.durationMS = 12.9;
    full.remoteIP = "2001:db8::1";
    full.tlsVerified = true;
    Evidence failed = exchange("https://x.example/llms.txt");
    failed.error = "DNS resolution failed: x.example";
    failed.durationMS = std::nan("");
    Evidence slow = exchange("https://x.example/"); // a duration past every integer
    slow.durationMS = 1e300;

    const struct {
        const Evidence* exchange;
        RawPane pane;
        std::string text;
    } cases[] = {
        {nullptr, RawPane::request, "Select an HTTP exchange."},
        {&bare, RawPane::request, "GET https://x.example/\n\n\n\n"},
        {&full, RawPane::request,
         "POST https://x.example/mcp\n\nAuthorization: [REDACTED]\nUser-Agent: Q\naccept: "
         "*/*\n\n{\"b\":1,\"a\":\"x\\/y\"}"},
        {&full, RawPane::response,
         "HTTP 200 · application/json\n\n\n{\n  \"a\" : \"x/y\",\n  \"b\" : 1\n}"},
        {&full, RawPane::headers,
         "2026-01-31T08:05:09Z\n12 ms\nRemote IP: 2001:db8::1\nTLS verified: true\n\n"
         "content-type: application/json\nserver: s\n\n"},
        {&failed, RawPane::response, "HTTP 0 · \nDNS resolution failed: x.example\n\n"},
        {&failed, RawPane::headers,
         "2026-01-31T08:05:09Z\n0 ms\nRemote IP: unknown\nTLS verified: false\n\n\n\n"
         "DNS resolution failed: x.example"},
        {&slow, RawPane::headers,
         "2026-01-31T08:05:09Z\n9223372036854775807 ms\nRemote IP: unknown\nTLS verified: "
         "false\n\n\n\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(rawText(c.exchange, c.pane), c.text);
    }
    EXPECT_EQ(rawPane(QStringLiteral("anything")), RawPane::response);
}

TEST(RawText, RowsBreakAfterASpaceElseInsideAWordAndCopyExactly) {
    RawTextView view;
    const qreal column = QFontMetricsF(view.font()).horizontalAdvance(QLatin1Char('M'));
    // Ten columns of text between the insets and the scroller.
    view.resize(int(std::ceil(2 * 16 + view.scrollBar()->sizeHint().width() + 10 * column)), 300);
    view.show();
    const std::string emoji = "😀";
    const struct {
        QString text;
        QStringList rows;
    } cases[] = {
        {"abc def ghi jkl", {"abc def ", "ghi jkl"}},
        {"abcdefghijklmnop", {"abcdefghij", "klmnop"}},
        {"a\n\nb\n", {"a\n", "\n", "b\n", ""}},
        {"ab cdefghijklmn", {"ab ", "cdefghijkl", "mn"}},
        {"a\tb\tc", {"a\tb\t", "c"}}, // a tab takes four columns
        {QString::fromStdString("é" + std::string(12, 'e')), {"é" + QString(9, 'e'), "eee"}},
    };
    for (const auto& c : cases) {
        view.setText(c.text);
        QStringList rows;
        const auto& starts = view.rowStarts();
        for (std::size_t i = 0; i < starts.size(); ++i)
            rows << c.text.mid(starts[i],
                               (i + 1 < starts.size() ? starts[i + 1] : c.text.size()) - starts[i]);
        EXPECT_EQ(rows, c.rows) << c.text.toStdString();
    }
    // A character outside the BMP is never split between rows, even where it
    // is wider than a row.
    view.resize(view.width() - int(9 * column), 300);
    view.setText(QString::fromStdString("a" + emoji).repeated(40));
    for (qsizetype start : view.rowStarts())
        EXPECT_FALSE(start < view.text().size() && view.text().at(start).isLowSurrogate());
    view.setText(QStringLiteral("a\u0001b\tc\r\n"));
    view.selectAll();
    view.copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("a\u0001b\tc\r\n"));
}

TEST(RawText, AValueFirstShownAfterItsFontChangedIsMeasuredInThatFont) {
    // Values start empty in one font and are often given another before
    // their first text; the rows must be counted in the font they are drawn in.
    const QString text = QStringLiteral("words of a value that wraps onto several rows\tand "
                                        "\x01 control pictures wider than letters");
    struct Case {
        const char* name;
        int before;
        int after;
        bool textFirst;
    };
    const Case cases[] = {
        {"font, then text", 11, 22, false},
        {"text, then font", 11, 22, true},
        {"smaller font, then text", 22, 9, false},
    };
    for (const Case& c : cases) {
        SelectableText changed;
        changed.setFont(QLTheme::font(c.before));
        (void)changed.heightForWidth(150);
        if (c.textFirst) changed.setText(text);
        changed.setFont(QLTheme::font(c.after));
        if (!c.textFirst) changed.setText(text);
        SelectableText fresh;
        fresh.setFont(QLTheme::font(c.after));
        fresh.setText(text);
        for (int width : {400, 150, 60})
            EXPECT_EQ(changed.heightForWidth(width), fresh.heightForWidth(width))
                << c.name << " at " << width;
        EXPECT_EQ(changed.sizeHint(), fresh.sizeHint()) << c.name;
    }
}

// However a long label came to a row, a cut one ends in the mark of its cut
// and shows nothing it did not hold; one that fits is shown whole, unmarked.
TEST(WrappedLines, ACutTextKeepsItsMark) {
    const QFont font = QLTheme::font(11);
    const QString letters(2100, u'L');
    const QString hebrew = QString(2100, QChar(0x05D0));
    const QString face = QString::fromUtf8("\xF0\x9F\x99\x82"); // two UTF-16 units
    const std::tuple<QString, QString, bool> cases[] = {
        {"plain", letters, true},
        {"bounded", boundedText(letters, rowTextLimit), true},
        {"bounded, isolated", boundedText(hebrew, rowTextLimit), true},
        {"a pair at the cut", QString(1999, u'L') + face.repeated(10), true},
        {"at the limit", QString(2000, u'L'), false},
        {"short", QStringLiteral("short"), false},
    };
    for (const auto& [name, text, cut] : cases) {
        for (const int maxLines : {noLineLimit, 2}) {
            SCOPED_TRACE(name.toStdString() + " in " + std::to_string(maxLines) + " lines");
            const QStringList lines = wrappedLines(text, font, 300, maxLines);
            ASSERT_FALSE(lines.isEmpty());
            QString joined = lines.join(QString());
            const bool marked = joined.endsWith(QChar(0x2026));
            if (marked && !text.endsWith(QChar(0x2026))) joined.chop(1);
            EXPECT_TRUE(joined.isValidUtf16());
            if (maxLines == noLineLimit) {
                EXPECT_EQ(marked, cut);
                EXPECT_TRUE(text.startsWith(joined));
            } else {
                EXPECT_TRUE(marked || !cut);
            }
        }
    }
}

TEST(RowModelTest, GrowingRowsAreAddedNotReset) {
    struct Row {
        QString id, text;
        QString identifier() const { return id; }
        QString spoken() const { return text; }
        bool sameRow(const Row& other) const { return id == other.id; }
        bool operator==(const Row&) const = default;
    };
    RowModel<Row> model;
    int resets = 0, inserted = 0, changed = 0;
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { ++resets; });
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, [&] { ++inserted; });
    QObject::connect(&model, &QAbstractItemModel::dataChanged, [&] { ++changed; });
    model.setRows({{"a", "1"}, {"b", "1"}});
    QPersistentModelIndex first = model.index(0);
    model.setRows({{"a", "1"}, {"b", "2"}, {"c", "1"}});
    EXPECT_EQ(std::tuple(resets, inserted, changed), std::tuple(0, 2, 1));
    EXPECT_TRUE(first.isValid());
    model.setRows({{"b", "2"}});
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(model.index(0).data(RowList::identifierRole), "b");
}

} // namespace
} // namespace quorilanth
