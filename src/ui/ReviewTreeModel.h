#pragma once

#include "workflow/RescueViewModel.h"

#include <QtQml/qqmlregistration.h>
#include <QAbstractListModel>
#include <QVariantList>

#include <vector>

namespace keelwick {

/// The review dialog's folder tree of the drawings found, as a list of rows with their depth:
/// only the rows of expanded folders are rows, and only the drawings the filter shows.
///
/// The tree of all candidates is built once per analysis; a filter prunes it (a folder is
/// shown while a drawing below it is), so the tree of the shown drawings is never built
/// again. The drawings lie in tree order, so every folder's drawings are one range of them
/// and its counts come from running sums, recomputed in one pass when a selection changes.
/// A selection is announced for the rows it changed; nothing is rebuilt for it.
class ReviewTreeModel : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The review's tree is made with its model.")
    Q_PROPERTY(int filter READ filter WRITE setFilter NOTIFY filterChanged)
    Q_PROPERTY(QVariantList filters READ filters CONSTANT)
    Q_PROPERTY(QString emptyText READ emptyText NOTIFY filterChanged)
    Q_PROPERTY(QString emptySymbol READ emptySymbol NOTIFY filterChanged)
    Q_PROPERTY(QString selectShownTitle READ selectShownTitle NOTIFY filterChanged)
    Q_PROPERTY(QString deselectShownTitle READ deselectShownTitle NOTIFY filterChanged)
    Q_PROPERTY(int shownDrawingCount READ shownDrawingCount NOTIFY shownChanged)
    Q_PROPERTY(bool bulkSelectionIsEnabled READ bulkSelectionIsEnabled NOTIFY shownChanged)

  public:
    /// The review's filters, in the order of their pills.
    enum class Filter { all, fontProblems, needsAttention };
    Q_ENUM(Filter)

    enum Role {
        NameRole = Qt::UserRole + 1,
        DepthRole,
        IsFolderRole,
        IsExpandedRole,
        CheckStateRole,
        CheckLabelRole,
        CheckHelpRole,
        CountTextRole,
        PathHelpRole,
        ThumbnailRole,
        PictureHelpRole,
        ImageCountRole,
        ImageHelpRole,
        FontStatusRole,
        FontStatusTextRole,
        FontStatusHelpRole,
    };

    /// The three states of a folder's checkbox; a drawing's is never `some`.
    enum CheckState { none, some, all };
    Q_ENUM(CheckState)
    /// What a drawing's font status shows.
    enum FontStatus { fontsOK, fontsMissing, fontsUninspected };
    Q_ENUM(FontStatus)

    /// `platform` reveals drawings in the file manager.
    ReviewTreeModel(RescueViewModel& model, RescuePlatform& platform, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    int filter() const { return static_cast<int>(filter_); }
    void setFilter(int filter);
    QVariantList filters() const;
    QString emptyText() const;
    QString emptySymbol() const;
    QString selectShownTitle() const;
    QString deselectShownTitle() const;
    int shownDrawingCount() const { return shownCount(0, int(leafCandidates_.size())); }
    bool bulkSelectionIsEnabled() const;

    /// The row's checkbox activated: a drawing flips, a folder selects all its shown
    /// drawings unless all are selected, then it deselects them.
    Q_INVOKABLE void toggle(int row);
    /// Selects or deselects every drawing the filter shows, and no other.
    Q_INVOKABLE void setShownSelected(bool isSelected);
    Q_INVOKABLE void setExpanded(int row, bool isExpanded);
    /// Shows the row's drawing in the file manager; nothing when it is no longer on disk.
    Q_INVOKABLE void reveal(int row);
    /// What the picture dialog shows of the row's drawing: its name, path, whether it
    /// stores a picture and its missing fonts; empty for a folder.
    Q_INVOKABLE QVariantMap drawing(int row) const;

    /// The candidate whose thumbnail is named `id` in a row's `thumbnail`; null when gone.
    const RescueCandidate* candidateWithID(const QString& id) const;

  signals:
    void filterChanged();
    void shownChanged();

  private:
    struct Node {
        QString name;
        int depth = 0;
        /// The candidate's index for a drawing, -1 for a folder.
        int candidate = -1;
        /// The node's drawings in tree order: [leafBegin, leafEnd).
        int leafBegin = 0;
        int leafEnd = 0;
        /// The node after this one's subtree.
        int subtreeEnd = 0;
        bool isExpanded = true;
    };

    void follow();
    void rebuildTree();
    void recount();
    void rebuildRows();
    /// The rows the nodes [begin, end) show, appended to `rows`.
    void appendRows(int begin, int end, std::vector<int>& rows) const;
    /// Announces the rows whose counts or checkbox differ from `selectedBefore`.
    void announceSelection(const std::vector<int>& selectedBefore);
    bool shows(const RescueCandidate& candidate) const;
    int shownCount(int begin, int end) const { return shownSums_[end] - shownSums_[begin]; }
    int selectedCount(int begin, int end) const {
        return selectedSums_[end] - selectedSums_[begin];
    }
    CheckState checkState(const Node& node) const;
    std::set<QUuid> shownIDs(int leafBegin, int leafEnd) const;
    const RescueCandidate* candidateOf(int row) const;
    QVariant folderData(const Node& node, int role) const;
    QVariant drawingData(const Node& node, const RescueCandidate& candidate, int role) const;

    RescueViewModel& model_;
    RescuePlatform& platform_;
    Filter filter_ = Filter::all;
    /// The ids of the candidates the tree was built from, in the model's order.
    std::vector<QUuid> builtFrom_;
    QHash<QUuid, int> candidateIndex_;
    /// The whole tree in depth-first order, each level sorted by name.
    std::vector<Node> nodes_;
    /// The candidate of each drawing, in tree order.
    std::vector<int> leafCandidates_;
    /// Running sums over the drawings in tree order: shown by the filter, and also selected.
    std::vector<int> shownSums_{0};
    std::vector<int> selectedSums_{0};
    /// The node of each row.
    std::vector<int> rows_;
};

}  // namespace keelwick
