#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace qv {

// The system information for a problem report, shown as text with a button that copies it.
// Offered by the about box where the platform has no system-information viewer.
class FrmSysInfo : public QDialog {
    Q_OBJECT
  public:
    explicit FrmSysInfo(QWidget* parent = nullptr);
    ~FrmSysInfo() override;

    // Gathers the report afresh from sysInfoSources().
    void refresh();
    QString text() const;

    QPlainTextEdit* txtInfo() const { return txtInfo_; }
    QPushButton* cmdCopy() const { return cmdCopy_; }
    QPushButton* cmdClose() const { return cmdClose_; }

  private:
    QPlainTextEdit* txtInfo_ = nullptr;
    QPushButton* cmdCopy_ = nullptr;
    QPushButton* cmdClose_ = nullptr;
};

// Shows the one system-information window, with a fresh report.
void showSysInfoWindow(QWidget* parent);
FrmSysInfo* sysInfoWindowIfOpen();

}  // namespace qv
