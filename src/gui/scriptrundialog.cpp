// ﾌｧｲﾙ → スクリプトの実行 (scriptrundialog.h).
#include "gui/scriptrundialog.h"

#include "core/tuning/runthread.h"
#include "core/window/querywindowmodel.h"
#include "gui/querywindow.h"
#include "gui/sqlfilecommands.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

namespace qv {

ScriptRunDialog::ScriptRunDialog(QueryWindow& window, const QString& path)
    : QDialog(&window),
      model_(window.model()),
      db_(window.model().connection().sharedQueryDatabase()) {
    setObjectName(QStringLiteral("scriptRunDialog"));
    setWindowTitle(QStringLiteral("スクリプトの実行 - ") + QFileInfo(path).fileName());
    setAttribute(Qt::WA_DeleteOnClose);
    output_ = new QPlainTextEdit(this);
    output_->setObjectName(QStringLiteral("scriptOutput"));
    output_->setReadOnly(true);
    output_->setLineWrapMode(QPlainTextEdit::NoWrap);
    output_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    summary_ = new QLabel(QStringLiteral("実行中…"), this);
    summary_->setObjectName(QStringLiteral("scriptSummary"));
    stopButton_ = new QPushButton(QStringLiteral("中止(&S)"), this);
    auto* close = new QPushButton(QStringLiteral("閉じる"), this);
    connect(stopButton_, &QPushButton::clicked, this, &ScriptRunDialog::stop);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(summary_, 1);
    buttons->addWidget(stopButton_);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(output_);
    layout->addLayout(buttons);
    resize(720, 420);

    QPointer<ScriptRunDialog> self(this);
    auto report = [self](const ScriptEvent& e) {
        const QStringList lines = scriptEventLines(e);
        QMetaObject::invokeMethod(
            self.data(),
            [self, lines] {
                if (self)
                    self->output_->appendPlainText(lines.join(u'\n'));
            },
            Qt::QueuedConnection);
    };
    // A substitution variable without a value is asked for on the window's thread.
    auto ask = [self](const QString& name) -> std::optional<QString> {
        std::optional<QString> value;
        if (!self)
            return value;
        QMetaObject::invokeMethod(
            self.data(),
            [&] {
                bool ok = false;
                const QString typed = QInputDialog::getText(self, QStringLiteral("置換変数"),
                                                            QStringLiteral("&%1 の値:").arg(name),
                                                            QLineEdit::Normal, QString(), &ok);
                if (ok)
                    value = typed;
            },
            Qt::BlockingQueuedConnection);
        return value;
    };
    runner_ = std::make_unique<ScriptRunner>(*db_, report, 1000, QHash<QString, QString>{}, ask);
    model_.setScriptRunning(true);
    ScriptRunner* runner = runner_.get();
    thread_ = QThread::create([self, runner, path] {
        const ScriptSummary summary = runner->run(path);
        QMetaObject::invokeMethod(
            self.data(),
            [self, summary] {
                if (self)
                    self->ended(summary);
            },
            Qt::QueuedConnection);
    });
    thread_->start();
}

ScriptRunDialog::~ScriptRunDialog() {
    if (thread_) {
        stop();
        // A driver that does not come back from the cancel keeps its thread: it is left to end.
        if (!thread_->wait(kStopWaitMs)) {
            thread_->setParent(nullptr);
            connect(thread_, &QThread::finished, thread_, &QObject::deleteLater);
            runner_.release();  // the thread still reads it
        } else {
            delete thread_;
        }
        model_.setScriptRunning(false);
    }
}

void ScriptRunDialog::stop() {
    if (!thread_)
        return;
    runner_->stop();
    db_->cancel();
}

void ScriptRunDialog::ended(const ScriptSummary& summary) {
    if (thread_) {
        thread_->wait();
        delete thread_;
        thread_ = nullptr;
    }
    model_.setScriptRunning(false);
    stopButton_->setEnabled(false);
    const QString text = scriptSummaryText(summary);
    summary_->setText(text);
    output_->appendPlainText(text);
    Q_EMIT finished(text);
}

void ScriptRunDialog::closeEvent(QCloseEvent* event) {
    stop();
    QDialog::closeEvent(event);
}

void chooseAndRunScript(QueryWindow& w) {
    if (w.model().isRunning() || w.model().isScriptRunning()) {
        w.showMessage(kMsgScriptRunning, kAppTitle);
        return;
    }
    if (!w.model().connection().isConnected()) {
        w.showMessage(kMsgScriptNeedsLogin, kAppTitle);
        return;
    }
    const QString path = chooseSqlFile(w);
    if (path.isEmpty())
        return;
    auto* dialog = new ScriptRunDialog(w, path);
    dialog->show();
}

}  // namespace qv
