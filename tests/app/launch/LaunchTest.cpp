// The program as a user or a release check starts it: a child process on the
// offscreen platform with private settings and data folders.

#include "app/window/ShellTestSupport.h"
#include "support/ReportBuilder.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLockFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>
#include <signal.h>

namespace quorilanth {
namespace {

class LaunchTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
        environment.insert("XDG_DATA_HOME", home.filePath("data"));
        environment.insert("XDG_RUNTIME_DIR", home.path());
        environment.remove("QL_UI_TEST_LIBRARY");
    }
    void start(QProcess& process, const QStringList& arguments, const QString& folder = {}) const {
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(folder);
        process.start(QStringLiteral(QL_APP_EXECUTABLE), arguments);
        ASSERT_TRUE(process.waitForStarted(10000));
    }
    // Runs the program to its end: its exit status (-1 when it crashed or hung)
    // and what it said on standard error; it says nothing on standard output.
    std::pair<int, std::string> run(const QStringList& arguments,
                                    const QString& folder = {}) const {
        QProcess process;
        start(process, arguments, folder);
        if (!process.waitForFinished(30000)) process.kill();
        process.waitForFinished();
        EXPECT_TRUE(process.readAllStandardOutput().isEmpty());
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                process.readAllStandardError().toStdString()};
    }
    // One screen of that size, the window's frame its own area, as a
    // desktop's window manager keeps its decorations on the screen.
    void useScreen(const QSize& size) {
        const QString path = home.filePath("screens.json");
        QFile config(path);
        ASSERT_TRUE(config.open(QIODevice::WriteOnly) &&
                    config.write(QStringLiteral(R"({"windowFrameMargins": false, "screens":
                        [{"name": "screen", "x": 0, "y": 0, "width": %1, "height": %2,
                          "logicalDpi": 96, "dpr": 1}]})")
                                     .arg(size.width())
                                     .arg(size.height())
                                     .toUtf8()) > 0);
        environment.insert("QT_QPA_PLATFORM", "offscreen:configfile=" + path);
    }
    QSettings settings() const {
        return QSettings(home.filePath("config/Quorilanth/Quorilanth.conf"), QSettings::IniFormat);
    }

    QString library() const { return home.filePath("data/Quorilanth"); }
    // A report file of its own site, named after it.
    QString site(const QString& name) const {
        return test::writeReport(home, ScanReport(("https://" + name + ".example/").toStdString()),
                                 name + ".json");
    }
    // The sites the library's index lists, newest first.
    QStringList indexed() const {
        QFile file(QDir(library()).filePath("library.json"));
        QStringList sites;
        if (file.open(QIODevice::ReadOnly))
            for (const QJsonValue entry : QJsonDocument::fromJson(file.readAll()).array())
                sites << QUrl(entry["domain"].toString()).host().section('.', 0, 0);
        return sites;
    }
    bool indexLists(const QStringList& sites) const {
        return test::waitUntil([&] { return indexed() == sites; }, 20000);
    }

    QTemporaryDir home{QDir::tempPath() + QStringLiteral("/ql-app-launch-XXXXXX")};
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
};

TEST_F(LaunchTest, UpdateSelfTestDecidedBeforeTheWindow) {
    const std::pair<QStringList, std::string> cases[] = {
        // This build carries no update channel.
        {{"--selftest-update"}, "FAIL: unconfigured\n"},
        // Options are whole, case-sensitive arguments: these start the
        // application, which the smoke test without a path ends at once.
        {{"--SELFTEST-UPDATE", "--smoke-test"}, ""},
        {{"--selftest-update=yes", "--smoke-test"}, ""},
        // Without a usable snapshot path the smoke test fails quietly.
        {{"--smoke-test", "--snapshot"}, ""},
    };
    for (const auto& [arguments, err] : cases)
        EXPECT_EQ(run(arguments), std::pair(1, err)) << arguments.join(' ').toStdString();
}

