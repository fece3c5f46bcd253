// The missing-font lists of the dialogs: groups by exact font name in the file-browser
// order, their references by display path, and the drawings whose fonts were unreadable.

#include "workflow/MissingFontGroups.h"

#include "support/QtPrinting.h"

#include <gtest/gtest.h>

namespace keelwick {
namespace {

RescueCandidate candidate(const QString& url, const QStringList& missingFonts,
                          std::optional<QString> baseFolder = "/art") {
    RescueCandidate made(url, std::move(baseFolder));
    made.missingFonts = missingFonts;
    return made;
}

QStringList names(const QList<MissingFontGroup>& groups) {
    QStringList list;
    for (const MissingFontGroup& group : groups) {
        list.append(group.name);
    }
    return list;
}

QStringList paths(const MissingFontGroup& group) {
    QStringList list;
    for (const MissingFontReference& reference : group.references) {
        list.append(reference.displayPath);
    }
    return list;
}

TEST(MissingFontGroups, GroupsCandidatesByExactNameInFileBrowserOrder) {
    const QList<MissingFontGroup> groups = missingFontGroups(QList<RescueCandidate>{
        candidate("/art/Sheet 10.idraw", {"Zapfino", "avenir"}),
        candidate("/art/Sheet 9.idraw", {"Zapfino", "Font2"}),
        candidate("/art/b/x.idraw", {"Font10", "Avenir"}),
        candidate("/direct/a.idraw", {"Zapfino"}, std::nullopt),
        candidate("/art/none.idraw", {}),
    });
    // Exact names: "avenir" and "Avenir" stay apart, in the order first met.
    EXPECT_EQ(names(groups), QStringList({"avenir", "Avenir", "Font2", "Font10", "Zapfino"}));
    ASSERT_EQ(groups.size(), 5);
    EXPECT_EQ(paths(groups[0]), QStringList({"Sheet 10.idraw"}));
    EXPECT_EQ(paths(groups[4]),
              QStringList({"/direct/a.idraw", "Sheet 9.idraw", "Sheet 10.idraw"}));
}

TEST(MissingFontGroups, LabelsResultsWithTheGivenDisplayPath) {
    RescueResult first;
    first.sourceURL = "/art/b.idraw";
    first.missingFonts = {"Optima"};
    RescueResult second;
    second.sourceURL = "/art/a.idraw";
    second.missingFonts = {"Optima", "Didot"};
    RescueResult failed;
    failed.sourceURL = "/art/c.idraw";
    failed.errorMessage = "broken";

    const QList<MissingFontGroup> groups =
        missingFontGroups(QList<RescueResult>{first, second, failed},
                          [](const RescueResult& result) { return result.sourceURL.mid(5); });
    EXPECT_EQ(names(groups), QStringList({"Didot", "Optima"}));
    ASSERT_EQ(groups.size(), 2);
    EXPECT_EQ(paths(groups[0]), QStringList({"a.idraw"}));
    EXPECT_EQ(paths(groups[1]), QStringList({"a.idraw", "b.idraw"}));
}

TEST(MissingFontInspectionIssues, ListsTheCandidatesWithAnErrorInOrder) {
    RescueCandidate broken = candidate("/art/sub/Broken.idraw", {});
    broken.fontInspectionError = "This Graphic/iDraw file does not contain data.xml.";
    RescueCandidate fine = candidate("/art/fine.idraw", {"Optima"});
    RescueCandidate odd = candidate("/art/odd.idraw", {});
    odd.fontInspectionError = "This Graphic/iDraw file could not be opened as an archive.";

    const QList<MissingFontInspectionIssue> issues =
        missingFontInspectionIssues({broken, fine, odd});
    EXPECT_EQ(issues,
              (QList<MissingFontInspectionIssue>{
                  {"Broken.idraw", "This Graphic/iDraw file does not contain data.xml."},
                  {"odd.idraw", "This Graphic/iDraw file could not be opened as an archive."}}));
}

}  // namespace
}  // namespace keelwick
