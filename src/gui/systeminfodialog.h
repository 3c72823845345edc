#pragma once

#include "core/about/systeminfo.h"

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace qv {

// The system information for a problem report, shown as text with a button that copies it.
// Offered by the about box where the platform has no system-information viewer.
class SystemInfoDialog : public QDialog {
    Q_OBJECT
  public:
    explicit SystemInfoDialog(const SystemInfoSources& sources, QWidget* parent = nullptr);
    ~SystemInfoDialog() override;

    // Gathers the report afresh from `sources`.
    void refresh(const SystemInfoSources& sources);
    QString text() const;

    QPlainTextEdit* reportEdit() const { return reportEdit_; }
    QPushButton* copyButton() const { return copyButton_; }
    QPushButton* closeButton() const { return closeButton_; }

  private:
    QPlainTextEdit* reportEdit_ = nullptr;
    QPushButton* copyButton_ = nullptr;
    QPushButton* closeButton_ = nullptr;
};

// Shows the one system-information window, with a fresh report from `sources`.
void showSystemInfoDialog(const SystemInfoSources& sources, QWidget* parent);
SystemInfoDialog* systemInfoDialogIfOpen();

}  // namespace qv
