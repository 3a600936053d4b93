#include "UpdateTestSupport.h"
#include "app/update/AppUpdateBanner.h"
#include "app/update/AppUpdatePanel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QVBoxLayout>

namespace quorilanth {
namespace {

using test::release;
using test::waitUntil;
using Outcome = UpdateCheckOutcome;

class AppUpdateViewsTest : public test::UpdateFixture {
public:
    void host() {
        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        layout->addWidget(new AppUpdateBanner(*updater, window.get()));
        layout->addStretch(1);
        AppUpdatePanel::present(*updater, window.get());
        window->resize(900, 700);
        window->show();
    }
    void TearDown() override {
        window.reset();
        UpdateFixture::TearDown();
    }
    AppUpdatePanel* panel() const { return window->findChild<AppUpdatePanel*>(); }
    template <typename T = QWidget> T* find(const char* name) const {
        return window->findChild<T*>(QString::fromLatin1(name));
    }
    // The identified controls a person can see, with "+" on those that take a click.
    std::string seen() const {
        std::string shown;
        for (const char* name :
             {"update-details", "update-close", "update-status", "update-download",
              "update-cancel-download", "update-open-dmg", "update-automatic", "update-check"})
            if (QWidget* control = find(name); control && control->isVisible())
                shown += std::string(name + 7) + (control->isEnabled() ? "+ " : " ");
        return shown;
    }
    QString percentage() const { return find<QLabel>("ql-update-percentage")->text(); }
    void snapshot(QWidget* widget, const QString& name) const {
        widget->grab().save(QStringLiteral(QL_SNAPSHOT_DIR "/update-%1.png").arg(name));
    }
    std::unique_ptr<QWidget> window;
};

TEST_F(AppUpdateViewsTest, EachStateShowsAndEnablesItsControls) {
    const struct {
        const char* name;
        std::function<void(AppUpdateViewsTest&)> reach;
        const char* seen;
    } cases[] = {
        {"checking",
         [](AppUpdateViewsTest& t) {
             t.checked(Outcome::available(release(8)));
             t.channel->fetchGate.set(true);
             t.updater->check(true);
         },
         "details+ close+ status+ download automatic+ check "},
        {"downloading",
         [](AppUpdateViewsTest& t) {
             t.checked(Outcome::available(release(8)));
             t.channel->reported = 0.999;
             t.channel->downloadGate.set(true);
             t.updater->download();
             ASSERT_TRUE(waitUntil([&] { return t.updater->progress() == 0.999; }));
         },
         "details+ close+ status+ cancel-download+ automatic+ check "},
        {"downloaded", [](AppUpdateViewsTest& t) { t.downloaded(release(8)); },
         "details+ close+ status+ open-dmg+ automatic+ check+ "},
        {"current", [](AppUpdateViewsTest& t) { t.checked(Outcome::current()); },
         "close+ status+ automatic+ check+ "},
        {"incompatible",
         [](AppUpdateViewsTest& t) { t.checked(Outcome::incompatible(release(8))); },
         "close+ status+ automatic+ check+ "},
        {"deferred",
         [](AppUpdateViewsTest& t) {
             t.checked(Outcome::available(release(8)));
             t.updater->remindLater();
             t.updater->setShowPanel(true);
         },
         "close+ status+ download+ automatic+ check+ "},
    };
    for (const char* language : {"en-GB", "it-IT"}) {
        test::prefer(language);
        for (const auto& row : cases) {
            SCOPED_TRACE(std::string(language) + " " + row.name);
            settingsName = QStringLiteral("%1-%2.ini").arg(language, row.name);
            make();
            host();
            row.reach(*this);
            waitUntil(
                [&] {
                    return window->findChildren<AppUpdatePanel*>().size() == 1 &&
                           find("update-status")->accessibleName() == updater->status() &&
                           seen() == row.seen &&
                           (!updater->isDownloading() || percentage() == "99%");
                },
                2000);
            EXPECT_EQ(seen(), row.seen);
            if (updater->isDownloading()) { // the integer part, never rounded up
                EXPECT_EQ(percentage(), "99%");
            }
            snapshot(panel(), QStringLiteral("panel-%1-%2").arg(row.name, language));
            channel->fetchGate.set(false);
            channel->downloadGate.set(false);
        }
    }
}

TEST_F(AppUpdateViewsTest, ALongReleaseStaysInsideThePanelThatClosesEveryWay) {
    make();
    host();
    UpdateRelease hostile = release(8);
    hostile.version = std::string(40, '9') + ".0.0";
    hostile.notes["en"] = std::string(3000, 'W') + "\n" + std::string(2000, 'x');
    checked(Outcome::available(hostile));
    auto* banner = window->findChild<AppUpdateBanner*>();
    ASSERT_TRUE(waitUntil([&] { return banner->isVisible(); }));
    snapshot(window.get(), QStringLiteral("hostile-banner"));
    snapshot(panel(), QStringLiteral("hostile-panel"));
    for (QWidget* child : panel()->findChildren<QWidget*>())
        EXPECT_LE(child->mapTo(panel(), QPoint(child->width(), 0)).x(), panel()->width());

    QTest::keyClick(panel(), Qt::Key_Escape);
    EXPECT_FALSE(updater->showPanel());
    find<QAbstractButton>("update-details")->click();
    ASSERT_TRUE(waitUntil([&] { return panel() && panel()->isVisible(); }));
    find<QAbstractButton>("update-close")->click();
    ASSERT_TRUE(waitUntil([&] { return !panel(); }));
    find<QAbstractButton>("ql-update-later")->click();
    EXPECT_TRUE(waitUntil([&] { return !banner->isVisible(); }));
}

} // namespace
} // namespace quorilanth
