#pragma once

#include "pipeline/PipelineError.h"
#include "pipeline/RescueRecords.h"

#include <QHash>
#include <QString>

#include <optional>

namespace keelwick {

/// The output paths the drawings of one run have taken. Two drawings of a run never write
/// the same file, whatever the overwrite option says: "Plan.idraw" and "Plan.IDRAW" in one
/// folder both map to "Plan.png", and the second would silently replace the first. The
/// run's own "report.txt" in the output folder is taken from the start, so no drawing's
/// output goes at or below it (a source folder named "report.txt" would mirror there).
class OutputClaims {
  public:
    /// Takes the output paths of `candidate` under `options`; absent when they were free,
    /// otherwise the error that fails the drawing, naming who has them.
    std::optional<PipelineError> claim(const RescueCandidate& candidate,
                                       const RescueOptions& options);

  private:
    /// Output path (cleaned) → the drawing that took it.
    QHash<QString, QString> owners_;
};

}  // namespace keelwick
