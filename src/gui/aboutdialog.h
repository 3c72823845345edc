#pragma once

#include "core/about/systeminfo.h"

#include <QDialog>
#include <QLine>

class QLabel;
class QPushButton;

namespace qv {

// The about box: title, version, description and a feedback line, with the system-information
// button, whose report reads `sources`. Not modal; it deletes itself when closed.
class AboutDialog : public QDialog {
    Q_OBJECT
  public:
    explicit AboutDialog(SystemInfoSources sources, QWidget* parent = nullptr);
    ~AboutDialog() override;

    QLabel* iconLabel() const { return iconLabel_; }
    QLabel* titleLabel() const { return titleLabel_; }
    QLabel* versionLabel() const { return versionLabel_; }
    QLabel* descriptionLabel() const { return descriptionLabel_; }
    QLabel* feedbackLabel() const { return feedbackLabel_; }
    QPushButton* okButton() const { return okButton_; }
    QPushButton* systemInfoButton() const { return systemInfoButton_; }

    // The etched separator: a white line 2 pixels high with a grey line over its first pixel
    // row. In pixels of this window.
    QLine whiteLine() const;
    QLine greyLine() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void showSystemInfo();
    void place(QWidget* w, int left, int top, int width, int height);
    int px(int twips) const;

    QLabel* iconLabel_ = nullptr;
    QLabel* titleLabel_ = nullptr;
    QLabel* versionLabel_ = nullptr;
    QLabel* descriptionLabel_ = nullptr;
    QLabel* feedbackLabel_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* systemInfoButton_ = nullptr;
    SystemInfoSources sources_;
};

// The query window's "ﾊﾞｰｼﾞｮﾝ情報(&V)": shows the one about box, making it anew when it was
// closed; its system information reads `sources`.
void showAboutDialog(SystemInfoSources sources, QWidget* parent);
// The about box while it is open, else null.
AboutDialog* aboutDialogIfOpen();

}  // namespace qv
