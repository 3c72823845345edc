#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QStandardItemModel;
class QTableView;

namespace qv {

// The runs recorded in a tuning-history file, newest first, with a filter by statement text;
// two selected runs, or one and the run of the same statement before it, open a comparison.
// It follows the file: a run recorded into it appears at once. Any number may be open.
class HistoryWindow : public QWidget {
    Q_OBJECT
  public:
    explicit HistoryWindow(const QString& path, QWidget* parent = nullptr);
    ~HistoryWindow() override;

    const QString& path() const { return path_; }
    // Reads the file again (the filter stays).
    void reload();

    QTableView* runList() const { return list_; }
    QLineEdit* filterEdit() const { return filter_; }
    QPushButton* compareButton() const { return compare_; }
    QPushButton* comparePreviousButton() const { return comparePrevious_; }
    // The run numbers the list shows, top to bottom.
    QList<int> shownRuns() const;
    // The comparison window opened last, if it is still open.
    QWidget* lastComparison() const;

  private:
    void setPath(const QString& path);
    void compareSelected();
    void compareWithPrevious();
    void openComparison(int a, int b);
    QList<int> selectedRuns() const;
    void updateButtons();

    QString path_;
    QLabel* fileLabel_;
    QLineEdit* filter_;
    QTableView* list_;
    QStandardItemModel* model_;
    QPushButton* compare_;
    QPushButton* comparePrevious_;
    QPushButton* open_;
    QPointer<QWidget> lastComparison_;
};

// Opens a history window on `path` (the frame's child, so it closes with it).
HistoryWindow* showHistoryWindow(const QString& path, QWidget* parent);

}  // namespace qv
