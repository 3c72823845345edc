#pragma once

#include <QString>

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace qv {

// What a cell's text stands for, where it is more than the value itself.
enum class CellKind : uint8_t {
    Value,   // the value as text
    Null,    // a null value; the text is a stand-in for it
    Binary,  // bytes, shown as "(" hexadecimal digits ")"
    Cut,     // only the start of a longer value
    Unread,  // a long column's value, never read: the cell is empty
};

// Told when a grid's cells, shape or visibility change, so a view can refresh.
class GridObserver {
  public:
    virtual ~GridObserver() = default;
    virtual void gridChanged() = 0;
    virtual void gridVisibilityChanged(bool visible) = 0;
};

// A grid control's data: the operations the program uses on its three grids, nothing more.
// Rows and columns count the fixed (header) ones; widths are in twips. Each row keeps its cell
// texts in one string with end offsets, so 100,000 rows of 20 columns stay cheap.
class GridModel {
  public:
    GridModel() = default;
    GridModel(const GridModel&) = delete;
    GridModel& operator=(const GridModel&) = delete;

    // Empties every cell; the shape, fixed counts and widths stay.
    void clear();
    // Exchanges everything but the observers with `other`; both observers are told.
    void swapContents(GridModel& other);

    int rows() const { return static_cast<int>(rows_.size()); }
    void setRows(int n);
    int cols() const { return cols_; }
    void setCols(int n);
    int fixedRows() const { return fixedRows_; }
    void setFixedRows(int n);
    int fixedCols() const { return fixedCols_; }
    void setFixedCols(int n);

    static constexpr int kDefaultColWidth = 960;
    int colWidth(int col) const;
    void setColWidth(int col, int twips);
    // Whether a column holds numbers, which a view aligns to the right; set by the column's
    // type when the grid is laid out, never guessed from the text.
    bool colNumeric(int col) const;
    void setColNumeric(int col, bool numeric);

    // Text of a cell; empty outside the grid.
    QString text(int row, int col) const;
    // Writes a cell; a cell outside the grid is ignored.
    void setText(int row, int col, const QString& text);

    // Marks what a cell's text stands for. Writing or clearing the cell drops the mark.
    void setCellKind(int row, int col, CellKind kind);
    CellKind cellKind(int row, int col) const;
    void setCellNull(int row, int col, bool isNull) {
        if (isNull || cellKind(row, col) == CellKind::Null)
            setCellKind(row, col, isNull ? CellKind::Null : CellKind::Value);
    }
    bool cellIsNull(int row, int col) const { return cellKind(row, col) == CellKind::Null; }

    // A row's tooltip, and whether the row is marked for a second look (a plan line whose
    // actual rows part from the estimate); the fixed row 0's tooltip is the headings'. Clearing
    // the grid drops both.
    void setRowNote(int row, const QString& toolTip, bool marked);
    QString rowToolTip(int row) const;
    bool rowMarked(int row) const;

    bool visible() const { return visible_; }
    void setVisible(bool visible);

    void setObserver(GridObserver* observer) { observer_ = observer; }

    // Bytes held by the cell texts and row bookkeeping (for the benchmarks).
    size_t memoryUsage() const;

  private:
    struct Row {
        QString data;
        std::vector<uint32_t> ends;  // ends[c]: end of cell c in data; missing = empty cell
    };
    void changed() {
        if (observer_)
            observer_->gridChanged();
    }

    std::vector<Row> rows_ = std::vector<Row>(2);
    int cols_ = 2;
    int fixedRows_ = 1;
    int fixedCols_ = 1;
    std::vector<int> widths_ = std::vector<int>(2, kDefaultColWidth);
    std::vector<bool> numeric_ = std::vector<bool>(2, false);
    bool visible_ = true;
    GridObserver* observer_ = nullptr;
    std::unordered_map<uint64_t, CellKind> markedCells_;  // cells of another kind than Value
    struct RowNote {
        QString toolTip;
        bool marked = false;
    };
    std::unordered_map<int, RowNote> rowNotes_;
    static uint64_t cellKey(int row, int col) {
        return (static_cast<uint64_t>(static_cast<uint32_t>(row)) << 32) |
               static_cast<uint32_t>(col);
    }
};

}  // namespace qv
