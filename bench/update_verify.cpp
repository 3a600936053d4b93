// Verifying and downloading the largest disk image the channel accepts
// (512 MiB), next to `sha256sum` on the same file in the same run, and the
// two SHA-256 implementations at hand on the same bytes.

#include "core/update/Sha256.h"
#include "core/update/UpdateChannelClient.h"
#include "support/LoopbackHTTPServer.h"
#include "support/update/UpdateTestKit.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sodium.h>

namespace fs = std::filesystem;
using namespace quorilanth;

namespace {

constexpr std::size_t kSize = 536870912;
constexpr std::size_t kChunk = 1 << 20;

double seconds(const std::function<void()>& work) {
    auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double mbPerSecond(double secs) {
    return static_cast<double>(kSize) / 1e6 / secs;
}

void forEachChunk(const fs::path& file,
                  const std::function<void(std::span<const std::uint8_t>)>& use) {
    std::ifstream in(file, std::ios::binary);
    std::vector<char> buffer(UpdateChannelClient::chunkBytes);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0)
        use({reinterpret_cast<const std::uint8_t*>(buffer.data()),
             static_cast<std::size_t>(in.gcount())});
}

} // namespace

int main() {
    std::string pattern = (fs::temp_directory_path() / "ql-update-bench-XXXXXX").string();
    const fs::path folder = ::mkdtemp(pattern.data());
    const fs::path image = folder / "image.dmg";
    {
        std::ofstream out(image, std::ios::binary);
        std::string block(kChunk, '\0');
        for (std::size_t offset = 0; offset < kSize; offset += kChunk) {
            for (std::size_t i = 0; i < kChunk; i += 64)
                block[i] = static_cast<char>((offset + i) / 64 % 251);
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
    }
    std::string digest;
    forEachChunk(image, [](auto) {}); // warm the page cache for every reader alike
    double openssl = seconds([&] {
        Sha256 hash;
        forEachChunk(image, [&](auto bytes) { hash.update(bytes); });
        digest = hash.finishHex();
    });
    double sodium = seconds([&] {
        if (sodium_init() < 0) return;
        crypto_hash_sha256_state state;
        crypto_hash_sha256_init(&state);
        forEachChunk(image, [&](auto bytes) {
            crypto_hash_sha256_update(&state, bytes.data(), bytes.size());
        });
        unsigned char out[32];
        crypto_hash_sha256_final(&state, out);
    });
    UpdateRelease release;
    release.size = static_cast<std::int64_t>(kSize);
    release.sha256 = digest;
    double verify = seconds([&] { UpdateChannelClient::verifyDownloadedFile(image, release); });
    double sha256sum = seconds([&] {
        std::string command = "sha256sum '" + image.string() + "' >/dev/null";
        if (std::system(command.c_str()) != 0) std::fprintf(stderr, "sha256sum failed\n");
    });

    // The same file from a loopback HTTPS server, through check and download.
    test::TestCertificateAuthority authority(UpdateChannelConfiguration::updateHost());
    test::LoopbackHTTPServer server({"127.0.0.1"}, &authority);
    test::ManifestBuilder manifest("", UpdateManifestVerifier::currentArchitecture());
    manifest.release["sha256"] = test::jsonString(digest);
    manifest.release["size"] = std::to_string(kSize);
    server.on("/quorilanth/api/v1/update.json",
              test::respond::text(200, manifest.build(), {{"Content-Type", "application/json"}}));
    server.on("/quorilanth/downloads/Quorilanth-0.1.1-macOS-" +
                  std::string(UpdateManifestVerifier::currentArchitecture()) + ".dmg",
              [&](const test::ReceivedRequest&, test::ResponseWriter& connection) {
                  if (!connection.send("HTTP/1.1 200 OK\r\nContent-Length: " +
                                       std::to_string(kSize) + "\r\n\r\n"))
                      return;
                  std::ifstream in(image, std::ios::binary);
                  std::vector<char> buffer(kChunk);
                  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())))
                      if (!connection.send({buffer.data(), buffer.size()})) return;
              });
    UpdateChannelClient client(
        test::channelKey().configuration(),
        UpdateSessionTestAccess::loopback(authority.caFile(), server.port()));
    auto outcome = client.check(7);
    double download =
        seconds([&] { client.download(*outcome.release(), folder / "Downloads", {}); });

    std::printf("update_verify: %zu MiB image\n", kSize >> 20);
    std::printf("  verifyDownloadedFile (OpenSSL SHA-256) %8.0f MB/s  %6.3f s\n",
                mbPerSecond(verify), verify);
    std::printf("  sha256sum on the same file             %8.0f MB/s  %6.3f s  (verify is %.2fx "
                "its speed)\n",
                mbPerSecond(sha256sum), sha256sum, sha256sum / verify);
    std::printf("  hash only, OpenSSL                     %8.0f MB/s\n", mbPerSecond(openssl));
    std::printf("  hash only, libsodium                   %8.0f MB/s  (OpenSSL is %.2fx)\n",
                mbPerSecond(sodium), sodium / openssl);
    std::printf(
        "  download over loopback HTTPS           %8.0f MB/s  %6.3f s (TLS, hash, write, fsync)\n",
        mbPerSecond(download), download);
    fs::remove_all(folder);
    return 0;
}
