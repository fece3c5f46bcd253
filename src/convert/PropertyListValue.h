#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

namespace keelwick {

class PropertyListValue;

/// A dictionary keeps its entries in document order; a key appears once (a later
/// duplicate replaces the earlier value when the tree is built).
using PropertyListDictionary = std::vector<std::pair<QString, PropertyListValue>>;
using PropertyListArray = std::vector<PropertyListValue>;

/// Nesting limit of every value tree. A container that would stand deeper than this
/// many levels (the root dictionary is level 1) is replaced by a truncation marker when
/// the tree is read, and every walker over drawings stops there too. Documents within
/// the limit are not affected; deeper content is left out, and the SVG builder writes
/// one comment in its place.
inline constexpr int kMaxNestingDepth = 256;

/// One value of a property list: the tree that `data.xml` becomes, whatever its form.
/// Containers are shared, so copying a value is cheap and never deep.
class PropertyListValue {
  public:
    enum class Type {
        None,
        Dictionary,
        Array,
        String,
        Integer,
        Real,
        Boolean,
        Date,
        Data,
        Truncated
    };

    /// Seconds since 2001-01-01 00:00:00 UTC, the reference date of property lists.
    struct Date {
        double secondsSinceReferenceDate = 0;
    };

    PropertyListValue() = default;
    static PropertyListValue dictionary(PropertyListDictionary entries);
    static PropertyListValue array(PropertyListArray elements);
    static PropertyListValue string(QString text);
    static PropertyListValue integer(std::int64_t value);
    static PropertyListValue real(double value);
    static PropertyListValue boolean(bool value);
    static PropertyListValue date(Date value);
    static PropertyListValue data(QByteArray bytes);
    /// Stands for a container that lay deeper than `kMaxNestingDepth` and was left out.
    static PropertyListValue truncated();

    Type type() const;
    bool isNone() const { return type() == Type::None; }
    bool isTruncated() const { return type() == Type::Truncated; }

    // Typed views: null when the value has another type. A string is never a number.
    const PropertyListDictionary* asDictionary() const;
    const PropertyListArray* asArray() const;
    const QString* asString() const;
    std::optional<std::int64_t> asInteger() const;
    std::optional<double> asReal() const;
    std::optional<bool> asBoolean() const;
    std::optional<Date> asDate() const;
    const QByteArray* asData() const;

    /// The value stored under `key` of a dictionary; null when this is no dictionary or
    /// the key is missing.
    const PropertyListValue* find(QStringView key) const;

  private:
    struct TruncatedMarker {};
    using Storage = std::variant<std::monostate, std::shared_ptr<const PropertyListDictionary>,
                                 std::shared_ptr<const PropertyListArray>, QString, std::int64_t,
                                 double, bool, Date, QByteArray, TruncatedMarker>;
    explicit PropertyListValue(Storage storage) : storage_(std::move(storage)) {}
    Storage storage_;
};

/// The value under `key` of a dictionary, or null when the key is missing.
const PropertyListValue* findValue(const PropertyListDictionary& dictionary, QStringView key);

// Lenient reads. A missing key or a value of another type gives the caller's default.

/// `number(_:default:)`: a real or an integer (converted); anything else gives `fallback`.
double number(const PropertyListValue* value, double fallback);
double number(const PropertyListDictionary& dictionary, QStringView key, double fallback);

/// A string value, or absent.
std::optional<QString> stringValue(const PropertyListDictionary& dictionary, QStringView key);
/// A string value, or null; no copy.
const QString* stringPointer(const PropertyListDictionary& dictionary, QStringView key);
/// A dictionary value, or null.
const PropertyListDictionary* dictionaryValue(const PropertyListDictionary& dictionary,
                                              QStringView key);
/// An integer value (plist integers only), or absent.
std::optional<std::int64_t> integerValue(const PropertyListDictionary& dictionary, QStringView key);
/// A boolean value (plist booleans only), or absent.
std::optional<bool> booleanValue(const PropertyListDictionary& dictionary, QStringView key);

/// An array every element of which is a dictionary. One element of another type makes the
/// whole array absent, which callers read as the empty list.
std::optional<std::vector<const PropertyListDictionary*>> dictionaryArray(
    const PropertyListValue* value);
std::vector<const PropertyListDictionary*> dictionaryList(const PropertyListDictionary& dictionary,
                                                          QStringView key);

/// True when the value under `key` is, or directly holds, content left out for being
/// nested too deeply.
bool holdsTruncatedContent(const PropertyListDictionary& dictionary, QStringView key);

}  // namespace keelwick
