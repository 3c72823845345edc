#pragma once

#include "core/db/bindvalue.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace qv {

// The bind dialog: one line for each of a statement's variables, with its name as written
// (":id"), its type and its value (none for NULL). 実行 (also Enter, from any line) runs with
// these values; 取消 or Esc abandons the run. Tab goes from value to value, the types lying
// behind them (Shift+Tab, the mouse). It only collects the values.
class BindDialog : public QDialog {
    Q_OBJECT
  public:
    explicit BindDialog(const BindList& prefilled, QWidget* parent = nullptr);

    // The values as the dialog shows them now, one per variable in its order.
    BindList values() const;

    QTableWidget* table() const { return table_; }
    QComboBox* typeBox(int row) const;
    QLineEdit* valueEdit(int row) const;
    QPushButton* runButton() const { return runButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void showType(int row);

    BindList variables_;
    QTableWidget* table_;
    QPushButton* runButton_;
    QPushButton* cancelButton_;
};

}  // namespace qv
