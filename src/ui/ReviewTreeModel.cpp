#include "ui/ReviewTreeModel.h"

#include "workflow/DrawingScan.h"

#include <QFileInfo>

#include <algorithm>

namespace keelwick {

namespace {

struct FilterInfo {
    const char* title;
    const char* symbol;
    const char* emptyText;
};

constexpr FilterInfo filterInfo[] = {
    {"All", "square-grid", "No drawings found."},
    {"Font problems", "text-format", "No drawings with font problems. Nice."},
    {"Needs attention", "warning-triangle", "No drawings need attention. Nice."},
};

QString counted(qint64 count, const char* singular, const char* plural) {
    return QString::number(count) + QLatin1Char(' ') +
           QString::fromUtf8(count == 1 ? singular : plural);
}

/// A tree while it is built: children in the order found, folders also by name.
struct GrowingNode {
    QString name;
    int candidate = -1;
    std::vector<int> children;
    QHash<QString, int> folders;
};

/// The tree's path components of a candidate: its display path's, or its file name.
QStringList components(const RescueCandidate& candidate) {
    QStringList parts = displayPath(candidate).split(u'/', Qt::SkipEmptyParts);
    if (parts.isEmpty()) {
        parts.append(lastPathComponent(candidate.url));
    }
    return parts;
}

}  // namespace

ReviewTreeModel::ReviewTreeModel(RescueViewModel& model, RescuePlatform& platform, QObject* parent)
    : QAbstractListModel(parent), model_(model), platform_(platform) {
    connect(&model_, &RescueViewModel::candidatesChanged, this, &ReviewTreeModel::follow);
    connect(&model_, &RescueViewModel::isLoadingSelectionPreviewChanged, this,
            &ReviewTreeModel::shownChanged);
    follow();
}

void ReviewTreeModel::follow() {
    const QList<RescueCandidate>& candidates = model_.candidates();
    const bool sameDrawings = std::equal(
        builtFrom_.begin(), builtFrom_.end(), candidates.begin(), candidates.end(),
        [](const QUuid& id, const RescueCandidate& candidate) { return id == candidate.id; });
    if (sameDrawings) {
        const std::vector<int> shownBefore = shownSums_;
        const std::vector<int> selectedBefore = selectedSums_;
        recount();
        if (shownSums_ == shownBefore) {
            announceSelection(selectedBefore);
            return;
        }
    } else {
        rebuildTree();
        recount();
    }
    beginResetModel();
    rebuildRows();
    endResetModel();
    emit shownChanged();
}

void ReviewTreeModel::rebuildTree() {
    const QList<RescueCandidate>& candidates = model_.candidates();
    builtFrom_.clear();
    candidateIndex_.clear();
    std::vector<GrowingNode> growing(1);  // the root
    for (int index = 0; index < int(candidates.size()); ++index) {
        builtFrom_.push_back(candidates[index].id);
        candidateIndex_.insert(candidates[index].id, index);
        const QStringList parts = components(candidates[index]);
        int at = 0;
        for (qsizetype depth = 0; depth + 1 < parts.size(); ++depth) {
            const auto found = growing[at].folders.constFind(parts[depth]);
            if (found != growing[at].folders.constEnd()) {
                at = *found;
                continue;
            }
            growing.push_back({parts[depth], -1, {}, {}});
            const int folder = int(growing.size()) - 1;
            growing[at].folders.insert(parts[depth], folder);
            growing[at].children.push_back(folder);
            at = folder;
        }
        growing.push_back({parts.back(), index, {}, {}});
        growing[at].children.push_back(int(growing.size()) - 1);
    }

    // The candidates come in display-path order, so most levels are sorted already and cost
    // one comparison per name.
    const auto byName = [&](int left, int right) {
        return localizedStandardCompare(growing[left].name, growing[right].name) < 0;
    };
    for (GrowingNode& node : growing) {
        if (!std::is_sorted(node.children.begin(), node.children.end(), byName)) {
            std::stable_sort(node.children.begin(), node.children.end(), byName);
        }
    }

    nodes_.clear();
    leafCandidates_.clear();
    // Depth first, each node placed before its children; its ends are known after them.
    const auto place = [&](auto&& self, int grown, int depth) -> void {
        const int at = int(nodes_.size());
        nodes_.push_back({growing[grown].name, depth, growing[grown].candidate,
                          int(leafCandidates_.size()), 0, 0, true});
        if (growing[grown].candidate >= 0) {
            leafCandidates_.push_back(growing[grown].candidate);
        }
        for (int child : growing[grown].children) {
            self(self, child, depth + 1);
        }
        nodes_[at].leafEnd = int(leafCandidates_.size());
        nodes_[at].subtreeEnd = int(nodes_.size());
    };
    for (int child : growing[0].children) {
        place(place, child, 0);
    }
}

bool ReviewTreeModel::shows(const RescueCandidate& candidate) const {
    switch (filter_) {
        case Filter::fontProblems:
            return !candidate.missingFonts.isEmpty();
        case Filter::needsAttention:
            return candidate.fontInspectionError.has_value();
        case Filter::all:
            break;
    }
    return true;
}

void ReviewTreeModel::recount() {
    const QList<RescueCandidate>& candidates = model_.candidates();
    shownSums_.assign(leafCandidates_.size() + 1, 0);
    selectedSums_.assign(leafCandidates_.size() + 1, 0);
    for (size_t leaf = 0; leaf < leafCandidates_.size(); ++leaf) {
        const RescueCandidate& candidate = candidates[leafCandidates_[leaf]];
        const bool isShown = shows(candidate);
        shownSums_[leaf + 1] = shownSums_[leaf] + (isShown ? 1 : 0);
        selectedSums_[leaf + 1] = selectedSums_[leaf] + (isShown && candidate.isSelected ? 1 : 0);
    }
}

void ReviewTreeModel::appendRows(int begin, int end, std::vector<int>& rows) const {
    int node = begin;
    while (node < end) {
        const Node& shown = nodes_[node];
        if (shownCount(shown.leafBegin, shown.leafEnd) == 0) {
            node = shown.subtreeEnd;  // a hidden drawing, or a folder of hidden ones
            continue;
        }
        rows.push_back(node);
        node = shown.isExpanded ? node + 1 : shown.subtreeEnd;
    }
}

void ReviewTreeModel::rebuildRows() {
    rows_.clear();
    appendRows(0, int(nodes_.size()), rows_);
}

void ReviewTreeModel::announceSelection(const std::vector<int>& selectedBefore) {
    const auto changed = [&](const Node& node) {
        const int before = selectedBefore[node.leafEnd] - selectedBefore[node.leafBegin];
        return before != selectedCount(node.leafBegin, node.leafEnd);
    };
    // The changed rows in runs, one signal per run.
    int runStart = -1;
    for (int row = 0; row <= int(rows_.size()); ++row) {
        const bool isChanged = row < int(rows_.size()) && changed(nodes_[rows_[row]]);
        if (isChanged && runStart < 0) {
            runStart = row;
        } else if (!isChanged && runStart >= 0) {
            emit dataChanged(index(runStart), index(row - 1),
                             {CheckStateRole, CheckLabelRole, CheckHelpRole, CountTextRole});
            runStart = -1;
        }
    }
}

int ReviewTreeModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

const RescueCandidate* ReviewTreeModel::candidateOf(int row) const {
    if (row < 0 || row >= int(rows_.size()) || nodes_[rows_[row]].candidate < 0) {
        return nullptr;
    }
    return &model_.candidates()[nodes_[rows_[row]].candidate];
}

const RescueCandidate* ReviewTreeModel::candidateWithID(const QString& id) const {
    const auto found = candidateIndex_.constFind(QUuid::fromString(id));
    if (found == candidateIndex_.constEnd() || *found >= model_.candidates().size()) {
        return nullptr;
    }
    return &model_.candidates()[*found];
}

ReviewTreeModel::CheckState ReviewTreeModel::checkState(const Node& node) const {
    const int selected = selectedCount(node.leafBegin, node.leafEnd);
    if (selected == 0) {
        return none;
    }
    return selected == shownCount(node.leafBegin, node.leafEnd) ? all : some;
}

QVariant ReviewTreeModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) {
        return {};
    }
    const Node& node = nodes_[rows_[index.row()]];
    switch (role) {
        case Qt::DisplayRole:
        case NameRole:
            return node.name;
        case DepthRole:
            return node.depth;
        case IsFolderRole:
            return node.candidate < 0;
        case IsExpandedRole:
            return node.isExpanded;
        default:
            break;
    }
    if (node.candidate < 0) {
        return folderData(node, role);
    }
    return drawingData(node, model_.candidates()[node.candidate], role);
}

