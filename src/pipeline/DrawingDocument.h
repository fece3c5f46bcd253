#pragma once

#include "convert/PropertyListValue.h"
#include "pipeline/PipelineError.h"
#include "pipeline/PropertyListReader.h"

#include <QByteArray>

#include <optional>
#include <variant>

namespace keelwick {

/// A drawing's `data.xml` read as its document dictionary, or why it cannot be: bytes that
/// are no property list fail with the reader's error, a property list whose root is not a
/// dictionary with `unsupportedPropertyList`.
class DrawingDocument {
  public:
    static DrawingDocument parse(const QByteArray& bytes);

    bool succeeded() const { return !error_.has_value(); }
    /// The form the property list was found in; meaningful once the bytes were read.
    PropertyListFormat format() const { return format_; }
    /// The document dictionary; empty when parsing failed.
    const PropertyListDictionary& dictionary() const;
    const std::optional<PipelineError>& error() const { return error_; }

  private:
    PropertyListValue root_;
    PropertyListFormat format_ = PropertyListFormat::xml;
    std::optional<PipelineError> error_;
};

/// The bytes of "data.xml" at the top of an unpacked drawing: `missingDataPlist` when there
/// is none, the system's error when it cannot be read (a folder of that name included).
Outcome<QByteArray> readDataFile(const QString& drawingFolder);

}  // namespace keelwick
