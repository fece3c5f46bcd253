#pragma once

// Compact builders for drawing documents in tests, and a text measurer with chosen widths.

#include "convert/PropertyListValue.h"
#include "convert/TextMeasurer.h"

#include <QHash>
#include <QString>

#include <functional>
#include <initializer_list>
#include <utility>

namespace keelwick::testing {

using Value = PropertyListValue;
using Entry = std::pair<QString, Value>;

inline Value str(const char* text) {
    return Value::string(QString::fromUtf8(text));
}
inline Value str(const QString& text) {
    return Value::string(text);
}
inline Value real(double value) {
    return Value::real(value);
}
inline Value integer(std::int64_t value) {
    return Value::integer(value);
}
inline Value boolean(bool value) {
    return Value::boolean(value);
}
inline Value dict(std::initializer_list<Entry> entries) {
    return Value::dictionary(PropertyListDictionary(entries));
}
inline Value array(std::initializer_list<Value> elements) {
    return Value::array(PropertyListArray(elements));
}
inline PropertyListDictionary document(std::initializer_list<Entry> entries) {
    return PropertyListDictionary(entries);
}

/// Measures every character as `characterWidth` units, or uses a chosen width for a text.
class FakeMeasurer : public TextMeasurer {
  public:
    explicit FakeMeasurer(double characterWidth = 6) : characterWidth_(characterWidth) {}

    void setWidth(const QString& text, double width) { widths_.insert(text, width); }

    double width(const QString& text, const QString&, double, double) const override {
        auto chosen = widths_.constFind(text);
        if (chosen != widths_.constEnd()) {
            return *chosen;
        }
        return characterWidth_ * static_cast<double>(text.size());
    }

  private:
    double characterWidth_;
    QHash<QString, double> widths_;
};

}  // namespace keelwick::testing
