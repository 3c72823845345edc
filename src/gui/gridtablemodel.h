#pragma once

#include "core/tuning/gridactions.h"
#include "core/tuning/gridmodel.h"

#include <QAbstractTableModel>

namespace qv {

// Shows a GridModel through Qt's model/view: fixed rows become the horizontal header, a fixed
// column the vertical header. Refreshes once per burst of changes, after the caller is done.
class GridTableModel : public QAbstractTableModel, public GridObserver {
    Q_OBJECT
  public:
    explicit GridTableModel(GridModel& grid, QObject* parent = nullptr);
    ~GridTableModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    GridModel& grid() { return grid_; }
    // Whether a cell's tooltip starts with its own whole text (a name or figure that the column
    // may cut or abbreviate), before the row's note.
    void setCellToolTips(bool on) { cellToolTips_ = on; }
    // The tooltip of the cell at `index` as plain text: its whole text when it is `cut` (or
    // always, with cell tooltips on), then its row's note.
    QString cellToolTip(const QModelIndex& index, bool cut) const;

    // Sorts or narrows the rows shown (viewedRows()); the grid itself stays as it is. Every
    // new content of the grid (a run) shows all its rows in their order again.
    void setRowView(const RowView& view);
    const RowView& rowView() const { return view_; }
    // The grid row (fixed rows counted) that view row `row` shows.
    int gridRow(int row) const;
    // Takes the grid's current shape now rather than at the next turn of the event loop.
    void refresh();

    void gridChanged() override;
    void gridVisibilityChanged(bool visible) override;

  Q_SIGNALS:
    void refreshed();
    void visibilityChanged(bool visible);

  private:
    GridModel& grid_;
    int rows_ = 0;
    int cols_ = 0;
    int fixedRows_ = 0;
    int fixedCols_ = 0;
    bool pending_ = false;
    bool cellToolTips_ = false;
    RowView view_;
    QList<int> viewRows_;  // grid rows in the order shown; empty without a view
};

}  // namespace qv
