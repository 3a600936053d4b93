#include "app/schema/SchemaCanvas.h"

#include "app/kit/QLTheme.h"
#include "app/schema/SchemaCardItem.h"
#include "app/schema/SchemaConnectionItem.h"
#include "app/schema/SchemaWorkspace.h"
#include "app/schema/SchemaZoomControls.h"
#include "app/schema/ShopReport.h"
#include "app/window/ShellTestSupport.h"
#include "app/window/WorkspaceView.h"
#include "support/DesktopAnimations.h"

#include <QNativeGestureEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSettings>
#include <QTest>
#include <QToolButton>
#include <QWindow>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using test::settle;

TEST(SchemaConnectionGeometry, RunsBetweenTheRightEdges) {
    const GraphRect left{0, 100, 100, 50}, right{300, 0, 100, 50}, below{0, 300, 100, 50};
    using Points =
        std::tuple<QPointF, QPointF, QPointF, qreal, bool>; // start, end, badge, arrow, dashed
    // clang-format off
    const std::tuple<const char*, GraphRect, GraphRect, std::size_t, Points> cases[] = {
        {"down", left, below, 0, {{100, 150}, {100, 300}, {100, 225}, 90, true}},
        {"up", below, left, 0, {{100, 300}, {100, 150}, {100, 225}, -90, true}},
        {"forward fans out", left, right, 0, {{100, 105}, {300, 5}, {200, 55}, 0, false}},
        {"the sixth fans like the first", left, right, 5, {{100, 105}, {300, 5}, {200, 55}, 0, false}},
        {"forward, middle of the fan", left, right, 2, {{100, 125}, {300, 25}, {200, 75}, 0, false}},
        {"backward arches", right, left, 1, {{312, 0}, {12, 100}, {162, 70.25}, 90, true}}};
    // clang-format on
    for (const auto& [name, source, target, index, expected] : cases) {
        const ConnectionGeometry g = connectionGeometry(source, target, index);
        EXPECT_EQ(Points(g.start, g.end, g.badgeCentre, g.arrowRotation, g.dashed), expected)
            << name;
    }
    // Forward curves leave and reach their cards horizontally, at least 45 out.
    const ConnectionGeometry close = connectionGeometry(left, {110, 100, 100, 50}, 2);
    EXPECT_EQ(std::pair(close.control1, close.control2),
              std::pair(QPointF(145, 125), QPointF(65, 125)));
}

TEST(SchemaConnectionGeometry, EmphasisFollowsTheFocusAndDashesKeepTheirLength) {
    const auto a = SchemaCard::ID::observation("a"), b = SchemaCard::ID::group(NodeKind::tool),
               c = SchemaCard::ID::observation("c");
    const SchemaConnection connection{a, b, {}};
    for (const auto& [focus, emphasis] :
         {std::pair{std::optional<SchemaCard::ID>(), ConnectionEmphasis::plain},
          {a, ConnectionEmphasis::focused},
          {b, ConnectionEmphasis::focused},
          {c, ConnectionEmphasis::faded}})
        EXPECT_EQ(connectionEmphasis(connection, focus), emphasis);
    SchemaConnectionItem item(connectionGeometry({0, 0, 10, 10}, {0, 100, 10, 10}, 0), 3);
    for (ConnectionEmphasis emphasis : {ConnectionEmphasis::plain, ConnectionEmphasis::focused}) {
        item.setEmphasis(emphasis);
        const QPen pen = item.strokePen();
        ASSERT_EQ(pen.dashPattern().size(), 2);
        EXPECT_EQ(
            std::pair(pen.dashPattern()[0] * pen.widthF(), pen.dashPattern()[1] * pen.widthF()),
            std::pair(4.0, 5.0));
    }
}

