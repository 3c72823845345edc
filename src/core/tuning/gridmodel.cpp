#include "core/tuning/gridmodel.h"

#include <algorithm>

namespace qv {

void GridModel::clear() {
    markedCells_.clear();
    rowNotes_.clear();
    for (Row& r : rows_) {
        r.data = QString();
        r.ends.clear();
        r.ends.shrink_to_fit();
    }
    changed();
}

void GridModel::swapContents(GridModel& other) {
    std::swap(rows_, other.rows_);
    std::swap(cols_, other.cols_);
    std::swap(fixedRows_, other.fixedRows_);
    std::swap(fixedCols_, other.fixedCols_);
    std::swap(widths_, other.widths_);
    std::swap(numeric_, other.numeric_);
    std::swap(markedCells_, other.markedCells_);
    std::swap(rowNotes_, other.rowNotes_);
    std::swap(visible_, other.visible_);
    for (GridModel* g : {this, &other}) {
        g->changed();
        if (visible_ != other.visible_ && g->observer_)
            g->observer_->gridVisibilityChanged(g->visible_);
    }
}

void GridModel::setRows(int n) {
    n = std::max(n, 0);
    if (n == rows())
        return;
    if (n < rows()) {
        std::erase_if(markedCells_,
                      [n](const auto& cell) { return static_cast<int>(cell.first >> 32) >= n; });
        std::erase_if(rowNotes_, [n](const auto& note) { return note.first >= n; });
    }
    rows_.resize(static_cast<size_t>(n));
    fixedRows_ = std::min(fixedRows_, n);
    changed();
}

void GridModel::setCols(int n) {
    n = std::max(n, 0);
    if (n == cols_)
        return;
    if (n < cols_) {
        std::erase_if(markedCells_, [n](const auto& cell) {
            return static_cast<int>(cell.first & 0xffffffffu) >= n;
        });
        for (Row& r : rows_) {
            if (r.ends.size() > static_cast<size_t>(n)) {
                r.ends.resize(static_cast<size_t>(n));
                r.data.truncate(n == 0 ? 0 : static_cast<int>(r.ends.back()));
            }
        }
    }
    cols_ = n;
    widths_.resize(static_cast<size_t>(n), kDefaultColWidth);
    numeric_.resize(static_cast<size_t>(n), false);
    fixedCols_ = std::min(fixedCols_, n);
    changed();
}

void GridModel::setFixedRows(int n) {
    fixedRows_ = std::clamp(n, 0, rows());
    changed();
}

void GridModel::setFixedCols(int n) {
    fixedCols_ = std::clamp(n, 0, cols_);
    changed();
}

int GridModel::colWidth(int col) const {
    if (col < 0 || col >= cols_)
        return 0;
    return widths_[static_cast<size_t>(col)];
}

void GridModel::setColWidth(int col, int twips) {
    if (col < 0 || col >= cols_)
        return;
    widths_[static_cast<size_t>(col)] = std::max(twips, 0);
    changed();
}

bool GridModel::colNumeric(int col) const {
    return col >= 0 && col < cols_ && numeric_[static_cast<size_t>(col)];
}

void GridModel::setColNumeric(int col, bool numeric) {
    if (col < 0 || col >= cols_ || numeric_[static_cast<size_t>(col)] == numeric)
        return;
    numeric_[static_cast<size_t>(col)] = numeric;
    changed();
}

QString GridModel::text(int row, int col) const {
    if (row < 0 || row >= rows() || col < 0 || col >= cols_)
        return QString();
    const Row& r = rows_[static_cast<size_t>(row)];
    if (static_cast<size_t>(col) >= r.ends.size())
        return QString();
    const uint32_t start = col == 0 ? 0 : r.ends[static_cast<size_t>(col) - 1];
    return r.data.mid(static_cast<int>(start),
                      static_cast<int>(r.ends[static_cast<size_t>(col)] - start));
}

void GridModel::setText(int row, int col, const QString& text) {
    if (row < 0 || row >= rows() || col < 0 || col >= cols_)
        return;
    if (!markedCells_.empty())
        markedCells_.erase(cellKey(row, col));
    Row& r = rows_[static_cast<size_t>(row)];
    const size_t c = static_cast<size_t>(col);
    if (c >= r.ends.size()) {
        if (text.isEmpty())
            return;
        const uint32_t end = static_cast<uint32_t>(r.data.size());
        r.ends.resize(c, end);
        r.data.append(text);
        r.ends.push_back(static_cast<uint32_t>(r.data.size()));
    } else {
        const uint32_t start = c == 0 ? 0 : r.ends[c - 1];
        const uint32_t oldLen = r.ends[c] - start;
        r.data.replace(static_cast<int>(start), static_cast<int>(oldLen), text);
        const int64_t delta = static_cast<int64_t>(text.size()) - oldLen;
        for (size_t k = c; k < r.ends.size(); ++k)
            r.ends[k] = static_cast<uint32_t>(r.ends[k] + delta);
    }
    // Rows are filled left to right; once the last column is written, drop the slack.
    if (col == cols_ - 1) {
        r.data.squeeze();
        r.ends.shrink_to_fit();
    }
    changed();
}

void GridModel::setCellKind(int row, int col, CellKind kind) {
    if (row < 0 || row >= rows() || col < 0 || col >= cols_)
        return;
    if (kind != CellKind::Value)
        markedCells_[cellKey(row, col)] = kind;
    else if (!markedCells_.empty())
        markedCells_.erase(cellKey(row, col));
}

CellKind GridModel::cellKind(int row, int col) const {
    if (markedCells_.empty())
        return CellKind::Value;
    const auto it = markedCells_.find(cellKey(row, col));
    return it == markedCells_.end() ? CellKind::Value : it->second;
}

void GridModel::setRowNote(int row, const QString& toolTip, bool marked) {
    if (row < 0 || row >= rows())
        return;
    if (toolTip.isEmpty() && !marked)
        rowNotes_.erase(row);
    else
        rowNotes_[row] = RowNote{toolTip, marked};
    changed();
}

QString GridModel::rowToolTip(int row) const {
    const auto it = rowNotes_.find(row);
    return it == rowNotes_.end() ? QString() : it->second.toolTip;
}

bool GridModel::rowMarked(int row) const {
    const auto it = rowNotes_.find(row);
    return it != rowNotes_.end() && it->second.marked;
}

void GridModel::setVisible(bool visible) {
    if (visible == visible_)
        return;
    visible_ = visible;
    if (observer_)
        observer_->gridVisibilityChanged(visible);
}

size_t GridModel::memoryUsage() const {
    size_t bytes = rows_.capacity() * sizeof(Row);
    for (const Row& r : rows_) {
        if (r.data.capacity() > 0)
            bytes += static_cast<size_t>(r.data.capacity()) * sizeof(QChar) + 16;
        bytes += r.ends.capacity() * sizeof(uint32_t);
    }
    return bytes;
}

}  // namespace qv
