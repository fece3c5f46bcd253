#pragma once

#include "pipeline/PipelineError.h"
#include "pipeline/RescueRecords.h"

#include <QString>

namespace keelwick {

class SVGPreviewImageRenderer;
class VellixConverter;

/// Takes one drawing from its file to its result: unpacked into a work folder, parsed, built
/// by `converter`, rendered to its PNG preview by `renderer` and written; never fails, a
/// failure becomes a result with its message and diagnostics. Blocks the calling thread (a
/// worker's).
RescueResult rescueDrawing(const RescueCandidate& candidate, const RescueOptions& options,
                           const VellixConverter& converter, SVGPreviewImageRenderer& renderer);
/// The same by the program's converter and shared preview renderer.
RescueResult rescueDrawing(const RescueCandidate& candidate, const RescueOptions& options);

/// The drawing's SVG output path: below the output folder, mirroring the folders between the
/// candidate's base folder and the drawing, or directly in it when the drawing was chosen
/// on its own; the extension becomes "svg".
QString outputURL(const RescueCandidate& candidate, const RescueOptions& options);

/// The failed result of a drawing refused before its rescue began (its output path taken by
/// another drawing of the same run, say), like any failed rescue: its log holds the facts
/// every rescue opens with and `error` at the stage "preparing the destination".
RescueResult refusedRescue(const RescueCandidate& candidate, const RescueOptions& options,
                           const PipelineError& error);

/// The path with the extension of its last component replaced by `extension` (added when
/// the name has none; a name's leading dot is no extension).
QString replacingExtension(const QString& path, const QString& extension);

}  // namespace keelwick
