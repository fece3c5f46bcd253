#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <array>
#include <optional>

namespace keelwick::FontLookup {

/// The font services a missing font can be searched at, in menu order.
enum class Source { googleFonts, myFonts, adobeFonts };

inline constexpr std::array<Source, 3> allSources{Source::googleFonts, Source::myFonts,
                                                  Source::adobeFonts};

/// "googleFonts", "myFonts" or "adobeFonts".
QString rawValue(Source source);
/// The source of a raw value; absent for any other text.
std::optional<Source> sourceFromRawValue(const QString& text);
/// "Google Fonts", "MyFonts" or "Adobe Fonts".
QString title(Source source);

/// The 34 lowercase words that describe a face rather than a family.
const QSet<QString>& styleWords();

/// Splits at "-", "_", spaces, lower-to-upper case changes and letter/number changes.
QStringList splitIntoWords(const QString& text);
/// The family part of a font name, the text to search for.
QString searchTerm(const QString& fontName);
/// The search address of the font at the service; absent when no valid address results.
std::optional<QUrl> url(const QString& fontName, Source source);

}  // namespace keelwick::FontLookup
