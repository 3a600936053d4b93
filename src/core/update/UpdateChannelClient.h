#pragma once

#include "core/update/UpdateChannelConfiguration.h"
#include "core/update/UpdateManifestVerifier.h"
#include "core/update/UpdateRelease.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <stop_token>
#include <string>

namespace quorilanth {

// How the client reaches the update host. A production build only ever uses
// ephemeral(): the system's certificate authorities and the host the URL
// names. Redirecting it to a loopback server with a private authority is for
// tests alone, through UpdateSessionTestAccess, which only test code defines.
class UpdateSessionConfiguration {
public:
    static UpdateSessionConfiguration ephemeral() { return {}; }

private:
    UpdateSessionConfiguration() = default;
    friend class UpdateChannelClient;
    friend struct UpdateSessionTestAccess;

    std::string trustedAuthorityFile_; // empty: the system's store
    std::string connectTo_;            // "HOST:PORT:ADDRESS:PORT", empty: none
};

// A failure of the connection itself (no route, timeout, TLS refused), with
// the transport's own description.
class UpdateTransportError : public std::runtime_error {
public:
    UpdateTransportError(int code, const std::string& description)
        : std::runtime_error(description), code_(code) {}
    int code() const { return code_; }

private:
    int code_;
};

// The channel's only network component. check() fetches and verifies the
// signed manifest; download() fetches exactly the release the latest check
// found available, hashing it as it arrives, and only moves it to its final
// name once size and digest match. Channel failures are UpdateChannelError;
// transport failures UpdateTransportError; file failures std::system_error or
// std::filesystem::filesystem_error; a stop request Cancelled.
class UpdateChannelClient {
public:
    using Progress = std::function<void(double)>;
    static constexpr std::size_t chunkBytes = 262144;

    UpdateChannelClient(UpdateChannelConfiguration configuration,
                        UpdateSessionConfiguration session);

    UpdateCheckOutcome check(std::int64_t installedBuild, std::stop_token stop = {});

    // Returns the absolute path of the verified disk image in the folder.
    // The progress callback runs on the calling thread.
    std::filesystem::path download(const UpdateRelease& release,
                                   const std::filesystem::path& folder, const Progress& progress,
                                   std::stop_token stop = {});

    static void verifyDownloadedFile(const std::filesystem::path& file,
                                     const UpdateRelease& release, std::stop_token stop = {});

    std::optional<UpdateRelease> verifiedRelease() const;

private:
    UpdateManifestVerifier verifier_;
    UpdateSessionConfiguration session_;
    mutable std::mutex mutex_;
    std::optional<UpdateRelease> verifiedRelease_;
};

namespace updatefiles {
// Moves a file within one folder without ever replacing or following whatever
// stands at the new name; throws std::system_error (EEXIST when it is taken).
void renameWithoutReplacing(int folder, const std::string& from, const std::string& to);
} // namespace updatefiles

} // namespace quorilanth
