#include "workflow/MissingFontGroups.h"

#include "pipeline/NativePath.h"
#include "workflow/DrawingScan.h"

#include <QHash>

#include <algorithm>
#include <utility>

namespace keelwick {

namespace {

// Groups (font name, display path) pairs by exact name. Names that differ only in letter
// case stay apart but compare equal in the sort, where the stable sort keeps them in the
// order they were first met.
QList<MissingFontGroup> grouped(const QList<std::pair<QString, QString>>& namesAndPaths) {
    QList<MissingFontGroup> groups;
    QHash<QString, qsizetype> groupIndex;
    for (const auto& [name, path] : namesAndPaths) {
        auto found = groupIndex.constFind(name);
        if (found == groupIndex.constEnd()) {
            found = groupIndex.insert(name, groups.size());
            groups.append(MissingFontGroup{name, {}});
        }
        groups[*found].references.append(MissingFontReference{path});
    }
    for (MissingFontGroup& group : groups) {
        std::stable_sort(group.references.begin(), group.references.end(),
                         [](const MissingFontReference& left, const MissingFontReference& right) {
                             return localizedStandardCompare(left.displayPath, right.displayPath) <
                                    0;
                         });
    }
    std::stable_sort(groups.begin(), groups.end(),
                     [](const MissingFontGroup& left, const MissingFontGroup& right) {
                         return localizedStandardCompare(left.name, right.name) < 0;
                     });
    return groups;
}

}  // namespace

QList<MissingFontGroup> missingFontGroups(const QList<RescueCandidate>& candidates) {
    QList<std::pair<QString, QString>> namesAndPaths;
    for (const RescueCandidate& candidate : candidates) {
        const QString path = displayPath(candidate);
        for (const QString& name : candidate.missingFonts) {
            namesAndPaths.append({name, path});
        }
    }
    return grouped(namesAndPaths);
}

QList<MissingFontGroup> missingFontGroups(
    const QList<RescueResult>& results,
    const std::function<QString(const RescueResult&)>& displayPath) {
    QList<std::pair<QString, QString>> namesAndPaths;
    for (const RescueResult& result : results) {
        const QString path = displayPath(result);
        for (const QString& name : result.missingFonts) {
            namesAndPaths.append({name, path});
        }
    }
    return grouped(namesAndPaths);
}

QList<MissingFontInspectionIssue> missingFontInspectionIssues(
    const QList<RescueCandidate>& selectedCandidates) {
    QList<MissingFontInspectionIssue> issues;
    for (const RescueCandidate& candidate : selectedCandidates) {
        if (candidate.fontInspectionError) {
            issues.append(
                {readablePath(lastPathComponent(candidate.url)), *candidate.fontInspectionError});
        }
    }
    return issues;
}

}  // namespace keelwick
