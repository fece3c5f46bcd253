#include "pipeline/ZipTool.h"

#include "pipeline/ChildProcessGroups.h"
#include "pipeline/RunFolder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <climits>

#include <unistd.h>

namespace keelwick::ZipTool {
namespace {

constexpr int kKeptMessageLength = 400;
// How long a terminated child may take to end, and how long we wait after killing it.
constexpr int kGraceMilliseconds = 2000;
// Starting a child takes milliseconds; this only bounds a system in deep trouble.
constexpr int kLaunchMilliseconds = 30000;
// The error text read after leading blank space: plenty for 400 characters, and a tool
// that floods its error stream cannot make us read gigabytes.
constexpr qint64 kErrorTextReadLimit = 64 * 1024;

bool createEmptyFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate);
}

// The temporary file that receives the child's error stream; removed when the run ends,
// whatever happened (a removal error is ignored).
struct ErrorStream {
    QString path = RunFolder::newPath(QStringLiteral("Keelwick-unzip-"), QStringLiteral(".log"));
    bool isOpen = !path.isEmpty() && createEmptyFile(path);

    ErrorStream() = default;
    ErrorStream(const ErrorStream&) = delete;
    ErrorStream& operator=(const ErrorStream&) = delete;
    ~ErrorStream() {
        if (isOpen) {
            QFile::remove(path);
        }
    }
};

bool isAsciiBlank(char byte) {
    return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r' || byte == '\v' ||
           byte == '\f';
}

