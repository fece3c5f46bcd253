#include "convert/PropertyListValue.h"

namespace keelwick {

PropertyListValue PropertyListValue::dictionary(PropertyListDictionary entries) {
    return PropertyListValue(
        Storage(std::make_shared<const PropertyListDictionary>(std::move(entries))));
}

PropertyListValue PropertyListValue::array(PropertyListArray elements) {
    return PropertyListValue(
        Storage(std::make_shared<const PropertyListArray>(std::move(elements))));
}

PropertyListValue PropertyListValue::string(QString text) {
    return PropertyListValue(Storage(std::move(text)));
}

PropertyListValue PropertyListValue::integer(std::int64_t value) {
    return PropertyListValue(Storage(value));
}

PropertyListValue PropertyListValue::real(double value) {
    return PropertyListValue(Storage(value));
}

PropertyListValue PropertyListValue::boolean(bool value) {
    return PropertyListValue(Storage(value));
}

PropertyListValue PropertyListValue::date(Date value) {
    return PropertyListValue(Storage(value));
}

PropertyListValue PropertyListValue::data(QByteArray bytes) {
    return PropertyListValue(Storage(std::move(bytes)));
}

PropertyListValue PropertyListValue::truncated() {
    return PropertyListValue(Storage(TruncatedMarker{}));
}

PropertyListValue::Type PropertyListValue::type() const {
    switch (storage_.index()) {
        case 1:
            return Type::Dictionary;
        case 2:
            return Type::Array;
        case 3:
            return Type::String;
        case 4:
            return Type::Integer;
        case 5:
            return Type::Real;
        case 6:
            return Type::Boolean;
        case 7:
            return Type::Date;
        case 8:
            return Type::Data;
        case 9:
            return Type::Truncated;
        default:
            return Type::None;
    }
}

const PropertyListDictionary* PropertyListValue::asDictionary() const {
    auto* held = std::get_if<std::shared_ptr<const PropertyListDictionary>>(&storage_);
    return held ? held->get() : nullptr;
}

const PropertyListArray* PropertyListValue::asArray() const {
    auto* held = std::get_if<std::shared_ptr<const PropertyListArray>>(&storage_);
    return held ? held->get() : nullptr;
}

const QString* PropertyListValue::asString() const {
    return std::get_if<QString>(&storage_);
}

std::optional<std::int64_t> PropertyListValue::asInteger() const {
    if (auto* held = std::get_if<std::int64_t>(&storage_)) {
        return *held;
    }
    return std::nullopt;
}

std::optional<double> PropertyListValue::asReal() const {
    if (auto* held = std::get_if<double>(&storage_)) {
        return *held;
    }
    return std::nullopt;
}

std::optional<bool> PropertyListValue::asBoolean() const {
    if (auto* held = std::get_if<bool>(&storage_)) {
        return *held;
    }
    return std::nullopt;
}

std::optional<PropertyListValue::Date> PropertyListValue::asDate() const {
    if (auto* held = std::get_if<Date>(&storage_)) {
        return *held;
    }
    return std::nullopt;
}

const QByteArray* PropertyListValue::asData() const {
    return std::get_if<QByteArray>(&storage_);
}

const PropertyListValue* PropertyListValue::find(QStringView key) const {
    const PropertyListDictionary* entries = asDictionary();
    return entries ? findValue(*entries, key) : nullptr;
}

const PropertyListValue* findValue(const PropertyListDictionary& dictionary, QStringView key) {
    // Drawing dictionaries hold a handful of keys; a linear scan beats hashing here.
    for (const auto& [name, value] : dictionary) {
        if (name == key) {
            return &value;
        }
    }
    return nullptr;
}

double number(const PropertyListValue* value, double fallback) {
    if (!value) {
        return fallback;
    }
    if (auto real = value->asReal()) {
        return *real;
    }
    if (auto integer = value->asInteger()) {
        return static_cast<double>(*integer);
    }
    return fallback;
}

double number(const PropertyListDictionary& dictionary, QStringView key, double fallback) {
    return number(findValue(dictionary, key), fallback);
}

std::optional<QString> stringValue(const PropertyListDictionary& dictionary, QStringView key) {
    if (const QString* text = stringPointer(dictionary, key)) {
        return *text;
    }
    return std::nullopt;
}

const QString* stringPointer(const PropertyListDictionary& dictionary, QStringView key) {
    const PropertyListValue* value = findValue(dictionary, key);
    return value ? value->asString() : nullptr;
}

const PropertyListDictionary* dictionaryValue(const PropertyListDictionary& dictionary,
                                              QStringView key) {
    const PropertyListValue* value = findValue(dictionary, key);
    return value ? value->asDictionary() : nullptr;
}

std::optional<std::int64_t> integerValue(const PropertyListDictionary& dictionary,
                                         QStringView key) {
    const PropertyListValue* value = findValue(dictionary, key);
    return value ? value->asInteger() : std::nullopt;
}

std::optional<bool> booleanValue(const PropertyListDictionary& dictionary, QStringView key) {
    const PropertyListValue* value = findValue(dictionary, key);
    return value ? value->asBoolean() : std::nullopt;
}

std::optional<std::vector<const PropertyListDictionary*>> dictionaryArray(
    const PropertyListValue* value) {
    const PropertyListArray* elements = value ? value->asArray() : nullptr;
    if (!elements) {
        return std::nullopt;
    }
    std::vector<const PropertyListDictionary*> dictionaries;
    dictionaries.reserve(elements->size());
    for (const PropertyListValue& element : *elements) {
        const PropertyListDictionary* entries = element.asDictionary();
        if (!entries) {
            return std::nullopt;
        }
        dictionaries.push_back(entries);
    }
    return dictionaries;
}

std::vector<const PropertyListDictionary*> dictionaryList(const PropertyListDictionary& dictionary,
                                                          QStringView key) {
    return dictionaryArray(findValue(dictionary, key))
        .value_or(std::vector<const PropertyListDictionary*>{});
}

bool holdsTruncatedContent(const PropertyListDictionary& dictionary, QStringView key) {
    const PropertyListValue* value = findValue(dictionary, key);
    if (!value) {
        return false;
    }
    if (value->isTruncated()) {
        return true;
    }
    if (const PropertyListArray* elements = value->asArray()) {
        for (const PropertyListValue& element : *elements) {
            if (element.isTruncated()) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace keelwick
