#include "core/update/UpdateChannelClient.h"

#include "core/base/AsciiText.h"
#include "core/base/QuorilanthError.h"
#include "core/update/Sha256.h"
#include "core/update/UpdateChannelError.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <curl/curl.h>
#include <exception>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <uuid/uuid.h>
#include <vector>

namespace quorilanth {
namespace {

using Error = UpdateChannelError;

constexpr long kConnectSeconds = 15;
constexpr long kResourceSeconds = 600;

[[noreturn]] void throwErrno(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

std::string newUUID() {
    uuid_t id;
    uuid_generate_random(id);
    char text[37];
    uuid_unparse_upper(id, text);
    return text;
}

void initialiseCurl() {
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    if (!ready) throw UpdateTransportError(CURLE_FAILED_INIT, "The HTTP library could not start.");
}

// The media type of a Content-Type value, without parameters, lower-cased.
std::string mediaType(std::string_view value) {
    value = value.substr(0, value.find(';'));
    auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    while (!value.empty() && isBlank(value.front()))
        value.remove_prefix(1);
    while (!value.empty() && isBlank(value.back()))
        value.remove_suffix(1);
    return asciiLowercase(value);
}

// One GET over HTTPS. The callbacks may throw; the exception ends the
// transfer and is rethrown from run().
struct Transfer {
    std::stop_token stop;
    std::function<void(long status, const std::string& mediaType, curl_off_t announced,
                       const std::string& url)>
        onHeaders;
    std::function<void(std::span<const std::uint8_t>)> onBody;

    std::exception_ptr failure;
    std::string contentType;
    bool headersDone = false;
    CURL* curl = nullptr;

    void run(const std::string& url, const char* accept, long idleSeconds,
             const std::string& trustedAuthority, const std::string& connectTo);

    static std::size_t header(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t body(char* data, std::size_t size, std::size_t count, void* self);
    static int progress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

    template <typename F> bool guard(F&& step) {
        try {
            step();
            return true;
        } catch (...) {
            failure = std::current_exception();
            return false;
        }
    }
};

std::size_t Transfer::header(char* data, std::size_t size, std::size_t count, void* self) {
    auto& transfer = *static_cast<Transfer*>(self);
    std::string_view line(data, size * count);
    if (line.starts_with("HTTP/")) {
        transfer.contentType.clear();
        return line.size();
    }
    if (line == "\r\n" || line == "\n") {
        long status = 0;
        curl_easy_getinfo(transfer.curl, CURLINFO_RESPONSE_CODE, &status);
        if (status >= 100 && status < 200) return line.size(); // an interim answer
        curl_off_t announced = -1;
        curl_easy_getinfo(transfer.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
        char* effective = nullptr;
        curl_easy_getinfo(transfer.curl, CURLINFO_EFFECTIVE_URL, &effective);
        transfer.headersDone = true;
        bool ok = transfer.guard([&] {
            transfer.onHeaders(status, mediaType(transfer.contentType), announced,
                               effective ? effective : "");
        });
        return ok ? line.size() : 0;
    }
    constexpr std::string_view name = "content-type:";
    if (line.size() > name.size()) {
        if (equalsIgnoringASCIICase(line.substr(0, name.size()), name)) {
            auto value = line.substr(name.size());
            while (!value.empty() && (value.back() == '\r' || value.back() == '\n'))
                value.remove_suffix(1);
            transfer.contentType = value;
        }
    }
    return line.size();
}

std::size_t Transfer::body(char* data, std::size_t size, std::size_t count, void* self) {
    auto& transfer = *static_cast<Transfer*>(self);
    std::size_t length = size * count;
    bool ok = transfer.guard([&] {
        if (transfer.stop.stop_requested()) throw Cancelled();
        transfer.onBody({reinterpret_cast<const std::uint8_t*>(data), length});
    });
    return ok ? length : CURL_WRITEFUNC_ERROR;
}

int Transfer::progress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Transfer*>(self)->stop.stop_requested() ? 1 : 0;
}

void Transfer::run(const std::string& url, const char* accept, long idleSeconds,
                   const std::string& trustedAuthority, const std::string& connectTo) {
    initialiseCurl();
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> handle(curl_easy_init(),
                                                               &curl_easy_cleanup);
    if (!handle) throw UpdateTransportError(CURLE_OUT_OF_MEMORY, "Out of memory.");
    curl = handle.get();
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(nullptr,
                                                                        &curl_slist_free_all);
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> route(nullptr,
                                                                      &curl_slist_free_all);
    // The accept header is all the server is told: libcurl keeps no cache, so
    // every request reaches the server without asking for it.
    headers.reset(curl_slist_append(headers.release(), accept));
    char errorText[CURL_ERROR_SIZE] = {};

    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    // The bytes are hashed exactly as served: no content decoding.
    curl_easy_setopt(curl, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectSeconds);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, kResourceSeconds);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, idleSeconds);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &Transfer::header);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Transfer::body);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Transfer::progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    // A proxy's CONNECT answer is not the server's response; keep it out of the header callback.
    curl_easy_setopt(curl, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    if (!trustedAuthority.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, trustedAuthority.c_str());
    if (!connectTo.empty()) {
        route.reset(curl_slist_append(nullptr, connectTo.c_str()));
        curl_easy_setopt(curl, CURLOPT_CONNECT_TO, route.get());
        curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    }

    CURLcode result = curl_easy_perform(curl);
    curl = nullptr;
    if (failure) std::rethrow_exception(failure);
    if (stop.stop_requested()) throw Cancelled();
    if (result != CURLE_OK)
        throw UpdateTransportError(result, errorText[0] ? errorText : curl_easy_strerror(result));
    if (!headersDone) throw Error(Error::Case::unavailable);
}

// Closes the partial file and removes it on every exit but a successful move.
class PartialFile {
public:
    PartialFile(int folder, std::string name, int fd)
        : folder_(folder), name_(std::move(name)), fd_(fd) {}
    ~PartialFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!moved_) ::unlinkat(folder_, name_.c_str(), 0);
    }
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    void write(std::span<const std::uint8_t> bytes) {
        while (!bytes.empty()) {
            ssize_t written = ::write(fd_, bytes.data(), bytes.size());
            if (written < 0) {
                if (errno == EINTR) continue;
                throwErrno("Writing the download failed");
            }
            bytes = bytes.subspan(static_cast<std::size_t>(written));
        }
    }
    void syncAndClose() {
        if (::fsync(fd_) != 0) throwErrno("Flushing the download failed");
        int fd = std::exchange(fd_, -1);
        if (::close(fd) != 0) throwErrno("Closing the download failed");
    }
    const std::string& name() const { return name_; }
    void markMoved() { moved_ = true; }