QString readErrorText(const ErrorStream& errors) {
    if (!errors.isOpen) {
        return {};
    }
    QFile file(errors.path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QByteArray text;
    while (text.isEmpty()) {
        const QByteArray chunk = file.read(kErrorTextReadLimit);
        if (chunk.isEmpty()) {
            return {};
        }
        const auto firstInk = std::find_if_not(chunk.begin(), chunk.end(), isAsciiBlank);
        text = chunk.sliced(firstInk - chunk.begin());
    }
    if (text.size() < kErrorTextReadLimit) {
        text += file.read(kErrorTextReadLimit - text.size());
    }
    return toolMessage(QString::fromUtf8(text));
}

QString commandText(const QString& tool, const QStringList& arguments) {
    return (QStringList{tool} + arguments).join(u' ');
}

double secondsSince(const QElapsedTimer& clock) {
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

int millisecondsLeft(const QElapsedTimer& clock, double timeout) {
    const double left = timeout * 1000.0 - static_cast<double>(clock.elapsed());
    return static_cast<int>(std::clamp(left, 0.0, static_cast<double>(INT_MAX)));
}

bool hasEnded(QProcess& child) {
    return child.state() == QProcess::NotRunning;
}

// Standard input from the null device, the error stream into its file; standard output is
// left to the caller.
void prepare(QProcess& child, const QString& tool, const QStringList& arguments,
             const ErrorStream& errors) {
    child.setProgram(tool);
    child.setArguments(arguments);
    child.setStandardInputFile(QProcess::nullDevice());
    child.setStandardErrorFile(errors.isOpen ? errors.path : QProcess::nullDevice());
    // A process group of its own: Ctrl-C at the terminal asks our program to stop after the
    // current drawing, and must not kill the tool that is reading that drawing.
    child.setChildProcessModifier([] { ::setpgid(0, 0); });
}

bool launch(QProcess& child, QElapsedTimer& clock, Outcome& outcome) {
    clock.start();
    child.start();
    if (child.waitForStarted(kLaunchMilliseconds)) {
        return true;
    }
    outcome.message = child.errorString();
    outcome.duration = 0;
    return false;
}

// The running child's process group, for a program that must end at once to kill.
class ListedGroup {
  public:
    explicit ListedGroup(const QProcess& child) : leader_(static_cast<pid_t>(child.processId())) {
        ChildProcessGroups::add(leader_);
    }
    ~ListedGroup() { ChildProcessGroups::remove(leader_); }
    ListedGroup(const ListedGroup&) = delete;
    ListedGroup& operator=(const ListedGroup&) = delete;

  private:
    pid_t leader_;
};

// Asks the child to end, then kills it; the outcome of the last wait does not matter.
void stop(QProcess& child) {
    child.terminate();
    if (!child.waitForFinished(kGraceMilliseconds) && !hasEnded(child)) {
        child.kill();
        child.waitForFinished(kGraceMilliseconds);
    }
}

void recordTimeOut(const QElapsedTimer& clock, Outcome& outcome) {
    outcome.succeeded = false;
    outcome.timedOut = true;
    outcome.message.clear();
    outcome.exitStatus.reset();
    outcome.duration = secondsSince(clock);
}

void recordEnd(QProcess& child, const ErrorStream& errors, const QSet<qint32>& successStatuses,
               const QElapsedTimer& clock, Outcome& outcome) {
    outcome.duration = secondsSince(clock);
    // For a child ended by a signal Qt reports the signal number as its code, as the
    // platform's status does; such a child never succeeds, whatever the number.
    const qint32 status = child.exitCode();
    outcome.exitStatus = status;
    outcome.succeeded =
        child.exitStatus() == QProcess::NormalExit && successStatuses.contains(status);
    outcome.timedOut = false;
    outcome.message = readErrorText(errors);
}

// Keeps the first `count` user-perceived characters of `text`.
QString firstCharacters(const QString& text, int count) {
    QTextBoundaryFinder boundaries(QTextBoundaryFinder::Grapheme, text);
    for (int seen = 0; seen < count; ++seen) {
        if (boundaries.toNextBoundary() < 0) {
            return text;
        }
    }
    return text.left(boundaries.position());
}

// unzip's own test for a wildcard argument: "[", "*" or "?" not escaped by a backslash.
bool unzipReadsAsPattern(const QString& argument) {
    for (qsizetype index = 0; index < argument.size(); ++index) {
        const QChar character = argument[index];
        if (character == u'\\' && index + 1 < argument.size()) {
            ++index;
        } else if (character == u'[' || character == u'*' || character == u'?') {
            return true;
        }
    }
    return false;
}

// How a listing shows a control character: "^" and one of "@A-Z[\]^_?".
bool isControlCharacterLetter(QChar character) {
    return (character >= u'@' && character <= u'_') || character == u'?';
}

}  // namespace

QString Outcome::diagnosticSummary() const {
    QStringList parts;
    parts << QStringLiteral("exit ") +
                 (exitStatus ? QString::number(*exitStatus) : QStringLiteral("none (killed)"));
    if (timedOut) {
        parts << QStringLiteral("TIMED OUT");
    }
    parts << QString::asprintf("%.2fs", duration);
    return parts.join(QStringLiteral(", "));
}

QString unzipTool() {
    return QStringLiteral("/usr/bin/unzip");
}

Outcome run(const QString& tool, const QStringList& arguments,
            const std::optional<QString>& standardOutput, double timeout,
            const QSet<qint32>& successStatuses) {
    Outcome outcome;
    const ErrorStream errors;
    // An output file that cannot be made loses the output, not the run.
    const bool hasOutputFile = standardOutput && createEmptyFile(*standardOutput);
    QProcess child;
    prepare(child, tool, arguments, errors);
    child.setStandardOutputFile(hasOutputFile ? *standardOutput : QProcess::nullDevice());
    outcome.command = commandText(tool, arguments);

    QElapsedTimer clock;
    if (!launch(child, clock, outcome)) {
        return outcome;
    }
    const ListedGroup group(child);
    if (!child.waitForFinished(millisecondsLeft(clock, timeout)) && !hasEnded(child)) {
        stop(child);
        recordTimeOut(clock, outcome);
        return outcome;
    }
    recordEnd(child, errors, successStatuses, clock, outcome);
    return outcome;
}

OutputCount countOutput(const QString& tool, const QStringList& arguments, qint64 limit,
                        double timeout, const QSet<qint32>& successStatuses) {
    OutputCount count;
    Outcome& outcome = count.outcome;
    const ErrorStream errors;
    QProcess child;
    prepare(child, tool, arguments, errors);
    outcome.command = commandText(tool, arguments);

    QElapsedTimer clock;
    if (!launch(child, clock, outcome)) {
        return count;
    }
    const ListedGroup group(child);
    for (;;) {
        count.bytes += child.skip(child.bytesAvailable());
        if (count.bytes > limit) {
            child.kill();
            child.waitForFinished(kGraceMilliseconds);
            count.exceededLimit = true;
            outcome.duration = secondsSince(clock);
            return count;
        }
        if (hasEnded(child)) {
            break;
        }
        const int left = millisecondsLeft(clock, timeout);
        // No output in time, or the child closed its output and lives on: wait for its end.
        if (left == 0 ||
            (!child.waitForReadyRead(left) && !hasEnded(child) &&
             !child.waitForFinished(millisecondsLeft(clock, timeout)) && !hasEnded(child))) {
            stop(child);
            recordTimeOut(clock, outcome);
            return count;
        }
    }
    recordEnd(child, errors, successStatuses, clock, outcome);
    return count;
}

Outcome extract(const QString& archive, const QString& destination, double timeout,
                const QStringList& excludedEntries, const QString& tool) {
    QStringList arguments{
        QStringLiteral("-qq"),    QStringLiteral("-o"), QStringLiteral("-P"), QString(),
        archiveArgument(archive), QStringLiteral("-d"), destination};
    if (!excludedEntries.isEmpty()) {
        arguments << QStringLiteral("-x");
        for (const QString& name : excludedEntries) {
            arguments << entryPattern(name);
        }
    }
    return run(tool, arguments, std::nullopt, timeout, {0, 1});
}

QString archiveArgument(const QString& archivePath) {
    if (!unzipReadsAsPattern(archivePath)) {
        return archivePath;
    }
    // unzip opens the folder part literally and matches only the last component.
    const qsizetype nameStart = archivePath.lastIndexOf(u'/') + 1;
    QString argument = archivePath.left(nameStart);
    for (const QChar character : QStringView(archivePath).sliced(nameStart)) {
        if (character == u'[' || character == u'*' || character == u'?') {
            argument += QStringLiteral("[") + character + u']';
        } else if (character == u'\\') {
            argument += QStringLiteral("[\\\\]");
        } else {
            argument += character;
        }
    }
    return argument;
}

QString entryPattern(const QString& listedName) {
    QString pattern;
    for (qsizetype index = 0; index < listedName.size(); ++index) {
        const QChar character = listedName[index];
        const bool isShownControl = character == u'^' && index + 1 < listedName.size() &&
                                    isControlCharacterLetter(listedName[index + 1]);
        if (isShownControl || character == QChar::ReplacementCharacter) {
            pattern += u'?';
            index += isShownControl ? 1 : 0;
            continue;
        }
        if (character == u'\\' || character == u'[' || character == u']' || character == u'*' ||
            character == u'?' || (index == 0 && character == u'-')) {
            pattern += u'\\';
        }
        pattern += character;
    }
    return pattern;
}

QString toolMessage(const QString& text) {
    return firstCharacters(text.trimmed(), kKeptMessageLength);
}

}  // namespace keelwick::ZipTool
