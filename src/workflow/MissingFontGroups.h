#pragma once

#include "pipeline/RescueRecords.h"

#include <QList>
#include <QString>

#include <functional>

namespace keelwick {

// The missing fonts the review and report dialogs list: one group per font name with the
// drawings that use it, both in the file-browser order of names and display paths.

/// The groups of the candidates' missing fonts, each reference labelled with the
/// candidate's display path.
QList<MissingFontGroup> missingFontGroups(const QList<RescueCandidate>& candidates);

/// The groups of the results' missing fonts, each reference labelled with the path
/// `displayPath` gives for its result.
QList<MissingFontGroup> missingFontGroups(
    const QList<RescueResult>& results,
    const std::function<QString(const RescueResult&)>& displayPath);

/// One issue per candidate whose fonts could not be inspected, in order.
QList<MissingFontInspectionIssue> missingFontInspectionIssues(
    const QList<RescueCandidate>& selectedCandidates);

}  // namespace keelwick