TEST(SchemaConnectionGeometry, TheRevealGrowsEvenlyAlongTheCurve) {
    const GraphRect left{0, 300, 100, 50}, right{600, 100, 100, 50}, below{0, 600, 100, 50};
    for (const auto& [source, target] : {std::pair{left, right}, {right, left}, {left, below}}) {
        const ConnectionGeometry g = connectionGeometry(source, target, 0);
        const qreal whole = connectionPrefix(g, 1).length();
        for (qreal share : {0.1, 0.5, 0.9})
            EXPECT_NEAR(connectionPrefix(g, share).length() / whole, share, 0.005)
                << share << " of a curve from " << source.x << " to " << target.x;
    }
}

TEST(SchemaConnectionGeometry, AnOpaqueStrokeLooksLikeTheTranslucentOneOnTheCanvas) {
    // Painted on the canvas's background, the stroke must match the accent
    // laid at the emphasis's opacity over that background.
    const ConnectionGeometry g = connectionGeometry({0, 40.5, 20, 20}, {200, 40.5, 20, 20}, 2);
    for (const auto& [emphasis, opacity] : {std::pair{ConnectionEmphasis::plain, 0.26},
                                            {ConnectionEmphasis::focused, 0.85},
                                            {ConnectionEmphasis::faded, 0.26 * 0.14}}) {
        SchemaConnectionItem item(g, 1);
        item.setEmphasis(emphasis);
        QImage drawn(240, 100, QImage::Format_ARGB32_Premultiplied);
        drawn.fill(QLTheme::background());
        QImage expected = drawn;
        QPainter(&expected).fillRect(expected.rect(), QLTheme::tint(QLTheme::accent(), opacity));
        {
            QPainter painter(&drawn);
            item.paint(&painter, nullptr, nullptr);
        }
        // A row inside the straight stroke, away from the badge in its middle.
        const QColor a = drawn.pixelColor(60, 50), b = expected.pixelColor(60, 50);
        EXPECT_LE(std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                            std::abs(a.blue() - b.blue())}),
                  1)
            << int(emphasis);
    }
}

TEST(SchemaCanvasText, CardsSayWhatTheirKindAndSizeAsk) {
    const auto node = [](NodeKind kind, const char* label, std::optional<std::string> url,
                         FindingStatus status = FindingStatus::found) {
        return GraphNode("n-" + std::string(label), kind, label, std::move(url), status);
    };
    const auto observation = [](GraphNode n) {
        return SchemaCard{SchemaCard::ID::observation(n.id), n.kind, {n}};
    };
    const auto group = [](std::vector<GraphNode> members) {
        return SchemaCard{SchemaCard::ID::group(members.front().kind), members.front().kind,
                          std::move(members)};
    };
    using F = FindingStatus;
    const QString inspect = QStringLiteral("INSPECT  \u2197");
    const QString explore = QStringLiteral("EXPLORE  \u2192");
    const std::tuple<const char*, SchemaCard, QSizeF, QStringList> cases[] = {
        {"a server is named by its host",
         observation(node(NodeKind::mcp, "srv", "https://mcp.example/rpc", F::valid)),
         {280, 144},
         {"MCP SERVER", "mcp.example", "/rpc", "VALID", inspect}},
        {"a server without a host keeps its label",
         observation(node(NodeKind::mcp, "srv", "urn:mcp", F::valid)),
         {280, 144},
         {"MCP SERVER", "srv", "mcp", "VALID", inspect}},
        {"a neighbour has no status row",
         observation(node(NodeKind::resource, "faq", std::nullopt, F::notFound)),
         {324, 84},
         {"RESOURCES", "faq", "NOT FOUND"}},
        {"a tool points to the inspector",
         observation(node(NodeKind::tool, "search", "https://s.example/mcp#tool:search")),
         {324, 84},
         {"TOOLS", "search", "Input schema \u00B7 TEST in inspector"}},
        {"the first two statuses in their order",
         group({node(NodeKind::manifest, "a", {}, F::notFound), node(NodeKind::manifest, "b", {}),
                node(NodeKind::manifest, "c", {}, F::valid), node(NodeKind::manifest, "d", {})}),
         {252, 144},
         {"MANIFEST", "4", "OBSERVATIONS", "a \u00B7 b \u00B7 c", "2 FOUND \u00B7 1 VALID",
          explore}}};
    for (const auto& [name, card, size, expected] : cases) {
        QStringList shown;
        for (const CanvasText& text : cardTexts(card, size))
            shown.append(text.text);
        EXPECT_EQ(shown, expected) << name;
    }
    // A hidden status that needs attention still colours the group's status line.
    const auto statusColour = [&](F status) {
        return cardTexts(
                   group({node(NodeKind::tool, "a", {}), node(NodeKind::tool, "b", {}, F::valid),
                          node(NodeKind::tool, "c", {}, status)}),
                   {252, 144})[4]
            .colour;
    };
    EXPECT_NE(statusColour(F::blocked), QLTheme::muted());
    EXPECT_EQ(statusColour(F::pending), QLTheme::muted());
}

