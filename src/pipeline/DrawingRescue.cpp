#include "pipeline/DrawingRescue.h"

#include "convert/VellixConverter.h"
#include "pipeline/AtomicWrite.h"
#include "pipeline/DiagnosticsLog.h"
#include "pipeline/InternetDateTime.h"
#include "pipeline/NativePath.h"
#include "pipeline/OpenedDrawing.h"
#include "pipeline/RescueOutputs.h"
#include "pipeline/SVGPreviewImageRenderer.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QUuid>
#include <QXmlStreamReader>

#include <filesystem>
#include <optional>

namespace keelwick {

namespace {

constexpr double kPreviewSizeLimit = 1200;

qint64 embeddedImageCount(const QString& workFolder) {
    const QFileInfo images(QDir(workFolder).filePath(QStringLiteral("Images")));
    if (!images.isDir()) {
        return 0;
    }
    return QDir(images.filePath())
        .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)
        .size();
}

QString yesOrNo(bool value) {
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

/// A check always writes the preview; a rescue only when asked to.
bool writesPreview(const RescueOptions& options) {
    return options.isDryRun || options.generatePNGPreviewImages;
}

/// The facts every rescue's log opens with: when, from where, to where, on what terms.
void logOpeningFacts(DiagnosticsLog& log, const RescueCandidate& candidate,
                     const RescueOptions& options, const QString& outputPath,
                     const QString& previewPath) {
    log.add(QStringLiteral("attempted"), internetDateTime(QDateTime::currentDateTime()));
    log.addFileFacts(QStringLiteral("source"), candidate.url);
    log.add(QStringLiteral("destination"), outputPath);
    log.add(QStringLiteral("png preview images enabled"), yesOrNo(writesPreview(options)));
    if (writesPreview(options)) {
        log.add(QStringLiteral("preview image destination"), previewPath);
    }
    log.add(QStringLiteral("overwrite allowed"), yesOrNo(options.overwriteDestinationFiles));
}

RescueResult failedResult(const QString& sourceURL, DiagnosticsLog& log, const PipelineError& error,
                          const QString& stage) {
    log.record(error, stage);
    RescueResult result;
    result.sourceURL = sourceURL;
    result.errorMessage = error.description;
    result.errorDomain = error.domain;
    result.errorCode = error.code;
    result.diagnostics = log.lines;
    return result;
}

/// Why the SVG text is no well-formed XML, or absent: a file that no editor could open is
/// never written.
std::optional<PipelineError> malformedSVGError(const QString& svg) {
    QXmlStreamReader reader(svg);
    while (!reader.atEnd()) {
        reader.readNext();
    }
    if (!reader.hasError()) {
        return std::nullopt;
    }
    PipelineError error;
    error.typeName = QStringLiteral("SVGValidationError");
    error.domain = QStringLiteral("Keelwick.SVGValidation");
    error.code = reader.error();
    error.description =
        QStringLiteral(
            "The SVG built from this drawing is not well-formed XML (line %1, column "
            "%2: %3), so it was not saved.")
            .arg(reader.lineNumber())
            .arg(reader.columnNumber())
            .arg(reader.errorString());
    return error;
}

/// One drawing from its file to its result; each step logs its facts and either goes on or
/// names the failure and its stage.
class DrawingRescue {
  public:
    DrawingRescue(const VellixConverter& converter, SVGPreviewImageRenderer& renderer,
                  const RescueCandidate& candidate, const RescueOptions& options)
        : converter_(converter),
          renderer_(renderer),
          candidate_(candidate),
          options_(options),
          outputPath_(outputURL(candidate, options)),
          previewPath_(replacingExtension(outputPath_, QStringLiteral("png"))) {}

    RescueResult run() {
        const std::optional<StageError> failure = steps();
        if (failure) {
            return failedResult(candidate_.url, log_, failure->error, failure->stage);
        }
        RescueResult result;
        result.sourceURL = candidate_.url;
        result.outputURL = outputPath_;
        result.missingFonts = missingFonts_;
        result.embeddedImageCount = imageCount_;
        result.isDryRun = options_.isDryRun;
        return result;
    }

  private:
    std::optional<StageError> steps() {
        logOpeningFacts(log_, candidate_, options_, outputPath_, previewPath_);
        if (auto failure = prepareDestination()) {
            return failure;
        }
        if (auto failure = open()) {
            return failure;
        }
        missingFonts_ = VellixConverter::missingFontNames(drawing_->document());
        QString svg;
        if (auto failure = buildSVG(svg)) {
            return failure;
        }
        return options_.isDryRun ? checkInMemory(svg) : writeFiles(svg);
    }

    void countEmbeddedImages() {
        imageCount_ = embeddedImageCount(drawing_->drawingFolder());
        log_.add(QStringLiteral("embedded images"), QString::number(imageCount_));
    }

    /// The check run: the SVG stays in memory, its preview is written.
    std::optional<StageError> checkInMemory(const QString& svg) {
        Outcome<QByteArray, StageError> png = renderPreview(svg);
        if (const StageError* failed = errorOf(png)) {
            return *failed;
        }
        if (auto failure = writePreview(std::get<QByteArray>(png))) {
            return failure;
        }
        countEmbeddedImages();
        log_.add(QStringLiteral("dry run"),
                 QStringLiteral("built SVG in memory; wrote PNG preview image only"));
        return std::nullopt;
    }

    /// The rescue run: the SVG file and what the options ask for, written all together.
    std::optional<StageError> writeFiles(const QString& svg) {
        if (std::optional<PipelineError> error = malformedSVGError(svg)) {
            return StageError{*error, QStringLiteral("building the SVG")};
        }
        RescueOutputs outputs;
        outputs.svgPath = outputPath_;
        outputs.svg = svg.toUtf8();
        if (options_.generatePNGPreviewImages) {
            Outcome<QByteArray, StageError> png = renderPreview(svg);
            if (const StageError* failed = errorOf(png)) {
                return *failed;
            }
            outputs.png = std::get<QByteArray>(std::move(png));
        }
        countEmbeddedImages();
        if (options_.storeOriginalImages && imageCount_ > 0) {
            outputs.imagesFolder =
                QDir(drawing_->drawingFolder()).filePath(QStringLiteral("Images"));
        }
        if (options_.writeMissingFontNotes && !missingFonts_.isEmpty()) {
            outputs.fontNote = missingFontNote(missingFonts_, candidate_.url).toUtf8();
        }
        Outcome<QList<WrittenOutput>> written =
            writeRescueOutputs(outputs, options_.overwriteDestinationFiles);
        if (const PipelineError* error = errorOf(written)) {
            return StageError{*error, QStringLiteral("writing the rescued files")};
        }
        for (const WrittenOutput& output : std::get<QList<WrittenOutput>>(written)) {
            log_.add(QStringLiteral("wrote"), output.path + QStringLiteral(" (") +
                                                  QString::number(output.bytes) +
                                                  QStringLiteral(" bytes)"));
        }
        return std::nullopt;
    }

    /// The first file of this drawing that would be replaced, when replacing is not allowed:
    /// known before the archive is unpacked. (The images folder and the font note depend on
    /// the drawing's content and are checked again before anything is written.)
    std::optional<QString> existingTarget() const {
        if (options_.overwriteDestinationFiles) {
            return std::nullopt;
        }
        QStringList targets;
        if (!options_.isDryRun) {
            targets.append(outputPath_);
        }
        if (writesPreview(options_)) {
            targets.append(previewPath_);
        }
        for (const QString& target : targets) {
            if (QFileInfo::exists(target)) {
                return target;
            }
        }
        return std::nullopt;
    }

    std::optional<StageError> prepareDestination() {
        const QString stage = QStringLiteral("preparing the destination");
        const QString folder = QFileInfo(outputPath_).absolutePath();
        std::error_code error;
        std::filesystem::create_directories(std::filesystem::path(folder.toStdString()), error);
        if (error) {
            return StageError{PipelineError::fileSystem(
                                  error, QStringLiteral("Could not create the folder"), folder),
                              stage};
        }
        if (const std::optional<QString> existing = existingTarget()) {
            return StageError{PipelineError::from(RescueError::destinationAlreadyExists(*existing)),
                              stage};
        }
        return std::nullopt;
    }

    std::optional<StageError> open() {
        Outcome<OpenedDrawing, StageError> opened =
            OpenedDrawing::openArchive(candidate_.url, log_);
        if (const StageError* failed = errorOf(opened)) {
            return *failed;
        }
        drawing_.emplace(std::get<OpenedDrawing>(std::move(opened)));
        return std::nullopt;
    }

    /// Every document yields an SVG unless it would be too large to hold.
    std::optional<StageError> buildSVG(QString& svg) {
        const QString stage = QStringLiteral("building the SVG");
        SVGContext context = drawing_->context(converter_);
        Outcome<QString> built = drawing_->buildSVG(converter_, context);
        if (const PipelineError* error = errorOf(built)) {
            return StageError{*error, stage};
        }
        svg = std::get<QString>(std::move(built));
        log_.add(QStringLiteral("svg size"),
                 QString::number(svg.toUtf8().size()) + QStringLiteral(" bytes, ") +
                     QString::number(context.defs.size()) + QStringLiteral(" defs"));
        return std::nullopt;
    }

    Outcome<QByteArray, StageError> renderPreview(const QString& svg) {
        Outcome<QByteArray> rendered = renderer_.render(svg, kPreviewSizeLimit);
        if (const PipelineError* error = errorOf(rendered)) {
            return StageError{*error, QStringLiteral("rendering the PNG preview image")};
        }
        QByteArray& png = std::get<QByteArray>(rendered);
        log_.add(QStringLiteral("preview image size"),
                 QString::number(png.size()) + QStringLiteral(" bytes"));
        return std::move(png);
    }

    std::optional<StageError> writePreview(const QByteArray& png) {
        if (const std::optional<WriteFailure> failure = writeFileAtomically(previewPath_, png)) {
            PipelineError error = PipelineError::fileSystem(
                failure->error, QStringLiteral("Could not write the PNG preview image"),
                previewPath_);
            error.description = QStringLiteral("Could not write the PNG preview image “") +
                                previewPath_ + QStringLiteral("”: ") + failure->reason;
            return StageError{error, QStringLiteral("writing the PNG preview image")};
        }
        return std::nullopt;
    }

    const VellixConverter& converter_;
    SVGPreviewImageRenderer& renderer_;
    const RescueCandidate& candidate_;
    const RescueOptions& options_;
    const QString outputPath_;
    const QString previewPath_;
    DiagnosticsLog log_;
    std::optional<OpenedDrawing> drawing_;
    QStringList missingFonts_;
    qint64 imageCount_ = 0;
};

}  // namespace

QString replacingExtension(const QString& path, const QString& extension) {
    const qsizetype nameStart = path.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > nameStart ? path.left(dot) : path;
    return stem + QLatin1Char('.') + extension;
}

QString outputURL(const RescueCandidate& candidate, const RescueOptions& options) {
    const QString relative =
        pathBelowBaseFolder(candidate).value_or(QFileInfo(candidate.url).fileName());
    // A name that is not UTF-8 is written out under its readable form.
    return replacingExtension(QDir(options.outputFolder).filePath(readablePath(relative)),
                              QStringLiteral("svg"));
}

RescueResult refusedRescue(const RescueCandidate& candidate, const RescueOptions& options,
                           const PipelineError& error) {
    const QString outputPath = outputURL(candidate, options);
    DiagnosticsLog log;
    logOpeningFacts(log, candidate, options, outputPath,
                    replacingExtension(outputPath, QStringLiteral("png")));
    return failedResult(candidate.url, log, error, QStringLiteral("preparing the destination"));
}

RescueResult rescueDrawing(const RescueCandidate& candidate, const RescueOptions& options,
                           const VellixConverter& converter, SVGPreviewImageRenderer& renderer) {
    return DrawingRescue(converter, renderer, candidate, options).run();
}

RescueResult rescueDrawing(const RescueCandidate& candidate, const RescueOptions& options) {
    return rescueDrawing(candidate, options, VellixConverter(), SVGPreviewImageRenderer::shared());
}

}  // namespace keelwick