QVariant ReviewTreeModel::folderData(const Node& node, int role) const {
    const bool allSelected = checkState(node) == all;
    switch (role) {
        case CheckStateRole:
            return checkState(node);
        case CheckLabelRole:
            return (allSelected ? QStringLiteral("Deselect all in ")
                                : QStringLiteral("Select all in ")) +
                   node.name;
        case CheckHelpRole:
            return allSelected ? QStringLiteral("Deselect every drawing in this folder.")
                               : QStringLiteral("Select every drawing in this folder.");
        case CountTextRole: {
            const int files = shownCount(node.leafBegin, node.leafEnd);
            return QString::number(selectedCount(node.leafBegin, node.leafEnd)) +
                   QStringLiteral(" of ") + counted(files, "file", "files");
        }
        default:
            return {};
    }
}

QVariant ReviewTreeModel::drawingData(const Node& node, const RescueCandidate& candidate,
                                      int role) const {
    switch (role) {
        case CheckStateRole:
            return candidate.isSelected ? all : none;
        case CheckLabelRole:
        case CheckHelpRole:
            return (candidate.isSelected ? QStringLiteral("Deselect ")
                                         : QStringLiteral("Select ")) +
                   node.name;
        case PathHelpRole:
            return QStringLiteral("Show ") + node.name + QStringLiteral(" in the file manager.");
        case ThumbnailRole:
            return candidate.storedPicture && !candidate.storedPicture->thumbnailJPEG.isEmpty()
                       ? QStringLiteral("image://thumbnail/") +
                             candidate.id.toString(QUuid::WithoutBraces)
                       : QString();
        case PictureHelpRole:
            return candidate.storedPicture
                       ? QStringLiteral("Show the embedded JPG preview.")
                       : QStringLiteral("No JPG preview was found in this iDraw archive.");
        case ImageCountRole:
            return candidate.embeddedImageCount;
        case ImageHelpRole:
            return counted(candidate.embeddedImageCount, "embedded image", "embedded images");
        case FontStatusRole:
            return candidate.fontInspectionError      ? fontsUninspected
                   : candidate.missingFonts.isEmpty() ? fontsOK
                                                      : fontsMissing;
        case FontStatusTextRole:
            return QString::number(candidate.missingFonts.size());
        case FontStatusHelpRole:
            if (candidate.fontInspectionError) {
                return *candidate.fontInspectionError;
            }
            return candidate.missingFonts.isEmpty()
                       ? QStringLiteral("Fonts OK")
                       : counted(candidate.missingFonts.size(), "missing font", "missing fonts");
        default:
            return {};
    }
}

