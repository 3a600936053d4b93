#include "core/net/ChildProcess.h"

#include "core/base/QuorilanthError.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace quorilanth {
namespace {

int pidfdOpen(pid_t pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

// Descriptors that the child is handed are moved above every target number
// first, so that mapping one never overwrites the source of another.
constexpr int firstSpareFd = 64;

struct SpawnActions {
    posix_spawn_file_actions_t actions;
    SpawnActions() { posix_spawn_file_actions_init(&actions); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
};

struct SpawnAttributes {
    posix_spawnattr_t attributes;
    SpawnAttributes() { posix_spawnattr_init(&attributes); }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attributes); }
};

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (std::string& text : texts)
        result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

} // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        reset();
        fd_ = other.release();
    }
    return *this;
}

int UniqueFd::release() noexcept {
    return std::exchange(fd_, -1);
}

void UniqueFd::reset() noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

ChildProcess ChildProcess::launch(const std::string& executable,
                                  const std::vector<std::string>& arguments,
                                  const std::vector<std::string>& environment,
                                  const std::vector<Descriptor>& descriptors) {
    std::vector<UniqueFd> spares;
    SpawnActions actions;
    int highest = 2;
    for (const Descriptor& descriptor : descriptors) {
        int spare = ::fcntl(descriptor.parentFd, F_DUPFD_CLOEXEC, firstSpareFd);
        if (spare < 0)
            throw std::system_error(errno, std::generic_category(),
                                    "Could not start " + executable);
        spares.emplace_back(spare);
        posix_spawn_file_actions_adddup2(&actions.actions, spare, descriptor.childFd);
        highest = std::max(highest, descriptor.childFd);
    }
    // Whatever else is open here, with close-on-exec or not, stays here. The
    // standard streams that were not handed over read and write /dev/null, so
    // that a file the child opens never lands on one of them.
    for (int fd = 0; fd <= highest; ++fd) {
        bool mapped =
            std::any_of(descriptors.begin(), descriptors.end(),
                        [fd](const Descriptor& descriptor) { return descriptor.childFd == fd; });
        if (mapped) continue;
        if (fd <= 2)
            posix_spawn_file_actions_addopen(&actions.actions, fd, "/dev/null",
                                             fd == 0 ? O_RDONLY : O_WRONLY, 0);
        else
            posix_spawn_file_actions_addclose(&actions.actions, fd);
    }
    posix_spawn_file_actions_addclosefrom_np(&actions.actions, highest + 1);

    // The child starts with default signal handling and no blocked signals,
    // whatever the test runner or the application did to ours.
    SpawnAttributes attributes;
    sigset_t all;
    sigset_t none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes.attributes, &all);
    posix_spawnattr_setsigmask(&attributes.attributes, &none);
    posix_spawnattr_setflags(&attributes.attributes,
                             POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<std::string> argv{executable};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<std::string> envp = environment;
    std::vector<char*> argvPointers = pointers(argv);
    std::vector<char*> envPointers = pointers(envp);

    pid_t pid = -1;
    int rc = ::posix_spawn(&pid, executable.c_str(), &actions.actions, &attributes.attributes,
                           argvPointers.data(), envPointers.data());
    if (rc != 0)
        throw std::system_error(rc, std::generic_category(), "Could not start " + executable);
    UniqueFd pidfd(pidfdOpen(pid));
    if (!pidfd) {
        // Without a pidfd the child cannot be watched; end it rather than leak it.
        int error = errno;
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        throw std::system_error(error, std::generic_category(), "Could not watch " + executable);
    }
    return ChildProcess(pid, std::move(pidfd));
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)), pidfd_(std::move(other.pidfd_)), status_(other.status_) {
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        if (pidfd_ && !status_) {
            terminate();
            wait();
        }
        pid_ = std::exchange(other.pid_, -1);
        pidfd_ = std::move(other.pidfd_);
        status_ = other.status_;
    }
    return *this;
}

ChildProcess::~ChildProcess() {
    if (pidfd_ && !status_) {
        terminate();
        wait();
    }
}

bool ChildProcess::running() const {
    if (!pidfd_ || status_) return false;
    siginfo_t info{};
    // WNOWAIT: only look; the owner reaps in wait().
    return ::waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(pidfd_.get()), &info,
                    WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == 0;
}

void ChildProcess::terminate() const noexcept {
    if (pidfd_) ::syscall(SYS_pidfd_send_signal, pidfd_.get(), SIGKILL, nullptr, 0);
}

int ChildProcess::wait() {
    if (status_) return *status_;
    siginfo_t info{};
    while (::waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(pidfd_.get()), &info,
                    WEXITED) != 0) {
        if (errno != EINTR) {
            // Someone else reaped it; nothing is left to wait for.
            status_ = -1;
            return *status_;
        }
    }
    status_ = info.si_status;
    return *status_;
}

ChildProcess& ProcessControl::install(const std::function<ChildProcess()>& launch) {
    std::lock_guard guard(lock_);
    if (cancelled_) throw Cancelled();
    process_.emplace(launch());
    return *process_;
}

void ProcessControl::cancel() noexcept {
    std::lock_guard guard(lock_);
    cancelled_ = true;
    if (process_) process_->terminate();
}

bool ProcessControl::cancelled() const {
    std::lock_guard guard(lock_);
    return cancelled_;
}

} // namespace quorilanth
