#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace keelwick::ZipTool {

/// The result of one child-process run.
struct Outcome {
    /// The process ran to its end and its exit status is one of the caller's success
    /// statuses. A process ended by a signal never succeeds.
    bool succeeded = false;
    /// The process was stopped because the time-out passed.
    bool timedOut = false;
    /// What the process wrote to its error stream, trimmed and cut to 400 characters, or the
    /// launch failure's description; empty when nothing was written.
    QString message;
    /// The tool path and all arguments joined with single spaces (no quoting), for the log.
    QString command;
    /// The termination status: the exit code, or the signal number for a process ended by
    /// a signal it did not get from us; absent when the process was not launched or we
    /// stopped it.
    std::optional<qint32> exitStatus;
    /// Wall-clock seconds from just before launch to the end of the wait; 0 when launch
    /// failed.
    double duration = 0;

    /// "exit 0, 0.25s"; "exit none (killed), TIMED OUT, 60.02s".
    QString diagnosticSummary() const;
};

/// The result of `countOutput`: the run, and how many bytes its standard output carried.
struct OutputCount {
    Outcome outcome;
    qint64 bytes = 0;
    /// The output went past the limit and the process was killed there.
    bool exceededLimit = false;
};

/// The system's zip tool.
QString unzipTool();

/// Runs `tool` with `arguments` and waits for it, for at most `timeout` seconds.
///
/// Standard input is the null device; standard output goes to `standardOutput` (created
/// empty first) or the null device; the error stream goes to a temporary file
/// "Keelwick-unzip-<UUID>.log" in the run folder that is read into `message` and always
/// removed. After the
/// time-out the child is asked to terminate, killed 2 seconds later if need be, and
/// waited for 2 more seconds. Blocks the calling thread, which may be any thread (no
/// event loop is needed); runs share nothing, so several may proceed at once. Never
/// fails: every failure is reported in the outcome.
Outcome run(const QString& tool, const QStringList& arguments,
            const std::optional<QString>& standardOutput, double timeout,
            const QSet<qint32>& successStatuses);

/// Runs `tool` like `run`, but counts the bytes of its standard output instead of keeping
/// them, and kills it as soon as they exceed `limit`. Used to learn how much an archive
/// really unpacks to without writing anything.
OutputCount countOutput(const QString& tool, const QStringList& arguments, qint64 limit,
                        double timeout, const QSet<qint32>& successStatuses);

/// Unpacks `archive` into the folder `destination` with
/// `unzip -qq -o -P "" ARCHIVE -d DEST [-x ENTRY…]`, success statuses {0, 1} (unzip's 1 is
/// "completed with warnings"). The empty password keeps unzip from ever asking for one.
/// `excludedEntries` are entry names as unzip lists them, left out of the unpacking.
Outcome extract(const QString& archive, const QString& destination, double timeout,
                const QStringList& excludedEntries = {}, const QString& tool = unzipTool());

/// The form of an archive path that unzip opens literally.
///
/// unzip reads its archive argument as a wildcard pattern whenever it holds "[", "*" or
/// "?" (a backslash escapes the next character): "drawing[1].idraw" would open
/// "drawing1.idraw" if there is one, and "a*.idraw" every matching drawing. Such a path
/// gets every special character of its last component bracketed ("[[]", "[*]", "[?]",
/// "[\\]"), which matches exactly the one file; other paths are returned unchanged.
QString archiveArgument(const QString& archivePath);

/// The pattern that makes unzip select exactly the entry `listedName` (as `-Z` listings
/// show it) after "-x" or as an entry to extract.
///
/// unzip reads entry arguments as wildcard patterns and a leading "-" as an option, so
/// "\\", "[", "]", "*", "?" and a leading "-" are escaped with a backslash. Listings show a
/// control character as "^" and a letter and an undecodable byte as U+FFFD: both become
/// "?", which matches the one character they stand for (and, rarely, another name that
/// differs only there).
QString entryPattern(const QString& listedName);

/// Trims white space and line breaks at both ends and keeps the first 400 characters
/// (user-perceived characters, so no character is cut in half): a tool's message as the
/// outcome keeps it.
QString toolMessage(const QString& text);

}  // namespace keelwick::ZipTool