QHash<int, QByteArray> ReviewTreeModel::roleNames() const {
    return {{NameRole, "name"},
            {DepthRole, "depth"},
            {IsFolderRole, "isFolder"},
            {IsExpandedRole, "isExpanded"},
            {CheckStateRole, "checkState"},
            {CheckLabelRole, "checkLabel"},
            {CheckHelpRole, "checkHelp"},
            {CountTextRole, "countText"},
            {PathHelpRole, "pathHelp"},
            {ThumbnailRole, "thumbnail"},
            {PictureHelpRole, "pictureHelp"},
            {ImageCountRole, "imageCount"},
            {ImageHelpRole, "imageHelp"},
            {FontStatusRole, "fontStatus"},
            {FontStatusTextRole, "fontStatusText"},
            {FontStatusHelpRole, "fontStatusHelp"}};
}

void ReviewTreeModel::setFilter(int filter) {
    const auto chosen = static_cast<Filter>(std::clamp(filter, 0, 2));
    if (chosen == filter_) {
        return;
    }
    filter_ = chosen;
    recount();
    beginResetModel();
    rebuildRows();
    endResetModel();
    emit filterChanged();
    emit shownChanged();
}

QVariantList ReviewTreeModel::filters() const {
    QVariantList list;
    for (const FilterInfo& info : filterInfo) {
        const QString title = QString::fromUtf8(info.title);
        list.append(QVariantMap{
            {QStringLiteral("title"), title},
            {QStringLiteral("symbol"), QString::fromUtf8(info.symbol)},
            {QStringLiteral("help"), QStringLiteral("Filter by ") + title.toLower() + u'.'}});
    }
    return list;
}

