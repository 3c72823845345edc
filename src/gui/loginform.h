#pragma once

#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace qv {

// The login form's layout, shared by the login dialog and the password prompt: サーバ, ユーザ and
// パスワード as captioned rows (the field of each given as it is shown there), the two buttons
// below on the right, the dialog fixed at the size that needs.
inline void layOutLoginForm(QDialog* dialog, QWidget* service, QWidget* user, QWidget* password,
                            QPushButton* connectButton, QPushButton* cancelButton) {
    auto* grid = new QGridLayout;
    int row = 0;
    for (const auto& [caption, field] : {std::pair(QStringLiteral("サーバ："), service),
                                         std::pair(QStringLiteral("ユーザ："), user),
                                         std::pair(QStringLiteral("パスワード："), password)}) {
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
    dialog->setFixedSize(dialog->sizeHint());
}

}  // namespace qv