TEST(SchemaCanvasText, CutsWholeCharactersAndReadsOnlyAPrefix) {
    // Ten units a UTF-16 unit: an accented letter written as two is twenty.
    qsizetype longest = 0;
    const TextWidth width = [&](const QString& text) {
        longest = std::max(longest, text.size());
        return 10.0 * static_cast<qreal>(text.size());
    };
    const std::string accent = "e\xCC\x81";
    for (const auto& [text, room, shown] :
         std::initializer_list<std::tuple<std::string, qreal, QString>>{
             {"abc", 30, "abc"},
             {"a\nb\r\nc", 50, "a b c"},
             {"abcdefghij", 55, "abcd\u2026"},
             {"abcdefghij", 5, "\u2026"},
             {"a\xFF\xC3", 30, "a\uFFFD\uFFFD"},
             {accent + accent + accent, 45, QString::fromUtf8(accent.c_str()) + "\u2026"}})
        EXPECT_EQ(fitText(text, room, width), shown) << text;

    // A megabyte of letters, and a megabyte that is one letter under endless marks.
    std::string marks = "a";
    while (marks.size() < 1'000'000)
        marks += "\xCC\x81";
    for (const std::string& huge : {std::string(1'000'000, 'W'), marks}) {
        longest = 0;
        const QString shown = fitText(huge, 1000, width);
        EXPECT_TRUE(shown.endsWith(QChar(0x2026)));
        EXPECT_LE(longest, 5000);
    }
    EXPECT_LE(boundedText(std::string(1'000'000, 'W')).size(), 401);
}

const std::string& origin = test::shopOrigin;
using test::shop;

std::string tool(int i) {
    return origin + "mcp#tool:" + std::to_string(i);
}

