#include "pipeline/DrawingDocument.h"

namespace keelwick {

DrawingDocument DrawingDocument::parse(const QByteArray& bytes) {
    DrawingDocument document;
    PropertyListReadResult read = readPropertyList(bytes);
    document.format_ = read.format;
    if (!read.succeeded()) {
        document.error_ = PipelineError::propertyListRead(read.errorDescription);
    } else if (!read.value->asDictionary()) {
        document.error_ = PipelineError::from(RescueError::unsupportedPropertyList());
    } else {
        document.root_ = std::move(*read.value);
    }
    return document;
}

const PropertyListDictionary& DrawingDocument::dictionary() const {
    static const PropertyListDictionary empty;
    const PropertyListDictionary* entries = root_.asDictionary();
    return entries ? *entries : empty;
}

}  // namespace keelwick
