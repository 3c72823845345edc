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

    // Lets the user select a range of cells, copy it with its headings as tab-separated text
    // (Ctrl+C) and save the whole grid as CSV, both also from a context menu.
    void enableExport();
    // The selected cells (the current one when none is) as Ctrl+C puts them on
    // the clipboard.
    QString selectionText() const;
    // Writes the whole grid as CSV (UTF-8 with a byte order mark, which spreadsheets need to
    // read Japanese text) to `path`; the reason when it could not.
    QString saveCsv(const QString& path) const;

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
    void copySelection();
    void askAndSaveCsv();
    void showExportMenu(const QPoint& at);
    double dpi() const;

    GridTableModel* model_;
    QWidget* corner_ = nullptr;
    bool exports_ = false;
};

}  // namespace qv
