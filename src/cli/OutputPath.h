#pragma once

#include <QString>

#include <optional>

namespace keelwick::cli {

/// Why `output` must not be written for the drawing `input`: it is the input file itself, or
/// lies inside the input folder, once links in the existing part of either path and "." and
/// ".." are resolved (a hard link to the input counts too). Absent when it lies elsewhere.
/// Checked before anything is read, so a command can never replace the drawing it reads.
std::optional<QString> outputReplacingInput(const QString& output, const QString& input);

}  // namespace keelwick::cli