TEST_F(LaunchTest, TheSmokeTestSnapshotsTheContentAndTheFrameComesBackAtTheNextLaunch) {
    ASSERT_NO_FATAL_FAILURE(useScreen({1920, 1080}));
    testsupport::ReportBuilder report("https://launch.example/");
    report.node("https://launch.example/agent.json", NodeKind::manifest, FindingStatus::valid)
        .label = "Agent manifest";
    const QString png = home.filePath("schema.png");
    EXPECT_EQ(run({"--report", test::writeReport(home, report.report(), "launch.json"), "--view",
                   "SCHEMA", "--select", "Agent manifest", "--snapshot", png, "--smoke-test"}),
              std::pair(0, std::string()));
    // The snapshot is whole, and no temporary file is left beside it.
    EXPECT_EQ(std::tuple(QImage(png).size(),
                         QDir(home.path()).entryList({"schema.png*"}, QDir::Files).size()),
              std::tuple(QSize(1640, 1020), 1));
    const QRect saved = settings().value("QuorilanthWorkspace").toRect();
    ASSERT_EQ(saved.width(), 1640);
    const QRect moved(40, 30, 1300, 800 + saved.height() - 1020); // with the menu bar
    settings().setValue("QuorilanthWorkspace", moved);
    EXPECT_EQ(run({"--snapshot", home.filePath("second.png"), "--smoke-test"}).first, 0);
    EXPECT_EQ(std::tuple(QImage(home.filePath("second.png")).size(),
                         settings().value("QuorilanthWorkspace").toRect()),
              std::tuple(QSize(1300, 800), moved));
}

// A frame saved almost off the screen, or far larger than it, comes back
// wholly on it, and is saved that way for the launches after.
TEST_F(LaunchTest, AFrameOutOfReachComesBackOnTheScreenAndStaysThere) {
    const QRect screen(0, 0, 1680, 1050);
    ASSERT_NO_FATAL_FAILURE(useScreen(screen.size()));
    for (const QRect& stored : {QRect(1679, 1049, 800, 600), QRect(1500, 900, 1300, 820),
                                QRect(100, 100, 30000, 30000)}) {
        SCOPED_TRACE(QVariant(stored).toString().toStdString());
        settings().setValue("QuorilanthWorkspace", stored);
        EXPECT_EQ(run({"--snapshot", home.filePath("frame.png"), "--smoke-test"}).first, 0);
        const QRect restored = settings().value("QuorilanthWorkspace").toRect();
        EXPECT_TRUE(screen.contains(restored)) << restored.x() << "," << restored.y() << " "
                                               << restored.width() << "x" << restored.height();
        EXPECT_TRUE(screen.contains(QRect(QPoint(), QImage(home.filePath("frame.png")).size())));
    }
}

// A "--report" that cannot be read is told in the window's alert, and the
// smoke test's snapshot shows that alert over the content.
TEST_F(LaunchTest, AnUnreadableReportIsAlertedAndTheSnapshotShowsTheAlert) {
    EXPECT_EQ(run({"--snapshot", home.filePath("plain.png"), "--smoke-test"}).first, 0);
    const QImage plain(home.filePath("plain.png"));
    QByteArray noise(3000, '\0');
    for (qsizetype i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 7919 + 13) % 251);
    const std::pair<const char*, QByteArray> files[] = {{"noise", noise}, {"id", "{\"id\": 5}"}};
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        const QString path = home.filePath(QString::fromLatin1(name) + ".json");
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        settings().remove("QuorilanthWorkspace"); // both runs in the same place
        const QString png = home.filePath(QString::fromLatin1(name) + ".png");
        EXPECT_EQ(run({"--report", path, "--snapshot", png, "--smoke-test"}),
                  std::pair(0, std::string()));
        const QImage shot(png);
        ASSERT_EQ(shot.size(), plain.size());
        // Only the alert's box differs from the plain window.
        QRect changed;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                if (shot.pixel(x, y) != plain.pixel(x, y)) changed |= QRect(x, y, 1, 1);
        EXPECT_TRUE(changed.isValid());
        EXPECT_LT(changed.height(), shot.height() / 4);
        EXPECT_LT(changed.width(), shot.width() / 2);
    }
}

