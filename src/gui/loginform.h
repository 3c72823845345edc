#pragma once

#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace qv {

// The password box of the login form: its text shown as '*'.
inline QLineEdit* newPasswordEdit(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QStringLiteral("passwordEdit"));
    edit->setEchoMode(QLineEdit::Password);
    edit->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));  // '*'
    return edit;
}

// The login form's 接  続 button, the dialog's default.
inline QPushButton* newConnectButton(QWidget* parent) {
    auto* button = new QPushButton(QStringLiteral("接  続"), parent);
    button->setObjectName(QStringLiteral("connectButton"));
    button->setDefault(true);
    return button;
}

// The login form's layout, shared by the login dialog and the password prompt: サーバ, ユーザ and
// パスワード as captioned rows (the field of each given as it is shown there), then ドライバ when
// `driver` is given, the two buttons below on the right, the dialog fixed at the size that
// needs.
inline void layOutLoginForm(QDialog* dialog, QWidget* service, QWidget* user, QWidget* password,
                            QPushButton* connectButton, QPushButton* cancelButton,
                            QWidget* driver = nullptr) {
    auto* grid = new QGridLayout;
    int row = 0;
    for (const auto& [caption, field] : {std::pair(QStringLiteral("サーバ："), service),
                                         std::pair(QStringLiteral("ユーザ："), user),
                                         std::pair(QStringLiteral("パスワード："), password),
                                         std::pair(QStringLiteral("ドライバ："), driver)}) {
        if (!field)
            continue;
        grid->addWidget(new QLabel(caption, dialog), row, 0, Qt::AlignRight);
        grid->addWidget(field, row++, 1);
    }
    grid->setColumnMinimumWidth(1, 220);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(connectButton);
    buttons->addWidget(cancelButton);
    auto* outer = new QVBoxLayout(dialog);
    outer->addLayout(grid);
    outer->addLayout(buttons);
    // Fixed at what the fields need, also when a text shown in one changes.
    outer->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace qv
