#include "gui/passwordprompt.h"

#include "core/connection/connectionservice.h"
#include "gui/loginform.h"
#include "gui/plaintext.h"
#include "gui/windowfont.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace qv {

PasswordPrompt::PasswordPrompt(const LoginValues& login, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("passwordPrompt"));
    // The login dialog's title and labels: the same question, only the password left open.
    setWindowTitle(QStringLiteral("Oracleログイン"));
    setFont(windowFont());
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    passwordEdit_ = newPasswordEdit(this);
    connectButton_ = newConnectButton(this);
    auto* cancel = new QPushButton(QStringLiteral("取  消"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setAutoDefault(false);

    layOutLoginForm(this, plainLabel(new QLabel(login.service, this)),
                    plainLabel(new QLabel(login.user, this)), passwordEdit_, connectButton_,
                    cancel);

    connect(connectButton_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    passwordEdit_->setFocus();
}

QString PasswordPrompt::password() const {
    return passwordEdit_->text();
}

}  // namespace qv
