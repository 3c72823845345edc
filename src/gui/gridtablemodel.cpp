#include "gui/gridtablemodel.h"

#include "gui/plaintext.h"

#include <QColor>

namespace qv {

GridTableModel::GridTableModel(GridModel& grid, QObject* parent)
    : QAbstractTableModel(parent), grid_(grid) {
    grid_.setObserver(this);
    rows_ = grid_.rows();
    cols_ = grid_.cols();
    fixedRows_ = grid_.fixedRows();
    fixedCols_ = grid_.fixedCols();
}

GridTableModel::~GridTableModel() {
    grid_.setObserver(nullptr);
}

int GridTableModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    return view_ == RowView{} ? std::max(rows_ - fixedRows_, 0) : int(viewRows_.size());
}

int GridTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : std::max(cols_ - fixedCols_, 0);
}

QVariant GridTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    const int row = gridRow(index.row());
    switch (role) {
        case Qt::DisplayRole:
            return grid_.text(row, index.column() + fixedCols_);
        case Qt::ToolTipRole: {
            const QString tip = cellToolTip(index, false);
            return tip.isEmpty() ? QVariant() : QVariant(plainToolTip(tip));
        }
        case Qt::TextAlignmentRole:
            return grid_.colNumeric(index.column() + fixedCols_)
                       ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                       : QVariant();
        case Qt::BackgroundRole:
            // A marked row stands out without hiding its text: a pale amber.
            return grid_.rowMarked(row) ? QVariant(QColor(0xff, 0xe8, 0xb0)) : QVariant();
        default:
            return {};
    }
}

QVariant GridTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    // The fixed row's note is the headings' tooltip.
    if (role == Qt::ToolTipRole && orientation == Qt::Horizontal && fixedRows_ > 0) {
        const QString tip = grid_.rowToolTip(0);
        return tip.isEmpty() ? QVariant() : QVariant(plainToolTip(tip));
    }
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return fixedRows_ > 0 ? QVariant(grid_.text(0, section + fixedCols_)) : QVariant();
    return fixedCols_ > 0 ? QVariant(grid_.text(gridRow(section), 0)) : QVariant();
}

QString GridTableModel::cellToolTip(const QModelIndex& index, bool cut) const {
    const int row = gridRow(index.row());
    QString tip = grid_.rowToolTip(row);
    if (cellToolTips_ || cut) {
        // Without the indentation, which says nothing on its own line.
        const QString cell = grid_.text(row, index.column() + fixedCols_).trimmed();
        if (!cell.isEmpty())
            tip = tip.isEmpty() ? cell : cell + u'\n' + tip;
    }
    return tip;
}

int GridTableModel::gridRow(int row) const {
    if (view_ == RowView{})
        return row + fixedRows_;
    return row >= 0 && row < viewRows_.size() ? viewRows_[row] : -1;
}

void GridTableModel::setRowView(const RowView& view) {
    beginResetModel();
    view_ = view;
    viewRows_ = view_ == RowView{} ? QList<int>() : viewedRows(grid_, view_);
    endResetModel();
    Q_EMIT refreshed();
}

void GridTableModel::refresh() {
    pending_ = false;
    beginResetModel();
    view_ = RowView{};
    viewRows_.clear();
    rows_ = grid_.rows();
    cols_ = grid_.cols();
    fixedRows_ = grid_.fixedRows();
    fixedCols_ = grid_.fixedCols();
    endResetModel();
    Q_EMIT refreshed();
}

void GridTableModel::gridChanged() {
    if (pending_)
        return;
    pending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (pending_)
                refresh();
        },
        Qt::QueuedConnection);
}

void GridTableModel::gridVisibilityChanged(bool visible) {
    if (visible && pending_)
        refresh();
    Q_EMIT visibilityChanged(visible);
}

}  // namespace qv
