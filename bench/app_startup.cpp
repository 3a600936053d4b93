// Start-up time to the first painted window, and resident memory with a loaded
// 300-node report, each measured in a fresh process on the offscreen platform
// (or the desktop's, when QT_QPA_PLATFORM is set). A bare window shown by a
// minimal Qt program is measured the same way as the floor to compare with.
//
//   app_startup            runs every measurement and prints the figures

#include "BenchTiming.h"
#include "app/kit/QLTheme.h"
#include "app/window/AppDelegate.h"
#include "app/window/WorkspaceView.h"
#include "core/model/ReportJSON.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace quorilanth;

// Milliseconds since this process was created, from the kernel's record of its
// start (clock ticks since boot) and the boot-time clock.
double msSinceProcessStart() {
    std::ifstream stat("/proc/self/stat");
    std::string line;
    std::getline(stat, line);
    // The command name may hold spaces; fields resume after its closing ')'.
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    for (int index = 3; index <= 22 && fields >> field; ++index) {
    }
    const double startedMs = std::stod(field) * 1000.0 / double(sysconf(_SC_CLK_TCK));
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6 - startedMs;
}

// Prints when the widget is first painted, then ends the event loop.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(std::function<void()> done) : done_(std::move(done)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && done_) {
            auto done = std::move(done_);
            done_ = nullptr;
            QTimer::singleShot(0, done);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> done_;
};

ScanReport largeReport() {
    ScanReport report("https://bench.example/");
    const std::string body(2048, 'x');
    for (int i = 0; i < 300; ++i) {
        const std::string url = "https://bench.example/doc/" + std::to_string(i);
        Evidence exchange(url, "GET");
        exchange.statusCode = 200;
        exchange.responseHeaders["content-type"] = "application/json";
        exchange.responseBody = body;
        GraphNode node(url, i % 3 == 0 ? NodeKind::manifest : NodeKind::endpoint,
                       "Document " + std::to_string(i), url,
                       i % 5 == 0 ? FindingStatus::notFound : FindingStatus::found);
        node.summary = "A document found while benchmarking start-up.";
        node.evidenceIDs.push_back(exchange.id);
        report.evidence.push_back(std::move(exchange));
        report.nodes.push_back(std::move(node));
        if (i > 0)
            report.edges.emplace_back("https://bench.example/doc/0", url, "references",
                                      report.evidence.back().id, "$.links");
    }
    report.finishedAt = report.startedAt;
    return report;
}

int measureStartup(int argc, char** argv, bool floor) {
    QApplication::setOrganizationName(QStringLiteral("Quorilanth"));
    QApplication::setApplicationName(QStringLiteral("Quorilanth"));
    QApplication application(argc, argv);
    std::unique_ptr<AppDelegate> delegate;
    std::unique_ptr<QWidget> bare;
    FirstPaint watcher([] {
        std::printf("%.1f\n", msSinceProcessStart());
        QCoreApplication::quit();
    });
    if (floor) {
        bare = std::make_unique<QWidget>();
        bare->installEventFilter(&watcher);
        bare->resize(1640, 1020);
        bare->show();
    } else {
        applyDarkLook();
        delegate = std::make_unique<AppDelegate>(QStringList{QStringLiteral("quorilanth")});
        QTimer::singleShot(0, [&] {
            delegate->installMenus();
            delegate->showWorkspace();
            delegate->workspaceView()->installEventFilter(&watcher);
        });
    }
    return application.exec();
}

int measureMemory(int argc, char** argv, const QString& reportPath) {
    QApplication::setOrganizationName(QStringLiteral("Quorilanth"));
    QApplication::setApplicationName(QStringLiteral("Quorilanth"));
    QApplication application(argc, argv);
    applyDarkLook();
    AppDelegate delegate({QStringLiteral("quorilanth"), QStringLiteral("--report"), reportPath,
                          QStringLiteral("--view"), QStringLiteral("Overview")});
    QTimer::singleShot(0, [&] {
        delegate.applicationDidFinishLaunching();
        // Let the window render and settle before reading the figure.
        QTimer::singleShot(1500, [&] {
            const bool loaded =
                delegate.store().report() && delegate.store().report()->nodes.size() == 300;
            std::printf("%.1f %d\n", bench::residentMiB(), loaded ? 1 : 0);
            QCoreApplication::quit();
        });
    });
    return application.exec();
}

std::vector<double> runChild(const QString& self, const QStringList& arguments,
                             const QProcessEnvironment& env) {
    QProcess child;
    child.setProcessEnvironment(env);
    child.start(self, arguments);
    child.waitForFinished(60000);
    std::vector<double> values;
    for (const QString& word :
         QString::fromUtf8(child.readAllStandardOutput()).split(' ', Qt::SkipEmptyParts))
        values.push_back(word.trimmed().toDouble());
    return values;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "--startup") return measureStartup(argc, argv, false);
    if (mode == "--floor") return measureStartup(argc, argv, true);
    if (mode == "--memory" && argc > 2)
        return measureMemory(argc, argv, QString::fromLocal8Bit(argv[2]));

    QCoreApplication application(argc, argv);
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/ql-app-startup-XXXXXX"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains("QT_QPA_PLATFORM")) env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    env.insert("XDG_DATA_HOME", home.filePath("data"));
    env.insert("XDG_RUNTIME_DIR", home.path());
    const QString self = QCoreApplication::applicationFilePath();

    constexpr int runs = 7;
    std::vector<double> startup, floor;
    for (int i = 0; i < runs; ++i) {
        const auto value = runChild(self, {"--startup"}, env);
        if (!value.empty()) startup.push_back(value.front());
        const auto base = runChild(self, {"--floor"}, env);
        if (!base.empty()) floor.push_back(base.front());
    }
    const QString reportPath = home.filePath("report-300.json");
    {
        QFile file(reportPath);
        if (!file.open(QIODevice::WriteOnly)) return 1;
        file.write(QByteArray::fromStdString(ReportJSON::write(largeReport())));
    }
    const auto memory = runChild(self, {"--memory", reportPath}, env);

    const double startMs = median(startup), floorMs = median(floor);
    std::printf("platform: %s\n", env.value("QT_QPA_PLATFORM").toLocal8Bit().constData());
    std::printf("start to first painted window: %.1f ms (median of %zu; target < 1000 ms)\n",
                startMs, startup.size());
    std::printf("bare Qt window, same measure:   %.1f ms (ratio %.2f)\n", floorMs,
                floorMs > 0 ? startMs / floorMs : 0);
    if (memory.size() == 2)
        std::printf(
            "resident memory, 300-node report loaded: %.1f MiB (report %s; target < 120 MiB)\n",
            memory[0], memory[1] > 0 ? "loaded" : "NOT loaded");
    else
        std::printf("resident memory: measurement failed\n");
    return 0;
}