class SchemaCanvasTest : public ::testing::Test {
public:
    void SetUp() override {
        QSettings().clear();
        store = std::make_unique<WorkspaceStore>(folder.filePath("library"),
                                                 QStringList{QStringLiteral("quorilanth")},
                                                 test::heldDependencies(transport));
    }
    void TearDown() override {
        qunsetenv("QL_REDUCE_MOTION");
        view.reset();
        settle();
    }
    // Without the selection a loaded report comes with, unless asked to keep it.
    void open(const ScanReport& report, std::optional<SchemaScope> scope = std::nullopt,
              bool keepSelection = false) {
        store->loadFile(test::writeReport(folder, report, "report.json"), false);
        view = std::make_unique<WorkspaceView>(*store);
        view->resize(1640, 1020);
        view->show();
        store->setTab(WorkspaceTab::schema);
        if (!keepSelection) store->setSelectedID(std::nullopt);
        settle();
        if (scope) pane()->navigate(*scope);
        settle();
    }
    SchemaWorkspace* pane() const { return view->findChild<SchemaWorkspace*>("ql-pane-SCHEMA"); }
    SchemaCanvas* canvas() const { return view->findChild<SchemaCanvas*>("ql-schema-graph"); }
    QPoint at(const SchemaCard::ID& id) const {
        const GraphRect* frame = canvas()->schemaScene()->frame(id);
        return canvas()->mapFromScene(QPointF(frame->midX(), frame->midY()));
    }
    void mouse(QEvent::Type type, QPoint point, Qt::MouseButtons held = Qt::LeftButton) const {
        QWidget* viewport = canvas()->viewport();
        QMouseEvent event(type, point, viewport->mapToGlobal(QPointF(point)),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                          Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
    }
    void click(QPoint point) const {
        mouse(QEvent::MouseButtonPress, point);
        mouse(QEvent::MouseButtonRelease, point, Qt::NoButton);
        settle();
    }
    void doubleClick(QPoint point) const {
        click(point);
        mouse(QEvent::MouseButtonDblClick, point);
        mouse(QEvent::MouseButtonRelease, point, Qt::NoButton);
        settle();
    }
    // A left click as the window system delivers it, stamped `at` on its own
    // clock, so that Qt itself decides whether two clicks make a double click.
    void systemClick(QPoint point, int at) const {
        QWindow* window = view->windowHandle();
        const QPointF local = canvas()->viewport()->mapTo(view.get(), QPointF(point));
        const QPointF global = window->mapToGlobal(local);
        qt_handleMouseEvent(window, local, global, Qt::LeftButton, Qt::LeftButton,
                            QEvent::MouseButtonPress, Qt::NoModifier, at);
        qt_handleMouseEvent(window, local, global, Qt::NoButton, Qt::LeftButton,
                            QEvent::MouseButtonRelease, Qt::NoModifier, at + 40);
    }
    // What a fit gives the scene shown at the canvas's present size.
    double fitted() const {
        const QSize visible = canvas()->maximumViewportSize();
        const GraphRect& bounds = canvas()->schemaScene()->bounds;
        return std::clamp(
            std::min(visible.width() / bounds.width, visible.height() / bounds.height),
            SchemaProjection::minimumZoom, 1.0);
    }
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const {
        QTest::keyClick(canvas(), Qt::Key(key), modifiers);
        settle();
    }

    QTemporaryDir folder{test::folderTemplate()};
    std::shared_ptr<test::HeldTransport> transport = std::make_shared<test::HeldTransport>();
    std::unique_ptr<WorkspaceStore> store;
    std::unique_ptr<WorkspaceView> view;
};

TEST_F(SchemaCanvasTest, RedrawsOnlyWhatChangedAndMovesOnlyWithNewScenes) {
    open(shop(3));
    const auto group = SchemaCard::ID::group(NodeKind::tool);
    SchemaCardItem* drawn = canvas()->cardItem(group);
    const auto rebuilt = std::make_shared<const SchemaScene>(
        SchemaProjection::scene(*store->report(), SchemaScope::overview(), 0, "", false, false));
    canvas()->drawScene(rebuilt, std::nullopt);
    EXPECT_EQ(canvas()->cardItem(group), drawn);

    canvas()->drawScene(rebuilt, tool(1));
    EXPECT_NE(canvas()->cardItem(group), drawn);
    EXPECT_TRUE(canvas()->cardItem(group)->isSelectedCard());
    EXPECT_FALSE(canvas()->animating());
    ASSERT_EQ(canvas()->strokes().size(), 1u);
    EXPECT_EQ(canvas()->strokes()[0].item->emphasis(), ConnectionEmphasis::focused);

    pane()->navigate(SchemaScope::group(NodeKind::tool));
    settle();
    EXPECT_TRUE(canvas()->animating());
    qputenv("QL_REDUCE_MOTION", "1");
    pane()->navigate(SchemaScope::overview());
    settle();
    EXPECT_FALSE(canvas()->animating());

    // The desktop's own setting, and the variable over it.
    qunsetenv("QL_REDUCE_MOTION");
    if (!test::setDesktopAnimations(false)) GTEST_SKIP() << "no desktop animation setting here";
    pane()->navigate(SchemaScope::group(NodeKind::tool));
    settle();
    EXPECT_FALSE(canvas()->animating());
    qputenv("QL_REDUCE_MOTION", "0");
    pane()->navigate(SchemaScope::overview());
    settle();
    EXPECT_TRUE(canvas()->animating());
    test::setDesktopAnimations(true);
}

// Each scan step brings a new report; the canvas compares the scene of the
// last one, whose report nobody else holds any more, with the next.
TEST_F(SchemaCanvasTest, ANewReportRedrawsOnlyWhatItChanged) {
    open(shop(3));
    const auto group = SchemaCard::ID::group(NodeKind::tool);
    const auto draw = [&](ScanReport report) {
        canvas()->drawScene(std::make_shared<const SchemaScene>(SchemaProjection::scene(
                                std::make_shared<const ScanReport>(std::move(report)),
                                SchemaScope::overview(), 0, "", false, false)),
                            std::nullopt);
        return canvas()->cardItem(group);
    };
    ScanReport changed = shop(3);
    changed.nodes[2].status = FindingStatus::invalid;
    SchemaCardItem* drawn = draw(shop(3));
    const std::tuple<const char*, ScanReport, bool> steps[] = {
        {"an equal report", shop(3), false},
        {"a tool's status", changed, true},
        {"the same again", changed, false},
        {"back as it was", shop(3), true},
    };
    for (const auto& [name, report, redrawn] : steps) {
        SchemaCardItem* item = draw(report);
        EXPECT_EQ(item != drawn, redrawn) << name;
        drawn = item;
    }
}

TEST_F(SchemaCanvasTest, ClicksSelectAndADoubleClickOpensOnlyWhatItAimedAt) {
    open(shop(13));
    const auto group = SchemaCard::ID::group(NodeKind::tool);
    mouse(QEvent::MouseMove, at(group), Qt::NoButton);
    EXPECT_EQ(canvas()->hovered(), group);
    EXPECT_EQ(canvas()->toolTipText().count('\n'), 12);
    EXPECT_TRUE(canvas()->toolTipText().endsWith("Open the group to see all observations."));

    // The first click opens the group; the second must not act on its page.
    const QPoint point = at(group);
    doubleClick(point);
    EXPECT_EQ(pane()->navigator().scope, SchemaScope::group(NodeKind::tool));
    EXPECT_FALSE(store->selectedID());

    // Selecting brings the inspector in, but the map holds still until no
    // second click can come: the first double click opens the branch.
    const auto first = canvas()->schemaScene()->cards.front().id;
    doubleClick(at(first));
    EXPECT_EQ(store->selectedID(), first.nodeID());
    EXPECT_EQ(pane()->navigator().scope, SchemaScope::branch(first.nodeID()));
}

// Every loaded report comes with a selection; the first click on the map
// brings the inspector in and narrows the canvas.
TEST_F(SchemaCanvasTest, TheInspectorsArrivalRefitsAndAFirstDoubleClickOpensTheBranch) {
    static int clock = 1'000'000;
    ScanReport report = shop(1);
    const std::string llms = test::shopOrigin + "llms.txt";
    report.nodes.emplace_back(llms, NodeKind::discovery, "llms.txt", llms, FindingStatus::found);
    const auto card = SchemaCard::ID::observation(llms);
    for (const bool twice : {false, true}) {
        SCOPED_TRACE(twice ? "double click" : "click");
        open(report, std::nullopt, true);
        ASSERT_TRUE(store->selectedID() && store->selectedID() != llms);
        ASSERT_FALSE(store->showInspector());
        const double before = store->graphZoom();
        const int width = canvas()->parentWidget()->width();
        // Near the card's right edge: the narrower canvas alone would move
        // the map that far.
        const GraphRect* frame = canvas()->schemaScene()->frame(card);
        const QPoint point = canvas()->mapFromScene(QPointF(frame->maxX() - 15, frame->midY()));
        systemClick(point, clock += 10'000);
        EXPECT_EQ(store->selectedID(), llms);
        if (twice) {
            // The second click, a moment later and where the first was, when
            // the inspector has come.
            QTest::qWait(80);
            systemClick(point, clock + 150);
            settle();
            EXPECT_EQ(pane()->navigator().scope, SchemaScope::branch(llms));
            continue;
        }
        QTest::qWait(QApplication::doubleClickInterval() + 100);
        settle();
        EXPECT_LT(canvas()->width(), width);
        EXPECT_NE(fitted(), before);
        EXPECT_DOUBLE_EQ(store->graphZoom(), fitted());
        EXPECT_DOUBLE_EQ(canvas()->magnification(), fitted());
    }
}

TEST_F(SchemaCanvasTest, KeysMoveAmongTheCardsAndCtrlTabLeaves) {
    const auto nth = [&](std::size_t i) { return canvas()->schemaScene()->cards[i].id.nodeID(); };
    const std::pair<std::vector<int>, std::size_t> cases[] = {{{Qt::Key_Tab}, 1},
                                                              {{Qt::Key_Backtab}, 11},
                                                              {{Qt::Key_Left}, 11},
                                                              {{Qt::Key_Right, Qt::Key_Tab}, 2},
                                                              {{Qt::Key_Left, Qt::Key_Right}, 0}};
    for (const auto& [keys, reached] : cases) {
        open(shop(13), SchemaScope::group(NodeKind::tool));
        canvas()->setFocus();
        for (int k : keys)
            key(k, k == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
        EXPECT_EQ(std::tuple(store->selectedID(), canvas()->hasFocus()),
                  std::tuple(nth(reached), true));
    }
    const std::string chosen = *store->selectedID();
    key(Qt::Key_Return);
    EXPECT_EQ(pane()->navigator().scope, SchemaScope::branch(chosen));

    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    for (auto [leave, modifiers] :
         {std::pair<int, Qt::KeyboardModifiers>{Qt::Key_Tab, Qt::ControlModifier},
          {Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier}}) {
        canvas()->setFocus();
        key(leave, modifiers);
        EXPECT_FALSE(canvas()->hasFocus()) << leave;
    }
}

TEST_F(SchemaCanvasTest, DraggingPansByThePointerDistanceAtAnyMagnification) {
    open(shop(13), SchemaScope::group(NodeKind::tool));
    store->setGraphZoom(2.0);
    settle();
    EXPECT_DOUBLE_EQ(canvas()->magnification(), 2.0);
    const QPoint start = canvas()->mapFromScene(QPointF(362, 200)); // between two columns
    ASSERT_FALSE(canvas()->card(QPointF(362, 200)));
    QScrollBar* h = canvas()->horizontalScrollBar();
    QScrollBar* v = canvas()->verticalScrollBar();
    h->setValue(h->maximum() / 2);
    v->setValue(v->maximum() / 2);
    const QPoint scrolled(h->value(), v->value());
    mouse(QEvent::MouseButtonPress, start);
    mouse(QEvent::MouseMove, start + QPoint(-40, -30));
    mouse(QEvent::MouseButtonRelease, start + QPoint(-40, -30), Qt::NoButton);
    EXPECT_EQ(QPoint(h->value(), v->value()), scrolled + QPoint(40, 30));
    EXPECT_FALSE(store->selectedID());
}

TEST_F(SchemaCanvasTest, AccessibleCardsPressLikeClicks) {
    open(shop(3));
    QObject* group = canvas()->findChild<QObject*>("schema-group-tool");
    ASSERT_TRUE(group);
    QMetaObject::invokeMethod(group, "press");
    settle();
    EXPECT_EQ(pane()->navigator().scope, SchemaScope::group(NodeKind::tool));
    EXPECT_FALSE(canvas()->findChild<QObject*>("schema-group-tool"));
    QMetaObject::invokeMethod(
        canvas()->findChild<QObject*>(QString::fromStdString("schema-node-" + tool(2))), "press");
    settle();
    EXPECT_EQ(store->selectedID(), tool(2));
    EXPECT_EQ(pane()->navigator().scope, SchemaScope::group(NodeKind::tool));
}

TEST_F(SchemaCanvasTest, ZoomStaysWithinItsLimitsAndFitsOnRequest) {
    open(shop(3));
    const double fitted = store->graphZoom();
    auto* out = view->findChild<QToolButton*>("schema-zoom-out");
    auto* in = view->findChild<QToolButton*>("schema-zoom-in");
    for (const auto& [from, button, to, outEnabled] :
         {std::tuple{0.9, out, 0.8, false}, {2.4, in, 2.5, true}, {2.5, in, 2.5, true}}) {
        store->setGraphZoom(from);
        settle();
        button->click();
        settle();
        EXPECT_EQ(std::tuple(store->graphZoom(), canvas()->magnification(), out->isEnabled()),
                  std::tuple(to, to, outEnabled));
    }
    store->bumpGraphCommand();
    settle();
    EXPECT_DOUBLE_EQ(store->graphZoom(), fitted);
    // The view's own value coming back within rounding is left alone, and no
    // magnification ever projects the scene anew.
    const auto drawn = canvas()->schemaScene();
    store->setGraphZoom(fitted + 0.004);
    settle();
    EXPECT_DOUBLE_EQ(canvas()->magnification(), fitted);
    in->click();
    settle();
    EXPECT_EQ(canvas()->schemaScene(), drawn);

    for (auto [zoom, text] : {std::pair{2.3, "230%"}, {0.833, "83%"}, {1.0, "100%"}})
        EXPECT_EQ(zoomPercentText(zoom), text);
}

TEST_F(SchemaCanvasTest, PinchesAndCtrlWheelsWriteTheZoomWhenTheyComeToRest) {
    open(shop(3));
    QWidget* viewport = canvas()->viewport();
    const QPointF centre = QRectF(viewport->rect()).center();
    const QPointF global = viewport->mapToGlobal(centre);
    const auto pinch = [&](Qt::NativeGestureType type, qreal value) {
        QNativeGestureEvent event(type, QPointingDevice::primaryPointingDevice(), 2, centre, centre,
                                  global, value, {});
        QApplication::sendEvent(viewport, &event);
    };
    const std::pair<std::function<void()>, std::function<void()>> gestures[] = {
        {[&] { pinch(Qt::ZoomNativeGesture, 0.2); }, [&] { pinch(Qt::EndNativeGesture, 0); }},
        {[&] {
             QWheelEvent wheel(centre, global, {}, {0, 120}, Qt::NoButton, Qt::ControlModifier,
                               Qt::NoScrollPhase, false);
             QApplication::sendEvent(viewport, &wheel);
         },
         [] { QTest::qWait(400); }}};
    for (const auto& [move, rest] : gestures) {
        store->setGraphZoom(1.0);
        settle();
        move();
        EXPECT_EQ(std::pair(canvas()->magnification(), store->graphZoom()), std::pair(1.2, 1.0));
        rest();
        settle();
        EXPECT_DOUBLE_EQ(store->graphZoom(), 1.2);
    }
}

TEST_F(SchemaCanvasTest, AViewNotYetLaidOutFitsWhenItGetsItsSize) {
    store->loadFile(test::writeReport(folder, shop(3), "report.json"), false);
    store->setGraphZoom(2.0);
    SchemaWorkspace pane(*store);
    settle();
    EXPECT_DOUBLE_EQ(store->graphZoom(), 2.0);
    pane.resize(1400, 1000);
    pane.show();
    QTRY_COMPARE(store->graphZoom(), 1.0);
    // A fit never enlarges past 1 nor shrinks below 0.8: what is still too
    // large is scrolled.
    pane.resize(500, 400);
    store->bumpGraphCommand();
    QTRY_COMPARE(store->graphZoom(), SchemaProjection::minimumZoom);
}

} // namespace
} // namespace quorilanth
