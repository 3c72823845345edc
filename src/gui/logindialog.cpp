#include "gui/logindialog.h"

#include "core/connection/lastlogin.h"
#include "core/connection/offthread.h"
#include "core/internalerror.h"
#include "core/program.h"
#include "gui/loginform.h"
#include "gui/plaintext.h"
#include "gui/windowfont.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <memory>

namespace qv {

namespace {

QPointer<LoginDialog>& theDialog() {
    static QPointer<LoginDialog> dialog;
    return dialog;
}

}  // namespace

LoginDialog& LoginDialog::instance(const std::function<QStringList()>& serviceNames) {
    QPointer<LoginDialog>& d = theDialog();
    if (!d)
        d = new LoginDialog(serviceNames);
    return *d;
}

LoginDialog* LoginDialog::current() {
    return theDialog().data();
}

LoginDialog::LoginDialog(std::function<QStringList()> serviceNames, QWidget* parent)
    : QDialog(parent), serviceNames_(std::move(serviceNames)) {
    setObjectName(QStringLiteral("loginDialog"));
    setWindowTitle(QStringLiteral("Oracleログイン"));
    setFont(windowFont());
    setWindowModality(Qt::ApplicationModal);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    serviceBox_ = new QComboBox(this);
    serviceBox_->setObjectName(QStringLiteral("serviceBox"));
    serviceBox_->setEditable(true);
    serviceBox_->setInsertPolicy(QComboBox::NoInsert);
    // No completion: typing PROD must never connect to PROD2.
    serviceBox_->setCompleter(nullptr);
    userEdit_ = new QLineEdit(this);
    userEdit_->setObjectName(QStringLiteral("userEdit"));
    passwordEdit_ = newPasswordEdit(this);
    connectButton_ = newConnectButton(this);
    connectButton_->setAutoDefault(true);
    cancelButton_ = new QPushButton(QStringLiteral("取  消"), this);
    cancelButton_->setObjectName(QStringLiteral("cancelButton"));
    cancelButton_->setAutoDefault(false);

    driverLabel_ = plainLabel(new QLabel(this));
    driverLabel_->setObjectName(QStringLiteral("driverLabel"));
    layOutLoginForm(this, serviceBox_, userEdit_, passwordEdit_, connectButton_, cancelButton_,
                    driverLabel_);

    connect(connectButton_, &QPushButton::clicked, this, &LoginDialog::acceptLogin);
    connect(cancelButton_, &QPushButton::clicked, this, &LoginDialog::cancelLogin);

    // Loading: empty boxes, not accepted, the list read.
    serviceBox_->setEditText(QString());
    userEdit_->clear();
    passwordEdit_->clear();
    loadServiceNames();
}

void LoginDialog::setup(const LoginValues& values, const QString& driver) {
    driverLabel_->setText(driver);
    serviceBox_->setEditText(values.service);
    userEdit_->setText(values.user);
    passwordEdit_->setText(values.password);
    accepted_ = false;
    // Typing starts in the first box still to fill, wherever the last opening left the focus.
    switch (firstEmptyLoginField(values)) {
        case LoginField::Service:
            serviceBox_->setFocus(Qt::OtherFocusReason);
            break;
        case LoginField::User:
            userEdit_->setFocus(Qt::OtherFocusReason);
            break;
        case LoginField::Password:
            passwordEdit_->setFocus(Qt::OtherFocusReason);
            break;
    }
}

void LoginDialog::loadServiceNames() {
    const QString text = serviceBox_->currentText();
    serviceBox_->clear();
    serviceBox_->setEditText(text);
    const int reading = ++readings_;
    loading_ = reading;
    auto names = std::make_shared<QStringList>();
    runOffThread(
        this, [names, source = serviceNames_] { *names = source ? source() : QStringList(); },
        [this, names, reading](const std::optional<QString>& failure) {
            if (reading != loading_)
                return;  // a later reading fills the list
            loading_ = 0;
            if (failure) {
                QMessageBox box(QMessageBox::NoIcon, kAppTitle, internalErrorMessage(*failure),
                                QMessageBox::Ok, this);
                plainBox(box).exec();
            }
            const QString typed = serviceBox_->currentText();
            serviceBox_->addItems(*names);
            serviceBox_->setEditText(typed);
            Q_EMIT serviceNamesLoaded();
        });
}

void LoginDialog::message(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("DB接続エラー"), text, QMessageBox::Ok,
                    this);
    plainBox(box);
    box.exec();
}

void LoginDialog::acceptLogin() {
    if (serviceBox_->currentText().isEmpty()) {
        message(QStringLiteral("サーバを指定してください。"));
        serviceBox_->setFocus();
        return;
    }
    if (userEdit_->text().isEmpty()) {
        userEdit_->setFocus();
        message(QStringLiteral("ユーザを指定してください。"));
        return;
    }
    values_ = {serviceBox_->currentText(), userEdit_->text(), passwordEdit_->text()};
    accepted_ = true;
    accept();
}

void LoginDialog::cancelLogin() {
    accepted_ = false;
    reject();
}

void LoginDialog::closeEvent(QCloseEvent* event) {
    // The close box cancels; the dialog is made anew (and its list read again) next time.
    accepted_ = false;
    if (theDialog() == this)
        theDialog() = nullptr;
    deleteLater();
    QDialog::closeEvent(event);
}

}  // namespace qv
