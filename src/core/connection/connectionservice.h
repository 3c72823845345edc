#pragma once

#include "core/connection/databaseopener.h"
#include "core/connection/sessionmemory.h"
#include "core/connection/sessiontransaction.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class QThread;

namespace qv {

class SettingsStore;
class SharedSettings;

// The service, user and password of one login.
struct LoginValues {
    QString service;
    QString user;
    QString password;
};

// What a login shows and asks through the window it belongs to.
class ConnectionView {
  public:
    virtual ~ConnectionView() = default;

    // Runs the login dialog preset with `values`; true and the accepted values when the user
    // connects, false when the dialog is cancelled or closed.
    virtual bool runLoginDialog(LoginValues& values) = 0;
    // The login's progress or failure, or its end (empty).
    virtual void showConnectionStatus(const QString& text) = 0;
    // The window's caption: who is connected, or that nobody is.
    virtual void setCaption(const QString& text) = 0;
    // Which of the login and logout commands can be used.
    virtual void setConnected(bool connected) = 0;
    // Neither of them can be used while a login is under way.
    virtual void setConnecting() = 0;
    // Paints the window at once, so the progress is seen before the connection's wait.
    virtual void repaintNow() = 0;
    // A modal message box titled with the program's name.
    virtual void showMessage(const QString& text) = 0;
};

// What a login shows when it is abandoned before the driver answered.
inline const QString kMsgConnectAbandoned = QStringLiteral("接続を中止しました");

// One query window's login and its two connections: the query connection, whose session runs
// the statement, and the statistics connection, a second session of the same user that reads
// the first one's statistics. Shows its progress through `view`. The connections are opened on
// a thread of their own, so the window stays usable for as long as the driver takes (up to its
// login timeout); the outcome is shown on the window's thread when the attempt ends.
class ConnectionService : public QObject {
    Q_OBJECT
  public:
    enum class Outcome { Connected, Failed, Abandoned };
    Q_ENUM(Outcome)

    // `settings` names the ODBC driver; `store` keeps the last login. Both must outlive the
    // service.
    ConnectionService(ConnectionView& view, const SharedSettings& settings, SettingsStore& store,
                      QObject* parent = nullptr);
    ~ConnectionService() override;

    void setOpener(DatabaseOpener opener) { opener_ = std::move(opener); }
    // What counts the attempts still in a driver's call (the program's); one of the service's
    // own unless set.
    void setAttemptCounter(std::shared_ptr<std::atomic<int>> counter) {
        attempts_ = std::move(counter);
    }

    // Runs the login dialog and, when it is accepted, starts connecting. True when accepted
    // (whether or not the connection then succeeds), false when cancelled. A window that never
    // logged in is offered the service and user of the last login accepted in any window.
    bool logIn();
    // Starts opening both connections with the login values; attemptEnded tells the outcome.
    void connectToService();
    bool isConnecting() const { return attempt_ != nullptr; }
    // Gives up the attempt under way: the window is not connected and says so at once. The
    // driver's call cannot be interrupted; whatever it opens is closed on its thread when it
    // returns.
    void abandonAttempt();
    // Waits up to `ms` milliseconds for the attempt under way and shows its outcome; true when
    // no attempt is left.
    bool waitForAttempt(int ms);
    // Closes both connections.
    void disconnectFromService();

    // The last accepted login; kept after a disconnection or a failed attempt so the next
    // login offers it. The password is held in memory only.
    const LoginValues& login() const { return login_; }
    void setLogin(const LoginValues& login) { login_ = login; }
    bool isConnected() const { return connected_; }
    // The ODBC driver the next connections go through; empty takes the option's. A window
    // opened on another's login keeps that one's driver.
    void setDriver(const QString& driver) { driver_ = driver; }
    // Where the installed drivers are read, for a login without a driver chosen (the driver
    // manager's list unless set).
    void setInstalledDrivers(std::function<QStringList()> installed) {
        installedDrivers_ = std::move(installed);
    }
    // The driver the next connection goes through: the one set, the option's, else the
    // installed one driverToUse() finds. Never throws.
    QString nextDriver() const;
    // The driver the last attempt went through (the option's, or the one set).
    const QString& driver() const { return usedDriver_; }
    // Whether a login to `service` asks for a password: the embedded engine's take none.
    static bool needsPassword(const QString& service);
    // Why the last attempt failed (the driver's description); empty after any other outcome.
    const QString& failureReason() const { return failure_; }

    // The connections. Before a successful connection they are objects that are not open, so
    // every operation on them fails with an error rather than crashing.
    Database& queryDatabase();
    Database& statsDatabase();
    // The same, shared with a run that uses them on its own thread.
    std::shared_ptr<Database> sharedQueryDatabase();
    // What the runs on this login's query session have set on it and keep for the next run;
    // a new login starts afresh.
    std::shared_ptr<QString> queryStatisticsLevel() { return statisticsLevel_; }
    std::shared_ptr<SessionTransaction> queryTransaction() const { return transaction_; }
    std::shared_ptr<SessionMemory> sessionMemory() const { return sessionMemory_; }
    std::shared_ptr<Database> sharedStatsDatabase();
    // Forgets both connections without closing them: a run that could not be stopped still
    // uses them, and the last one holding them closes them.
    void abandonConnections();

  Q_SIGNALS:
    // The attempt has ended and the window shows its outcome.
    void attemptEnded(qv::ConnectionService::Outcome outcome);

  private:
    struct Attempt;
    void finishAttempt(const std::shared_ptr<Attempt>& attempt);
    void closeBoth();
    // The flag and which of login/logout is enabled.
    void setConnected(bool connected);

    ConnectionView& view_;
    const SharedSettings& settings_;
    SettingsStore& store_;
    DatabaseOpener opener_;
    std::shared_ptr<std::atomic<int>> attempts_ = std::make_shared<std::atomic<int>>(0);
    LoginValues login_;
    QString driver_;
    QString usedDriver_;
    bool connected_ = false;
    QString failure_;
    std::shared_ptr<Database> queryDatabase_;
    std::shared_ptr<Database> statsDatabase_;
    std::shared_ptr<QString> statisticsLevel_ = std::make_shared<QString>();
    std::shared_ptr<SessionTransaction> transaction_ = std::make_shared<SessionTransaction>();
    std::shared_ptr<SessionMemory> sessionMemory_ = std::make_shared<SessionMemory>();
    std::function<QStringList()> installedDrivers_;
    std::shared_ptr<Attempt> attempt_;  // the attempt under way
};

}  // namespace qv
