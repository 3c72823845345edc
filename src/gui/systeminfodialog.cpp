#include "gui/systeminfodialog.h"

#include "core/about/systeminfo.h"
#include "gui/windowfont.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace qv {

SystemInfoDialog::SystemInfoDialog(const SystemInfoSources& sources, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("systemInfoDialog"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("ｼｽﾃﾑ情報"));
    setFont(windowFont());

    reportEdit_ = new QPlainTextEdit(this);
    reportEdit_->setObjectName(QStringLiteral("reportEdit"));
    reportEdit_->setReadOnly(true);
    reportEdit_->setLineWrapMode(QPlainTextEdit::NoWrap);
    copyButton_ = new QPushButton(QStringLiteral("ｺﾋﾟｰ(&C)"), this);
    copyButton_->setObjectName(QStringLiteral("copyButton"));
    closeButton_ = new QPushButton(QStringLiteral("閉じる"), this);
    closeButton_->setObjectName(QStringLiteral("closeButton"));
    closeButton_->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(copyButton_);
    buttons->addWidget(closeButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(reportEdit_);
    layout->addLayout(buttons);

    connect(copyButton_, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(text()); });
    connect(closeButton_, &QPushButton::clicked, this, &QWidget::close);

    refresh(sources);
    resize(560, 360);
}

SystemInfoDialog::~SystemInfoDialog() = default;

void SystemInfoDialog::refresh(const SystemInfoSources& sources) {
    reportEdit_->setPlainText(systemInfoText(systemInfoItems(sources)));
}

QString SystemInfoDialog::text() const {
    return reportEdit_->toPlainText();
}

namespace {
QPointer<SystemInfoDialog>& instance() {
    static QPointer<SystemInfoDialog> p;
    return p;
}
}  // namespace

SystemInfoDialog* systemInfoDialogIfOpen() {
    return instance().data();
}

void showSystemInfoDialog(const SystemInfoSources& sources, QWidget* parent) {
    QPointer<SystemInfoDialog>& p = instance();
    if (p) {
        p->refresh(sources);
    } else {
        p = new SystemInfoDialog(sources, parent ? parent->window() : nullptr);
    }
    p->show();
    p->raise();
    p->activateWindow();
}

}  // namespace qv
