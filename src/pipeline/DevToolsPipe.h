#pragma once

#include "pipeline/PipelineError.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <variant>

namespace keelwick {

/// The Chrome DevTools protocol spoken over a pair of pipes, as Chromium does when started
/// with "--remote-debugging-pipe": we write commands into one pipe and read replies and
/// events from the other, each message one JSON object ended by a NUL byte.
///
/// Every operation takes a deadline and waits with poll(), so a browser that hangs can never
/// block the caller past it.
///
/// Thread-safe: several threads may wait on the one pipe at once, each for the reply to its
/// own command and the events of its own session (several pages of one browser rendering
/// at once). Whoever waits and finds nobody reading reads for everyone: each message goes to
/// the caller waiting for its id, or into the queue of its session, and the others are
/// woken. A caller's time-out is its own; a closed pipe or a message that cannot be read
/// ends the pipe for every caller.
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
    /// target attached as that session, and waits for its reply. Replies to commands whose
    /// callers gave up are dropped; the events of `sessionId` are handed to `onEvent`.
    Reply call(const QString& method, const QJsonObject& params, const QString& sessionId,
               const QDeadlineTimer& deadline, const EventHandler& onEvent = {});

    /// Takes the events of `sessionId` ("" for the browser's own) until `isAwaited` accepts
    /// one; nothing when it did.
    std::optional<Failure> waitForEvent(const QString& sessionId, const EventTest& isAwaited,
                                        const QDeadlineTimer& deadline);

    /// Keeps the events of `sessionId` that arrive while nobody of that session waits, for
    /// its next `call` or `waitForEvent`, until `forget`. Events of other sessions are
    /// dropped unless somebody of theirs waits.
    void listen(const QString& sessionId);
    void forget(const QString& sessionId);

    /// True once the browser has closed its end of the reply pipe, which it does only by
    /// ending. Does not wait.
    bool hasHungUp() const;

  private:
    /// What one waiting caller takes out of the mailboxes, under `mutex_`: true when it has
    /// what it waited for.
    using Take = std::function<bool()>;

    std::optional<Failure> write(const QByteArray& message, const QDeadlineTimer& deadline);
    /// Waits until `take` succeeds, reading for everyone while nobody else does.
    std::optional<Failure> await(const Take& take, const QDeadlineTimer& deadline);
    /// Reads until at least one whole message has arrived (by the reader only, unlocked).
    Outcome<QList<QJsonObject>, Failure> readMessages(const QDeadlineTimer& deadline);
    /// Puts `message` where its caller will find it (under `mutex_`).
    void deliver(QJsonObject message);
    /// Takes the first event of `sessionId` (under `mutex_`).
    std::optional<QJsonObject> takeEvent(const QString& sessionId);
    /// One caller of `sessionId` waits no more (under `mutex_`).
    void stopWaiting(const QString& sessionId);
    /// Waits until `fd` is ready for `events`; a failure when the deadline passes first.
    static std::optional<Failure> waitUntilReady(int fd, short events,
                                                 const QDeadlineTimer& deadline);

    int requestFd_;
    int replyFd_;

    std::mutex writeMutex_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    int nextId_ = 1;
    bool isReading_ = false;
    /// Why the pipe is of no more use (closed, or a message could not be read).
    std::optional<Failure> broken_;
    /// The ids of the commands whose callers wait, with their replies once arrived.
    QHash<int, std::optional<QJsonObject>> replies_;
    /// The sessions listened to or waited for ("" the browser's own), with how many of their
    /// callers wait and their events not yet taken.
    struct Listener {
        int waiting = 0;
        bool isListening = false;
        QList<QJsonObject> events;
    };
    QHash<QString, Listener> listeners_;

    // The reader's alone (`isReading_`).
    QByteArray received_;
    /// How much of `received_` is known to hold no NUL byte, so that a long message arriving
    /// in many pieces is scanned once.
    qsizetype scanned_ = 0;
};

}  // namespace keelwick
