#include "cli/InterruptSignal.h"

#include <csignal>

#include <pthread.h>

#include <sys/socket.h>
#include <unistd.h>

namespace keelwick::cli {
namespace {

// The handler's only tool is one write into this socket pair: [0] is read by the main
// thread, [1] written by the handler.
int signalSockets[2] = {-1, -1};
volatile std::sig_atomic_t interruptCount = 0;

extern "C" void onInterrupt(int) {
    interruptCount = interruptCount + 1;
    if (interruptCount > 1) {
        std::signal(SIGINT, SIG_DFL);
        std::raise(SIGINT);
        return;
    }
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalSockets[1], &byte, 1);
}

}  // namespace

InterruptSignal::InterruptSignal() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSockets) != 0) {
        return;  // without the pair Ctrl-C keeps its default meaning
    }
    notifier_ = std::make_unique<QSocketNotifier>(signalSockets[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(signalSockets[0], &byte, 1);
        emit interrupted();
    });
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    // A parent may have started us with the signal blocked; the threads started later
    // inherit this thread's mask, so one unblocking here covers the whole program.
    sigset_t interrupt;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    ::pthread_sigmask(SIG_UNBLOCK, &interrupt, nullptr);
}

bool InterruptSignal::wasInterrupted() const {
    return interruptCount > 0;
}

InterruptSignal::~InterruptSignal() {
    std::signal(SIGINT, SIG_DFL);
    notifier_.reset();
    for (int& socket : signalSockets) {
        if (socket >= 0) {
            ::close(socket);
            socket = -1;
        }
    }
    interruptCount = 0;
}

}  // namespace keelwick::cli
