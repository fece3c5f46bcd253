#include "pipeline/DevToolsPipe.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstring>
#include <utility>

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
/// Events kept for a session at most; beyond that the oldest go. A page's load brings a
/// dozen.
constexpr qsizetype kMostQueuedEvents = 1024;

/// Runs `action` when the scope ends.
template <typename Action>
class Finally {
  public:
    explicit Finally(Action action) : action_(std::move(action)) {}
    ~Finally() { action_(); }
    Finally(const Finally&) = delete;
    Finally& operator=(const Finally&) = delete;

  private:
    Action action_;
};

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
    int id = 0;
    {
        const std::lock_guard lock(mutex_);
        if (broken_) {
            return *broken_;
        }
        id = nextId_++;
        replies_.insert(id, std::nullopt);  // before the command leaves: a reply may be quick
        if (onEvent) {
            ++listeners_[sessionId].waiting;
        }
    }
    const Finally done([&] {
        const std::lock_guard lock(mutex_);
        replies_.remove(id);
        if (onEvent) {
            stopWaiting(sessionId);
        }
    });

    QJsonObject command{{QStringLiteral("id"), id},
                        {QStringLiteral("method"), method},
                        {QStringLiteral("params"), params}};
    if (!sessionId.isEmpty()) {
        command.insert(QStringLiteral("sessionId"), sessionId);
    }
    QByteArray message = QJsonDocument(command).toJson(QJsonDocument::Compact);
    message.append('\0');
    {
        const std::lock_guard writing(writeMutex_);
        if (auto failed = write(message, deadline)) {
            return *failed;
        }
    }

    QList<QJsonObject> events;
    std::optional<QJsonObject> received;
    const std::optional<Failure> failed = await(
        [&] {
            if (onEvent) {
                while (std::optional<QJsonObject> event = takeEvent(sessionId)) {
                    events.append(std::move(*event));
                }
            }
            received = std::exchange(replies_[id], std::nullopt);
            return received.has_value();
        },
        deadline);
    for (const QJsonObject& event : events) {
        onEvent(event);
    }
    if (failed) {
        return *failed;
    }
    const QJsonValue error = received->value(QStringLiteral("error"));
    if (error.isObject()) {
        const QJsonObject details = error.toObject();
        return Failure{Failure::Kind::commandFailed,
                       details.value(QStringLiteral("code")).toInteger(),
                       details.value(QStringLiteral("message")).toString()};
    }
    const QJsonValue result = received->value(QStringLiteral("result"));
    if (!result.isObject()) {
        return failure(Failure::Kind::unreadable,
                       QStringLiteral("the reply to ") + method + QStringLiteral(" has no result"));
    }
    return result.toObject();
}

std::optional<DevToolsPipe::Failure> DevToolsPipe::waitForEvent(const QString& sessionId,
                                                                const EventTest& isAwaited,
                                                                const QDeadlineTimer& deadline) {
    {
        const std::lock_guard lock(mutex_);
        ++listeners_[sessionId].waiting;
    }
    const Finally done([&] {
        const std::lock_guard lock(mutex_);
        stopWaiting(sessionId);
    });
    return await(
        [&] {
            while (const std::optional<QJsonObject> event = takeEvent(sessionId)) {
                if (isAwaited(*event)) {
                    return true;
                }
            }
            return false;
        },
        deadline);
}

void DevToolsPipe::listen(const QString& sessionId) {
    const std::lock_guard lock(mutex_);
    listeners_[sessionId].isListening = true;
}

void DevToolsPipe::forget(const QString& sessionId) {
    const std::lock_guard lock(mutex_);
    const auto listener = listeners_.find(sessionId);
    if (listener != listeners_.end()) {
        listener->isListening = false;
        if (listener->waiting == 0) {
            listeners_.erase(listener);
        }
    }
}

void DevToolsPipe::stopWaiting(const QString& sessionId) {
    const auto listener = listeners_.find(sessionId);
    if (listener != listeners_.end() && --listener->waiting == 0 && !listener->isListening) {
        listeners_.erase(listener);
    }
}

std::optional<QJsonObject> DevToolsPipe::takeEvent(const QString& sessionId) {
    const auto listener = listeners_.find(sessionId);
    if (listener == listeners_.end() || listener->events.isEmpty()) {
        return std::nullopt;
    }
    return listener->events.takeFirst();
}

void DevToolsPipe::deliver(QJsonObject message) {
    const QJsonValue id = message.value(QStringLiteral("id"));
    if (!id.isUndefined()) {
        // A reply nobody waits for any more is dropped.
        const auto waiting = replies_.find(id.toInt(-1));
        if (waiting != replies_.end()) {
            *waiting = std::move(message);
        }
        return;
    }
    const auto listener = listeners_.find(message.value(QStringLiteral("sessionId")).toString());
    if (listener == listeners_.end()) {
        return;
    }
    if (listener->events.size() >= kMostQueuedEvents) {
        listener->events.removeFirst();
    }
    listener->events.append(std::move(message));
}

std::optional<DevToolsPipe::Failure> DevToolsPipe::await(const Take& take,
                                                         const QDeadlineTimer& deadline) {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (take()) {
            return std::nullopt;
        }
        if (broken_) {
            return broken_;
        }
        // Past the deadline only what has already arrived is taken, so that a browser sending
        // events without end cannot hold the caller.
        if (deadline.hasExpired()) {
            return failure(Failure::Kind::timedOut);
        }
        if (isReading_) {
            arrived_.wait_until(lock, deadline.deadline<std::chrono::steady_clock>());
            continue;
        }
        isReading_ = true;
        lock.unlock();
        Outcome<QList<QJsonObject>, Failure> read = readMessages(deadline);
        lock.lock();
        isReading_ = false;
        if (const Failure* failed = errorOf(read)) {
            if (failed->kind != Failure::Kind::timedOut) {
                broken_ = *failed;
            }
        } else {
            for (QJsonObject& message : std::get<QList<QJsonObject>>(read)) {
                deliver(std::move(message));
            }
        }
        // Somebody else may now have what they wait for, or must take over the reading.
        arrived_.notify_all();
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

Outcome<QList<QJsonObject>, DevToolsPipe::Failure> DevToolsPipe::readMessages(
    const QDeadlineTimer& deadline) {
    QList<QJsonObject> messages;
    for (;;) {
        for (qsizetype end = received_.indexOf('\0', scanned_); end >= 0;
             end = received_.indexOf('\0')) {
            const QByteArray text = received_.left(end);
            received_.remove(0, end + 1);
            scanned_ = 0;
            QJsonParseError parseError;
            const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
            if (!document.isObject()) {
                return failure(Failure::Kind::unreadable, parseError.errorString());
            }
            messages.append(document.object());
        }
        scanned_ = received_.size();
        if (!messages.isEmpty()) {
            return messages;
        }
        if (received_.size() > kLargestMessage) {
            return failure(Failure::Kind::unreadable, QStringLiteral("a message has no end"));
        }
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
