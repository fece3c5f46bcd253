#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <optional>

namespace keelwick::cli {

/// Exit statuses of every command.
enum ExitStatus { success = 0, failure = 1, usageError = 2, interrupted = 130 };

/// Keeps Qt's own chatter (warnings about the environment) off the terminal; critical
/// messages still reach standard error.
void installQuietMessageHandler();

/// Writes one line to standard error, prefixed with the program name. Messages carry names
/// of files and of what is in drawings: their control characters are shown escaped.
void printError(const QString& message);
/// Writes the program's own text to standard error, unchanged.
void writeStandardError(const QString& text);
/// Writes text to standard output as UTF-8, unchanged.
void printOutput(const QByteArray& bytes);
void printOutput(const QString& text);

/// A command's help, its usage line naming the program and the command.
QString helpText(const QCommandLineParser& parser, const QString& command);

/// How many inputs a command takes.
enum class Inputs { one, oneOrMore };

/// Parses a command's arguments. Returns the exit status when the command is done already:
/// help shown, or a usage error reported (wrong option, a wrong number of inputs).
std::optional<int> parseCommandLine(QCommandLineParser& parser, const QStringList& arguments,
                                    const QString& command, Inputs inputs = Inputs::one);

/// Writes the bytes to `path` atomically: a complete new file or none. On failure the
/// reason is printed and false returned.
bool writeOutputFile(const QString& path, const QByteArray& bytes);

/// The program's overview, listing the commands.
QString overviewText();

// The commands; `arguments` start with the program name followed by the command name.
int runSvgCommand(const QStringList& arguments);
int runPreviewCommand(const QStringList& arguments);
int runAnalyzeCommand(const QStringList& arguments);
int runConvertCommand(const QStringList& arguments);
int runRescueCommand(const QStringList& arguments);

}  // namespace keelwick::cli
