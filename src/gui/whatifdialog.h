#pragma once

#include "core/window/windowwhatif.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace qv {

// 索引を試す: the candidate indexes of the SQL box's statement, editable, each tried without
// building it (試す), the what-if plan beside the current one with the changed lines marked as
// the comparison window marks them, and 作成して実行 to build one for real between two recorded
// runs. Whatever a what-if could not drop is dropped when the dialog closes.
class WhatIfDialog : public QDialog {
    Q_OBJECT
  public:
    WhatIfDialog(WindowWhatIf& whatIf, QWidget* parent = nullptr);

    QTableWidget* candidateTable() const { return candidates_; }
    QPushButton* tryButton() const { return try_; }
    QPushButton* createButton() const { return create_; }
    QComboBox* clusteringBox() const { return clustering_; }
    QLabel* costLabel() const { return cost_; }
    QLabel* messageLabel() const { return message_; }
    QTableWidget* currentPlan() const { return current_; }
    QTableWidget* whatIfPlan() const { return after_; }

    // 試す: the checked candidates tried on the SQL box's statement.
    void tryChecked();
    // 作成して実行 for the selected candidate.
    void createAndRun();

  protected:
    void done(int result) override;

  private:
    void loadCandidates();
    void showPlans(const QList<PlanLine>& before, const QList<PlanLine>& after);
    QStringList checkedTexts() const;
    void addRow(const QString& text, const QString& serves, bool checked);

    WindowWhatIf& whatIf_;
    QTableWidget* candidates_;
    QComboBox* clustering_;
    QPushButton* try_;
    QPushButton* create_;
    QLabel* cost_;
    QLabel* message_;
    QTableWidget* current_;
    QTableWidget* after_;
};

}  // namespace qv
