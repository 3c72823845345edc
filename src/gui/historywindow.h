#pragma once

#include "core/db/bindvalue.h"

#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableView;

namespace qv {

class HistoryNotifier;
class HistoryRunModel;

// The runs recorded in a tuning-history file, newest first, each statement on one line with
// the whole of it in the tooltip and in the pane below the list, and a filter by statement
// text; two selected runs, or one and the run of the same statement before it, open a
// comparison. It follows the file: a run recorded into it appears at once. The list reads only
// the runs it shows, so a file of any size opens at once; the filter is read from the file a
// moment after the last keystroke. One is open at a time (showHistoryWindow()).
class HistoryWindow : public QWidget {
    Q_OBJECT
  public:
    // How long the filter waits for the next keystroke before it reads the file.
    static constexpr int kFilterDelayMs = 100;

    // `notifier` tells of the runs the program records; it must outlive the window.
    HistoryWindow(const QString& path, HistoryNotifier& notifier, QWidget* parent = nullptr);
    ~HistoryWindow() override;

    const QString& path() const { return path_; }
    // Shows the runs of another file (the filter stays).
    void setPath(const QString& path);
    // Reads the file again (the filter stays).
    void reload();

    QTableView* runList() const { return list_; }
    HistoryRunModel* runModel() const { return model_; }
    QLineEdit* filterEdit() const { return filter_; }
    QPlainTextEdit* preview() const { return preview_; }
    QPushButton* compareButton() const { return compare_; }
    QPushButton* comparePreviousButton() const { return comparePrevious_; }
    QPushButton* closeButton() const { return close_; }
    // The run numbers the list shows, top to bottom.
    QList<int> shownRuns() const;
    // The comparison window opened last, if it is still open.
    QWidget* lastComparison() const;

    // クエリウィンドウで開く (the list's context menu): asks for a query window holding the
    // selected run's statement, with its bind values offered.
    void openSelectedRun();
    // 削除 (the context menu, the Delete key): after a Yes to the question, deletes the
    // selected runs from the file, so that nothing of them is left in it.
    void deleteSelectedRuns();

  signals:
    // The list shows the runs of the file and filter now in effect.
    void runsShown();
    // A recorded run is to be opened in a new query window.
    void openRunRequested(const QString& statement, const BindList& binds);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void compareSelected();
    void compareWithPrevious();
    void openComparison(int a, int b);
    void followFile();
    void showFileError(const QString& description);
    QList<int> selectedRuns() const;
    void updateButtons();
    void updatePreview();

    QString path_;
    QLabel* fileLabel_;
    QLineEdit* filter_;
    QTimer filterDelay_;
    QTableView* list_;
    HistoryRunModel* model_;
    QPlainTextEdit* preview_;
    QPushButton* compare_;
    QPushButton* comparePrevious_;
    QPushButton* open_;
    QPushButton* close_;
    QPointer<QWidget> lastComparison_;
};

// Shows the history window on `path` (the frame's child, so it closes with it, and opened over
// it): the one already open, brought to the front and turned to `path`, or a new one following
// `notifier`.
HistoryWindow* showHistoryWindow(const QString& path, HistoryNotifier& notifier, QWidget* parent);

}  // namespace qv
