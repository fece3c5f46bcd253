#include "pipeline/PipelineError.h"

namespace keelwick {

QString PipelineError::domainAndCode() const {
    return domain + QStringLiteral(" / ") + QString::number(code);
}

PipelineError PipelineError::from(const RescueError& error) {
    PipelineError converted;
    converted.typeName = QStringLiteral("RescueError");
    converted.domain = RescueError::domain();
    converted.code = error.code();
    converted.description = error.errorDescription();
    return converted;
}

PipelineError PipelineError::propertyListRead(const QString& description) {
    PipelineError converted;
    converted.typeName = QStringLiteral("PropertyListReadError");
    converted.domain = QStringLiteral("NSCocoaErrorDomain");
    converted.code = 3840;
    converted.description = description;
    return converted;
}

PipelineError PipelineError::conversion(const QString& description) {
    PipelineError converted;
    converted.typeName = QStringLiteral("ConversionError");
    converted.domain = QStringLiteral("Keelwick.Conversion");
    converted.code = 1;
    converted.description = description;
    return converted;
}

PipelineError PipelineError::fileSystem(const std::error_code& error, const QString& whatFailed,
                                        const QString& path) {
    PipelineError converted;
    converted.typeName = QStringLiteral("FileSystemError");
    converted.domain = QStringLiteral("NSPOSIXErrorDomain");
    converted.code = error.value();
    converted.description = whatFailed + QStringLiteral(" “") + path + QStringLiteral("”: ") +
                            QString::fromStdString(error.message());
    converted.path = path;
    return converted;
}

}  // namespace keelwick
