#pragma once

#include "core/window/scriptrun.h"

#include <QDialog>

#include <memory>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QThread;

namespace qv {

class QueryWindow;
class QueryWindowModel;

// ﾌｧｲﾙ → スクリプトの実行: a script run on a query window's run session (ScriptRunner), off the
// window's thread, its lines listed as they come, with 中止 to stop it and the summary at the
// end. The window starts no run meanwhile. Closing it stops the script first.
class ScriptRunDialog : public QDialog {
    Q_OBJECT
  public:
    ScriptRunDialog(QueryWindow& window, const QString& path);
    ~ScriptRunDialog() override;

    QPlainTextEdit* output() const { return output_; }
    bool running() const { return thread_ != nullptr; }

  Q_SIGNALS:
    // The script has ended; `summary` as the dialog shows it.
    void finished(const QString& summary);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void stop();
    void ended(const ScriptSummary& summary);

    QueryWindowModel& model_;
    std::shared_ptr<Database> db_;
    std::unique_ptr<ScriptRunner> runner_;
    QThread* thread_ = nullptr;
    QPlainTextEdit* output_ = nullptr;
    QLabel* summary_ = nullptr;
    QPushButton* stopButton_ = nullptr;
};

// Asks for a script file and runs it in a ScriptRunDialog over `w`; a window without a login,
// or with a run under way, is told why not.
void chooseAndRunScript(QueryWindow& w);

}  // namespace qv
