#pragma once

#include "pipeline/DrawingDocument.h"
#include "pipeline/NativePath.h"
#include "pipeline/WorkFolder.h"

#include <QString>

#include <memory>
#include <optional>

namespace keelwick::cli {

/// A drawing named on the command line, opened: a `.idraw` archive is unpacked into a work
/// folder that lives as long as this value; a folder or a `data.xml` file is read in place.
class DrawingInput {
  public:
    /// Opens INPUT; on failure `error()` holds the message for the user.
    explicit DrawingInput(const QString& input);

    bool succeeded() const { return !error_.has_value(); }
    const std::optional<QString>& error() const { return error_; }
    const PropertyListDictionary& document() const { return document_.dictionary(); }
    /// The drawing's SVG text, its image fills resolved in `drawingFolder()`; absent, with
    /// the message for the user in `failure`, when the drawing cannot be built.
    std::optional<QString> buildSVG(QString& failure) const;
    /// The folder holding data.xml and Images/: where image fills find their assets.
    const QString& drawingFolder() const { return drawingFolder_; }

  private:
    void open(const QString& named);

    /// Keeps a name that is not UTF-8 reachable while the drawing's folder is read.
    std::unique_ptr<ReachablePath> reachable_;
    std::unique_ptr<WorkFolder> workFolder_;
    QString drawingFolder_;
    DrawingDocument document_;
    std::optional<QString> error_;
};

}  // namespace keelwick::cli
