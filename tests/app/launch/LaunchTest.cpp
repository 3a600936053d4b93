// The program as a user or a release check starts it: a child process on the
// offscreen platform with private settings and data folders.

#include "core/model/ReportJSON.h"
#include "core/model/ScanReport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

struct Outcome {
    int status = -1;
    bool finished = false;
    QString out, err;
};

class LaunchTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(home.isValid()); }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.insert("XDG_DATA_HOME", home.filePath("data"));
        env.insert("XDG_RUNTIME_DIR", home.path());
        env.remove("XCTestConfigurationFilePath");
        env.remove("QL_UI_TEST_LIBRARY");
        return env;
    }

    Outcome run(const QStringList& arguments, int timeoutMs = 30000) const {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(QStringLiteral(QL_APP_EXECUTABLE), arguments);
        Outcome result;
        if (!process.waitForStarted(10000)) return result;
        result.finished = process.waitForFinished(timeoutMs);
        if (!result.finished) {
            process.kill();
            process.waitForFinished();
        }
        result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

    QString reportFile() const {
        ScanReport report("https://launch.example/");
        report.nodes.emplace_back("https://launch.example/", NodeKind::domain, "launch.example",
                                  "https://launch.example/", FindingStatus::found);
        report.nodes.emplace_back(
            "https://launch.example/.well-known/agent.json", NodeKind::manifest, "Agent manifest",
            "https://launch.example/.well-known/agent.json", FindingStatus::valid);
        const QString path = home.filePath("launch.json");
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromStdString(ReportJSON::write(report)));
        return path;
    }

    QString settingsPath() const { return home.filePath("config/Quorilanth/Quorilanth.conf"); }

    QTemporaryDir home{QDir::tempPath() + QStringLiteral("/ql-app-launch-XXXXXX")};
};

TEST_F(LaunchTest, UpdateSelfTestDecidedBeforeTheWindow) {
    const struct {
        QStringList arguments;
        int status;
        QString err;
    } cases[] = {
        // This build carries no update channel.
        {{"--selftest-update"}, 1, "FAIL: unconfigured\n"},
        {{"--selftest-update-live", "--selftest-update"}, 1, "FAIL: unconfigured\n"},
        // Options are whole, case-sensitive arguments: these start the
        // application, which the smoke test without a path ends at once.
        {{"--SELFTEST-UPDATE", "--smoke-test"}, 1, ""},
        {{"--selftest-update=yes", "--smoke-test"}, 1, ""},
        // Without a usable snapshot path the smoke test fails quietly.
        {{"--smoke-test", "--snapshot"}, 1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const Outcome result = run(c.arguments);
        ASSERT_TRUE(result.finished);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.err.toStdString(), c.err.toStdString());
        EXPECT_TRUE(result.out.isEmpty());
    }
}

TEST_F(LaunchTest, SmokeTestWritesTheSnapshotOfTheContent) {
    const QString png = home.filePath("schema.png");
    const Outcome result = run({"--report", reportFile(), "--view", "SCHEMA", "--select",
                                "Agent manifest", "--snapshot", png, "--smoke-test"});
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.err.isEmpty()) << result.err.toStdString();
    const QImage image(png);
    EXPECT_EQ(image.size(), QSize(1640, 1020));
    // No temporary file left beside it.
    EXPECT_EQ(QDir(home.path()).entryList({"schema.png*"}, QDir::Files).size(), 1);
}

TEST_F(LaunchTest, SnapshotIntoAMissingFolderFailsWithOneLine) {
    const QString png = home.filePath("missing/folder/out.png");
    const Outcome smoke = run({"--snapshot", png, "--smoke-test"});
    ASSERT_TRUE(smoke.finished);
    EXPECT_EQ(smoke.status, 1);
    const QStringList lines = smoke.err.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1) << smoke.err.toStdString();
    EXPECT_TRUE(lines[0].startsWith("Snapshot failed: ")) << lines[0].toStdString();

    // Without the smoke test the application reports the failure and runs on.
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(QStringLiteral(QL_APP_EXECUTABLE), {"--snapshot", png});
    ASSERT_TRUE(process.waitForStarted(10000));
    QByteArray err;
    QDeadlineTimer deadline(20000);
    while (!err.contains('\n') && !deadline.hasExpired() && process.state() == QProcess::Running) {
        process.waitForReadyRead(200);
        err += process.readAllStandardError();
    }
    EXPECT_TRUE(err.startsWith("Snapshot failed: ")) << err.toStdString();
    EXPECT_FALSE(process.waitForFinished(1000));
    EXPECT_EQ(process.state(), QProcess::Running);
    process.kill();
    process.waitForFinished();
    EXPECT_FALSE(QFile::exists(png));
}

TEST_F(LaunchTest, WindowFrameComesBackAtTheNextLaunch) {
    const Outcome first = run({"--snapshot", home.filePath("first.png"), "--smoke-test"});
    ASSERT_EQ(first.status, 0);
    QRect saved;
    {
        QSettings settings(settingsPath(), QSettings::IniFormat);
        saved = settings.value("QuorilanthWorkspace").toRect();
    }
    ASSERT_TRUE(saved.isValid());
    const int menuHeight = saved.height() - 1020;
    EXPECT_EQ(saved.width(), 1640);

    const QRect moved(40, 30, 1300, 800 + menuHeight);
    {
        QSettings settings(settingsPath(), QSettings::IniFormat);
        settings.setValue("QuorilanthWorkspace", moved);
    }
    const Outcome second = run({"--snapshot", home.filePath("second.png"), "--smoke-test"});
    ASSERT_EQ(second.status, 0);
    EXPECT_EQ(QImage(home.filePath("second.png")).size(), QSize(1300, 800));
    QSettings settings(settingsPath(), QSettings::IniFormat);
    EXPECT_EQ(settings.value("QuorilanthWorkspace").toRect(), moved);
}

} // namespace
} // namespace quorilanth
