#include "cli/DrawingInput.h"

#include "convert/VellixConverter.h"
#include "pipeline/DiagnosticsLog.h"
#include "pipeline/DrawingArchive.h"
#include "pipeline/FileKind.h"

#include <QFile>
#include <QFileInfo>

namespace keelwick::cli {

DrawingInput::DrawingInput(const QString& input) {
    open(input);
}

QString DrawingInput::buildSVG() const {
    SVGContext context;
    context.extractedRoot = drawingFolder_;
    return VellixConverter().buildSVG(document(), context);
}

void DrawingInput::open(const QString& input) {
    const QFileInfo info(input);
    if (!info.exists()) {
        error_ = QStringLiteral("%1: no such file or folder").arg(input);
        return;
    }
    QByteArray data;
    if (info.isDir()) {
        drawingFolder_ = info.absoluteFilePath();
    } else if (std::optional<PipelineError> error = notARegularFileError(input)) {
        error_ = error->description;
        return;
    } else if (info.suffix().compare(QLatin1StringView("idraw"), Qt::CaseInsensitive) == 0) {
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
        // A data.xml file, whatever its name: read it where it is.
        drawingFolder_ = info.absolutePath();
        QFile file(info.absoluteFilePath());
        if (!file.open(QIODevice::ReadOnly)) {
            error_ = QStringLiteral("%1: %2").arg(input, file.errorString());
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
