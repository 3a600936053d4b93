#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace quorilanth {

// An owned file descriptor, closed when it goes.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const noexcept { return fd_; }
    explicit operator bool() const noexcept { return fd_ >= 0; }
    int release() noexcept;
    void reset() noexcept;

private:
    int fd_ = -1;
};

// One child process, started with posix_spawn and watched through a pidfd.
// The child gets exactly the descriptors it is handed (standard input is
// /dev/null unless mapped) and exactly the environment given; nothing else of
// this process leaks into it. The owner always reaps it: the destructor kills
// and waits for a child that is still there, so no zombie survives.
class ChildProcess {
public:
    struct Descriptor {
        int parentFd; // open in this process; left open here
        int childFd;  // the number it gets in the child
    };

    // Throws std::system_error when the program cannot be started.
    static ChildProcess launch(const std::string& executable,
                               const std::vector<std::string>& arguments,
                               const std::vector<std::string>& environment,
                               const std::vector<Descriptor>& descriptors);

    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    pid_t pid() const noexcept { return pid_; }
    // Readable once the child has ended.
    int pidfd() const noexcept { return pidfd_.get(); }
    bool running() const;
    // SIGKILL: the child has nothing of its own to save. Safe from any
    // thread and after the child has ended.
    void terminate() const noexcept;
    // Blocks until the child has ended and reaps it. The exit code of a normal
    // exit, or the number of the signal that ended it.
    int wait();
    std::optional<int> exitStatus() const noexcept { return status_; }

private:
    ChildProcess(pid_t pid, UniqueFd pidfd) noexcept : pid_(pid), pidfd_(std::move(pidfd)) {}

    pid_t pid_ = -1;
    UniqueFd pidfd_;
    std::optional<int> status_;
};

// Ties one child to the cancellation of the operation that runs it. Both the
// launch and the cancellation happen under one lock, so a cancellation that
// comes first prevents the launch and one that comes later ends the child.
class ProcessControl {
public:
    // Runs launch() and keeps the child, unless cancel() came first: then
    // nothing is launched and Cancelled is thrown. Launch failures pass through.
    ChildProcess& install(const std::function<ChildProcess()>& launch);
    // May be called from any thread, any number of times.
    void cancel() noexcept;
    bool cancelled() const;

private:
    mutable std::mutex lock_;
    std::optional<ChildProcess> process_;
    bool cancelled_ = false;
};

} // namespace quorilanth
