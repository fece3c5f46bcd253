#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

namespace keelwick {

/// Lowercases a font name and keeps only its letters and numbers (in the Unicode sense), so
/// "Helvetica Neue Bold" and "HelveticaNeue-Bold" meet.
QString normalizeFontName(const QString& name);

/// The PostScript names of every installed font face, as fontconfig reports them.
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

}  // namespace keelwick
