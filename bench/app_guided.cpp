// What the guide page costs on a large report, on the offscreen platform (or
// the desktop's, when QT_QPA_PLATFORM is set): building the page of a report
// with 1,000 tools, restyling it for a new selection, and showing a tool's
// hostile 2 MB answer from the moment the tool is chosen, and opening the form
// of a tool whose schema declares tens of thousands of required properties.
// Figures only; nothing here asserts on time.
//
//   app_guided               every measurement
//   app_guided --selection   only the choice of a tool, quick enough to run
//                            many times or under callgrind
#include "BenchTiming.h"
#include "HostileAnswers.h"
#include "app/guided/GuidedBrowserView.h"
#include "app/guided/GuidedToolView.h"
#include "app/guided/ToolCardGrid.h"
#include "app/kit/QLTheme.h"
#include "app/store/WorkspaceStore.h"
#include "core/model/ReportJSON.h"
#include "support/ReportBuilder.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

using namespace quorilanth;
using quorilanth::bench::milliseconds;

namespace {

const std::string server = "https://shop.example/mcp";

std::string escaped(const std::string& text) {
    return JSONValue(text).pretty();
}

// Twenty apps, each with thirty fields of prose, repeated to about `bytes`.
std::string catalog(std::size_t bytes) {
    std::string apps;
    for (int i = 0; apps.size() < bytes; ++i) {
        std::string fields;
        for (int f = 0; f < 30; ++f)
            fields += ",\"field_" + std::to_string(f) + "\":\"" +
                      std::string(40 + f, char('a' + f % 26)) + " words of a long text\"";
        apps += std::string(i ? "," : "") + R"({"type":"app","id":"app-)" + std::to_string(i) +
                R"(","name":"Application )" + std::to_string(i) + "\"" + fields + "}";
    }
    return R"({"results":[)" + apps + "]}";
}

ScanReport largeReport(const std::vector<std::string>& answers) {
    testsupport::ReportBuilder site("https://shop.example/");
    site.node(server, NodeKind::mcp, FindingStatus::valid);
    MCPServer mcp(server);
    mcp.status = FindingStatus::valid;
    for (int i = 0; i < 1000; ++i)
        mcp.tools.emplace_back(
            server,
            JSONValue::parse(
                R"({"name":"tool_)" + std::to_string(i) +
                R"(","description":"Looks things up in the catalog of the site, tool number )" +
                std::to_string(i) + (i % 3 ? " with a longer sentence that wraps" : "") +
                R"(.","annotations":{"readOnlyHint":)" + (i % 2 ? "true" : "false") +
                R"(},"inputSchema":{"type":"object","required":["app_id"],"properties":{)"
                R"("app_id":{"type":"string"},"query":{"type":"string"},)"
                R"("limit":{"type":"integer"},"free":{"type":"boolean"}}}})"));
    site.report().servers.push_back(std::move(mcp));
    for (std::size_t i = 0; i < answers.size(); ++i)
        site.report().evidence.push_back(testsupport::toolCall(
            server, "tool_" + std::to_string(i),
            R"({"jsonrpc":"2.0","id":1,"result":{"content":[{"type":"text","text":)" +
                escaped(answers[i]) + "}]}}"));
    return site.report();
}

// One tool whose schema declares `count` properties, every one required: about
// 1.5 MB of tools list, within what a site may send.
ScanReport wideSchemaReport(int count) {
    testsupport::ReportBuilder site("https://shop.example/");
    site.node(server, NodeKind::mcp, FindingStatus::valid);
    std::string properties, required;
    for (int i = 0; i < count; ++i) {
        const std::string name = "\"p" + std::to_string(i) + "\"";
        properties += (i ? "," : "") + name + R"(:{"type":"string"})";
        required += (i ? "," : "") + name;
    }
    MCPServer mcp(server);
    mcp.status = FindingStatus::valid;
    mcp.tools.emplace_back(server,
                           JSONValue::parse(R"({"name":"wide","inputSchema":{"required":[)" +
                                            required + R"(],"properties":{)" + properties + "}}}"));
    site.report().servers.push_back(std::move(mcp));
    return site.report();
}

