#pragma once

#include "convert/PropertyListValue.h"
#include "convert/SVGContext.h"
#include "pipeline/DrawingDocument.h"
#include "pipeline/NativePath.h"
#include "pipeline/PipelineError.h"
#include "pipeline/WorkFolder.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace keelwick {

class DiagnosticsLog;
class VellixConverter;

/// A drawing on disk, opened: its document parsed and the folder that holds its data.xml and
/// Images/ known. An archive is unpacked into a work folder that lives as long as this value;
/// a folder or a data.xml file is read in place. Every step logs its facts, and a failure
/// names the rescue stage it ends: "unpacking the archive", "reading data.xml" or "parsing
/// the document".
class OpenedDrawing {
  public:
    /// Opens an archive, a folder holding data.xml or a data.xml file (any name but
    /// ".idraw"), as the command line names them.
    static Outcome<OpenedDrawing, StageError> open(const QString& path, DiagnosticsLog& log);
    /// Opens the `.idraw` archive at `path`, whatever its name: the rescue's door.
    static Outcome<OpenedDrawing, StageError> openArchive(const QString& path, DiagnosticsLog& log);
    /// A document already in memory, its images in `drawingFolder`.
    static Outcome<OpenedDrawing, StageError> parse(const QByteArray& data,
                                                    const QString& drawingFolder,
                                                    DiagnosticsLog& log);

    const PropertyListDictionary& document() const { return document_.dictionary(); }
    /// The folder holding data.xml and Images/: where image fills find their assets.
    const QString& drawingFolder() const { return drawingFolder_; }
    /// A conversion context for this drawing, with the converter's text budget.
    SVGContext context(const VellixConverter& converter) const;
    /// The drawing's SVG text built by `converter` in `context`; a conversion error when the
    /// build fails.
    Outcome<QString> buildSVG(const VellixConverter& converter, SVGContext& context) const;
    /// The same in a fresh context, by the program's converter.
    Outcome<QString> buildSVG() const;

  private:
    OpenedDrawing() = default;
    static Outcome<OpenedDrawing, StageError> unpack(OpenedDrawing drawing, const QString& path,
                                                     DiagnosticsLog& log);
    static Outcome<OpenedDrawing, StageError> read(OpenedDrawing drawing, DiagnosticsLog& log,
                                                   QByteArray data = {});
    static Outcome<OpenedDrawing, StageError> parseInto(OpenedDrawing drawing,
                                                        const QByteArray& data,
                                                        DiagnosticsLog& log);

    /// Keeps a name that is not UTF-8 reachable while the drawing's folder is read.
    std::unique_ptr<ReachablePath> reachable_;
    std::unique_ptr<WorkFolder> workFolder_;
    QString drawingFolder_;
    DrawingDocument document_;
};

}  // namespace keelwick
