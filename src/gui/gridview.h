#pragma once

#include "gui/gridtablemodel.h"

#include <QTableView>

namespace qv {

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
