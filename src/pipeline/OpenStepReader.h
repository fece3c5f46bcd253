#pragma once

#include "convert/PropertyListValue.h"

#include <QByteArray>

#include <optional>

namespace keelwick {

/// Reads the OpenStep (old-style) text form of a property list into a value tree:
/// dictionaries `{ key = value; }`, arrays `( a, b )` (a comma after the last element is
/// allowed), quoted strings with backslash escapes, unquoted strings, `<hex>` data and
/// `//` and `/* */` comments. Every scalar is a string: "12" is not a number, as on the
/// platform. Text that holds a bare dictionary body (`key = value;` without braces, the
/// "strings file" style the platform's parser also accepts) reads as a dictionary.
///
/// The bytes are UTF-8 (a byte order mark is skipped; invalid sequences become U+FFFD).
/// Containers nested deeper than `kMaxNestingDepth` become truncation markers; their
/// content is still checked for syntax, without recursion, so any depth is safe.
/// Returns nothing when the text is not a property list: empty, a syntax error, or text
/// after the value that is no dictionary body.
std::optional<PropertyListValue> readOpenStepPropertyList(const QByteArray& bytes);

}  // namespace keelwick
