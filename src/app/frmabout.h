#pragma once

#include <QDialog>
#include <QLine>

class QLabel;
class QPushButton;

namespace qv {

// The about box: title, version, description and a feedback line, with the system-information
// button. Not modal; it deletes itself when closed.
class FrmAbout : public QDialog {
    Q_OBJECT
  public:
    explicit FrmAbout(QWidget* parent = nullptr);
    ~FrmAbout() override;

    QLabel* picIcon() const { return picIcon_; }
    QLabel* lblTitle() const { return lblTitle_; }
    QLabel* lblVersion() const { return lblVersion_; }
    QLabel* lblDescription() const { return lblDescription_; }
    QLabel* lblDisclaimer() const { return lblDisclaimer_; }
    QPushButton* cmdOK() const { return cmdOK_; }
    QPushButton* cmdSysInfo() const { return cmdSysInfo_; }

    // The etched separator: a white line 2 pixels high with a grey line over its first pixel
    // row. In pixels of this window.
    QLine whiteLine() const;
    QLine greyLine() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void StartSysInfo();
    void place(QWidget* w, int left, int top, int width, int height);
    int px(int twips) const;

    QLabel* picIcon_ = nullptr;
    QLabel* lblTitle_ = nullptr;
    QLabel* lblVersion_ = nullptr;
    QLabel* lblDescription_ = nullptr;
    QLabel* lblDisclaimer_ = nullptr;
    QPushButton* cmdOK_ = nullptr;
    QPushButton* cmdSysInfo_ = nullptr;
};

// The query window's "ﾊﾞｰｼﾞｮﾝ情報(&V)": shows the one about box, making it anew when it was
// closed.
void showAboutBox(QWidget* parent);
// The about box while it is open, else null.
FrmAbout* aboutBoxIfOpen();

}  // namespace qv