void settle() {
    for (int i = 0; i < 3; ++i) {
        QApplication::processEvents();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// Lays the widget out and paints what shows, as the first frame would.
void paint(QWidget& widget) {
    settle();
    widget.grab();
}

bool waitFor(const std::function<bool()>& condition) {
    QDeadlineTimer deadline(30000);
    while (!condition() && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 1);
    return condition();
}

} // namespace

int main(int argc, char** argv) {
    const bool selectionOnly = argc > 1 && std::string(argv[1]) == "--selection";
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toLocal8Bit());
    QApplication::setOrganizationName(QStringLiteral("Quorilanth"));
    QApplication::setApplicationName(QStringLiteral("QuorilanthBench"));
    QApplication application(argc, argv);
    applyDarkLook();

    const std::vector<std::pair<const char*, std::string>> hostile{
        {"nested lists, 20 wide", bench::nestedLists(2000000)},
        {"one object, many fields", catalog(2000000)},
        {"one 2 MB string", escaped(std::string(2000000, 'a'))},
    };
    std::vector<std::string> answers;
    for (const auto& entry : hostile)
        answers.push_back(entry.second);
    const ScanReport report = largeReport(answers);
    const QString path = home.filePath("report.json");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return 1;
    file.write(QByteArray::fromStdString(ReportJSON::write(report)));
    file.close();
    WorkspaceStore store(home.filePath("library"), {QStringLiteral("quorilanth")});
    store.loadFile(path, false);
    store.setSelectedID(std::nullopt);
    std::printf("report: %zu tools, %zu answers of about 2 MB\n", report.servers[0].tools.size(),
                answers.size());

    const auto build = selectionOnly ? bench::Timing{}
                                     : milliseconds(
                                           [&] {
                                               GuidedBrowserView page(store);
                                               page.resize(1400, 900);
                                               page.show();
                                               paint(page);
                                           },
                                           7);
    std::printf(
        "page of 1,000 tools, built and painted:   %8.1f ms (fastest %.1f)  target < 300 ms\n",
        build.median, build.fastest);

    GuidedBrowserView page(store);
    page.resize(1400, 900);
    page.show();
    paint(page);
    ToolCardGrid* cards = page.cards();
    int turn = 0;
    const auto restyle =
        selectionOnly ? bench::Timing{}
                      : milliseconds(
                            [&] {
                                cards->setSelected(cards->cards()[std::size_t(turn++ % 40)].toolID,
                                                   std::nullopt);
                                cards->repaint();
                            },
                            41);
    std::printf(
        "selection restyled on the cards:          %8.2f ms (fastest %.2f)  target < 16 ms\n",
        restyle.median, restyle.fastest);
    // The whole selection: the store's change, the new form, and the first frame.
    const auto select = milliseconds(
        [&] {
            store.select(cards->cards()[std::size_t(100 + turn++ % 40)].toolID);
            page.renderNow();
            paint(page);
        },
        21);
    std::printf(
        "selection with its new form, painted:     %8.1f ms (fastest %.1f)  target < 16 ms\n",
        select.median, select.fastest);
    if (selectionOnly) return 0;

    for (std::size_t i = 0; i < hostile.size(); ++i) {
        std::vector<double> times;
        for (int run = 0; run < 5; ++run) {
            store.setSelectedID(std::nullopt);
            page.renderNow();
            // A fresh report, so that nothing was decoded before.
            store.loadFile(path, false);
            settle();
            const auto start = std::chrono::steady_clock::now();
            page.choose(int(i));
            waitFor([&] {
                return page.form() && page.form()->findChild<QWidget*>("ql-guided-answer");
            });
            paint(page);
            times.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
        }
        std::sort(times.begin(), times.end());
        std::printf("answer shown, %-26s %8.1f ms (fastest %.1f)  target < 500 ms\n",
                    hostile[i].first, times[times.size() / 2], times.front());
    }

    const ScanReport wide = wideSchemaReport(50000);
    const QString widePath = home.filePath("wide.json");
    QFile wideFile(widePath);
    if (!wideFile.open(QIODevice::WriteOnly)) return 1;
    wideFile.write(QByteArray::fromStdString(ReportJSON::write(wide)));
    wideFile.close();
    store.loadFile(widePath, false);
    settle();
    const auto wideForm = milliseconds(
        [&] {
            store.setSelectedID(std::nullopt);
            page.renderNow();
            settle();
            page.choose(0);
            page.renderNow();
            paint(page);
        },
        5);
    std::printf("form of 50,000 required properties:       %8.1f ms (fastest %.1f)\n",
                wideForm.median, wideForm.fastest);
    return 0;
}
