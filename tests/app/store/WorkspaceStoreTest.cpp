#include "StoreTestSupport.h"
#include "core/model/ReportJSON.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unicode/locid.h>
#include <unistd.h>

namespace quorilanth {
namespace {

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings().clear();
        ASSERT_TRUE(folder.isValid());
    }
    std::unique_ptr<WorkspaceStore> makeStore(const QStringList& arguments = {"quorilanth"}) {
        return std::make_unique<WorkspaceStore>(
            library, arguments, WorkspaceStore::Dependencies{{}, {}, prompts, {}, {}});
    }
    static ScanReport reportFor(const std::string& domain, int secondsAfter2001 = 0) {
        ScanReport report(domain);
        report.startedAt = Date(std::chrono::seconds(978307200 + secondsAfter2001));
        report.nodes.emplace_back(domain, NodeKind::domain, "root", domain, FindingStatus::found);
        return report;
    }
    QString writeReportFile(const ScanReport& report, const QString& name = "report.json") {
        QFile file(folder.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromStdString(ReportJSON::write(report)));
        return file.fileName();
    }
    QByteArray read(const QString& name) const {
        QFile file(QDir(library).filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static std::string ids(const std::vector<SavedScan>& scans) {
        std::string text;
        for (const SavedScan& scan : scans)
            text += scan.domain.toStdString() + (scan.favorite ? "*" : "") +
                    (scan.collection ? "[" + scan.collection->toStdString() + "]" : "") + " ";
        return text;
    }

    QTemporaryDir folder;
    QString library = folder.filePath("library");
    std::shared_ptr<test::ScriptedPrompts> prompts = std::make_shared<test::ScriptedPrompts>();
};

// Settings are read defensively at construction; choosing a provider always
// resets the model and writes both keys, and a write of the same value tells nobody.
TEST_F(StoreTest, SettingsDecideProviderAndModel) {
    for (const auto& [provider, model, expected] :
         std::initializer_list<std::tuple<QVariant, QVariant, std::pair<AIProvider, QString>>>{
             {{}, {}, {AIProvider::apple, "SystemLanguageModel"}},
             {"Nobody", {}, {AIProvider::apple, "SystemLanguageModel"}},
             {"Claude", {}, {AIProvider::claude, "claude-sonnet-4-6"}},
             {"claude", {}, {AIProvider::apple, "SystemLanguageModel"}},
             {"GLM (Z.ai)", "", {AIProvider::glm, ""}},
             {"OpenAI", "my-model", {AIProvider::openAI, "my-model"}},
             {QStringList{"a", "b"}, 7, {AIProvider::apple, "SystemLanguageModel"}}}) {
        QSettings settings;
        settings.clear();
        if (provider.isValid()) settings.setValue("aiProvider", provider);
        if (model.isValid()) settings.setValue("aiModel", model);
        settings.sync();
        const auto store = makeStore();
        EXPECT_EQ(std::pair(store->provider(), store->model()), expected);
    }
    const auto store = makeStore();
    QSignalSpy modelSpy(store.get(), &WorkspaceStore::modelChanged);
    for (int i = 0; i < 2; ++i) {
        store->setModel("custom");
        store->setProvider(AIProvider::claude);
        EXPECT_EQ(store->model(), "claude-sonnet-4-6");
        EXPECT_EQ(QSettings().value("aiProvider").toString(), "Claude");
        EXPECT_EQ(QSettings().value("aiModel").toString(), "claude-sonnet-4-6");
    }
    store->setModel("claude-sonnet-4-6");
    EXPECT_EQ(modelSpy.count(), 4);
}

// Writing the tab shown still closes the library; selecting opens the
// inspector except on the guide tab; fitting the schema hides it only when it
// switches there; toggling it on the guide tab or with the library shown goes
// to the overview; a new scan closes the library but keeps its section and search.
TEST_F(StoreTest, NavigationRules) {
    const auto store = makeStore();
    store->save(reportFor("https://a.example/"));
    store->load(store->history().front());
    const int command = store->graphCommand();
    auto state = [&] {
        return rawValue(store->tab()).toStdString() + (store->showInspector() ? " inspector" : "") +
               (store->showLibrary() ? " library" : "");
    };
    const std::pair<std::function<void()>, std::string> steps[] = {
        {[&] { store->openLibrary("History"), store->setTab(store->tab()); }, "Per te inspector"},
        {[&] { store->setShowInspector(false), store->select("x"); }, "Per te"},
        {[&] { store->setTab(WorkspaceTab::raw), store->select("y"); }, "Raw inspector"},
        {[&] { store->setTab(WorkspaceTab::overview), store->fitSchema(); }, "SCHEMA"},
        {[&] { store->setShowInspector(true), store->fitSchema(); }, "SCHEMA inspector"},
        {[&] {
             store->setTab(WorkspaceTab::raw), store->setShowInspector(false),
                 store->openLibrary("Recent"), store->toggleInspector();
         },
         "Overview inspector"},
        {[&] { store->toggleInspector(); }, "Overview"},
        {[&] { store->openLibrary("Favorites"), store->setLibrarySearch("abc"), store->newScan(); },
         "Per te"},
    };
    for (const auto& [step, expected] : steps) {
        step();
        EXPECT_EQ(state(), expected);
    }
    EXPECT_EQ(store->graphCommand(), command + 2);
    EXPECT_FALSE(store->report() || store->selectedEvidenceID());
    EXPECT_EQ(store->librarySection() + store->librarySearch(), "Favoritesabc");
}

// The evidence shown passes over pre-flight probes to the last other exchange;
// a named record of the report wins, an unknown one falls back to the rule.
TEST_F(StoreTest, SelectedEvidencePassesOverPreflightProbes) {
    for (const auto& [methods, expected] :
         std::initializer_list<std::pair<std::vector<const char*>, int>>{
             {{"GET", "OPTIONS", "GET"}, 2},
             {{"GET", "OPTIONS"}, 0},
             {{"OPTIONS", "OPTIONS"}, -1}}) {
        ScanReport report = reportFor("https://a.example/");
        for (const char* method : methods) {
            report.evidence.emplace_back("https://a.example/", method);
            report.nodes[0].evidenceIDs.push_back(report.evidence.back().id);
        }
        const auto store = makeStore();
        store->loadFile(writeReportFile(report), false);
        store->select(report.nodes[0].id);
        const std::string none = "none";
        for (const std::string& named : {none, report.evidence[0].id}) {
            if (named != none) store->setSelectedEvidenceID(named);
            const auto chosen = store->selectedEvidence();
            EXPECT_EQ(chosen ? chosen->id : none, named != none  ? named
                                                  : expected < 0 ? none
                                                                 : report.evidence[expected].id);
        }
        store->setSelectedEvidenceID(std::string("missing"));
        EXPECT_EQ(store->selectedEvidence().has_value(), expected >= 0);
    }
}

// A report is saved as <id>.json only when its id can be a file name.
TEST_F(StoreTest, ReportIdentifiersThatCannotBeFileNamesAreRefused) {
    for (const std::string& id : {std::string(128, 'a'), std::string("A-z_09")})
        EXPECT_TRUE(WorkspaceStore::isValidReportID(id)) << id;
    for (const std::string& id :
         {std::string(), std::string(129, 'a'), std::string("a/b"), std::string(".."),
          std::string("a.json"), std::string("\xC3\xA9")})
        EXPECT_FALSE(WorkspaceStore::isValidReportID(id)) << id;
    const auto store = makeStore();
    ScanReport report = reportFor("https://a.example/");
    report.id = "../a";
    store->save(report);
    EXPECT_EQ(store->error(), "Could not save scan: Invalid report identifier.");
    EXPECT_TRUE(store->history().empty());
}

// Saving again keeps the marks and moves the entry to the top; sections sort
// by date (equal dates keep the index order), collections and their names filter,
// and another store over the same folder reads back what was written.
TEST_F(StoreTest, TheLibraryKeepsMarksSectionsAndSearch) {
    const auto store = makeStore();
    std::vector<ScanReport> reports;
    for (int i = 0; i < 25; ++i) {
        reports.push_back(
            reportFor("https://site" + std::to_string(i) + ".example/", i < 3 ? 0 : i));
        store->save(reports.back());
    }
    store->toggleFavorite(store->history()[1]);
    store->collect(store->history()[1], "  item 10  ");
    store->collect(store->history()[2], "Item 9");
    store->collect(store->history()[3], "item 10");
    store->toggleFavorite(store->history().back());
    store->save(reports[0]);
    EXPECT_EQ(ids({store->history().front()}), "https://site0.example/* ");
    EXPECT_EQ(store->collectionNames(), (QStringList{"Item 9", "item 10"}));
    for (const auto& [section, filter, search, expected] :
         std::initializer_list<std::tuple<const char*, const char*, const char*, std::string>>{
             {"Favorites", "", "", "https://site23.example/*[item 10] https://site0.example/* "},
             {"Collections", "item 10", "",
              "https://site23.example/*[item 10] https://site21.example/[item 10] "},
             {"History", "", "ITEM 9", "https://site22.example/[Item 9] "},
             {"History", "", "site",
              "https://site0.example/* https://site2.example/ https://site1.example/ "}}) {
        store->openLibrary(section);
        store->setCollectionFilter(filter);
        store->setLibrarySearch(search);
        const auto scans = store->libraryScans();
        EXPECT_EQ(ids(std::vector(scans.end() - std::min<std::ptrdiff_t>(3, std::ssize(scans)),
                                  scans.end())),
                  expected)
            << section << search;
    }
    store->setLibrarySearch("");
    store->openLibrary("Recent");
    EXPECT_EQ(store->libraryScans().size(), 20u);
    store->openLibrary("Settings");
    EXPECT_EQ(store->librarySection(), "Recent");
    store->collect(store->history()[2], " \n ");
    EXPECT_EQ(ids({store->history()[2]}), "https://site23.example/* ");
    EXPECT_EQ(makeStore()->history(), store->history());
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

// An index that cannot be read is reported and left alone until the library
// has been read again, which sets it aside under a name of its own; it is
// never overwritten.
TEST_F(StoreTest, AnUnreadableIndexIsSetAsideNeverOverwritten) {
    for (const QByteArray& contents :
         {QByteArray("{}"), QByteArray("\xff\xfe garbage"),
          QByteArray(
              R"([{"id":"a","domain":"d","date":1,"score":1,"favorite":false},{"id":"b"}])")}) {
        QDir(library).removeRecursively();
        QDir().mkpath(library);
        QFile index(QDir(library).filePath("library.json"));
        ASSERT_TRUE(index.open(QIODevice::WriteOnly) && index.write(contents) == contents.size());
        index.close();
        const auto store = makeStore();
        EXPECT_TRUE(store->history().empty());
        EXPECT_TRUE(store->error().value_or("").startsWith("Library: "));
        EXPECT_EQ(read("library.json"), contents);
        store->save(reportFor("https://a.example/"));
        QStringList aside;
        ASSERT_TRUE(test::waitUntil([&] {
            aside = QDir(library).entryList({"library-unreadable-*.json"});
            return aside.size() == 1;
        }));
        EXPECT_EQ(read(aside[0]), contents);
        EXPECT_EQ(decodeLibraryIndex(read("library.json")).size(), 1u);
    }
}

// Saved data is only ever added to. A file opened over a different saved state
// of its scan joins the library beside it, once, the same state changes
// nothing, a lost file is written again, and an index that cannot be read
// gives way to the reports beside it, with every mark it still holds, told once.
TEST_F(StoreTest, NothingOpenedOrUnreadableReplacesOrHidesASavedScan) {
    ScanReport later = reportFor("https://later.example/", 60), other = reportFor("https://o/", 30);
    later.id = "L";
    other.id = "O";
    const ScanReport older = later; // exported before a tool call added its exchange
    later.evidence.emplace_back("https://later.example/mcp", "POST");
    const QByteArray marked = R"([{"id":"L","favorite":true,"collection":"Team"},)";
    const QByteArray damaged = marked + R"({"id":"O","favorite":"yes"}])";
    const std::string kept = "https://later.example/*[Team] https://o/ ";
    const QString relisted =
        "Library: The data couldn't be read because entry 0 has no \"domain\". The saved scans "
        "are listed again from the reports in the library folder.";
    const QString unparsed = "Library: The data couldn't be read because it isn't valid JSON (";
    // index written over the library's, files opened, L.json lost first, launched as a smoke
    // test beside the copy holding the library; the library then, whether the saved scan is
    // shown, how the alert starts
    const std::tuple<QByteArray, std::vector<ScanReport>, bool, bool, std::string, bool, QString>
        cases[] = {
            {"", {older}, false, false, "https://later.example/ " + kept, false, ""},
            {"", {older, older}, false, false, "https://later.example/ " + kept, false, ""},
            {"", {later}, false, false, kept, true, ""},
            {"", {later}, true, false, kept, true, ""},
            {damaged, {}, false, false, kept, false, relisted},
            {damaged, {}, false, true, kept, false, relisted},
            {damaged, {later}, false, false, kept, true, ""}, // opening clears the alert
            {damaged + "x", {}, false, false, kept, false, unparsed},
            {marked + R"({"id":"O","fav)", {}, false, false, kept, false, unparsed},
        };
    for (const auto& [index, opened, lost, guest, listed, shownSaved, alert] : cases) {
        QDir(library).removeRecursively();
        {
            const auto first = makeStore();
            first->save(other);
            first->save(later);
            first->toggleFavorite(first->history()[0]);
            first->collect(first->history()[0], "Team");
        }
        if (lost) QFile::remove(QDir(library).filePath("L.json"));
        if (!index.isEmpty()) {
            QFile file(QDir(library).filePath("library.json"));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(index) == index.size());
        }
        const auto store = makeStore(guest ? QStringList{"quorilanth", "--smoke-test"}
                                           : QStringList{"quorilanth"});
        for (const ScanReport& report : opened)
            store->loadFile(writeReportFile(report), true);
        EXPECT_TRUE(test::waitUntil([&] {
            return ids(store->history()) == listed &&
                   (guest ? read("library.json") == index
                          : decodeLibraryIndex(read("library.json")) == store->history());
        })) << ids(store->history());
        const QString said = store->error().value_or("");
        EXPECT_EQ(std::tuple(store->report() && store->report()->id == "L",
                             said.startsWith(alert) && said.isEmpty() == alert.isEmpty(),
                             ReportJSON::read(read("L.json").toStdString()).evidence.size()),
                  std::tuple(shownSaved, true, 1u))
            << said.toStdString();
    }
}

// The library folder is made private by mkdir itself; an existing one is taken
// as it is, and a folder that cannot be made is named in the alert.
TEST_F(StoreTest, TheLibraryFolderIsPrivateFromTheStartOrItsFailureReported) {
    QFile(folder.filePath("file")).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QDir().mkpath(folder.filePath("shared")));
    ::chmod(QFile::encodeName(folder.filePath("shared")).constData(), 0755);
    const mode_t umaskBefore = ::umask(0); // nothing narrows the mode but the store
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

// Opening a library file shows it; opening one from elsewhere also imports it.
// What is not a report fails without hanging and leaves nothing behind.
TEST_F(StoreTest, OpeningAReportShowsSelectsAndImportsOrFails) {
    ScanReport report = reportFor("https://a.example/");
    report.nodes.emplace_back("https://a.example/mcp", NodeKind::mcp, "mcp",
                              "https://a.example/mcp", FindingStatus::valid);
    report.servers.emplace_back("https://a.example/mcp").status = FindingStatus::valid;
    const QString path = writeReportFile(report);
    const auto store = makeStore();
    store->setDiscoveryMode(true);
    store->setSelectedEvidenceID(std::string("old"));
    store->loadFile(path, false);
    EXPECT_TRUE(store->history().empty());
    EXPECT_EQ(store->selectedID(), "https://a.example/mcp");
    EXPECT_EQ(store->input(), "https://a.example/");
    EXPECT_FALSE(store->discoveryMode() || store->selectedEvidenceID());
    EXPECT_TRUE(store->status().startsWith(QStringLiteral("Saved scan \u00B7 ")));
    prompts->openAnswers.push_back(path);
    store->openReport();
    ASSERT_EQ(store->history().size(), 1u);
    EXPECT_FALSE(read(QString::fromStdString(report.id) + ".json").isEmpty());

    ASSERT_EQ(::mkfifo(folder.filePath("fifo").toLocal8Bit().constData(), 0600), 0);
    QDir().mkpath(folder.filePath("directory.json"));
    QByteArray text = QByteArray::fromStdString(ReportJSON::write(reportFor("https://a.example/")));
    const qsizetype at = text.indexOf("\"startedAt\" : ");
    QFile numbers(folder.filePath("numbers.json"));
    ASSERT_TRUE(numbers.open(QIODevice::WriteOnly));
    numbers.write(text.replace(at, text.indexOf('\n', at) - at, "\"startedAt\" : 12345,"));
    numbers.close();
    for (const QString name : {"fifo", "directory.json", "missing.json", "numbers.json"}) {
        const auto other = makeStore();
        other->loadFile(folder.filePath(name), true);
        EXPECT_TRUE(other->error().value_or("").startsWith("Could not open report: "))
            << name.toStdString();
        EXPECT_FALSE(other->report());
    }
    EXPECT_EQ(makeStore()->history().size(), 1u);
}

// A file may name its report like the files the library keeps beside the
// reports. Saved under that name, it would write over the index or a set-aside
// one; it is kept under an id of its own, and opens again with its content.
TEST_F(StoreTest, AReportNamedLikeTheIndexIsKeptUnderAnIdOfItsOwn) {
    const auto store = makeStore();
    store->save(reportFor("https://kept.example/"));
    for (const std::string& id :
         {std::string("library"), std::string("Library"),
          std::string("library-unreadable-20261207-095310"), std::string("LIBRARY-UNREADABLE-1")}) {
        SCOPED_TRACE(id);
        ScanReport report = reportFor("https://" + id + ".example/");
        report.id = id;
        store->loadFile(writeReportFile(report), true);
        EXPECT_FALSE(store->error());
        ASSERT_TRUE(store->report());
        const std::string kept = store->report()->id;
        EXPECT_TRUE(WorkspaceStore::isValidReportID(kept) &&
                    !WorkspaceStore::isReservedReportID(kept));
        EXPECT_EQ(decodeLibraryIndex(read("library.json")), store->history());
        ASSERT_FALSE(store->history().empty());
        EXPECT_EQ(store->history().front().id.toStdString(), kept);

        const auto again = makeStore();
        EXPECT_EQ(again->history(), store->history());
        again->load(again->history().front());
        ASSERT_TRUE(again->report()) << again->error().value_or("").toStdString();
        EXPECT_EQ(again->report()->domain, report.domain);
    }
    ASSERT_EQ(store->history().size(), 5u);
    EXPECT_EQ(store->history().back().domain, "https://kept.example/");
    ScanReport report = reportFor("https://direct.example/");
    report.id = "library";
    store->save(report);
    EXPECT_EQ(store->error(), "Could not save scan: Invalid report identifier.");
    EXPECT_EQ(decodeLibraryIndex(read("library.json")).size(), 5u);

    // An index from before may still list such entries. The index is never
    // read as a report; a report under another spelling of its name is.
    std::vector<SavedScan> listed = store->history();
    for (const char* id : {"library", "Library"})
        listed.push_back({id, "https://old.example/", {}, 1, false, std::nullopt});
    const QByteArray index = encodeLibraryIndex(listed);
    QFile file(QDir(library).filePath("library.json"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(index) == index.size());
    file.close();
    ScanReport spelled = reportFor("https://old.example/");
    spelled.id = "Library";
    ASSERT_TRUE(QFile::copy(writeReportFile(spelled), QDir(library).filePath("Library.json")));
    const auto old = makeStore();
    old->load(old->history()[5]);
    EXPECT_EQ(old->error(), "Could not open report: The file \"library.json\" could not be "
                            "opened: No such file or directory.");
    old->load(old->history()[6]);
    EXPECT_TRUE(old->report() && old->report()->domain == "https://old.example/");
    EXPECT_EQ(read("library.json"), index);
}

#if !defined(__SANITIZE_ADDRESS__) // its allocator ends the process instead
// A file far larger than any report runs out of memory while it is read: that
// is told as a sentence, and the report shown before stays. As the index, it
// is set aside like any unreadable one.
TEST_F(StoreTest, AFileTooLargeToOpenIsToldAsSuchAndLosesNothing) {
    // A fresh process for the limit, not a fork of one whose other threads may hold locks.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    QFile big(folder.filePath("big.json"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    big.write("{\"x\":[");
    const QByteArray zeros = QByteArray("0,").repeated(1 << 20);
    for (int i = 0; i < 12; ++i)
        big.write(zeros);
    big.write("0]}");
    big.close();
    const auto store = makeStore();
    store->loadFile(writeReportFile(reportFor("https://shown.example/")), false);
    const auto withLittleRoom = [&](bool asIndex) {
        // The whole file would take some hundreds of megabytes.
        long pages = 0;
        std::FILE* statm = std::fopen("/proc/self/statm", "r");
        if (!statm || std::fscanf(statm, "%ld", &pages) != 1) std::_Exit(2);
        std::fclose(statm);
        const rlim_t room = rlim_t(pages) * rlim_t(::sysconf(_SC_PAGESIZE)) + (96u << 20);
        const rlimit limit{room, room};
        if (::setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(3);
        if (asIndex) QFile::copy(big.fileName(), QDir(library).filePath("library.json"));
        WorkspaceStore& used = asIndex ? *makeStore().release() : *store;
        if (!asIndex) used.loadFile(big.fileName(), true);
        std::fprintf(stderr, "%s|%s|%zu|", used.error().value_or("").toUtf8().constData(),
                     used.report() ? used.report()->domain.c_str() : "", used.history().size());
        used.save(reportFor("https://next.example/"));
        if (asIndex)
            test::waitUntil(
                [&] { return !QDir(library).entryList({"library-unreadable-*"}).isEmpty(); });
        std::fprintf(stderr, "%d\n", int(QDir(library).entryList({"library-unreadable-*"}).size()));
        std::_Exit(0);
    };
    EXPECT_EXIT(withLittleRoom(false), ::testing::ExitedWithCode(0),
                "Could not open report: The file is too large to open\\.\\|"
                "https://shown\\.example/\\|0\\|0\n");
    EXPECT_EXIT(withLittleRoom(true), ::testing::ExitedWithCode(0),
                "Library: The file is too large to open\\. The saved scans are listed again from "
                "the reports in the library folder\\.\\|\\|0\\|1\n");
}
#endif

// The schema map points into the report it was drawn from, so a share of it
// must stay whole while the store moves on to the next report and to none.
TEST_F(StoreTest, AShareOfTheShownReportOutlivesTheNextOne) {
    const auto store = makeStore();
    EXPECT_FALSE(store->sharedReport());
    store->loadFile(writeReportFile(reportFor("https://a.example/")), false);
    const std::shared_ptr<const ScanReport> first = store->sharedReport();
    ASSERT_TRUE(first);
    EXPECT_EQ(first.get(), &*store->report());
    store->loadFile(writeReportFile(reportFor("https://b.example/")), false);
    store->newScan();
    EXPECT_FALSE(store->report() || store->sharedReport());
    EXPECT_EQ(first->domain, "https://a.example/");
}

// Saved scans go to their files in pieces: a large one comes back whole, and
// one that cannot be written (a number with no JSON form) leaves the file it
// would replace as it was, with no temporary file behind.
TEST_F(StoreTest, ScansThatCannotBeWrittenLeaveTheFileAsItWas) {
    ScanReport report = reportFor("https://a.example/");
    report.evidence.emplace_back("https://a.example/", "GET").responseBody =
        std::string(300'000, 'x');
    const auto store = makeStore();
    store->save(report);
    ASSERT_FALSE(store->error());
    const QByteArray before = read(QString::fromStdString(report.id) + ".json");
    store->load(store->history().front());
    EXPECT_EQ(store->report()->evidence.front().responseBody, report.evidence[0].responseBody);
    report.nodes.front().metadata = JSONValue(std::nan(""));
    store->save(report);
    EXPECT_TRUE(store->error().value_or("").startsWith("Could not save scan: Cannot write JSON"));
    EXPECT_EQ(read(QString::fromStdString(report.id) + ".json"), before);
    EXPECT_EQ(QDir(library).entryList(QDir::Files | QDir::Hidden).size(), 2); // scan, index
}

// Exports go in the three formats by their exact names; a suggested file name
// never carries path pieces, hidden or unreadable characters.
TEST_F(StoreTest, ExportFormatsAndNames) {
    const auto store = makeStore();
    EXPECT_THROW(store->exportReport("md", folder.filePath("x.md")), QuorilanthError);
    store->loadFile(writeReportFile(reportFor("https://a.example:8443/")), false);
    for (const auto& [format, written] : std::initializer_list<std::pair<QString, bool>>{
             {"md", true}, {"json", true}, {"pdf", true}, {"MD", false}, {"txt", false}}) {
        const QString target = folder.filePath("out." + format);
        try {
            store->exportReport(format, target);
            EXPECT_EQ(store->status(), "Exported out." + format);
        } catch (const QuorilanthError& error) {
            EXPECT_EQ(error.message(), "Unsupported export format: " + format.toStdString());
        }
        EXPECT_EQ(QFileInfo::exists(target), written) << format.toStdString();
    }
    prompts->saveAnswers.push_back(std::nullopt);
    store->exportAs("md");
    EXPECT_EQ(prompts->suggestedNames.back(), "a.example-quorilanth.md");
    for (const auto& [domain, name] : std::initializer_list<std::pair<std::string, QString>>{
             {"not a url", "scan-quorilanth.pdf"},
             {"https://a%2F..%2F..%2Fx/", "a_.._.._x-quorilanth.pdf"},
             {"https://%2E%2E/", "__-quorilanth.pdf"},
             {"https://.a.b/", "_a.b-quorilanth.pdf"},
             {"https://a%00b%0Ac%7F/", "a_b_c_-quorilanth.pdf"},
             {"https://x%E2%80%AEfdp.exe/", "x_fdp.exe-quorilanth.pdf"},
             {"https://" + std::string(300, 'h') + "/", QString(240, 'h') + "-quorilanth.pdf"}})
        EXPECT_EQ(WorkspaceStore::defaultExportName(reportFor(domain), "pdf"), name) << domain;
}

// Launch options: every row opens the same library, and a report given once stays in it.
TEST_F(StoreTest, LaunchOptions) {
    ScanReport report = reportFor("https://a.example/");
    report.nodes.emplace_back("https://a.example/llms.txt", NodeKind::content, "llms.txt",
                              "https://a.example/llms.txt", FindingStatus::found);
    const QString path = writeReportFile(report);
    const struct {
        QStringList arguments;
        WorkspaceTab tab;
        std::optional<std::string> selected;
        std::size_t saved;
    } cases[] = {
        {{"q", "--view", "schema"}, WorkspaceTab::schema, std::nullopt, 0},
        {{"q", "--view", "SCHEMA", "--view", "raw"}, WorkspaceTab::schema, std::nullopt, 0},
        {{"q", "--view"}, WorkspaceTab::guide, std::nullopt, 0},
        {{"q", "--report", path, "--select", "llms.txt"},
         WorkspaceTab::guide,
         "https://a.example/llms.txt",
         1},
        {{"q", "--report", path, "--select", "https://a.example/"},
         WorkspaceTab::guide,
         std::nullopt,
         1},
    };
    for (const auto& c : cases) {
        const auto store = makeStore(c.arguments);
        EXPECT_EQ(std::tuple(store->tab(), store->selectedID(), store->history().size()),
                  std::tuple(c.tab, c.selected, c.saved))
            << c.arguments.join(' ').toStdString();
    }
    const auto store = makeStore({"q", "--show-content", "--library", "Favorites"});
    EXPECT_TRUE(store->showContent() && store->showLibrary());
    EXPECT_EQ(store->history().size(), 1u);
    EXPECT_EQ(store->librarySection(), "Favorites");
}

} // namespace
} // namespace quorilanth
