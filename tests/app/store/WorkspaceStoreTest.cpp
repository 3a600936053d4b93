#include "StoreTestSupport.h"
#include "core/model/ReportJSON.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <limits>
#include <sys/stat.h>
#include <unicode/locid.h>

namespace quorilanth {
namespace {

using test::ScriptedPrompts;

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings().clear();
        ASSERT_TRUE(folder.isValid());
        library = folder.filePath("library");
    }

    std::unique_ptr<WorkspaceStore> makeStore(const QStringList& arguments = {"quorilanth"}) {
        WorkspaceStore::Dependencies dependencies;
        dependencies.prompts = prompts;
        return std::make_unique<WorkspaceStore>(library, arguments, std::move(dependencies));
    }

    static ScanReport reportFor(const std::string& domain, int secondsAfter2001 = 0) {
        ScanReport report(domain);
        report.startedAt = Date(std::chrono::seconds(978307200 + secondsAfter2001));
        report.nodes.emplace_back(domain, NodeKind::domain, "root", domain, FindingStatus::found);
        return report;
    }

    QString writeReportFile(const ScanReport& report, const QString& name = "report.json") {
        const QString path = folder.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromStdString(ReportJSON::write(report)));
        return path;
    }

    QByteArray indexBytes() const {
        QFile file(QDir(library).filePath("library.json"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir folder;
    QString library;
    std::shared_ptr<ScriptedPrompts> prompts = std::make_shared<ScriptedPrompts>();
};

TEST_F(StoreTest, SettingsDecideProviderAndModelAtConstruction) {
    struct Case {
        std::optional<QVariant> provider, model;
        AIProvider expectedProvider;
        QString expectedModel;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt, AIProvider::apple, "SystemLanguageModel"},
        {QVariant("Nobody"), std::nullopt, AIProvider::apple, "SystemLanguageModel"},
        {QVariant("Claude"), std::nullopt, AIProvider::claude, "claude-sonnet-4-6"},
        {QVariant("claude"), std::nullopt, AIProvider::apple, "SystemLanguageModel"},
        {QVariant("GLM (Z.ai)"), QVariant(""), AIProvider::glm, ""},
        {QVariant("OpenAI"), QVariant("my-model"), AIProvider::openAI, "my-model"},
        {QVariant(QStringList{"a", "b"}), QVariant(7), AIProvider::apple, "SystemLanguageModel"},
    };
    for (const Case& c : cases) {
        QSettings settings;
        settings.clear();
        if (c.provider) settings.setValue("aiProvider", *c.provider);
        if (c.model) settings.setValue("aiModel", *c.model);
        settings.sync();
        const auto store = makeStore();
        EXPECT_EQ(store->provider(), c.expectedProvider);
        EXPECT_EQ(store->model(), c.expectedModel);
    }
}

TEST_F(StoreTest, ChoosingAProviderAlwaysResetsTheModelAndWritesBothKeys) {
    const auto store = makeStore();
    QSignalSpy modelSpy(store.get(), &WorkspaceStore::modelChanged);
    store->setModel("custom");
    store->setProvider(AIProvider::claude);
    EXPECT_EQ(store->model(), "claude-sonnet-4-6");
    EXPECT_EQ(QSettings().value("aiProvider").toString(), "Claude");
    EXPECT_EQ(QSettings().value("aiModel").toString(), "claude-sonnet-4-6");
    store->setModel("custom");
    store->setProvider(AIProvider::claude);
    EXPECT_EQ(store->model(), "claude-sonnet-4-6");
    EXPECT_EQ(modelSpy.count(), 4);
    store->setModel("claude-sonnet-4-6"); // same value: stored, nobody told
    EXPECT_EQ(modelSpy.count(), 4);
}

TEST_F(StoreTest, NavigationRules) {
    const auto store = makeStore();
    ScanReport report = reportFor("https://a.example/");
    store->save(report);
    store->load(store->history().front());
    ASSERT_TRUE(store->report());

    // Writing the tab already shown still closes the library.
    store->openLibrary("History");
    ASSERT_TRUE(store->showLibrary());
    store->setTab(store->tab());
    EXPECT_FALSE(store->showLibrary());

    // select: the guide tab keeps the inspector as it is; other tabs open it.
    store->setShowInspector(false);
    store->select("x");
    EXPECT_FALSE(store->showInspector());
    store->setTab(WorkspaceTab::raw);
    store->select("y");
    EXPECT_TRUE(store->showInspector());
    EXPECT_FALSE(store->selectedEvidenceID());

    // fitSchema hides the inspector only when it switches to the schema tab.
    const int command = store->graphCommand();
    store->setTab(WorkspaceTab::overview);
    store->fitSchema();
    EXPECT_EQ(store->tab(), WorkspaceTab::schema);
    EXPECT_FALSE(store->showInspector());
    store->setShowInspector(true);
    store->fitSchema();
    EXPECT_TRUE(store->showInspector());
    EXPECT_EQ(store->graphCommand(), command + 2);

    // toggleInspector on raw with the library shown: overview, inspector shown.
    store->setTab(WorkspaceTab::raw);
    store->setShowInspector(false);
    store->openLibrary("Recent");
    store->toggleInspector();
    EXPECT_EQ(store->tab(), WorkspaceTab::overview);
    EXPECT_TRUE(store->showInspector());
    EXPECT_FALSE(store->showLibrary());
    store->toggleInspector();
    EXPECT_FALSE(store->showInspector());

    // newScan closes the library through the guide tab and keeps its section.
    store->openLibrary("Favorites");
    store->setLibrarySearch("abc");
    store->newScan();
    EXPECT_FALSE(store->report());
    EXPECT_EQ(store->tab(), WorkspaceTab::guide);
    EXPECT_FALSE(store->showLibrary());
    EXPECT_EQ(store->librarySection(), "Favorites");
    EXPECT_EQ(store->librarySearch(), "abc");
}

TEST_F(StoreTest, SelectedEvidencePassesOverPreflightProbes) {
    struct Case {
        std::vector<std::string> methods;
        std::optional<std::size_t> expected;
    };
    const Case cases[] = {
        {{"GET", "OPTIONS", "GET"}, 2},
        {{"GET", "OPTIONS"}, 0},
        {{"OPTIONS", "OPTIONS"}, std::nullopt},
    };
    for (const Case& c : cases) {
        ScanReport report = reportFor("https://a.example/");
        for (const std::string& method : c.methods) {
            report.evidence.emplace_back("https://a.example/", method);
            report.nodes.front().evidenceIDs.push_back(report.evidence.back().id);
        }
        const QString path = writeReportFile(report);
        const auto store = makeStore();
        store->loadFile(path, false);
        store->select(report.nodes.front().id);
        const auto chosen = store->selectedEvidence();
        ASSERT_EQ(chosen.has_value(), c.expected.has_value());
        if (c.expected) {
            EXPECT_EQ(chosen->id, report.evidence[*c.expected].id);
        }
        // A named record of the report wins; an unknown one falls back to the rule.
        store->setSelectedEvidenceID(report.evidence.front().id);
        EXPECT_EQ(store->selectedEvidence()->id, report.evidence.front().id);
        store->setSelectedEvidenceID(std::string("missing"));
        EXPECT_EQ(store->selectedEvidence().has_value(), c.expected.has_value());
    }
}

TEST_F(StoreTest, ReportIdentifiersThatCannotBeFileNamesAreRefused) {
    const std::pair<std::string, bool> cases[] = {
        {"", false},
        {std::string(128, 'a'), true},
        {std::string(129, 'a'), false},
        {"a/b", false},
        {"..", false},
        {"a.json", false},
        {"\xC3\xA9", false},
        {"A-z_09", true},
    };
    for (const auto& [id, valid] : cases) {
        EXPECT_EQ(WorkspaceStore::isValidReportID(id), valid) << id;
        const auto store = makeStore();
        ScanReport report = reportFor("https://a.example/");
        report.id = id;
        store->save(report);
        if (valid) {
            EXPECT_FALSE(store->error());
        } else {
            EXPECT_EQ(store->error(), "Could not save scan: Invalid report identifier.");
            EXPECT_TRUE(std::none_of(store->history().begin(), store->history().end(),
                                     [&](const SavedScan& s) { return s.id.toStdString() == id; }));
        }
    }
}

TEST_F(StoreTest, SavingKeepsMarksAndMovesTheEntryToTheTop) {
    const auto store = makeStore();
    ScanReport first = reportFor("https://a.example/", 10);
    ScanReport second = reportFor("https://b.example/", 20);
    store->save(first);
    store->save(second);
    store->toggleFavorite(store->history().back());
    store->collect(store->history().back(), "  Work  ");
    store->save(first);
    ASSERT_EQ(store->history().size(), 2u);
    EXPECT_EQ(store->history().front().id.toStdString(), first.id);
    EXPECT_TRUE(store->history().front().favorite);
    EXPECT_EQ(store->history().front().collection, "Work");
    store->collect(store->history().front(), " \n ");
    EXPECT_FALSE(store->history().front().collection);
    EXPECT_FALSE(indexBytes().contains("collection"));

    // Another store over the same folder reads back what was written.
    const auto reopened = makeStore();
    EXPECT_EQ(reopened->history(), store->history());
}

TEST_F(StoreTest, LibrarySectionsSearchAndCollections) {
    const auto store = makeStore();
    for (int i = 0; i < 25; ++i)
        store->save(reportFor("https://site" + std::to_string(i) + ".example/", i));
    store->openLibrary("Recent");
    auto scans = store->libraryScans();
    ASSERT_EQ(scans.size(), 20u);
    EXPECT_EQ(scans.front().domain, "https://site24.example/");
    store->openLibrary("History");
    EXPECT_EQ(store->libraryScans().size(), 25u);

    store->collect(store->history()[0], "item 10");
    store->collect(store->history()[1], "Item 9");
    store->collect(store->history()[2], "item 10");
    EXPECT_EQ(store->collectionNames(), (QStringList{"Item 9", "item 10"}));
    store->openLibrary("Collections");
    EXPECT_EQ(store->libraryScans().size(), 3u);
    store->setCollectionFilter("item 10");
    EXPECT_EQ(store->libraryScans().size(), 2u);

    store->openLibrary("History");
    store->setLibrarySearch("  SITE3.example ");
    EXPECT_EQ(store->libraryScans().size(), 1u);
    store->setLibrarySearch("ITEM 9");
    EXPECT_EQ(store->libraryScans().size(), 1u);

    store->openLibrary("Settings");
    EXPECT_EQ(store->librarySection(), "History");
}

TEST_F(StoreTest, LibrarySearchFoldsCaseTheWayTheUserLocaleDoes) {
    const auto store = makeStore();
    store->save(reportFor("https://istanbul.example/"));
    store->save(reportFor("https://\u0131rmak.example/")); // dotless i
    store->openLibrary("History");
    const icu::Locale before = icu::Locale::getDefault();
    UErrorCode status = U_ZERO_ERROR;
    for (const auto& [locale, search, found] : {std::tuple{"en_US", "ISTANBUL", 1u},
                                                {"en_US", "IRMAK", 0u},
                                                {"tr_TR", "ISTANBUL", 0u},
                                                {"tr_TR", "\u0130STANBUL", 1u},
                                                {"tr_TR", "IRMAK", 1u}}) {
        icu::Locale::setDefault(icu::Locale(locale), status);
        store->setLibrarySearch(QString::fromUtf8(search));
        EXPECT_EQ(store->libraryScans().size(), found) << locale << " " << search;
    }
    icu::Locale::setDefault(before, status);
}

TEST_F(StoreTest, EqualDatesKeepTheirIndexOrder) {
    const auto store = makeStore();
    std::vector<std::string> ids;
    for (int i = 0; i < 3; ++i) {
        ScanReport report = reportFor("https://same.example/", 5);
        store->save(report);
        ids.insert(ids.begin(), report.id);
    }
    store->toggleFavorite(store->history()[0]);
    store->toggleFavorite(store->history()[1]);
    store->toggleFavorite(store->history()[2]);
    for (const QString section : {"Recent", "Favorites", "History"}) {
        store->openLibrary(section);
        const auto scans = store->libraryScans();
        ASSERT_EQ(scans.size(), 3u);
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_EQ(scans[i].id.toStdString(), ids[i]);
    }
}

TEST_F(StoreTest, AnUnreadableIndexIsSetAsideNeverOverwritten) {
    struct Case {
        QByteArray contents;
        bool reported;
    };
    const Case cases[] = {
        {"{}", true},
        {R"([{"id":"a","domain":"d","date":1,"score":1,"favorite":false},{"id":"b"}])", true},
        {"\xff\xfe garbage", true},
    };
    for (const Case& c : cases) {
        QDir(library).removeRecursively();
        QDir().mkpath(library);
        QFile index(QDir(library).filePath("library.json"));
        ASSERT_TRUE(index.open(QIODevice::WriteOnly));
        index.write(c.contents);
        index.close();

        const auto store = makeStore();
        EXPECT_TRUE(store->history().empty());
        ASSERT_EQ(store->error().has_value(), c.reported);
        EXPECT_TRUE(store->error()->startsWith("Library: "));
        EXPECT_EQ(indexBytes(), c.contents); // untouched until the next save

        store->save(reportFor("https://a.example/"));
        EXPECT_EQ(store->history().size(), 1u);
        const QStringList aside =
            QDir(library).entryList({"library-unreadable-*.json"}, QDir::Files);
        ASSERT_EQ(aside.size(), 1);
        QFile kept(QDir(library).filePath(aside.first()));
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), c.contents);
        EXPECT_EQ(QJsonDocument::fromJson(indexBytes()).array().size(), 1);
    }
}