TEST_F(LaunchTest, ASnapshotIntoAMissingFolderFailsWithOneLine) {
    const QString png = home.filePath("missing/folder/out.png");
    const auto [status, err] = run({"--snapshot", png, "--smoke-test"});
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(err.starts_with("Snapshot failed: ") && err.find('\n') == err.size() - 1) << err;
    // Without the smoke test the application reports the failure and runs on.
    QProcess process;
    start(process, {"--snapshot", png});
    QByteArray said;
    process.setReadChannel(QProcess::StandardError);
    for (QDeadlineTimer deadline(20000);
         !said.contains('\n') && !deadline.hasExpired() && process.state() == QProcess::Running;)
        if (process.waitForReadyRead(200)) said += process.readAllStandardError();
    EXPECT_TRUE(said.startsWith("Snapshot failed: ")) << said.toStdString();
    EXPECT_FALSE(process.waitForFinished(1000));
    process.kill();
    process.waitForFinished();
    EXPECT_FALSE(QFile::exists(png));
}

// One copy runs on a library; every later launch hands its request to that
// copy, which imports the report, and ends having written nothing itself.
TEST_F(LaunchTest, ALaterLaunchHandsItsReportToTheCopyRunningOnTheLibrary) {
    QProcess first;
    ASSERT_NO_FATAL_FAILURE(start(first, {"--report", site("a")}));
    ASSERT_TRUE(indexLists({"a"}));
    site("b");
    const QString c = site("c"), d = site("d"), shot = home.filePath("beside.png");
    const std::tuple<QStringList, QString, int, std::string, QStringList> launches[] = {
        // A path relative to the later launch's own working folder.
        {{"--report", "b.json"}, home.path(), 0, "", {"b", "a"}},
        {{}, {}, 0, "", {"b", "a"}},
        // A smoke test cannot take its snapshot of a report it handed over.
        {{"--report", c, "--snapshot", shot, "--smoke-test"}, {}, 1, "Snapshot", {"c", "b", "a"}},
        // Nor can a launch asked for one outside the smoke test.
        {{"--report", d, "--snapshot", shot}, {}, 1, "Snapshot", {"d", "c", "b", "a"}},
        {{"--snapshot", shot}, {}, 1, "Snapshot", {"d", "c", "b", "a"}},
        // Without a report it writes no library and runs beside the first.
        {{"--snapshot", shot, "--smoke-test"}, {}, 0, "", {"d", "c", "b", "a"}},
    };
    for (const auto& [arguments, folder, status, said, sites] : launches) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const auto [exit, err] = run(arguments, folder);
        EXPECT_TRUE(exit == status && err.starts_with(said) &&
                    (err.empty() || err.ends_with(".\n")))
            << err;
        EXPECT_TRUE(indexLists(sites)) << indexed().join(' ').toStdString();
    }
    EXPECT_TRUE(QFile::exists(shot) && first.state() == QProcess::Running);
    first.kill();
    first.waitForFinished();
}

