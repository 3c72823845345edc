#pragma once

#include "app/querywindowmodel.h"
#include "app/windowport.h"

#include <QWidget>

#include <array>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;

namespace qv {

class GridView;

// A query window: the SQL box, the execute button, the result, statistics and plan panes with
// their message lines, the splitter bars and the status bar. It shows its QueryWindowModel and
// forwards events to it.
class FrmMain : public QWidget, public WindowPort {
    Q_OBJECT
  public:
    explicit FrmMain(QWidget* parent = nullptr);
    ~FrmMain() override;

    QueryWindowModel& model() { return *model_; }

    // The window's font: "ＭＳ 明朝" 9 pt, with Japanese fonts found on this machine after it.
    static QFont windowFont();

    // WindowPort
    QString sqlText() const override;
    void setSqlText(const QString& text) override;
    void replaceSqlSelection(const QString& text) override;
    void focusSql() override;
    void repaintNow() override;
    Answer ask(const QString& text) override;
    void showMessage(const QString& text, const QString& title) override;
    bool runLoginDialog(LoginValues& values) override;
    int blankWidthTwips(int count) const override;

    QPlainTextEdit* txtSQL() const { return txtSQL_; }
    QPushButton* cmdExec() const { return cmdExec_; }
    GridView* grdData() const { return grdData_; }
    GridView* grdStats() const { return grdStats_; }
    GridView* grdExplan() const { return grdExplan_; }
    QLabel* panel(int i) const { return panels_[static_cast<size_t>(i - 1)]; }
    QLabel* splitBar(int k) const { return split_[static_cast<size_t>(k)]; }
    QStatusBar* statusBar() const { return statusBar_; }

    // Places every control where the model's layout says.
    void applyLayout();

  Q_SIGNALS:
    void captionChanged(const QString& caption);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    QLabel* makeLabel(const char* name, const QString& text);
    void place(QWidget* w, Ctl c);
    void bindState();
    double dpi() const;

    QueryWindowModel* model_;
    QPlainTextEdit* txtSQL_ = nullptr;
    QPushButton* cmdExec_ = nullptr;
    QLabel* label2_ = nullptr;
    std::array<QLabel*, 4> lblLabel_{};
    QLabel* lblQMessage_ = nullptr;
    QLabel* lblSMessage_ = nullptr;
    QLabel* lblEMessage_ = nullptr;
    QLabel* lblCount_ = nullptr;
    GridView* grdData_ = nullptr;
    GridView* grdStats_ = nullptr;
    GridView* grdExplan_ = nullptr;
    std::array<QLabel*, 5> split_{};
    QStatusBar* statusBar_ = nullptr;
    std::array<QLabel*, 3> panels_{};
};

}  // namespace qv