TEST_F(StoreTest, TheLibraryFolderIsPrivateFromTheStartOrItsFailureReported) {
    QFile(folder.filePath("file")).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QDir().mkpath(folder.filePath("shared")));
    ::chmod(QFile::encodeName(folder.filePath("shared")).constData(), 0755);
    const mode_t umaskBefore = ::umask(0); // nothing narrows the mode but the store
    // An existing folder is taken as it is; mode 0 stands for a reported failure.
    for (const auto& [path, mode] : {std::pair{"missing/above/library/", 0700},
                                     {"shared", 0755},
                                     {"file/library", 0},
                                     {"file", 0}}) {
        library = folder.filePath(path);
        const auto store = makeStore();
        struct stat info {};
        ::stat(QFile::encodeName(library).constData(), &info);
        EXPECT_EQ(mode ? int(info.st_mode & 07777) : 0, mode) << path;
        EXPECT_EQ(store->error().value_or("").startsWith("Library: The folder \""), !mode) << path;
    }
    ::umask(umaskBefore);
}

TEST_F(StoreTest, ReportFilesThatAreNotReportsFailWithoutHanging) {
    ASSERT_EQ(::mkfifo(folder.filePath("fifo").toLocal8Bit().constData(), 0600), 0);
    QDir().mkpath(folder.filePath("directory.json"));
    QFile numbers(folder.filePath("numbers.json"));
    ASSERT_TRUE(numbers.open(QIODevice::WriteOnly));
    QByteArray text = QByteArray::fromStdString(ReportJSON::write(reportFor("https://a.example/")));
    const qsizetype at = text.indexOf("\"startedAt\" : ");
    ASSERT_GE(at, 0);
    text.replace(at, text.indexOf('\n', at) - at, "\"startedAt\" : 12345,");
    numbers.write(text);
    numbers.close();

    for (const QString name : {"fifo", "directory.json", "missing.json", "numbers.json"}) {
        const auto store = makeStore();
        store->loadFile(folder.filePath(name), true);
        ASSERT_TRUE(store->error()) << name.toStdString();
        EXPECT_TRUE(store->error()->startsWith("Could not open report: ")) << name.toStdString();
        EXPECT_FALSE(store->report());
        EXPECT_TRUE(store->history().empty());
    }
}

