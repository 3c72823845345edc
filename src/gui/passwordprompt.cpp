#include "gui/passwordprompt.h"

#include "core/connection/connectionservice.h"
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

    passwordEdit_ = new QLineEdit(this);
    passwordEdit_->setObjectName(QStringLiteral("passwordEdit"));
    passwordEdit_->setEchoMode(QLineEdit::Password);
    passwordEdit_->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));  // '*'
    connectButton_ = new QPushButton(QStringLiteral("接  続"), this);
    connectButton_->setObjectName(QStringLiteral("connectButton"));
    connectButton_->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("取  消"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setAutoDefault(false);

    auto* grid = new QGridLayout;
    int row = 0;
    for (const auto& [caption, value] : {std::pair(QStringLiteral("サーバ："), login.service),
                                         std::pair(QStringLiteral("ユーザ："), login.user)}) {
        grid->addWidget(new QLabel(caption, this), row, 0, Qt::AlignRight);
        grid->addWidget(plainLabel(new QLabel(value, this)), row++, 1);
    }
    grid->addWidget(new QLabel(QStringLiteral("パスワード："), this), row, 0, Qt::AlignRight);
    grid->addWidget(passwordEdit_, row, 1);
    grid->setColumnMinimumWidth(1, 220);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(connectButton_);
    buttons->addWidget(cancel);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(grid);
    outer->addLayout(buttons);
    setFixedSize(sizeHint());

    connect(connectButton_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    passwordEdit_->setFocus();
}

QString PasswordPrompt::password() const {
    return passwordEdit_->text();
}

}  // namespace qv
