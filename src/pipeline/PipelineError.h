#pragma once

#include "pipeline/RescueError.h"

#include <QString>

#include <optional>
#include <system_error>
#include <variant>

namespace keelwick {

/// An error nested inside another, as the diagnostics log prints it: domain, code and
/// description.
struct UnderlyingError {
    QString domain;
    qint64 code = 0;
    QString description;

    friend bool operator==(const UnderlyingError&, const UnderlyingError&) = default;
};

/// Any failure the pipeline records, in the shape the diagnostics log reports it: every
/// error carries a type name, a domain, a code and a description; the other parts are
/// present only when the source of the error knows them.
struct PipelineError {
    /// The error's type, such as "RescueError" (the log's "error type").
    QString typeName;
    QString domain;
    qint64 code = 0;
    /// The user-facing description (the log's "error message", a failed result's
    /// `errorMessage`).
    QString description;
    std::optional<QString> failureReason;
    std::optional<QString> recoverySuggestion;
    std::optional<UnderlyingError> underlyingError;
    /// The file the error is about.
    std::optional<QString> path;

    /// The domain, " / " and the code in decimal: the log's "error domain/code".
    QString domainAndCode() const;

    /// A rescue error: its domain and code, no reason, suggestion or further details.
    static PipelineError from(const RescueError& error);

    /// Bytes that are no property list, reported as the platform's parser reported them:
    /// type "PropertyListReadError", domain "NSCocoaErrorDomain", code 3840 (its
    /// "corrupt property list" code), and the reader's description.
    static PipelineError propertyListRead(const QString& description);

    /// A drawing the converter could not build: type "ConversionError", domain
    /// "Keelwick.Conversion", code 1, and the converter's description.
    static PipelineError conversion(const QString& description);

    /// A failed file-system operation: type "FileSystemError", domain "NSPOSIXErrorDomain"
    /// (where the platform put such errors), the system's error number, and a description
    /// that says what could not be done and why, e.g. "Could not create the folder
    /// “/out/a”: Permission denied".
    static PipelineError fileSystem(const std::error_code& error, const QString& whatFailed,
                                    const QString& path);

    friend bool operator==(const PipelineError&, const PipelineError&) = default;
};

/// An error and the stage of a drawing's rescue it ended (the log's "failed stage").
struct StageError {
    PipelineError error;
    QString stage;
};

/// The pipeline's "value or error": what a step made, or why it could not.
template <typename T, typename Error = PipelineError>
using Outcome = std::variant<T, Error>;

/// The error of a failed outcome; null when the outcome holds its value.
template <typename T, typename Error>
const Error* errorOf(const Outcome<T, Error>& outcome) {
    return std::get_if<Error>(&outcome);
}

}  // namespace keelwick
