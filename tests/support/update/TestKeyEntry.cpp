// An entry point like the application's, but built with the test signing key
// in its bundle, so the update self-test modes can be run as processes. The
// loopback route comes from the environment, which only this test program reads.

#include "core/update/UpdateChannelSelfTest.h"
#include "support/update/UpdateTestKit.h"

#include <cstdlib>
#include <iostream>

int main(int argc, char** argv) {
    using namespace quorilanth;
    const std::vector<std::string> arguments(argv, argv + argc);
    ApplicationBundle bundle;
    bundle.info = {
        {"CFBundleShortVersionString", "0.1.0"},
        {"CFBundleVersion", "5"},
        {"QuorilanthUpdateFeedURL", UpdateChannelConfiguration::feedURL()},
        {"QuorilanthUpdateKeyID", "quorilanth-test"},
        {"QuorilanthUpdatePublicKey", encodeBase64(test::channelKey().publicKey)},
    };
    auto session = UpdateSessionConfiguration::ephemeral();
    const char* authority = std::getenv("QL_TEST_UPDATE_CA");
    const char* port = std::getenv("QL_TEST_UPDATE_PORT");
    if (authority && port)
        session = UpdateSessionTestAccess::loopback(
            authority, static_cast<std::uint16_t>(std::strtoul(port, nullptr, 10)));
    if (auto status = runUpdateSelfTestMode(arguments, bundle, session, std::cout, std::cerr))
        return *status;
    std::cerr << "test entry: no update self-test was asked for\n";
    return 2;
}
