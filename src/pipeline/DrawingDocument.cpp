#include "pipeline/DrawingDocument.h"

#include "pipeline/FileKind.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace keelwick {

namespace {

std::error_code lastSystemError() {
    return {errno, std::generic_category()};
}

/// A file's bytes, or the system's reason why they cannot be read (a folder included).
Outcome<QByteArray, std::error_code> readWholeFile(const QString& path) {
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return lastSystemError();
    }
    QByteArray bytes;
    struct stat status {};
    std::error_code failure;
    if (::fstat(descriptor, &status) != 0) {
        failure = lastSystemError();
    } else if (S_ISDIR(status.st_mode)) {
        failure = std::make_error_code(std::errc::is_a_directory);
    } else {
        char buffer[65536];
        for (;;) {
            const ssize_t count = ::read(descriptor, buffer, sizeof buffer);
            if (count < 0) {
                failure = lastSystemError();
                break;
            }
            if (count == 0) {
                break;
            }
            bytes.append(buffer, count);
        }
    }
    ::close(descriptor);
    if (failure) {
        return failure;
    }
    return bytes;
}

}  // namespace

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

Outcome<QByteArray> readDataFile(const QString& drawingFolder) {
    const QString path = QDir(drawingFolder).filePath(QStringLiteral("data.xml"));
    if (!QFileInfo::exists(path)) {
        return PipelineError::from(RescueError::missingDataPlist());
    }
    if (std::optional<PipelineError> error = notARegularFileError(path)) {
        return *error;
    }
    Outcome<QByteArray, std::error_code> bytes = readWholeFile(path);
    if (auto* error = errorOf(bytes)) {
        return PipelineError::fileSystem(*error, QStringLiteral("Could not read"), path);
    }
    return std::get<QByteArray>(std::move(bytes));
}

}  // namespace keelwick
