// The update self-test modes with the test signing key in the bundle, offline
// and against the loopback update server.

#include "core/update/UpdateChannelSelfTest.h"
#include "core/update/UpdateManifestVerifier.h"
#include "support/LoopbackHTTPServer.h"
#include "support/update/UpdateTestKit.h"

#include <gtest/gtest.h>
#include <sstream>

namespace quorilanth {
namespace {

// Exit status, standard output and standard error.
using Outcome = std::tuple<int, std::string, std::string>;

Outcome run(std::vector<std::string> arguments, std::uint16_t port = 0,
            const std::string& authorityFile = "") {
    ApplicationBundle bundle;
    bundle.info = {{"CFBundleVersion", "5"},
                   {"QuorilanthUpdateFeedURL", UpdateChannelConfiguration::feedURL()},
                   {"QuorilanthUpdateKeyID", "quorilanth-test"},
                   {"QuorilanthUpdatePublicKey", encodeBase64(test::channelKey().publicKey)}};
    std::ostringstream out, err;
    const auto status = runUpdateSelfTestMode(
        arguments, bundle, UpdateSessionTestAccess::loopback(authorityFile, port), out, err);
    return {status.value_or(-1), out.str(), err.str()};
}

TEST(UpdateCommandLine, OfflineSelfTestWithATestKey) {
    const Outcome passed{
        0, "PASS: signed update verification, tampering rejection and version comparison.\n", ""};
    EXPECT_EQ(run({"--selftest-update"}), passed);
    // Offline wins; no network is touched.
    EXPECT_EQ(run({"--selftest-update-live", "--selftest-update"}), passed);
}

TEST(UpdateCommandLine, LiveSelfTestOutcomes) {
    test::UpdateHostAuthority authority;
    test::LoopbackHTTPServer server({"127.0.0.1"}, &authority);
    test::TempFolder folder;
    const std::string architecture(UpdateManifestVerifier::currentArchitecture());
    const std::string name = "Quorilanth-0.1.1-macOS-" + architecture + ".dmg";
    const std::string image(300000, 'q'), downloads = (folder.path / "new" / "Downloads").string();
    const auto feed = [&](std::string_view architecture) {
        return test::respond::text(200, test::ManifestBuilder(image, architecture).build(),
                                   {{"Content-Type", "application/json"}});
    };
    const std::string dash = "\xE2\x80\x94";
    const std::string available =
        "PASS: AVAILABLE " + dash + " verified 0.1.1, build 8, installed build ";
    const std::string other = architecture == "arm64" ? "x86_64" : "arm64";
    const struct {
        test::Handler feed;
        std::vector<std::string> arguments;
        Outcome expected;
        std::string image = "";
    } cases[] = {
        {feed(architecture), {"--installed-build", "7"}, {0, available + "7.\n", ""}},
        {feed(architecture), {"--installed-build"}, {0, available + "5.\n", ""}}, // the bundle's
        {feed(architecture),
         {"--installed-build", "8", "--installed-build", "1"},
         {0, "PASS: CURRENT " + dash + " signed live channel matches installed build 8.\n", ""}},
        {test::respond::raw("HTTP/1.1 204 No Content\r\n\r\n"),
         {},
         {0, "PASS: NOT PUBLISHED " + dash + " channel responds HTTP 204.\n", ""}},
        {feed(other), {}, {1, "", "FAIL: invalidRelease\n"}},
        {feed(architecture),
         {"--download-directory", downloads},
         {0,
          available + "5.\nPASS: DOWNLOAD " + dash + " SHA-256 and size verified: " + downloads +
              "/" + name + "\n",
          ""},
         image},
        // The AVAILABLE line stands, then the failure, and no partial file is left.
        {feed(architecture),
         {"--download-directory", downloads + "/corrupt"},
         {1, available + "5.\n", "FAIL: checksumMismatch\n"},
         std::string(image).replace(100, 1, "x")},
    };
    for (const auto& c : cases) {
        server.on("/quorilanth/api/v1/update.json", c.feed);
        server.on("/quorilanth/downloads/" + name, test::respond::text(200, c.image));
        auto arguments = c.arguments;
        arguments.insert(arguments.begin(), "--selftest-update-live");
        EXPECT_EQ(run(arguments, server.port(), authority.caFile()), c.expected);
    }
    EXPECT_EQ(test::readFile(downloads + "/" + name), image);
    EXPECT_TRUE(std::filesystem::is_empty(downloads + "/corrupt"));
}

} // namespace
} // namespace quorilanth
