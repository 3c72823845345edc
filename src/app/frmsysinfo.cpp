#include "app/frmsysinfo.h"

#include "app/frmmain.h"
#include "app/sysinfo.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace qv {

FrmSysInfo::FrmSysInfo(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("frmSysInfo"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("ｼｽﾃﾑ情報"));
    setFont(FrmMain::windowFont());

    txtInfo_ = new QPlainTextEdit(this);
    txtInfo_->setObjectName(QStringLiteral("txtInfo"));
    txtInfo_->setReadOnly(true);
    txtInfo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    cmdCopy_ = new QPushButton(QStringLiteral("ｺﾋﾟｰ(&C)"), this);
    cmdCopy_->setObjectName(QStringLiteral("cmdCopy"));
    cmdClose_ = new QPushButton(QStringLiteral("閉じる"), this);
    cmdClose_->setObjectName(QStringLiteral("cmdClose"));
    cmdClose_->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdCopy_);
    buttons->addWidget(cmdClose_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(txtInfo_);
    layout->addLayout(buttons);

    connect(cmdCopy_, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(text()); });
    connect(cmdClose_, &QPushButton::clicked, this, &QWidget::close);

    refresh();
    resize(560, 360);
}

FrmSysInfo::~FrmSysInfo() = default;

void FrmSysInfo::refresh() {
    txtInfo_->setPlainText(sysInfoText(sysInfoItems(sysInfoSources())));
}

QString FrmSysInfo::text() const {
    return txtInfo_->toPlainText();
}

namespace {
QPointer<FrmSysInfo>& instance() {
    static QPointer<FrmSysInfo> p;
    return p;
}
}  // namespace

FrmSysInfo* sysInfoWindowIfOpen() {
    return instance().data();
}

void showSysInfoWindow(QWidget* parent) {
    QPointer<FrmSysInfo>& p = instance();
    if (p) {
        p->refresh();
    } else {
        p = new FrmSysInfo(parent ? parent->window() : nullptr);
    }
    p->show();
    p->raise();
    p->activateWindow();
}

}  // namespace qv
