#pragma once

#include <QString>

#include <optional>

namespace keelwick {

/// An SVG colour text and, for a colour read from numbers, its opacity text.
struct ParsedColor {
    QString color;
    std::optional<QString> opacity;
};

/// Reads a colour text: three numbers are red, green and blue (fractions when none exceeds
/// 1), a fourth is alpha; "cmyka" with five numbers is cyan, magenta, yellow, black and alpha.
/// A text with fewer than three numbers is used as it is (escaped for XML); no text gives
/// `fallback` without opacity.
ParsedColor parseColor(const QString* text, const QString& fallback);

}  // namespace keelwick
