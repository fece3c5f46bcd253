#pragma once

#include "convert/PropertyListValue.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>

namespace keelwick {

/// The three forms a property list is stored in.
enum class PropertyListFormat { xml, binary, openStep };

/// "xml", "binary" or "openStep", as the diagnostics log names the form found.
QString formatName(PropertyListFormat format);

/// The outcome of reading bytes as a property list: the value tree and the form it was
/// found in, or a description of why the bytes are no property list.
struct PropertyListReadResult {
    std::optional<PropertyListValue> value;
    /// The form the bytes were recognised as; set on failure too.
    PropertyListFormat format = PropertyListFormat::xml;
    QString errorDescription;

    bool succeeded() const { return value.has_value(); }
};

/// The description of bytes that hold no property list, the text users of the original
/// system read: "The data couldn’t be read because it isn’t in the correct format."
QString notAPropertyListDescription();

/// Reads the XML and binary forms (through libplist) and the OpenStep text form (our own
/// reader) into one value tree. Containers nested deeper than `kMaxNestingDepth` become
/// truncation markers. Never throws and never crashes on any input.
///
/// The form is told by the first bytes: the binary magic "bplist00", else XML when the
/// text starts with "<" after an optional UTF-8 byte order mark and white space, else
/// OpenStep.
///
/// Values are mapped as follows. Dictionaries keep document order; a repeated key replaces
/// the earlier value in its place. Strings are decoded as UTF-8 with invalid sequences
/// replaced by U+FFFD; libplist keeps XML and binary strings as C strings, so a string
/// of those forms ends at its first NUL character. Integers are signed 64-bit: libplist
/// 2.2 stores a negative XML integer as its two's complement, which is read back as the
/// negative number (an XML integer above 2^63 - 1 therefore reads as negative). Dates read
/// through libplist 2.2 hold whole microseconds within its 32-bit seconds (years 1933 to
/// 2069), and a date less than one second before the reference date loses its sign.
/// Keyed-archive UIDs have no counterpart in drawings and become the empty value
/// (`PropertyListValue::Type::None`), which every lenient read passes over as it would a
/// value of another type. Binary null and fill objects are refused, as libplist does.
PropertyListReadResult readPropertyList(const QByteArray& bytes);

namespace detail {

/// Builds a dictionary in document order in which a repeated key replaces the earlier
/// value in its place, as the platform parsers do. Small dictionaries look keys up by a
/// scan; large ones switch to a hash index, so that no input makes building quadratic.
class DictionaryBuilder {
  public:
    void insert(QString key, PropertyListValue value);
    PropertyListValue build();
    bool isEmpty() const { return entries_.empty(); }

  private:
    static constexpr std::size_t kScanLimit = 16;
    PropertyListDictionary entries_;
    QHash<QString, std::size_t> index_;
};

/// Frees a libplist tree (a `plist_t`) of any depth without recursion; `plist_free`
/// recurses once per level. The XML reader's safety net, should libplist ever build a
/// tree deeper than the depth scan of the text expected.
void freePlistWithoutRecursion(void* root);

}  // namespace detail

}  // namespace keelwick