// A copy that ended without cleaning up leaves its lock and its socket
// behind; neither keeps the next launch from taking the library and serving.
// Nor does a lock file it was killed before naming itself in. A copy asked to
// end by a signal ends as Quit does: a report handed to it while its alert
// held the report back is in the library.
TEST_F(LaunchTest, ALibraryLeftByACopyThatEndedIsTakenByTheNextLaunch) {
    const QString unreadable = home.filePath("unreadable.json"), shot = home.filePath("held.png");
    ASSERT_TRUE(QFile(unreadable).open(QIODevice::WriteOnly));
    // how the copy ends (0: it left a lock file without its name), what it leaves listed
    const std::pair<int, QStringList> endings[] = {{SIGKILL, {"a"}}, {0, {}}, {SIGTERM, {"h"}}};
    for (const auto& [ending, left] : endings) {
        SCOPED_TRACE(ending);
        QDir(library()).removeRecursively();
        QProcess copy, next;
        if (ending == SIGKILL) {
            ASSERT_NO_FATAL_FAILURE(start(copy, {"--report", site("a")}));
            ASSERT_TRUE(indexLists({"a"}));
        } else if (ending == SIGTERM) {
            ASSERT_NO_FATAL_FAILURE(start(copy, {"--report", unreadable, "--snapshot", shot}));
            ASSERT_TRUE(test::waitUntil([&] { return QFile::exists(shot); }, 20000));
            EXPECT_EQ(run({"--report", site("h")}), std::pair(0, std::string()));
            EXPECT_TRUE(indexed().isEmpty());
        } else {
            ASSERT_TRUE(QDir().mkpath(library()) &&
                        QFile(QDir(library()).filePath("library.lock")).open(QIODevice::WriteOnly));
        }
        if (ending) {
            ::kill(pid_t(copy.processId()), ending);
            EXPECT_TRUE(copy.waitForFinished(20000));
            EXPECT_EQ(copy.exitStatus() == QProcess::NormalExit, ending != SIGKILL);
        }
        EXPECT_EQ(indexed(), left);
        ASSERT_NO_FATAL_FAILURE(start(next, {"--report", site("b")}));
        EXPECT_TRUE(indexLists(QStringList{"b"} + left));
        EXPECT_EQ(run({"--report", site("c")}), std::pair(0, std::string()));
        EXPECT_EQ(indexed().value(0), "c");
        next.kill();
        next.waitForFinished();
    }
}

// A launch gives up on a holder that does not answer, at once where the lock
// names another machine, and the holder never acts on what it gave up: not
// even a copy that was stopped and runs again.
TEST_F(LaunchTest, ALibraryHeldByACopyThatDoesNotAnswerIsLeftAlone) {
    const QString lock = QDir(library()).filePath("library.lock");
    const std::string silent =
        "Quorilanth is already running on this library and did not answer.\n";
    enum class Holder { lockOnly, stoppedCopy, otherMachine };
    const std::pair<Holder, std::string> holders[] = {
        {Holder::lockOnly, silent},
        {Holder::stoppedCopy, silent},
        {Holder::otherMachine, "The library is locked by Quorilanth on the machine "
                               "\"elsewhere.example\". If no copy of Quorilanth runs on this "
                               "library, remove the file \"" +
                                   lock.toStdString() + "\" and start again.\n"},
    };
    for (const auto& [holder, said] : holders) {
        SCOPED_TRACE(int(holder));
        QDir(library()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(library()));
        QLockFile held(lock);
        QProcess copy;
        if (holder == Holder::lockOnly) {
            ASSERT_TRUE(held.tryLock());
        } else if (holder == Holder::stoppedCopy) {
            ASSERT_NO_FATAL_FAILURE(start(copy, {"--report", site("a")}));
            ASSERT_TRUE(indexLists({"a"}));
            ::kill(pid_t(copy.processId()), SIGSTOP);
        } else {
            // As QLockFile writes it: process, program, machine, machine id, boot id.
            QFile named(lock);
            ASSERT_TRUE(named.open(QIODevice::WriteOnly) &&
                        named.write(QByteArray::number(QCoreApplication::applicationPid()) +
                                    "\nquorilanth\nelsewhere.example\n0123456789abcdef0123456789ab"
                                    "cdef\n01234567-89ab-cdef-0123-456789abcdef\n") > 0);
        }
        EXPECT_EQ(run({"--report", site("b")}), std::pair(1, said));
        if (holder != Holder::stoppedCopy) {
            EXPECT_EQ(QDir(library()).entryList(QDir::Files), QStringList{"library.lock"});
            continue;
        }
        // Running again, the copy reads the given-up request before it serves
        // the next launch.
        ::kill(pid_t(copy.processId()), SIGCONT);
        EXPECT_EQ(run({"--report", site("c")}), std::pair(0, std::string()));
        EXPECT_TRUE(indexLists({"c", "a"})) << indexed().join(' ').toStdString();
        copy.kill();
        copy.waitForFinished();
    }
}

} // namespace
} // namespace quorilanth
