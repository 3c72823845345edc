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

class SharedSettings;

// The options dialog: shows seven of the eight settings (the eighth, whether each plan line's
// actual figures are collected, is the ｵﾌﾟｼｮﾝ menu's own item) and writes them back on accept.
// The rules it follows are in settings/optionsform.h.
class OptionsDialog : public QDialog {
    Q_OBJECT
  public:
    // `odbcDrivers` lists the installed ODBC drivers; the Oracle ones among them fill the
    // driver list, once, here.
    explicit OptionsDialog(const std::function<QStringList()>& odbcDrivers,
                           QWidget* parent = nullptr);
    ~OptionsDialog() override;

    // Fills the controls from `settings`, which accepting then writes, and which must outlive
    // the dialog's use; called right before every opening.
    void setup(SharedSettings& settings);
    // Whether the dialog was last hidden through its close box (its driver list is then stale
    // and the dialog is made anew next time).
    bool closedByCloseBox() const { return closedByCloseBox_; }

    QComboBox* driverBox() const { return driverBox_; }
    QCheckBox* runQueryBox() const { return runQueryBox_; }
    QCheckBox* showPlanBox() const { return showPlanBox_; }
    QLineEdit* planTableEdit() const { return planTableEdit_; }
    QLineEdit* maxRowsEdit() const { return maxRowsEdit_; }
    QComboBox* optimizerBox() const { return optimizerBox_; }
    QPushButton* acceptButton() const { return acceptButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void acceptOptions();
    void place(QWidget* w, int left, int top, int width, int height);
    double dpi() const;

    QGroupBox* driverGroup_ = nullptr;
    QComboBox* driverBox_ = nullptr;
    QGroupBox* runGroup_ = nullptr;
    QCheckBox* runQueryBox_ = nullptr;
    QCheckBox* showPlanBox_ = nullptr;
    QLabel* planTableLabel_ = nullptr;
    QLineEdit* planTableEdit_ = nullptr;
    QLabel* maxRowsLabel_ = nullptr;
    QLineEdit* maxRowsEdit_ = nullptr;
    QGroupBox* optimizerGroup_ = nullptr;
    QComboBox* optimizerBox_ = nullptr;
    QPushButton* acceptButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    SharedSettings* settings_ = nullptr;
    bool closedByCloseBox_ = false;
};

// The one options dialog, made at first use with the drivers `odbcDrivers` lists (all installed
// drivers; the dialog keeps the Oracle ones); null until then.
OptionsDialog* optionsDialogIfCreated();
OptionsDialog& optionsDialog(const std::function<QStringList()>& odbcDrivers);
// Drops the dialog; the next use makes a new one with a freshly filled driver list.
void releaseOptionsDialog();

// The query window's "ｵﾌﾟｼｮﾝ設定...(&E)": setup on `settings`, then the dialog modal over
// `parent`'s window.
void showOptionsDialog(SharedSettings& settings, const std::function<QStringList()>& odbcDrivers,
                       QWidget* parent);

}  // namespace qv
