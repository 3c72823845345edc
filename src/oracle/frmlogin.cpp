#include "oracle/frmlogin.h"

#include "app/frmmain.h"
#include "oracle/tnsnames.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace qv {

namespace {

QPointer<FrmLogin>& current() {
    static QPointer<FrmLogin> dialog;
    return dialog;
}

std::function<QStringList()>& nameSource() {
    static std::function<QStringList()> source = &FrmLogin::defaultServiceNames;
    return source;
}

}  // namespace

FrmLogin& FrmLogin::instance() {
    QPointer<FrmLogin>& d = current();
    if (!d)
        d = new FrmLogin;
    return *d;
}

void FrmLogin::setServiceNameSource(std::function<QStringList()> source) {
    nameSource() = source ? std::move(source) : &FrmLogin::defaultServiceNames;
}

QStringList FrmLogin::defaultServiceNames() {
    QStringList names = loadServiceNamesFromFile(findTnsnamesFile());
    names.append(QStringLiteral("sqlite:sample"));
    return names;
}

FrmLogin::FrmLogin(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QStringLiteral("Oracleログイン"));
    setFont(FrmMain::windowFont());
    setWindowModality(Qt::ApplicationModal);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    cmbDBQ_ = new QComboBox(this);
    cmbDBQ_->setObjectName(QStringLiteral("cmbDBQ"));
    cmbDBQ_->setEditable(true);
    cmbDBQ_->setInsertPolicy(QComboBox::NoInsert);
    txtUID_ = new QLineEdit(this);
    txtUID_->setObjectName(QStringLiteral("txtUID"));
    txtPass_ = new QLineEdit(this);
    txtPass_->setObjectName(QStringLiteral("txtPass"));
    txtPass_->setEchoMode(QLineEdit::Password);
    txtPass_->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));  // '*'
    cmdAccept_ = new QPushButton(QStringLiteral("接  続"), this);
    cmdAccept_->setObjectName(QStringLiteral("cmdAccept"));
    cmdAccept_->setDefault(true);
    cmdAccept_->setAutoDefault(true);
    cmdCancel_ = new QPushButton(QStringLiteral("取  消"), this);
    cmdCancel_->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel_->setAutoDefault(false);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("サーバ："), this), 0, 0, Qt::AlignRight);
    grid->addWidget(cmbDBQ_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("ユーザ："), this), 1, 0, Qt::AlignRight);
    grid->addWidget(txtUID_, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("パスワード："), this), 2, 0, Qt::AlignRight);
    grid->addWidget(txtPass_, 2, 1);
    grid->setColumnMinimumWidth(1, 220);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdAccept_);
    buttons->addWidget(cmdCancel_);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(grid);
    outer->addLayout(buttons);
    setFixedSize(sizeHint());

    connect(cmdAccept_, &QPushButton::clicked, this, &FrmLogin::cmdAcceptClick);
    connect(cmdCancel_, &QPushButton::clicked, this, &FrmLogin::cmdCancelClick);

    // Loading: empty boxes, not accepted, the list read.
    cmbDBQ_->setEditText(QString());
    txtUID_->clear();
    txtPass_->clear();
    oraLoginModify = false;
    loadServiceNames();
}

void FrmLogin::setup(const QString& dbq, const QString& user, const QString& pass) {
    cmbDBQ_->setEditText(dbq);
    txtUID_->setText(user);
    txtPass_->setText(pass);
    oraLoginModify = false;
}

void FrmLogin::loadServiceNames() {
    const QString text = cmbDBQ_->currentText();
    cmbDBQ_->clear();
    cmbDBQ_->addItems(nameSource()());
    cmbDBQ_->setEditText(text);
}

void FrmLogin::message(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("DB接続エラー"), text, QMessageBox::Ok,
                    this);
    box.exec();
}

void FrmLogin::cmdAcceptClick() {
    if (cmbDBQ_->currentText().isEmpty()) {
        message(QStringLiteral("サーバを指定してください。"));
        cmbDBQ_->setFocus();
        return;
    }
    if (txtUID_->text().isEmpty()) {
        txtUID_->setFocus();
        message(QStringLiteral("ユーザを指定してください。"));
        return;
    }
    oraDBQ = cmbDBQ_->currentText();
    oraUser = txtUID_->text();
    oraPass = txtPass_->text();
    oraLoginModify = true;
    accept();
}

void FrmLogin::cmdCancelClick() {
    oraLoginModify = false;
    reject();
}

void FrmLogin::closeEvent(QCloseEvent* event) {
    // The close box cancels; the dialog is made anew (and its list read again) next time.
    oraLoginModify = false;
    if (current() == this)
        current() = nullptr;
    deleteLater();
    QDialog::closeEvent(event);
}

}  // namespace qv
