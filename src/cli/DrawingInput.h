#pragma once

#include <QString>

#include <optional>

namespace keelwick::cli {

/// The SVG text of the drawing named on the command line (a `.idraw` archive, a folder
/// holding data.xml or a data.xml file); absent, with its error printed, when the drawing
/// cannot be opened or built.
std::optional<QString> drawingSVG(const QString& input);

}  // namespace keelwick::cli
