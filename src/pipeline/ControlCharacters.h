#pragma once

#include <QString>

namespace keelwick {

/// `text` with every character that could steer a terminal or a text viewer shown as an
/// escape instead: C0 controls ("\n", "\t", "\r", "\e", others as "\x07"), DEL ("\x7f"), C1
/// controls, the line and paragraph separators and the bidirectional overrides and isolates
/// ("\u0085", "\u2028", "\u202e"). Names and messages from drawings pass through it before
/// they reach a terminal or report.txt, so a drawing can neither move the cursor, retitle the
/// window, reorder what is shown nor start a line of its own. Text without such characters is
/// returned unchanged.
QString escapeControlCharacters(const QString& text);

}  // namespace keelwick
