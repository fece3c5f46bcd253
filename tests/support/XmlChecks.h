#pragma once

#include <QString>
#include <QXmlStreamReader>

namespace keelwick::testing {

/// The parser's complaint about the text, or empty when it is well-formed XML.
inline QString xmlError(const QString& text) {
    QXmlStreamReader reader(text);
    while (!reader.atEnd()) {
        reader.readNext();
    }
    return reader.hasError() ? reader.errorString() + QStringLiteral(" at line ") +
                                   QString::number(reader.lineNumber())
                             : QString();
}

}  // namespace keelwick::testing
