#pragma once

#include "core/history/runcomparison.h"

#include <QWidget>

class QChartView;
class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QStandardItemModel;
class QTabWidget;
class QTableView;
class QTableWidget;
class QTextEdit;

namespace qv {

// What changed between two recorded runs: the summary first, then the statistics side by side
// (sorted by the size of the change; only the changed ones, above a threshold, on request), a
// bar chart of the largest changes, the two plans side by side, the two statements and, when
// they had any, the values of their bind variables, each change marked. The comparison can be saved
// as Markdown, CSV or HTML, or copied.
class ComparisonWindow : public QWidget {
    Q_OBJECT
  public:
    explicit ComparisonWindow(RunComparison comparison, QWidget* parent = nullptr);
    ~ComparisonWindow() override;

    const RunComparison& comparison() const { return comparison_; }
    QLabel* summaryLabel() const { return summary_; }
    QTableView* statisticsTable() const { return statistics_; }
    QTableWidget* planTable() const { return plan_; }
    // What the marks and colours of the plan's lines say.
    QLabel* planLegend() const { return planLegend_; }
    QChartView* chartView() const { return chartView_; }
    QCheckBox* onlyChangedBox() const { return onlyChanged_; }
    QTabWidget* tabs() const { return tabs_; }
    // The bind variables of the two runs; null when neither run had any.
    QTableWidget* bindTable() const { return binds_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void showStatistics();
    void showChart();
    void showPlan();
    void showSql();
    void showBinds();
    void save(const QString& kind);

    RunComparison comparison_;
    QLabel* summary_;
    QTabWidget* tabs_;
    QCheckBox* onlyChanged_;
    QDoubleSpinBox* threshold_;
    QTableView* statistics_;
    QStandardItemModel* statisticsModel_;
    QWidget* chartPage_;
    QTableWidget* plan_;
    QLabel* planLegend_;
    QChartView* chartView_ = nullptr;
    QTextEdit* sql_;
    QTableWidget* binds_ = nullptr;
};

}  // namespace qv
