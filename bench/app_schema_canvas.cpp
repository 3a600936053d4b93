// The schema canvas on the offscreen platform: a full update between two
// different scenes (goal 5 ms), painting a 1640 × 1020 view into an image at
// magnification 1.0 (8 ms) and 2.5 (5 ms), one hover move across a card border
// (1 ms), and redrawing 12 cards whose labels are a megabyte each (20 ms).
// The floor beside the first is the same update with an equal scene, which
// the canvas skips.

#include "BenchTiming.h"
#include "app/kit/QLTheme.h"
#include "app/schema/SchemaCanvas.h"

#include <QApplication>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <cstdio>

namespace {

using namespace quorilanth;

const std::string origin = "https://bench.example/";

// Every kind present, groups of several members and connections between lanes.
ScanReport siteReport() {
    ScanReport r(origin);
    auto add = [&](const std::string& id, NodeKind kind, std::string label) {
        r.nodes.emplace_back(id, kind, std::move(label), id, FindingStatus::found);
    };
    add(origin, NodeKind::domain, "bench.example");
    const NodeKind kinds[] = {NodeKind::discovery, NodeKind::manifest, NodeKind::endpoint,
                              NodeKind::tool,      NodeKind::resource, NodeKind::prompt};
    for (NodeKind kind : kinds)
        for (int i = 0; i < 20; ++i) {
            const std::string id = origin + std::string(toString(kind)) + "/" + std::to_string(i);
            add(id, kind, std::string(toString(kind)) + " " + std::to_string(i));
            r.edges.push_back({origin, id, "links", "e", "$"});
        }
    r.nodes.emplace_back(origin + "mcp", NodeKind::mcp, "server", origin + "mcp",
                         FindingStatus::valid);
    return r;
}

ScanReport hugeLabels() {
    ScanReport r(origin);
    for (int i = 0; i < 12; ++i) {
        const std::string id = origin + "tool/" + std::to_string(i);
        r.nodes.emplace_back(id, NodeKind::tool, std::string(1'000'000, char('a' + i)), id,
                             FindingStatus::found);
    }
    return r;
}

std::shared_ptr<const SchemaScene> scene(const ScanReport& report, const SchemaScope& scope) {
    return std::make_shared<const SchemaScene>(
        SchemaProjection::scene(report, scope, 0, "", false, false));
}

void print(const char* name, const bench::Timing& t, double goal) {
    std::printf("%-40s median %7.3f ms  fastest %7.3f ms  (goal %g ms %s)\n", name, t.median,
                t.fastest, goal, t.median < goal ? "met" : "missed");
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication application(argc, argv);
    applyDarkLook();
    SchemaCanvas canvas;
    canvas.resize(1640, 1020);
    canvas.show();
    QApplication::processEvents();

    const ScanReport site = siteReport();
    const auto overview = scene(site, SchemaScope::overview());
    const auto group = scene(site, SchemaScope::group(NodeKind::tool));
    const auto overviewAgain = scene(site, SchemaScope::overview());
    bool flip = false;
    print("update, a different scene", bench::milliseconds([&] {
              canvas.drawScene((flip = !flip) ? group : overview, std::nullopt);
          }),
          5);
    // The rest is measured at rest, with every card fully shown.
    canvas.animatesChanges = false;
    canvas.drawScene(overview, std::nullopt);
    print("update, an equal scene (skipped)",
          bench::milliseconds([&] { canvas.drawScene(overviewAgain, std::nullopt); }), 5);

    QImage image(1640, 1020, QImage::Format_ARGB32_Premultiplied);
    // The floor: an empty graphics view of the same size, which only fills
    // its background.
    QGraphicsScene emptyScene;
    QGraphicsView bare(&emptyScene);
    bare.resize(1640, 1020);
    bare.setBackgroundBrush(QLTheme::background());
    bare.show();
    QApplication::processEvents();
    const bench::Timing floor = bench::milliseconds([&] {
        QPainter painter(&image);
        bare.render(&painter);
    });
    std::printf("%-40s median %7.3f ms  fastest %7.3f ms\n", "floor: paint an empty view",
                floor.median, floor.fastest);
    for (double zoom : {1.0, 2.5}) {
        canvas.setMagnification(zoom);
        QApplication::processEvents();
        char name[64];
        std::snprintf(name, sizeof name, "paint 1640 x 1020 at %.1f", zoom);
        print(name, bench::milliseconds([&] {
                  QPainter painter(&image);
                  canvas.render(&painter);
              }),
              zoom > 1 ? 5 : 8);
    }

    canvas.setMagnification(1.0);
    QApplication::processEvents();
    const SchemaCard& first = overview->cards.front();
    const SchemaCard& last = overview->cards.back();
    const QPoint a =
        canvas.mapFromScene(overview->frame(first.id)->x + 5, overview->frame(first.id)->y + 5);
    const QPoint b =
        canvas.mapFromScene(overview->frame(last.id)->x + 5, overview->frame(last.id)->y + 5);
    print("hover across a card border", bench::milliseconds([&] {
              const QPoint p = (flip = !flip) ? a : b;
              QMouseEvent move(QEvent::MouseMove, p, canvas.viewport()->mapToGlobal(p),
                               Qt::NoButton, Qt::NoButton, Qt::NoModifier);
              QApplication::sendEvent(canvas.viewport(), &move);
          }),
          1);

    const ScanReport huge = hugeLabels();
    const auto hugeGroup = scene(huge, SchemaScope::group(NodeKind::tool));
    print("12 cards of 1 MB labels, reselected", bench::milliseconds([&] {
              canvas.drawScene(hugeGroup, (flip = !flip) ? huge.nodes[0].id : huge.nodes[1].id);
          }),
          20);
    return 0;
}