private:
    int folder_;
    std::string name_;
    int fd_;
    bool moved_ = false;
};

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

bool nameIsTaken(int folder, const std::string& name) {
    struct stat info {};
    // lstat semantics: a symbolic link, even a dangling one, occupies the name.
    return ::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT;
}

} // namespace

void updatefiles::renameWithoutReplacing(int folder, const std::string& from,
                                         const std::string& to) {
    if (::renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0) return;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        throwErrno("Moving the download into place failed");
    // A file system without an atomic no-replace rename: a hard link cannot
    // replace an existing name either.
    if (::linkat(folder, from.c_str(), folder, to.c_str(), 0) != 0)
        throwErrno("Moving the download into place failed");
    ::unlinkat(folder, from.c_str(), 0);
}

UpdateChannelClient::UpdateChannelClient(UpdateChannelConfiguration configuration,
                                         UpdateSessionConfiguration session)
    : verifier_(std::move(configuration)), session_(std::move(session)) {}

std::optional<UpdateRelease> UpdateChannelClient::verifiedRelease() const {
    std::lock_guard lock(mutex_);
    return verifiedRelease_;
}

UpdateCheckOutcome UpdateChannelClient::check(std::int64_t installedBuild, std::stop_token stop) {
    if (installedBuild < 1) throw Error(Error::Case::unconfigured);
    const std::string& feed = UpdateChannelConfiguration::feedURL();
    std::string body;
    bool notPublished = false;
    Transfer transfer;
    transfer.stop = stop;
    transfer.onHeaders = [&](long status, const std::string& type, curl_off_t announced,
                             const std::string& url) {
        if (url != feed) throw Error(Error::Case::unavailable);
        if (status == 204) {
            notPublished = true;
            return;
        }
        if (status != 200 || type != "application/json") throw Error(Error::Case::unavailable);
        if (announced > static_cast<curl_off_t>(UpdateManifestVerifier::maximumBytes))
            throw Error(Error::Case::tooLarge);
    };
    transfer.onBody = [&](std::span<const std::uint8_t> bytes) {
        if (notPublished) return; // a 204 has no body to speak of
        if (body.size() + bytes.size() > UpdateManifestVerifier::maximumBytes)
            throw Error(Error::Case::tooLarge);
        body.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    };
    transfer.run(feed, "Accept: application/json", 60, session_.trustedAuthorityFile_,
                 session_.connectTo_);

    UpdateCheckOutcome outcome =
        notPublished ? UpdateCheckOutcome::notPublished()
                     : verifier_.verify(body, installedBuild, runningSystemVersion(),
                                        UpdateManifestVerifier::currentArchitecture());
    std::lock_guard lock(mutex_);
    if (outcome.kind() == UpdateCheckOutcome::Kind::available)
        verifiedRelease_ = outcome.release();
    else
        verifiedRelease_.reset();
    return outcome;
}

