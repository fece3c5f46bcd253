#include "ui/MissingFontList.h"

#include "convert/FontLookup.h"
#include "workflow/MissingFontGroups.h"

#include <QClipboard>
#include <QGuiApplication>

namespace keelwick {

MissingFontList::MissingFontList(RescueViewModel& model, DesktopPlatform& platform, QObject* parent)
    : QAbstractListModel(parent), model_(model), platform_(platform) {}

void MissingFontList::show(QList<MissingFontGroup> groups,
                           QList<MissingFontInspectionIssue> issues) {
    beginResetModel();
    groups_ = std::move(groups);
    issues_ = std::move(issues);
    endResetModel();
    emit listChanged();
}

void MissingFontList::showSelectedDrawings() {
    showsRescueResults_ = false;
    show(missingFontGroups(model_.selectedCandidates()), model_.missingFontInspectionIssues());
}

void MissingFontList::showResults() {
    showsRescueResults_ = !model_.isDryRun();
    show(model_.missingFontGroupsForResults(), {});
}

QString MissingFontList::badge() const {
    return showsRescueResults_ ? QStringLiteral("RESCUE · SVG FILES")
                               : QStringLiteral("DRY RUN · PREVIEW IMAGES");
}

int MissingFontList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(groups_.size());
}

QVariant MissingFontList::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) {
        return {};
    }
    const MissingFontGroup& group = groups_[index.row()];
    switch (role) {
        case Qt::DisplayRole:
        case NameRole:
            return group.name;
        case LookUpHelpRole:
            return QStringLiteral("Look up “") + FontLookup::searchTerm(group.name) +
                   QStringLiteral("”. Google Fonts is free to download and install.");
        case ReferencedByRole:
            return QStringLiteral("Referenced by ") + QString::number(group.references.size()) +
                   (group.references.size() == 1 ? QStringLiteral(" drawing")
                                                 : QStringLiteral(" drawings"));
        case ReferencesRole: {
            QStringList paths;
            for (const MissingFontReference& reference : group.references) {
                paths.append(reference.displayPath);
            }
            return paths;
        }
        default:
            return {};
    }
}

QHash<int, QByteArray> MissingFontList::roleNames() const {
    return {{NameRole, "name"},
            {LookUpHelpRole, "lookUpHelp"},
            {ReferencedByRole, "referencedBy"},
            {ReferencesRole, "references"}};
}

QVariantList MissingFontList::inspectionIssues() const {
    QVariantList list;
    for (const MissingFontInspectionIssue& issue : issues_) {
        list.append(QVariantMap{{QStringLiteral("displayName"), issue.displayName},
                                {QStringLiteral("message"), issue.message}});
    }
    return list;
}

QStringList MissingFontList::searchTitles() const {
    QStringList titles;
    for (const FontLookup::Source source : FontLookup::allSources) {
        titles.append(QStringLiteral("Search ") + FontLookup::title(source));
    }
    return titles;
}

void MissingFontList::copyName(int row) const {
    if (row >= 0 && row < groups_.size()) {
        QGuiApplication::clipboard()->setText(groups_[row].name);
    }
}

void MissingFontList::findFont(int row, int source) const {
    if (row < 0 || row >= groups_.size() || source < 0 ||
        source >= int(FontLookup::allSources.size())) {
        return;
    }
    if (const std::optional<QUrl> address =
            FontLookup::url(groups_[row].name, FontLookup::allSources[source])) {
        platform_.openLink(*address);
    }
}

}  // namespace keelwick
