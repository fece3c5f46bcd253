#include "cli/DrawingInput.h"

#include "convert/VellixConverter.h"
#include "pipeline/DiagnosticsLog.h"
#include "pipeline/DrawingArchive.h"
#include "pipeline/FileKind.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace keelwick::cli {

DrawingInput::DrawingInput(const QString& input) {
    open(input);
}

std::optional<QString> DrawingInput::buildSVG(QString& failure) const {
    SVGContext context;
    context.extractedRoot = drawingFolder_;
    QString svg = VellixConverter().buildSVG(document(), context);
    if (context.failure) {
        failure = *context.failure;
        return std::nullopt;
    }
    return svg;
}

void DrawingInput::open(const QString& named) {
    reachable_ = std::make_unique<ReachablePath>(named);
    const QString& input = reachable_->path();
    const QFileInfo info(input);
    if (!info.exists()) {
        error_ = QStringLiteral("%1: no such file or folder").arg(readablePath(named));
        return;
    }
    QByteArray data;
    if (info.isDir()) {
        drawingFolder_ = info.absoluteFilePath();
    } else if (std::optional<PipelineError> error = notARegularFileError(named)) {
        error_ = error->description;
        return;
    } else if (QFileInfo(named).suffix().compare(QLatin1StringView("idraw"), Qt::CaseInsensitive) ==
               0) {
        workFolder_ = std::make_unique<WorkFolder>();
        if (std::error_code failure = workFolder_->create()) {
            error_ = QStringLiteral("Could not create the work folder %1: %2")
                         .arg(workFolder_->path(), QString::fromStdString(failure.message()));
            return;
        }
        DiagnosticsLog ignored;
        if (std::optional<RescueError> failure =
                extractIDraw(info.absoluteFilePath(), workFolder_->path(), ignored)) {
            error_ = failure->errorDescription();
            return;
        }
        drawingFolder_ = workFolder_->path();
    } else {
        // A data.xml file, whatever its name: read it where it is, so its folder (where the
        // images are) is what must stay reachable.
        const QFileInfo namedFile(named);
        reachable_ = std::make_unique<ReachablePath>(namedFile.absolutePath());
        drawingFolder_ = reachable_->path();
        QFile file(QDir(drawingFolder_).filePath(namedFile.fileName()));
        if (!file.open(QIODevice::ReadOnly)) {
            error_ = QStringLiteral("%1: %2").arg(readablePath(named), file.errorString());
            return;
        }
        data = file.readAll();
    }
    if (data.isNull()) {
        std::variant<QByteArray, PipelineError> bytes = readDataFile(drawingFolder_);
        if (auto* failure = std::get_if<PipelineError>(&bytes)) {
            error_ = failure->description;
            return;
        }
        data = std::get<QByteArray>(std::move(bytes));
    }
    document_ = DrawingDocument::parse(data);
    if (!document_.succeeded()) {
        error_ = document_.error()->description;
    }
}

}  // namespace keelwick::cli
