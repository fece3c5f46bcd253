#pragma once

#include "pipeline/PipelineError.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QJsonObject>
#include <QString>

#include <functional>
#include <optional>
#include <variant>

namespace keelwick {

/// The Chrome DevTools protocol spoken over a pair of pipes, as Chromium does when started
/// with "--remote-debugging-pipe": we write commands into one pipe and read replies and
/// events from the other, each message one JSON object ended by a NUL byte.
///
/// Every operation takes a deadline and waits with poll(), so a browser that hangs can never
/// block the caller past it. Not thread-safe: its owner uses it from one thread at a time.
class DevToolsPipe {
  public:
    /// Why a command has no result.
    struct Failure {
        enum class Kind {
            /// The deadline passed first.
            timedOut,
            /// The browser closed its end (it has most likely ended).
            closed,
            /// A message that is not a JSON object, or a reply without a result.
            unreadable,
            /// The browser answered with an error; `code` and `message` are its own.
            commandFailed,
        };
        Kind kind;
        qint64 code = 0;
        QString message;
    };

    /// A command's result object, or why there is none.
    using Reply = Outcome<QJsonObject, Failure>;
    /// Sees every event (a message without an id) read while waiting; an event handler of
    /// `waitForEvent` returns true for the event it waits for.
    using EventHandler = std::function<void(const QJsonObject& event)>;
    using EventTest = std::function<bool(const QJsonObject& event)>;

    /// Takes ownership of both descriptors: `requestFd` is the write end of the pipe the
    /// browser reads, `replyFd` the read end of the pipe it writes.
    DevToolsPipe(int requestFd, int replyFd);
    ~DevToolsPipe();
    DevToolsPipe(const DevToolsPipe&) = delete;
    DevToolsPipe& operator=(const DevToolsPipe&) = delete;

    /// Sends one command, to the browser itself when `sessionId` is empty, otherwise to the
    /// target attached as that session, and waits for its reply. Replies to earlier commands
    /// that arrive late are dropped; events are handed to `onEvent`.
    Reply call(const QString& method, const QJsonObject& params, const QString& sessionId,
               const QDeadlineTimer& deadline, const EventHandler& onEvent = {});

    /// Reads messages until `isAwaited` accepts an event; nothing when it did.
    std::optional<Failure> waitForEvent(const EventTest& isAwaited, const QDeadlineTimer& deadline);

    /// True once the browser has closed its end of the reply pipe, which it does only by
    /// ending. Does not wait.
    bool hasHungUp() const;

  private:
    std::optional<Failure> write(const QByteArray& message, const QDeadlineTimer& deadline);
    Outcome<QJsonObject, Failure> nextMessage(const QDeadlineTimer& deadline);
    /// Waits until `fd` is ready for `events`; a failure when the deadline passes first.
    static std::optional<Failure> waitUntilReady(int fd, short events,
                                                 const QDeadlineTimer& deadline);

    int requestFd_;
    int replyFd_;
    int nextId_ = 1;
    QByteArray received_;
    /// How much of `received_` is known to hold no NUL byte, so that a long message arriving
    /// in many pieces is scanned once.
    qsizetype scanned_ = 0;
};

}  // namespace keelwick
