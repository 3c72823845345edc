#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qv {

// The options dialog: shows the settings object's seven values and writes them back on
// accept. The rules it follows are in settings/optionrules.h.
class FrmOption : public QDialog {
    Q_OBJECT
  public:
    // `odbcDrivers` lists the installed ODBC drivers; the Oracle ones among them fill the
    // driver list, once, here.
    explicit FrmOption(const std::function<QStringList()>& odbcDrivers, QWidget* parent = nullptr);
    ~FrmOption() override;

    // Fills the controls from gPublicVar(); called right before every opening.
    void setup();
    // Whether the dialog was last hidden through its close box (its driver list is then stale
    // and the dialog is made anew next time).
    bool closedByCloseBox() const { return closedByCloseBox_; }

    QComboBox* cmbOracleDriver() const { return cmbOracleDriver_; }
    QCheckBox* chkQuery() const { return chkQuery_; }
    QCheckBox* chkExplan() const { return chkExplan_; }
    QLineEdit* txtPlanTable() const { return txtPlanTable_; }
    QLineEdit* txtMaxDispRows() const { return txtMaxDispRows_; }
    QComboBox* cmbOptimizer() const { return cmbOptimizer_; }
    QPushButton* cmdAccept() const { return cmdAccept_; }
    QPushButton* cmdCancel() const { return cmdCancel_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void cmdAcceptClick();
    void place(QWidget* w, int left, int top, int width, int height);
    double dpi() const;

    QGroupBox* fraDriver_ = nullptr;
    QComboBox* cmbOracleDriver_ = nullptr;
    QGroupBox* fraOption_ = nullptr;
    QCheckBox* chkQuery_ = nullptr;
    QCheckBox* chkExplan_ = nullptr;
    QLabel* label1_ = nullptr;
    QLineEdit* txtPlanTable_ = nullptr;
    QLabel* lblLabel0_ = nullptr;
    QLineEdit* txtMaxDispRows_ = nullptr;
    QGroupBox* fraOptimizer_ = nullptr;
    QComboBox* cmbOptimizer_ = nullptr;
    QPushButton* cmdAccept_ = nullptr;
    QPushButton* cmdCancel_ = nullptr;
    bool closedByCloseBox_ = false;
};

// Where every options dialog gets its ODBC driver list (all installed drivers; the dialog keeps
// the Oracle ones). Without a lister the list is empty.
void setOdbcDriverLister(std::function<QStringList()> lister);

// The process-wide options dialog, made at first use; null until then.
FrmOption* optionDialogIfCreated();
FrmOption& optionDialog();
// Drops the dialog; the next use makes a new one with a freshly filled driver list.
void releaseOptionDialog();

// The query window's "ｵﾌﾟｼｮﾝ設定...(&E)": setup, then the dialog modal over `parent`'s window.
void showOptionDialog(QWidget* parent);

}  // namespace qv
