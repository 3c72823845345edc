#pragma once

#include "gui/gridtablemodel.h"

#include <QTableView>

#include <map>

class QHelpEvent;
class QMenu;

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
    // For the plan grid: a figure too wide for its column is shown abbreviated as DBMS_XPLAN
    // does (K, M, G, ...); every cell's tooltip gives its whole text.
    void enablePlanFigures();
    // The text the grid paints in the cell at `index`, as the column's width lets it show.
    QString shownText(const QModelIndex& index) const;
    // Whether the cell at `index` (or heading `section`) shows only part of its text, which its
    // tooltip then gives whole.
    bool isCut(const QModelIndex& index) const;
    bool isHeadingCut(int section) const;
    // For the statistics grid: its menu sorts the rows by a column and shows only the rows
    // whose `differenceCol` (grid column) is not 0. A view only: every run turns it off, and
    // Ctrl+C and CSVで保存 keep the rows in the server's order.
    void enableRowViews(int differenceCol);
    // The grid menu's 並べ替え and 変化した統計だけ, added to `menu`.
    void addRowViewItems(QMenu& menu);
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
    QStyleOptionViewItem cellOption(const QModelIndex& index) const;
    void showHeadingToolTip(QHelpEvent* event);
    void copySelection();
    void askAndSaveCsv();
    void showExportMenu(const QPoint& at);
    double dpi() const;
    QStringList headings() const;
    void rememberHandWidth(int section, int width);

    GridTableModel* model_;
    class GridDelegate* delegate_;
    int differenceCol_ = -1;  // row views are offered when 0 or more
    // Widths the user gave columns by hand, and the headings they were given under: the next
    // layout with the same headings keeps them.
    std::map<int, int> handWidths_;
    QStringList handHeadings_;
    bool shaping_ = false;  // the widths being changed are the program's
    QWidget* corner_ = nullptr;
    bool exports_ = false;
};

}  // namespace qv
