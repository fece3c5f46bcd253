#pragma once

#include "convert/PropertyListValue.h"

#include <QByteArray>
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
    PropertyListFormat format = PropertyListFormat::xml;
    QString errorDescription;

    bool succeeded() const { return value.has_value(); }
};

/// Reads the XML and binary forms (through libplist) and the OpenStep text form (our own
/// reader) into one value tree. Containers nested deeper than `kMaxNestingDepth` become
/// truncation markers. Never throws and never crashes on any input.
PropertyListReadResult readPropertyList(const QByteArray& bytes);

}  // namespace keelwick
