#pragma once

#include "core/update/Sha256.h"
#include "support/update/UpdateTestKit.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace quorilanth::test {

inline std::string sha256Of(std::string_view bytes) {
    Sha256 hash;
    hash.update(bytesOf(bytes));
    return hash.finishHex();
}

// A signed manifest announcing release 0.1.1, build 8, whose disk image is these bytes.
inline ManifestBuilder manifestFor(std::string_view image, std::string_view architecture) {
    ManifestBuilder builder;
    builder.forFile("0.1.1", 8, sha256Of(image), static_cast<std::int64_t>(image.size()),
                    architecture);
    return builder;
}

// The manifest brought to an exact length by an envelope member that is ignored.
inline std::string paddedTo(std::string manifest, std::size_t length) {
    manifest.insert(manifest.size() - 1,
                    R"(,"pad":")" + std::string(length - manifest.size() - 9, 'x') + "\"");
    return manifest;
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "ql-update-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("no temporary folder");
        path_ = pattern;
    }
    ~TempFolder() { std::filesystem::remove_all(path_); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace quorilanth::test
