#pragma once

#include "pipeline/PipelineError.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace keelwick {

/// What a rescue run writes for one drawing: its SVG file and, beside it, what the options ask
/// for. Every path derives from the SVG's: NAME.svg, NAME.png, NAME_images/ and
/// NAME_missing-fonts.txt.
struct RescueOutputs {
    QString svgPath;
    QByteArray svg;
    /// The PNG preview image, when previews were asked for.
    std::optional<QByteArray> png;
    /// The drawing's unpacked "Images" folder, whose files are stored in their original bytes,
    /// when original images were asked for and the drawing has some.
    std::optional<QString> imagesFolder;
    /// The text of the missing-font note, when notes were asked for and fonts are missing.
    std::optional<QByteArray> fontNote;

    /// The paths this drawing writes, in the order the overwrite rule checks them.
    QStringList targetPaths() const;
};

/// One file or folder written, for the log.
struct WrittenOutput {
    QString path;
    qint64 bytes = 0;
};

/// NAME_images/ beside NAME.svg.
QString originalImagesPath(const QString& svgPath);
/// NAME_missing-fonts.txt beside NAME.svg.
QString missingFontNotePath(const QString& svgPath);

/// The note of fonts a drawing uses that are not installed: each font with its search addresses
/// at Google Fonts, MyFonts and Adobe Fonts, and the drawing it was found in.
QString missingFontNote(const QStringList& fonts, const QString& drawingPath);

/// A name from an archive as a safe name of a file inside one folder: never empty, never "."
/// or "..", never hidden, no "/" and no control characters, at most 255 bytes.
QString safeFileName(const QString& name);

/// Writes all of `outputs` or none of them. Without `overwrite` the first target that exists
/// fails with `destinationAlreadyExists` before anything is written; with it each target is
/// replaced, a folder as a whole. Everything is first written into a hidden folder beside the
/// targets and then moved into place; a failure on the way moves back what was replaced, so
/// that the drawing's earlier files stay as they were and no new one is left behind.
Outcome<QList<WrittenOutput>> writeRescueOutputs(const RescueOutputs& outputs, bool overwrite);

}  // namespace keelwick
