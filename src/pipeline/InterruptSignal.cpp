#include "pipeline/InterruptSignal.h"

#include "pipeline/ChildProcessGroups.h"
#include "pipeline/RunFolder.h"

#include <atomic>
#include <cerrno>
#include <csignal>

#include <pthread.h>

#include <sys/socket.h>
#include <unistd.h>

namespace keelwick {
namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// A first signal is passed on by one write into this socket pair: [0] is read by the main
// thread, [1] written by the handler. Set up before `isListening` is set.
int signalSockets[2] = {-1, -1};
std::atomic<bool> isListening{false};
std::atomic<int> signalCount{0};

/// Ends the program as `signal` does by default, leaving nothing behind: the children's
/// process groups (the browser, the zip tool) are killed first, so that none writes on into
/// the run folder.
void endAtOnce(int signal) {
    ChildProcessGroups::killAllFromSignalHandler();
    RunFolder::removeFromSignalHandler();
    std::signal(signal, SIG_DFL);
    std::raise(signal);  // delivered, and fatal, once the handler returns
}

extern "C" void onEndingSignal(int signal) {
    const int savedErrno = errno;
    if (isListening.load() && signalCount.fetch_add(1) == 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(signalSockets[1], &byte, 1);
    } else {
        endAtOnce(signal);
    }
    errno = savedErrno;
}

}  // namespace

void cleanUpWhenEndedBySignal() {
    struct sigaction action {};
    action.sa_handler = onEndingSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : kEndingSignals) {
        sigaddset(&action.sa_mask, signal);  // one handler at a time, on any thread
    }
    action.sa_flags = SA_RESTART;
    for (const int signal : kEndingSignals) {
        ::sigaction(signal, &action, nullptr);
    }
    // A parent may have started us with the signals blocked; the threads started later
    // inherit this thread's mask, so one unblocking here covers the whole program.
    ::pthread_sigmask(SIG_UNBLOCK, &action.sa_mask, nullptr);
}

InterruptSignal::InterruptSignal() {
    cleanUpWhenEndedBySignal();
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSockets) != 0) {
        return;  // without the pair the signals keep ending the program at once
    }
    notifier_ = std::make_unique<QSocketNotifier>(signalSockets[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(signalSockets[0], &byte, 1);
        emit interrupted();
    });
    isListening = true;
}

bool InterruptSignal::wasInterrupted() const {
    return signalCount.load() > 0;
}

InterruptSignal::~InterruptSignal() {
    isListening = false;
    notifier_.reset();
    for (int& socket : signalSockets) {
        if (socket >= 0) {
            ::close(socket);
            socket = -1;
        }
    }
    signalCount = 0;
}

}  // namespace keelwick
