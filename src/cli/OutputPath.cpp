#include "cli/OutputPath.h"

#include "pipeline/NativePath.h"
#include "workflow/DestinationFolder.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace keelwick::cli {
namespace {

bool isSameFile(const QString& left, const QString& right) {
    struct stat leftStatus {};
    struct stat rightStatus {};
    return ::stat(nativeBytes(left).constData(), &leftStatus) == 0 &&
           ::stat(nativeBytes(right).constData(), &rightStatus) == 0 &&
           leftStatus.st_dev == rightStatus.st_dev && leftStatus.st_ino == rightStatus.st_ino;
}

}  // namespace

std::optional<QString> outputReplacingInput(const QString& output, const QString& input) {
    if (QFileInfo(input).isDir()) {
        if (sourceHoldingDestination(output, {input})) {
            return QStringLiteral(
                       "%1: the output lies inside %2, the drawing being read; choose "
                       "a file outside it")
                .arg(output, input);
        }
        return std::nullopt;
    }
    if (sourceHoldingDestination(output, {input}) || isSameFile(output, input)) {
        return QStringLiteral(
                   "%1: the output would replace the drawing being read; choose "
                   "another file")
            .arg(output);
    }
    return std::nullopt;
}

}  // namespace keelwick::cli