QString ReviewTreeModel::emptyText() const {
    return QString::fromUtf8(filterInfo[filter()].emptyText);
}

QString ReviewTreeModel::emptySymbol() const {
    return QString::fromUtf8(filterInfo[filter()].symbol);
}

QString ReviewTreeModel::selectShownTitle() const {
    return filter_ == Filter::all ? QStringLiteral("Select All") : QStringLiteral("Select Visible");
}

QString ReviewTreeModel::deselectShownTitle() const {
    return filter_ == Filter::all ? QStringLiteral("Deselect All")
                                  : QStringLiteral("Deselect Visible");
}

bool ReviewTreeModel::bulkSelectionIsEnabled() const {
    return !model_.isLoadingSelectionPreview() && shownDrawingCount() > 0;
}

std::set<QUuid> ReviewTreeModel::shownIDs(int leafBegin, int leafEnd) const {
    const QList<RescueCandidate>& candidates = model_.candidates();
    std::set<QUuid> ids;
    for (int leaf = leafBegin; leaf < leafEnd; ++leaf) {
        if (shownSums_[leaf + 1] != shownSums_[leaf]) {
            ids.insert(candidates[leafCandidates_[leaf]].id);
        }
    }
    return ids;
}

void ReviewTreeModel::toggle(int row) {
    if (row < 0 || row >= int(rows_.size())) {
        return;
    }
    const Node& node = nodes_[rows_[row]];
    if (const RescueCandidate* candidate = candidateOf(row)) {
        model_.setSelection(*candidate, !candidate->isSelected);
        return;
    }
    const bool selectsAll = checkState(node) != all;
    model_.setCandidatesSelected(shownIDs(node.leafBegin, node.leafEnd), selectsAll);
}

void ReviewTreeModel::setShownSelected(bool isSelected) {
    model_.setCandidatesSelected(shownIDs(0, int(leafCandidates_.size())), isSelected);
}

void ReviewTreeModel::setExpanded(int row, bool isExpanded) {
    if (row < 0 || row >= int(rows_.size())) {
        return;
    }
    const int folder = rows_[row];
    Node& node = nodes_[folder];
    if (node.candidate >= 0 || node.isExpanded == isExpanded) {
        return;
    }
    node.isExpanded = true;
    std::vector<int> below;
    appendRows(folder + 1, node.subtreeEnd, below);
    node.isExpanded = isExpanded;
    if (!below.empty()) {
        const int first = row + 1;
        const int last = row + int(below.size());
        if (isExpanded) {
            beginInsertRows({}, first, last);
            rows_.insert(rows_.begin() + first, below.begin(), below.end());
            endInsertRows();
        } else {
            beginRemoveRows({}, first, last);
            rows_.erase(rows_.begin() + first, rows_.begin() + last + 1);
            endRemoveRows();
        }
    }
    emit dataChanged(index(row), index(row), {IsExpandedRole});
}

void ReviewTreeModel::reveal(int row) {
    const RescueCandidate* candidate = candidateOf(row);
    // A drawing moved or deleted since the scan has nothing to show.
    if (candidate && QFileInfo::exists(candidate->url)) {
        platform_.revealInFileManager(candidate->url);
    }
}

QVariantMap ReviewTreeModel::drawing(int row) const {
    const RescueCandidate* candidate = candidateOf(row);
    if (!candidate) {
        return {};
    }
    return {{QStringLiteral("name"), nodes_[rows_[row]].name},
            {QStringLiteral("path"), candidate->url},
            {QStringLiteral("hasStoredPicture"), candidate->storedPicture.has_value()},
            {QStringLiteral("missingFonts"), candidate->missingFonts}};
}

}  // namespace keelwick
