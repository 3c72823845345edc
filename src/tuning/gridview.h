#pragma once

#include "tuning/gridmodel.h"

#include <QAbstractTableModel>
#include <QTableView>

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
};

class GridView : public QTableView {
    Q_OBJECT
  public:
    GridView(GridModel& grid, QWidget* parent = nullptr);

    GridModel& grid() { return model_->grid(); }
    GridTableModel* tableModel() { return model_; }
    // Grid coordinates (fixed rows and columns counted) of the current cell.
    int currentGridRow() const;
    int currentGridCol() const;

  Q_SIGNALS:
    // A cell was double-clicked; grid coordinates.
    void cellDoubleClicked(int row, int col);
    // Ctrl+C went to the grid (after the grid's own handling).
    void copyPressed();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    // Paints the top-left corner as the header cell it is (row 0, column 0: "ROWNUM", "Stats#").
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void applyShape();
    double dpi() const;

    GridTableModel* model_;
    QWidget* corner_ = nullptr;
};

}  // namespace qv
