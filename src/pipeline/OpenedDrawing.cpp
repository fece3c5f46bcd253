#include "pipeline/OpenedDrawing.h"

#include "convert/VellixConverter.h"
#include "pipeline/DiagnosticsLog.h"
#include "pipeline/DrawingArchive.h"
#include "pipeline/FileKind.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace keelwick {

namespace {

const QString kUnpacking = QStringLiteral("unpacking the archive");
const QString kReading = QStringLiteral("reading data.xml");

/// A file named on the command line that cannot be read, described as the command line
/// words it.
PipelineError unreadableInput(const QString& path, const QString& description) {
    PipelineError error;
    error.typeName = QStringLiteral("FileSystemError");
    error.domain = QStringLiteral("NSPOSIXErrorDomain");
    error.description = description;
    error.path = path;
    return error;
}

bool hasArchiveName(const QString& path) {
    return QFileInfo(path).suffix().compare(QLatin1StringView("idraw"), Qt::CaseInsensitive) == 0;
}

}  // namespace

Outcome<OpenedDrawing, StageError> OpenedDrawing::open(const QString& path, DiagnosticsLog& log) {
    OpenedDrawing drawing;
    drawing.reachable_ = std::make_unique<ReachablePath>(path);
    const QFileInfo info(drawing.reachable_->path());
    if (!info.exists()) {
        const QString description =
            QStringLiteral("%1: no such file or folder").arg(readablePath(path));
        return StageError{unreadableInput(path, description), kReading};
    }
    if (info.isDir()) {
        drawing.drawingFolder_ = info.absoluteFilePath();
        return read(std::move(drawing), log);
    }
    if (std::optional<PipelineError> error = notARegularFileError(path)) {
        return StageError{*error, kReading};
    }
    if (hasArchiveName(path)) {
        return unpack(std::move(drawing), info.absoluteFilePath(), log);
    }
    // A data.xml file, whatever its name: read it where it is, so its folder (where the
    // images are) is what must stay reachable.
    const QFileInfo named(path);
    drawing.reachable_ = std::make_unique<ReachablePath>(named.absolutePath());
    drawing.drawingFolder_ = drawing.reachable_->path();
    QFile file(QDir(drawing.drawingFolder_).filePath(named.fileName()));
    if (!file.open(QIODevice::ReadOnly)) {
        const QString description =
            QStringLiteral("%1: %2").arg(readablePath(path), file.errorString());
        return StageError{unreadableInput(path, description), kReading};
    }
    return read(std::move(drawing), log, file.readAll());
}

Outcome<OpenedDrawing, StageError> OpenedDrawing::openArchive(const QString& path,
                                                              DiagnosticsLog& log) {
    // unzip would wait on a named pipe until its time-out and then blame the archive.
    if (std::optional<PipelineError> error = notARegularFileError(path)) {
        return StageError{*error, kUnpacking};
    }
    OpenedDrawing drawing;
    drawing.reachable_ = std::make_unique<ReachablePath>(path);
    const QString archive = drawing.reachable_->path();
    return unpack(std::move(drawing), archive, log);
}

Outcome<OpenedDrawing, StageError> OpenedDrawing::unpack(OpenedDrawing drawing,
                                                         const QString& archive,
                                                         DiagnosticsLog& log) {
    drawing.workFolder_ = std::make_unique<WorkFolder>();
    const QString& folder = drawing.workFolder_->path();
    if (std::error_code error = drawing.workFolder_->create()) {
        return StageError{PipelineError::fileSystem(
                              error, QStringLiteral("Could not create the work folder"), folder),
                          kUnpacking};
    }
    if (std::optional<RescueError> error = extractIDraw(archive, folder, log)) {
        return StageError{PipelineError::from(*error), kUnpacking};
    }
    log.add(QStringLiteral("unpacked entries"), unpackedEntryDescription(folder));
    drawing.drawingFolder_ = folder;
    return read(std::move(drawing), log);
}

Outcome<OpenedDrawing, StageError> OpenedDrawing::read(OpenedDrawing drawing, DiagnosticsLog& log,
                                                       QByteArray data) {
    // No bytes yet (an empty data.xml file reads as none, too): the folder's data.xml.
    if (data.isNull()) {
        Outcome<QByteArray> bytes = readDataFile(drawing.drawingFolder_);
        if (const PipelineError* error = errorOf(bytes)) {
            return StageError{*error, kReading};
        }
        data = std::get<QByteArray>(std::move(bytes));
    }
    log.add(QStringLiteral("data.xml size"),
            QString::number(data.size()) + QStringLiteral(" bytes"));
    return parseInto(std::move(drawing), data, log);
}

Outcome<OpenedDrawing, StageError> OpenedDrawing::parse(const QByteArray& data,
                                                        const QString& drawingFolder,
                                                        DiagnosticsLog& log) {
    OpenedDrawing drawing;
    drawing.drawingFolder_ = drawingFolder;
    return parseInto(std::move(drawing), data, log);
}

Outcome<OpenedDrawing, StageError> OpenedDrawing::parseInto(OpenedDrawing drawing,
                                                            const QByteArray& data,
                                                            DiagnosticsLog& log) {
    drawing.document_ = DrawingDocument::parse(data);
    if (!drawing.document_.succeeded()) {
        return StageError{*drawing.document_.error(), QStringLiteral("parsing the document")};
    }
    log.add(QStringLiteral("plist format"), formatName(drawing.document_.format()));
    const PropertyListDictionary& dictionary = drawing.document();
    if (const QString* version = stringPointer(dictionary, u"Version")) {
        log.add(QStringLiteral("document version"), *version);
    }
    log.add(QStringLiteral("layers"),
            QString::number(dictionaryList(dictionary, u"Layers").size()));
    return drawing;
}

SVGContext OpenedDrawing::context(const VellixConverter& converter) const {
    SVGContext context;
    context.extractedRoot = drawingFolder_;
    context.textBudget = converter.svgTextBudget();
    return context;
}

Outcome<QString> OpenedDrawing::buildSVG(const VellixConverter& converter,
                                         SVGContext& context) const {
    QString svg = converter.buildSVG(document(), context);
    if (context.failure) {
        return PipelineError::conversion(*context.failure);
    }
    return svg;
}

Outcome<QString> OpenedDrawing::buildSVG() const {
    const VellixConverter converter;
    SVGContext fresh = context(converter);
    return buildSVG(converter, fresh);
}

}  // namespace keelwick
