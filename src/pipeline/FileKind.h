#pragma once

#include "pipeline/PipelineError.h"

#include <QString>

#include <optional>

namespace keelwick {

/// Why `path` cannot be read as a file: absent for a regular file (or a link to one), and
/// when nothing is there or its status cannot be had, which the reading itself reports;
/// otherwise a file-system error whose description names what is there instead (a folder,
/// a named pipe, a socket, a device). Decided from the status alone: the path is never
/// opened, so a named pipe without a writer or a device cannot make the caller wait.
std::optional<PipelineError> notARegularFileError(const QString& path);

}  // namespace keelwick
