#pragma once

#include "core/connection/connectionservice.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qv {

// The login dialog: service name (with the net service names found on this machine), user and
// password. One dialog serves every query window; it only collects and checks the values.
class LoginDialog : public QDialog {
    Q_OBJECT
  public:
    // `serviceNames` gives the list of service names (MachineSources::serviceNames); it is
    // called on a thread of its own.
    explicit LoginDialog(std::function<QStringList()> serviceNames, QWidget* parent = nullptr);

    // The one dialog, made (its list read from `serviceNames`) at first use, and again after it
    // was closed with its close box.
    static LoginDialog& instance(const std::function<QStringList()>& serviceNames);
    // The one dialog when it has been made; null otherwise.
    static LoginDialog* current();

    // Presets the boxes from the opening window's last login (or the last one remembered), shows
    // the ODBC driver an Oracle service is reached through, puts the focus on the first empty
    // box and forgets the last acceptance.
    void setup(const LoginValues& values, const QString& driver);
    // Refills the service list. The names are read on a thread of their own, so a slow or
    // strange TNSNAMES.ORA never holds up the window; the list fills when they arrive.
    void loadServiceNames();
    bool isLoadingServiceNames() const { return loading_ != 0; }

    // Whether the dialog was last closed with the connect button, and the values it took.
    bool wasAccepted() const { return accepted_; }
    const LoginValues& accepted() const { return values_; }

    QComboBox* serviceBox() const { return serviceBox_; }
    QLineEdit* userEdit() const { return userEdit_; }
    QLineEdit* passwordEdit() const { return passwordEdit_; }
    QPushButton* connectButton() const { return connectButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    QLabel* driverLabel() const { return driverLabel_; }

  Q_SIGNALS:
    // The service list has been filled.
    void serviceNamesLoaded();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void acceptLogin();
    void cancelLogin();
    void message(const QString& text);

    QComboBox* serviceBox_;
    QLineEdit* userEdit_;
    QLineEdit* passwordEdit_;
    QPushButton* connectButton_;
    QPushButton* cancelButton_;
    QLabel* driverLabel_;
    std::function<QStringList()> serviceNames_;
    LoginValues values_;
    bool accepted_ = false;
    int loading_ = 0;  // the reading whose names the list waits for; 0 when none
    int readings_ = 0;
};

}  // namespace qv
