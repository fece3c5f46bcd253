#pragma once

#include <QString>

#include <optional>

namespace keelwick {

/// An SVG colour text and, for a colour read from numbers, its opacity text; `warning` says
/// when the colour text was not understood and `fallback` stands in for it.
struct ParsedColor {
    QString color;
    std::optional<QString> opacity;
    std::optional<QString> warning;
};

/// Reads a colour text: three numbers are red, green and blue (fractions when none exceeds
/// 1), a fourth is alpha; "cmyka" with five numbers is cyan, magenta, yellow, black and alpha.
/// A text with fewer than three numbers is used as it is only when it is one CSS colour token
/// (`isCSSColorToken`): it goes into `style` declarations, where anything more could load
/// files or change other properties. Any other text gives `fallback` and a warning for the
/// element's comments; no text gives `fallback` without opacity or warning.
ParsedColor parseColor(const QString* text, const QString& fallback);

/// Whether the text, give or take surrounding CSS white space, is one CSS colour token: a
/// named colour (case-insensitive), "none", "transparent", "currentColor", "#" and 3, 4, 6 or
/// 8 hex digits, or rgb(), rgba(), hsl() or hsla() of CSS numbers (each optionally with "%" or
/// "deg") separated by commas, white space or "/".
bool isCSSColorToken(QStringView text);

}  // namespace keelwick
