// The technical panes on megabyte data, in the real window on the offscreen
// platform: selecting a node whose data is a 2 MB JSON document until the
// inspector has painted, and switching the raw trace between exchanges of
// 2 MB each until the text has painted. A node with no data and exchanges with
// empty bodies are measured the same way as the floor to compare with; the
// resident memory before and after the raw tab opens shows that the list
// holds no bodies of its own.
//
//   app_technical_panes     prints the figures

#include "BenchTiming.h"
#include "app/kit/QLTheme.h"
#include "app/store/WorkspaceStore.h"
#include "app/window/WorkspaceView.h"
#include "core/model/ReportJSON.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <fstream>
#include <string>

using namespace quorilanth;

namespace {

constexpr std::size_t twoMB = 2'000'000;

// About two megabytes of JSON: long texts under many keys and a long list of
// small objects, nested a few levels.
JSONValue bigDocument() {
    JSONValue document = JSONValue::emptyObject();
    for (int i = 0; i < 200; ++i)
        document.set("key" + std::to_string(1000 + i), JSONValue(std::string(5000, 'a' + i % 26)));
    JSONValue::Array items;
    for (int i = 0; i < 10000; ++i)
        items.push_back(JSONValue::parse(R"({"name":"item )" + std::to_string(i) +
                                         R"(","tags":["x","y"],"size":{"w":1,"h":2}})"));
    document.set("items", JSONValue(std::move(items)));
    return document;
}

// A body of `size` bytes: pretty JSON over many lines, or one line of text.
std::string body(bool json, std::size_t size, int seed) {
    if (!json) return std::string(size, char('a' + seed % 26));
    std::string text = "[";
    while (text.size() < size)
        text += R"({"id":)" + std::to_string(text.size()) + R"(,"title":"entry )" +
                std::to_string(seed) + R"(","done":false},)";
    text.back() = ']';
    return text;
}

ScanReport report(bool big, bool json) {
    ScanReport result("https://bench.example/");
    GraphNode small("small", NodeKind::manifest, "small", "https://bench.example/small",
                    FindingStatus::found);
    GraphNode data("data", NodeKind::manifest, "data", "https://bench.example/data",
                   FindingStatus::found);
    if (big) data.metadata = bigDocument();
    for (int i = 0; i < 48; ++i) {
        Evidence exchange("https://bench.example/doc/" + std::to_string(i), "GET");
        exchange.statusCode = 200;
        exchange.responseHeaders["content-type"] = json ? "application/json" : "text/html";
        exchange.responseBody = big ? body(json, twoMB, i) : std::string();
        data.evidenceIDs.push_back(exchange.id);
        result.evidence.push_back(std::move(exchange));
    }
    result.nodes = {small, data};
    result.finishedAt = result.startedAt;
    return result;
}

struct Window {
    explicit Window(const ScanReport& shown) : store(folder.path()), view(store) {
        const QString path = folder.filePath("report.json");
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray::fromStdString(ReportJSON::write(shown)));
        file.close();
        store.loadFile(path, false);
        store.setTab(WorkspaceTab::overview);
        view.resize(1640, 1020);
        view.show();
        settle();
    }
    void settle() {
        for (int i = 0; i < 4; ++i)
            QApplication::processEvents();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // Until the changed column has been laid out and painted.
    void paint(const char* name) {
        settle();
        view.findChild<QWidget*>(QString::fromLatin1(name))->repaint();
    }

    QTemporaryDir folder;
    WorkspaceStore store;
    WorkspaceView view;
};

bench::Timing selectData(bool big) {
    Window window(report(big, true));
    return bench::milliseconds([&] {
        window.store.select("small");
        window.settle();
        window.store.select("data");
        window.paint("ql-inspector");
    });
}

struct RawFigures {
    bench::Timing timing;
    double before = 0, after = 0;
};

RawFigures switchExchange(bool big, bool json) {
    Window window(report(big, json));
    window.store.select("small");
    window.settle();
    RawFigures figures;
    figures.before = bench::residentMiB();
    window.store.setTab(WorkspaceTab::raw);
    window.paint("ql-pane-Raw");
    figures.after = bench::residentMiB();
    const auto& evidence = window.store.report()->evidence;
    std::size_t next = 0;
    figures.timing = bench::milliseconds(
        [&] {
            window.store.setSelectedEvidenceID(evidence[next++ % evidence.size()].id);
            window.paint("ql-pane-Raw");
        },
        24);
    return figures;
}

// Opening the raw tab on a report of many exchanges: each row measures its
// location to learn its height, so the list is laid out once in full.
bench::Timing openRawList(int exchanges) {
    ScanReport many("https://bench.example/");
    for (int i = 0; i < exchanges; ++i) {
        Evidence exchange("https://bench.example/" + std::string(std::size_t(i % 7) * 12, 'p') +
                              "/doc/" + std::to_string(i),
                          "GET");
        exchange.statusCode = 200;
        many.evidence.push_back(std::move(exchange));
    }
    many.finishedAt = many.startedAt;
    Window window(many);
    return bench::milliseconds(
        [&] {
            window.store.setTab(WorkspaceTab::overview);
            window.settle();
            window.store.setTab(WorkspaceTab::raw);
            window.paint("ql-pane-Raw");
        },
        9);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication::setOrganizationName(QStringLiteral("QuorilanthBench"));
    QApplication::setApplicationName(QStringLiteral("QuorilanthBench"));
    QApplication app(argc, argv);
    applyDarkLook();

    const bench::Timing floor = selectData(false);
    const bench::Timing data = selectData(true);
    std::printf("select a node, inspector painted (median / fastest, ms)\n");
    std::printf("  no data (floor)        %7.1f / %7.1f\n", floor.median, floor.fastest);
    std::printf("  2 MB JSON data         %7.1f / %7.1f   goal < 100\n", data.median, data.fastest);

    const RawFigures empty = switchExchange(false, true);
    const RawFigures json = switchExchange(true, true);
    const RawFigures text = switchExchange(true, false);
    std::printf("switch exchange in the raw trace, 48 exchanges, text painted (median / fastest, "
                "ms)\n");
    std::printf("  empty bodies (floor)   %7.1f / %7.1f\n", empty.timing.median,
                empty.timing.fastest);
    std::printf("  2 MB JSON bodies       %7.1f / %7.1f   goal < 50\n", json.timing.median,
                json.timing.fastest);
    std::printf("  2 MB one-line bodies   %7.1f / %7.1f   goal < 50\n", text.timing.median,
                text.timing.fastest);
    const bench::Timing fewRows = openRawList(48), manyRows = openRawList(10000);
    std::printf("open the raw tab, list painted (median / fastest, ms)\n");
    std::printf("  48 exchanges (floor)   %7.1f / %7.1f\n", fewRows.median, fewRows.fastest);
    std::printf("  10,000 exchanges       %7.1f / %7.1f\n", manyRows.median, manyRows.fastest);
    std::printf("resident memory when the raw tab opens on 48 x 2 MB (MiB)\n");
    std::printf("  JSON bodies            %7.1f -> %7.1f\n", json.before, json.after);
    std::printf("  one-line bodies        %7.1f -> %7.1f\n", text.before, text.after);
    return 0;
}
