#pragma once

#include <QString>

#include <variant>

namespace keelwick {

/// The errors of the rescue pipeline. Each case carries the exact sentence the user reads.
class RescueError {
  public:
    /// The cases in order; each one's position is its error code.
    enum class Kind {
        archiveUnreadable,
        archiveTimedOut,
        cannotCreateOutputFolder,
        destinationAlreadyExists,
        invalidArchive,
        missingDataPlist,
        unsupportedPropertyList,
        previewImageRenderingFailed
    };

    /// `toolMessage`: what the unpacking tool said.
    static RescueError archiveUnreadable(QString toolMessage);
    static RescueError archiveTimedOut(qint64 seconds);
    static RescueError cannotCreateOutputFolder(QString path);
    static RescueError destinationAlreadyExists(QString path);
    static RescueError invalidArchive();
    static RescueError missingDataPlist();
    static RescueError unsupportedPropertyList();
    static RescueError previewImageRenderingFailed();

    Kind kind() const { return kind_; }
    /// The tool message or path of the cases that carry text; empty otherwise.
    QString text() const;
    /// The time-out of `archiveTimedOut`; 0 otherwise.
    qint64 seconds() const;

    /// The localized description the user reads.
    QString errorDescription() const;
    /// "Vellix.RescueError": the type name qualified by the original module name.
    static QString domain();
    int code() const { return static_cast<int>(kind_); }

    /// Shortens a tool's output to one line of at most 140 user-perceived characters:
    /// empty lines and lines wholly in square brackets are dropped, the rest trimmed of
    /// spaces and tabs and joined with single spaces; a longer text is cut and ends in "…".
    /// Used by `archiveUnreadable`; public so that it can be tested on its own.
    static QString summarize(const QString& text);

    friend bool operator==(const RescueError&, const RescueError&) = default;

  private:
    using Payload = std::variant<std::monostate, QString, qint64>;
    RescueError(Kind kind, Payload payload) : kind_(kind), payload_(std::move(payload)) {}

    Kind kind_;
    Payload payload_;
};

}  // namespace keelwick