TEST_F(StoreTest, OpeningAReportShowsSelectsAndImports) {
    ScanReport report = reportFor("https://a.example/");
    report.nodes.emplace_back("https://a.example/mcp", NodeKind::mcp, "mcp",
                              "https://a.example/mcp", FindingStatus::valid);
    MCPServer server("https://a.example/mcp");
    server.status = FindingStatus::valid;
    report.servers.push_back(server);
    const QString path = writeReportFile(report);

    const auto store = makeStore();
    store->setDiscoveryMode(true);
    store->setSelectedEvidenceID(std::string("old"));
    store->loadFile(path, false);
    EXPECT_TRUE(store->history().empty()); // a library file is only shown
    EXPECT_EQ(store->selectedID(), "https://a.example/mcp");
    EXPECT_EQ(store->input(), "https://a.example/");
    EXPECT_FALSE(store->discoveryMode());
    EXPECT_FALSE(store->selectedEvidenceID());
    EXPECT_TRUE(store->status().startsWith(QStringLiteral("Saved scan \u00B7 ")));

    prompts->openAnswers.push_back(path);
    store->openReport();
    ASSERT_EQ(store->history().size(), 1u);
    EXPECT_TRUE(
        QFileInfo::exists(QDir(library).filePath(QString::fromStdString(report.id) + ".json")));
}

