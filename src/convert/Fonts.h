#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <mutex>

namespace keelwick {

/// Lowercases a font name and keeps only its letters and numbers (in the Unicode sense), so
/// "Helvetica Neue Bold" and "HelveticaNeue-Bold" meet.
QString normalizeFontName(const QString& name);

/// The PostScript names of every installed font face, as fontconfig reports them, in
/// fontconfig's order. Asks fontconfig on every call, so fonts installed while the program
/// runs are seen.
QStringList installedFontNames();

/// The two sets the missing-font rule compares a used name with.
struct InstalledFonts {
    QSet<QString> names;
    QSet<QString> normalizedNames;

    static InstalledFonts fromNames(const QStringList& installedNames);
    /// Asks the font catalogue (fontconfig) for the installed faces.
    static InstalledFonts fetch();

    /// The missing-font predicate: neither the exact name nor its normalized form is installed.
    bool isMissing(const QString& usedName) const;
};

/// The used names that `installed` lacks, sorted by Unicode scalar order (capitals first).
QStringList missingFontNames(const QSet<QString>& usedNames, const InstalledFonts& installed);

/// The standard text order: true when `left` sorts before `right` comparing Unicode scalar
/// values (case-sensitive). Unlike QString's operator<, which compares UTF-16 code units, it
/// puts characters beyond U+FFFF after U+E000–U+FFFF.
bool precedesInScalarOrder(QStringView left, QStringView right);

/// Serialises this program's calls into fontconfig (the font list here and the measurer's
/// face lookups). Some fontconfig calls are documented as not thread-safe and a rescan swaps
/// its current configuration; our calls are few, so one lock costs nothing.
std::mutex& fontCatalogueMutex();

}  // namespace keelwick
