#include "pipeline/DevToolsPipe.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

namespace keelwick {
namespace {

using Failure = DevToolsPipe::Failure;

/// A message larger than this is taken for a broken stream rather than waited for. The
/// largest real message, a 1200 × 1200 PNG snapshot in base64, is a few megabytes.
constexpr qsizetype kLargestMessage = qsizetype{256} * 1024 * 1024;
constexpr qsizetype kReadChunk = 256 * 1024;

Failure failure(Failure::Kind kind, QString message = {}) {
    return Failure{kind, 0, std::move(message)};
}

void makeNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) {
        ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    }
}

/// write() that turns a closed pipe into EPIPE without the SIGPIPE that would end the
/// program: the signal is blocked on this thread only, and one it raised is taken back before
/// the thread's mask is restored. The process-wide disposition is left alone.
ssize_t writeWithoutBrokenPipeSignal(int fd, const char* data, std::size_t size) {
    sigset_t brokenPipe;
    sigset_t previousMask;
    sigemptyset(&brokenPipe);
    sigaddset(&brokenPipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &brokenPipe, &previousMask);
    sigset_t pending;
    sigpending(&pending);
    const bool wasPending = sigismember(&pending, SIGPIPE) == 1;

    const ssize_t written = ::write(fd, data, size);
    const int writeError = errno;
    if (written < 0 && writeError == EPIPE && !wasPending) {
        const timespec noWait{0, 0};
        while (sigtimedwait(&brokenPipe, nullptr, &noWait) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    errno = writeError;
    return written;
}

int pollTimeout(const QDeadlineTimer& deadline) {
    return static_cast<int>(std::clamp<qint64>(deadline.remainingTime(), 0, INT_MAX));
}

}  // namespace

DevToolsPipe::DevToolsPipe(int requestFd, int replyFd) : requestFd_(requestFd), replyFd_(replyFd) {
    makeNonBlocking(requestFd_);
    makeNonBlocking(replyFd_);
}

DevToolsPipe::~DevToolsPipe() {
    ::close(requestFd_);
    ::close(replyFd_);
}

DevToolsPipe::Reply DevToolsPipe::call(const QString& method, const QJsonObject& params,
                                       const QString& sessionId, const QDeadlineTimer& deadline,
                                       const EventHandler& onEvent) {
    const int id = nextId_++;
    QJsonObject command{{QStringLiteral("id"), id},
                        {QStringLiteral("method"), method},
                        {QStringLiteral("params"), params}};
    if (!sessionId.isEmpty()) {
        command.insert(QStringLiteral("sessionId"), sessionId);
    }
    QByteArray message = QJsonDocument(command).toJson(QJsonDocument::Compact);
    message.append('\0');
    if (auto failed = write(message, deadline)) {
        return *failed;
    }

    for (;;) {
        auto next = nextMessage(deadline);
        if (auto* failed = errorOf(next)) {
            return *failed;
        }
        const QJsonObject& received = std::get<QJsonObject>(next);
        const QJsonValue receivedId = received.value(QStringLiteral("id"));
        if (receivedId.isUndefined()) {
            if (onEvent) {
                onEvent(received);
            }
            continue;
        }
        if (receivedId.toInt(-1) != id) {
            continue;  // the late reply of a command whose caller gave up on it
        }
        const QJsonValue error = received.value(QStringLiteral("error"));
        if (error.isObject()) {
            const QJsonObject details = error.toObject();
            return Failure{Failure::Kind::commandFailed,
                           details.value(QStringLiteral("code")).toInteger(),
                           details.value(QStringLiteral("message")).toString()};
        }
        const QJsonValue result = received.value(QStringLiteral("result"));
        if (!result.isObject()) {
            return failure(Failure::Kind::unreadable, QStringLiteral("the reply to ") + method +
                                                          QStringLiteral(" has no result"));
        }
        return result.toObject();
    }
}

std::optional<DevToolsPipe::Failure> DevToolsPipe::waitForEvent(const EventTest& isAwaited,
                                                                const QDeadlineTimer& deadline) {
    for (;;) {
        auto next = nextMessage(deadline);
        if (auto* failed = errorOf(next)) {
            return *failed;
        }
        const QJsonObject& received = std::get<QJsonObject>(next);
        if (!received.contains(QStringLiteral("id")) && isAwaited(received)) {
            return std::nullopt;
        }
    }
}

bool DevToolsPipe::hasHungUp() const {
    pollfd watched{replyFd_, POLLIN, 0};
    return ::poll(&watched, 1, 0) > 0 && (watched.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

std::optional<DevToolsPipe::Failure> DevToolsPipe::write(const QByteArray& message,
                                                         const QDeadlineTimer& deadline) {
    qsizetype sent = 0;
    while (sent < message.size()) {
        const ssize_t written =
            writeWithoutBrokenPipeSignal(requestFd_, message.constData() + sent,
                                         static_cast<std::size_t>(message.size() - sent));
        if (written >= 0) {
            sent += written;
            continue;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (auto failed = waitUntilReady(requestFd_, POLLOUT, deadline)) {
                return failed;
            }
            continue;
        }
        if (errno == EPIPE) {
            return failure(Failure::Kind::closed);
        }
        return failure(Failure::Kind::closed, QString::fromLocal8Bit(std::strerror(errno)));
    }
    return std::nullopt;
}

Outcome<QJsonObject, DevToolsPipe::Failure> DevToolsPipe::nextMessage(
    const QDeadlineTimer& deadline) {
    for (;;) {
        const qsizetype end = received_.indexOf('\0', scanned_);
        if (end >= 0) {
            const QByteArray text = received_.left(end);
            received_.remove(0, end + 1);
            scanned_ = 0;
            QJsonParseError parseError;
            const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
            if (!document.isObject()) {
                return failure(Failure::Kind::unreadable, parseError.errorString());
            }
            return document.object();
        }
        scanned_ = received_.size();
        if (received_.size() > kLargestMessage) {
            return failure(Failure::Kind::unreadable, QStringLiteral("a message has no end"));
        }
        // Past the deadline only what has already arrived is read, so that a browser sending
        // events without end cannot hold the caller.
        if (deadline.hasExpired()) {
            return failure(Failure::Kind::timedOut);
        }

        if (auto failed = waitUntilReady(replyFd_, POLLIN, deadline)) {
            return *failed;
        }
        const qsizetype before = received_.size();
        received_.resize(before + kReadChunk);
        const ssize_t count = ::read(replyFd_, received_.data() + before, kReadChunk);
        const int readError = errno;
        received_.resize(before + std::max<ssize_t>(count, 0));
        if (count == 0) {
            return failure(Failure::Kind::closed);
        }
        if (count < 0 && readError != EINTR && readError != EAGAIN && readError != EWOULDBLOCK) {
            return failure(Failure::Kind::closed, QString::fromLocal8Bit(std::strerror(readError)));
        }
    }
}

std::optional<DevToolsPipe::Failure> DevToolsPipe::waitUntilReady(int fd, short events,
                                                                  const QDeadlineTimer& deadline) {
    for (;;) {
        pollfd watched{fd, events, 0};
        const int ready = ::poll(&watched, 1, pollTimeout(deadline));
        if (ready > 0) {
            // For reading, a hang-up or error is left to read(), which drains what is left
            // and then reports the end; a writer has nobody left to write to.
            if (events == POLLOUT && (watched.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
                return failure(Failure::Kind::closed);
            }
            return std::nullopt;
        }
        if (ready == 0) {
            return failure(Failure::Kind::timedOut);
        }
        if (errno != EINTR) {
            return failure(Failure::Kind::closed, QString::fromLocal8Bit(std::strerror(errno)));
        }
        if (deadline.hasExpired()) {
            return failure(Failure::Kind::timedOut);
        }
    }
}

}  // namespace keelwick
