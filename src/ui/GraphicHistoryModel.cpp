#include "ui/GraphicHistoryModel.h"

#include "pipeline/AppIdentity.h"

namespace keelwick {

GraphicHistoryModel::GraphicHistoryModel(QObject* parent)
    : QAbstractListModel(parent), milestones_(milestones()) {}

QList<GraphicHistoryMilestone> GraphicHistoryModel::milestones() {
    return {
        {"apple-silicon", "22 June 2020",
         "Apple announces the Mac's move to Apple silicon, with Rosetta 2 to run Intel apps.",
         false, false},
        {"big-sur", "12 November 2020", "macOS Big Sur ships with Rosetta 2.", false, false},
        {"m1", "17 November 2020", "The first Macs with the M1 chip go on sale.", false, false},
        {"tahoe-announced", "9 June 2025",
         "macOS Tahoe is announced as the last release for Intel Macs. General-purpose Rosetta "
         "stays available through macOS 27, then only for a subset of older games.",
         true, false},
        {"tahoe-released", "15 September 2025",
         "macOS 26 Tahoe is released, the final macOS for Intel Macs.", true, false},
        {"intel-warning", "16 February 2026",
         "The macOS 26.4 beta warns whenever an Intel-only app is launched.", true, false},
        {"rosetta-games-only", "Autumn 2027, expected",
         "macOS 28 keeps Rosetta only for games: Intel-only apps stop running.", true, false},
        {"keelwick", QStringLiteral(KEELWICK_RELEASE_DATE),
         QStringLiteral("Keelwick %1 rescues Graphic/iDraw drawings into open SVG, on any "
                        "computer.")
             .arg(AppIdentity::versionString()),
         false, true},
    };
}

int GraphicHistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(milestones_.size());
}

QVariant GraphicHistoryModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) {
        return {};
    }
    const GraphicHistoryMilestone& milestone = milestones_[index.row()];
    switch (role) {
        case DateRole:
            return milestone.date;
        case Qt::DisplayRole:
        case TitleRole:
            return milestone.title;
        case IsWarningRole:
            return milestone.isWarning;
        case IsRescueReleaseRole:
            return milestone.isRescueRelease;
        default:
            return {};
    }
}

QHash<int, QByteArray> GraphicHistoryModel::roleNames() const {
    return {{DateRole, "date"},
            {TitleRole, "title"},
            {IsWarningRole, "isWarning"},
            {IsRescueReleaseRole, "isRescueRelease"}};
}

}  // namespace keelwick
