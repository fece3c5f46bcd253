#pragma once

#include <QString>
#include <QStringList>

namespace keelwick {

/// The one number format of the SVG output: six decimals, trailing zeros and a bare point
/// removed, always a "." separator; a value that is not finite gives "0".
QString format(double value);

/// Escapes "&", double quotes, "'", "<" and ">" (ampersand first, so nothing is escaped
/// twice). Characters that XML 1.0 forbids in a document (C0 controls other than tab, line
/// feed and carriage return, lone surrogates, U+FFFE and U+FFFF) become U+FFFD, so that a
/// drawing's text can never make the SVG ill-formed.
QString escapeXML(QStringView text);

/// The body of an XML comment: `escapeXML`, and no "--" inside (a hyphen pair gets a space
/// between its hyphens), which XML forbids in comments. Texts without "--" are unchanged
/// beyond the escaping.
QString commentText(QStringView text);

/// A comment line of the SVG: `indent`, "<!-- ", `commentText` of the text, " -->".
QString commentLine(QStringView indent, QStringView text);

/// One attribute as written in the SVG: name, "=", the value in double quotes. The value is
/// written as given; callers escape document texts.
QString attribute(QStringView name, QStringView value);
QString attribute(QStringView name, const QString& value);

}  // namespace keelwick
