#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace qv {

struct LoginValues;

// Asks for the password of a login whose service and user are known already: a window opened
// on the current window's login. The service and user are shown, not edited.
class PasswordPrompt : public QDialog {
    Q_OBJECT
  public:
    PasswordPrompt(const LoginValues& login, QWidget* parent = nullptr);

    QString password() const;
    QLineEdit* passwordEdit() const { return passwordEdit_; }
    QPushButton* connectButton() const { return connectButton_; }

  private:
    QLineEdit* passwordEdit_;
    QPushButton* connectButton_;
};

}  // namespace qv
