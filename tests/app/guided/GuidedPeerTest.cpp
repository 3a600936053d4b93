// A guided call as a reader makes it: the published everything server
// scanned over loopback (Developer Mode, real curl), its echo tool chosen on
// the guide page, the form filled in and sent, and the answer shown.

#include "GuideTestSupport.h"
#include "app/guided/GuidedKit.h"
#include "support/McpPeer.h"

#include <QPushButton>

namespace quorilanth {
namespace {

TEST(GuidedPeer, EchoFromTheFormToTheAnswerShown) {
    testing::McpPeer peer(testing::McpPeer::Kind::Everything);
    QTemporaryDir folder(test::folderTemplate());
    WorkspaceStore::Dependencies dependencies;
    dependencies.makeEngine = [](NetworkPolicy policy) {
        policy.developerMode = true;
        return std::make_shared<DiscoveryEngine>(std::move(policy));
    };
    WorkspaceStore store(folder.filePath("library"), {"quorilanth"}, std::move(dependencies));
    WorkspaceView view(store);
    view.resize(1640, 1020);
    view.show();
    store.setInput(QStringLiteral("http://127.0.0.1:%1").arg(peer.port()));
    store.start();
    ASSERT_TRUE(test::waitUntil([&] { return !store.busy(); }, 90000));
    test::settle();
    ASSERT_FALSE(store.error()) << store.error()->toStdString();

    auto* page = view.findChild<GuidedBrowserView*>("ql-guided-page");
    ASSERT_TRUE(page);
    const int echo = page->cards()->indexOf("guided-action-echo");
    ASSERT_GE(echo, 0);
    page->choose(echo);
    test::settle();
    auto* message = view.findChild<QLineEdit*>("guided-field-message");
    ASSERT_TRUE(message);
    auto* send = view.findChild<QPushButton*>("guided-send");
    EXPECT_FALSE(send->isEnabled()) << "the message is required";
    QTest::keyClicks(message, "ciao <b>&");
    ASSERT_TRUE(send->isEnabled());
    send->click();
    ASSERT_TRUE(test::waitUntil(
        [&] {
            test::settle();
            auto* answer = view.findChild<QWidget*>("ql-guided-answer");
            if (!answer || store.toolBusy()) return false;
            for (TextBlock* text : answer->findChildren<TextBlock*>())
                if (text->text() == "Echo: ciao <b>&") return true;
            return false;
        },
        60000));
    EXPECT_EQ(store.status(), "Tool response recorded");
    EXPECT_EQ(view.findChild<QLabel*>("ql-guided-answer-title")->text(), "Last answer received");
    EXPECT_EQ(message->text(), "ciao <b>&") << "the form keeps its values after sending";
    view.grab().save(QStringLiteral(QL_SNAPSHOT_DIR "/guide-peer-answer.png"));
}

} // namespace
} // namespace quorilanth