// Saved scans go to their files in pieces: a large one comes back whole, and
// one that cannot be written (a number with no JSON form) leaves the file it
// would replace as it was, with no temporary file behind.
TEST_F(StoreTest, ScansThatCannotBeWrittenLeaveTheFileAsItWas) {
    ScanReport report = reportFor("https://a.example/");
    Evidence exchange("https://a.example/", "GET");
    exchange.responseBody = std::string(300'000, 'x');
    report.evidence.push_back(exchange);
    const auto store = makeStore();
    store->save(report);
    ASSERT_FALSE(store->error());
    const QString saved = QDir(library).filePath(QString::fromStdString(report.id) + ".json");
    QFile file(saved);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    store->load(store->history().front());
    ASSERT_TRUE(store->report());
    EXPECT_EQ(store->report()->evidence.front().responseBody, exchange.responseBody);

    report.nodes.front().metadata = JSONValue(std::numeric_limits<double>::quiet_NaN());
    store->save(report);
    ASSERT_TRUE(store->error());
    EXPECT_TRUE(store->error()->startsWith("Could not save scan: Cannot write JSON"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
    EXPECT_EQ(QDir(library).entryList(QDir::Files | QDir::Hidden).size(), 2); // scan, index
}

TEST_F(StoreTest, ExportFormatsAndNames) {
    const auto store = makeStore();
    EXPECT_THROW(store->exportReport("md", folder.filePath("x.md")), QuorilanthError);
    store->loadFile(writeReportFile(reportFor("https://a.example:8443/")), false);

    struct Case {
        QString format;
        bool written;
    };
    for (const Case& c : {Case{"md", true}, Case{"json", true}, Case{"pdf", true},
                          Case{"MD", false}, Case{"txt", false}}) {
        const QString target = folder.filePath("out." + c.format);
        if (c.written) {
            store->exportReport(c.format, target);
            EXPECT_EQ(store->status(), "Exported out." + c.format);
        } else {
            try {
                store->exportReport(c.format, target);
                ADD_FAILURE() << "accepted " << c.format.toStdString();
            } catch (const QuorilanthError& error) {
                EXPECT_EQ(error.message(), "Unsupported export format: " + c.format.toStdString());
            }
        }
        EXPECT_EQ(QFileInfo::exists(target), c.written);
    }

    prompts->saveAnswers.push_back(std::nullopt);
    store->exportAs("md");
    EXPECT_EQ(prompts->suggestedNames.back(), "a.example-quorilanth.md");

    // A decoded host never suggests path pieces, a hidden or unreadable name.
    const std::string longHost(300, 'h');
    for (const auto& [domain, name] : std::initializer_list<std::pair<std::string, QString>>{
             {"not a url", "scan-quorilanth.pdf"},
             {"https://a%2F..%2F..%2Fx/", "a_.._.._x-quorilanth.pdf"},
             {"https://%2E%2E/", "__-quorilanth.pdf"},
             {"https://.a.b/", "_a.b-quorilanth.pdf"},
             {"https://a%00b%0Ac%7F/", "a_b_c_-quorilanth.pdf"},
             {"https://x%E2%80%AEfdp.exe/", "x_fdp.exe-quorilanth.pdf"},
             {"https://" + longHost + "/", QString(240, QLatin1Char('h')) + "-quorilanth.pdf"}}) {
        EXPECT_EQ(WorkspaceStore::defaultExportName(reportFor(domain), "pdf"), name) << domain;
    }
}

TEST_F(StoreTest, LaunchOptions) {
    ScanReport report = reportFor("https://a.example/");
    report.nodes.emplace_back("https://a.example/llms.txt", NodeKind::content, "llms.txt",
                              "https://a.example/llms.txt", FindingStatus::found);
    const QString path = writeReportFile(report);
    // Every row opens the same library: a report given once stays in it.
    struct Case {
        QStringList arguments;
        WorkspaceTab tab;
        std::optional<std::string> selected;
        bool showLibrary;
        std::size_t saved;
    };
    const Case cases[] = {
        {{"q", "--view", "schema"}, WorkspaceTab::schema, std::nullopt, false, 0},
        {{"q", "--view", "SCHEMA", "--view", "raw"}, WorkspaceTab::schema, std::nullopt, false, 0},
        {{"q", "--view"}, WorkspaceTab::guide, std::nullopt, false, 0},
        {{"q", "--report", path, "--select", "llms.txt"},
         WorkspaceTab::guide,
         "https://a.example/llms.txt",
         false,
         1},
        {{"q", "--report", path, "--select", "https://a.example/"},
         WorkspaceTab::guide,
         std::nullopt,
         false,
         1},
        {{"q", "--library", "Favorites"}, WorkspaceTab::guide, std::nullopt, true, 1},
    };
    for (const Case& c : cases) {
        const auto store = makeStore(c.arguments);
        EXPECT_EQ(store->tab(), c.tab) << c.arguments.join(' ').toStdString();
        EXPECT_EQ(store->selectedID(), c.selected) << c.arguments.join(' ').toStdString();
        EXPECT_EQ(store->showLibrary(), c.showLibrary);
        EXPECT_EQ(store->history().size(), c.saved) << c.arguments.join(' ').toStdString();
    }
    const auto store = makeStore({"q", "--show-content", "--library", "Favorites"});
    EXPECT_TRUE(store->showContent());
    EXPECT_EQ(store->librarySection(), "Favorites");
}

} // namespace
} // namespace quorilanth