std::filesystem::path UpdateChannelClient::download(const UpdateRelease& release,
                                                    const std::filesystem::path& folderPath,
                                                    const Progress& progress,
                                                    std::stop_token stop) {
    {
        std::lock_guard lock(mutex_);
        if (!verifiedRelease_ || !(*verifiedRelease_ == release))
            throw Error(Error::Case::unverifiedDownload);
    }
    if (!UpdateChannelConfiguration::allowsReleaseURL(release.downloadURL))
        throw Error(Error::Case::unverifiedDownload);
    // The URL rule leaves one plain file name after the last "/".
    const std::string publishedName =
        release.downloadURL.substr(release.downloadURL.rfind('/') + 1);

    const std::filesystem::path absoluteFolder = std::filesystem::absolute(folderPath);
    std::filesystem::create_directories(absoluteFolder);
    FileDescriptor folder(::open(absoluteFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0) throwErrno("Opening the download folder failed");

    std::string partialName = ".Quorilanth-" + newUUID() + ".partial";
    int fd = ::openat(folder.get(), partialName.c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) throwErrno("The download file could not be written");
    PartialFile partial(folder.get(), partialName, fd);
    // The mode must not depend on the process's umask.
    if (::fchmod(fd, 0600) != 0) throwErrno("The download file could not be written");

    const auto expected = static_cast<std::uint64_t>(release.size);
    std::vector<std::uint8_t> buffer;
    buffer.reserve(chunkBytes);
    std::uint64_t received = 0;
    Sha256 hash;
    auto flush = [&] {
        hash.update(buffer);
        partial.write(buffer);
        buffer.clear();
    };

    Transfer transfer;
    transfer.stop = stop;
    transfer.onHeaders = [&](long status, const std::string&, curl_off_t announced,
                             const std::string& url) {
        if (status != 200 || url != release.downloadURL) throw Error(Error::Case::unavailable);
        if (announced >= 0 && static_cast<std::uint64_t>(announced) != expected)
            throw Error(Error::Case::checksumMismatch);
    };
    transfer.onBody = [&](std::span<const std::uint8_t> bytes) {
        if (bytes.size() > expected - received) throw Error(Error::Case::checksumMismatch);
        received += bytes.size();
        while (!bytes.empty()) {
            std::size_t take = std::min(bytes.size(), chunkBytes - buffer.size());
            buffer.insert(buffer.end(), bytes.begin(), bytes.begin() + static_cast<long>(take));
            bytes = bytes.subspan(take);
            if (buffer.size() == chunkBytes) {
                flush();
                // Progress counts what has been hashed and written.
                std::uint64_t done = received - bytes.size();
                if (progress)
                    progress(
                        std::min(static_cast<double>(done) / static_cast<double>(expected), 0.99));
            }
        }
    };
    transfer.run(release.downloadURL, "Accept: application/x-apple-diskimage", 30,
                 session_.trustedAuthorityFile_, session_.connectTo_);
    if (!buffer.empty()) flush();
    if (received != expected || hash.finishHex() != release.sha256)
        throw Error(Error::Case::checksumMismatch);
    partial.syncAndClose();

    std::string finalName = publishedName;
    if (nameIsTaken(folder.get(), finalName))
        finalName = publishedName.substr(0, publishedName.size() - 4) + "-" +
                    newUUID().substr(0, 8) + ".dmg";
    updatefiles::renameWithoutReplacing(folder.get(), partial.name(), finalName);
    partial.markMoved();
    if (progress) progress(1.0);
    return absoluteFolder / finalName;
}

void UpdateChannelClient::verifyDownloadedFile(const std::filesystem::path& file,
                                               const UpdateRelease& release, std::stop_token stop) {
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) throwErrno("Opening the downloaded file failed");
    Sha256 hash;
    std::vector<std::uint8_t> buffer(chunkBytes);
    std::uint64_t total = 0;
    const auto expected = static_cast<std::uint64_t>(std::max<std::int64_t>(release.size, 0));
    for (;;) {
        ssize_t got = ::read(fd.get(), buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            throwErrno("Reading the downloaded file failed");
        }
        if (got == 0) break;
        if (stop.stop_requested()) throw Cancelled();
        total += static_cast<std::uint64_t>(got);
        if (total > expected) throw Error(Error::Case::checksumMismatch);
        hash.update({buffer.data(), static_cast<std::size_t>(got)});
    }
    if (total != expected || hash.finishHex() != release.sha256)
        throw Error(Error::Case::checksumMismatch);
}

} // namespace quorilanth
