#include "app/window/TerminationSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace quorilanth {
namespace {

constexpr int handled[] = {SIGTERM, SIGINT, SIGHUP};

// Written by the handler, read by the event loop.
int wakeUp[2] = {-1, -1};
std::atomic_flag signalled;

void setAction(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signal, &action, nullptr);
}

extern "C" void onSignal(int signal) {
    if (signalled.test_and_set()) {
        // Asked again while quitting: the default action, now.
        setAction(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeUp[0], &byte, 1);
    errno = saved;
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, wakeUp) != 0) return;
    notifier_ = new QSocketNotifier(wakeUp[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::quit);
    for (const int signal : handled) {
        // One ignored by whoever started us (nohup, a background job) stays so.
        struct sigaction inherited {};
        if (::sigaction(signal, nullptr, &inherited) != 0 || inherited.sa_handler == SIG_IGN)
            continue;
        setAction(signal, onSignal);
        installed_.push_back(signal);
    }
}

TerminationSignals::~TerminationSignals() {
    if (!notifier_) return;
    for (const int signal : installed_)
        setAction(signal, SIG_DFL);
    delete notifier_;
    ::close(wakeUp[0]);
    ::close(wakeUp[1]);
    wakeUp[0] = wakeUp[1] = -1;
}

void TerminationSignals::quit() {
    char byte = 0;
    while (::read(wakeUp[1], &byte, 1) > 0) {
    }
    notifier_->setEnabled(false);
    QCoreApplication::quit();
    // Quit asks the windows to close first, and one may decline; the signal
    // still ends the event loop, and with it the process, by the same way out.
    QCoreApplication::exit(0);
}

} // namespace quorilanth
