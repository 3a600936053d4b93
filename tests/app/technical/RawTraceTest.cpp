#include "TechnicalTestSupport.h"
#include "app/technical/RawText.h"
#include "app/technical/RawTextView.h"
#include "app/technical/RawWorkspace.h"

#include <QClipboard>
#include <QListView>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <cmath>

namespace quorilanth {
namespace {

using test::settle;

Evidence exchange(const std::string& url, const std::string& method = "GET") {
    Evidence e(url, method);
    e.timestamp = *parseISO8601("2026-01-31T08:05:09Z");
    return e;
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
    Evidence html = exchange("https://x.example/");
    html.statusCode = 404;
    html.responseBody = "<p>a & b</p>";
    html.durationMS = 1e300;

    const struct {
        const Evidence* exchange;
        RawPane pane;
        std::string text;
    } cases[] = {
        {nullptr, RawPane::request, "Select an HTTP exchange."},
        {nullptr, RawPane::headers, "Select an HTTP exchange."},
        {&bare, RawPane::request, "GET https://x.example/\n\n\n\n"},
        {&bare, RawPane::response, "HTTP 0 · \n\n\n"},
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
        {&html, RawPane::response, "HTTP 404 · \n\n\n<p>a & b</p>"},
        {&html, RawPane::headers,
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
    view.resize(int(2 * 16 + view.scrollBar()->sizeHint().width() + 10 * column + 0.5), 300);
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
    // A character outside the BMP is never split between rows.
    view.setText(QString::fromStdString(std::string(9, 'a') + emoji + emoji));
    for (qsizetype start : view.rowStarts())
        EXPECT_FALSE(start < view.text().size() && view.text().at(start).isLowSurrogate());
    view.setText(QStringLiteral("a\u0001b\tc\r\n"));
    view.selectAll();
    view.copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("a\u0001b\tc\r\n"));
}

class RawTrace : public test::TechnicalWindow {};

TEST_F(RawTrace, ListSelectsTheExchangeAndTheTextFollowsThePane) {
    open();
    {
        // The window shows the welcome page without a report; the pane alone reads so.
        RawWorkspace pane(*store, QStringLiteral("Headers"));
        EXPECT_EQ(pane.findChild<RawTextView*>()->text(), "Select an HTTP exchange.");
        EXPECT_EQ(pane.findChild<QListView*>()->model()->rowCount(), 0);
    }

    ScanReport report("https://x.example/");
    report.evidence = {exchange("https://x.example/a"), exchange("https://x.example/b"),
                       exchange("https://x.example/mcp", "OPTIONS")};
    report.evidence[1].statusCode = 204;
    report.nodes.emplace_back("https://x.example/mcp", NodeKind::mcp, "mcp", std::nullopt,
                              FindingStatus::valid);
    report.nodes.back().evidenceIDs = {report.evidence[2].id};
    report.nodes.emplace_back("https://x.example/b", NodeKind::manifest, "b", std::nullopt,
                              FindingStatus::found);
    report.nodes.back().evidenceIDs = {report.evidence[1].id};
    load(report, "https://x.example/mcp", WorkspaceTab::raw);
    auto* text = find<RawTextView>("ql-raw-text");
    auto* list = find<QListView>("ql-raw-list");
    ASSERT_EQ(list->model()->rowCount(), 3);
    // Only an OPTIONS probe for the node: the last exchange, no row highlighted.
    EXPECT_TRUE(text->text().startsWith("HTTP 0 · "));
    EXPECT_EQ(list->model()->data(list->model()->index(2, 0)).toString(), "OPTIONS 0 /mcp");

    store->select("https://x.example/b");
    settle();
    EXPECT_TRUE(text->text().startsWith("HTTP 204 · "));

    const QRect first = list->visualRect(list->model()->index(0, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, first.center());
    settle();
    EXPECT_EQ(store->selectedEvidenceID(), report.evidence[0].id);
    find<QToolButton>("ql-raw-view-headers")->click();
    settle();
    EXPECT_TRUE(text->text().startsWith("2026-01-31T08:05:09Z\n0 ms"));

    // A redraw with the same text keeps the reader's selection.
    text->select(2, 8);
    store->setSelectedID(std::string("https://x.example/mcp"));
    settle();
    EXPECT_EQ(text->selectedText(), "26-01-");

    find<QToolButton>("raw-copy")->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QString::fromStdString(rawText(&report.evidence[0], RawPane::headers)));
}

} // namespace
} // namespace quorilanth
