#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace qv {

// The login dialog: service name (with the net service names found on this machine), user and
// password. One dialog serves every query window; it only collects and checks the values.
class FrmLogin : public QDialog {
    Q_OBJECT
  public:
    explicit FrmLogin(QWidget* parent = nullptr);

    // The process-wide dialog, created (and its list loaded) at first use, and again after it
    // was closed with its close box.
    static FrmLogin& instance();
    // Where the list of service names comes from (tests); by default TNSNAMES.ORA and the
    // embedded engine's sample.
    static void setServiceNameSource(std::function<QStringList()> source);
    static QStringList defaultServiceNames();

    // Presets the boxes from the opening window's last login and clears the accepted flag.
    void setup(const QString& dbq, const QString& user, const QString& pass);
    // Refills the service list.
    void loadServiceNames();

    // The last accepted login.
    QString oraDBQ;
    QString oraUser;
    QString oraPass;
    // True when the dialog was closed with the connect button.
    bool oraLoginModify = false;

    QComboBox* cmbDBQ() const { return cmbDBQ_; }
    QLineEdit* txtUID() const { return txtUID_; }
    QLineEdit* txtPass() const { return txtPass_; }
    QPushButton* cmdAccept() const { return cmdAccept_; }
    QPushButton* cmdCancel() const { return cmdCancel_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void cmdAcceptClick();
    void cmdCancelClick();
    void message(const QString& text);

    QComboBox* cmbDBQ_;
    QLineEdit* txtUID_;
    QLineEdit* txtPass_;
    QPushButton* cmdAccept_;
    QPushButton* cmdCancel_;
};

}  // namespace qv
