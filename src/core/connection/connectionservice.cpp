#include "core/connection/connectionservice.h"

#include "core/connection/connectstring.h"
#include "core/connection/lastlogin.h"
#include "core/connection/odbcdrivers.h"
#include "core/connection/offthread.h"
#include "core/embedded/service/embeddedengine.h"
#include "core/internalerror.h"
#include "core/settings/sharedsettings.h"

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <exception>
#include <optional>

namespace qv {

namespace {

// A connection that was never opened: every operation fails as on a closed one.
class ClosedDatabase : public Database {
  public:
    bool isOpen() const override { return false; }
    void execute(const QString&) override { throw notOpenError(); }
    std::unique_ptr<Recordset> openRecordset(const QString&) override { throw notOpenError(); }
    int64_t recordsAffected() const override { return 0; }
    void close() override {}
    void cancel() override {}
};

const std::shared_ptr<Database>& closedDatabase() {
    static const std::shared_ptr<Database> db = std::make_shared<ClosedDatabase>();
    return db;
}

void closeQuietly(std::shared_ptr<Database>& db) {
    if (!db)
        return;
    try {
        db->close();
    } catch (...) {
        // A session the server already dropped is gone either way.
    }
    db.reset();
}

}  // namespace

// One connection attempt. The worker fills it; the window's thread reads it once the worker
// has finished, or never when the attempt was abandoned.
struct ConnectionService::Attempt {
    DatabaseOpener opener;
    QString service;
    QString user;
    QString connectString;
    std::shared_ptr<Database> query;
    std::shared_ptr<Database> stats;
    std::optional<DbError> pending;  // the last failure
    std::atomic<bool> abandoned{false};
    QPointer<QThread> thread;
    std::shared_ptr<std::atomic<int>> underWay;  // counts this attempt until it ends

    void run() {
        auto open = [&](std::shared_ptr<Database>& slot) {
            try {
                if (!opener)
                    throw DbError(kErrOdbcCall, QStringLiteral("No database driver is available."));
                slot = opener(service, connectString, user);
            } catch (const DbError& e) {
                pending = e;
            } catch (const std::exception& e) {
                // Whatever else the driver throws is a failed login too, never the program's end.
                pending = DbError(kErrOdbcCall, QString::fromLocal8Bit(e.what()));
            } catch (...) {
                pending = DbError(kErrOdbcCall, kMsgInternalError);
            }
        };
        open(query);
        open(stats);  // attempted even when the first one failed
        // Nothing uses a connection of a failed or abandoned attempt; close it rather than
        // hold a session.
        if (pending || abandoned) {
            closeQuietly(query);
            closeQuietly(stats);
        }
        --*underWay;
    }
};

ConnectionService::ConnectionService(ConnectionView& view, const SharedSettings& settings,
                                     SettingsStore& store, QObject* parent)
    : QObject(parent),
      view_(view),
      settings_(settings),
      store_(store),
      opener_(defaultDatabaseOpener()),
      installedDrivers_(&installedOdbcDrivers) {}

ConnectionService::~ConnectionService() {
    if (attempt_)
        attempt_->abandoned = true;
}

Database& ConnectionService::queryDatabase() {
    return *sharedQueryDatabase();
}

Database& ConnectionService::statsDatabase() {
    return *sharedStatsDatabase();
}

std::shared_ptr<Database> ConnectionService::sharedQueryDatabase() {
    return queryDatabase_ ? queryDatabase_ : closedDatabase();
}

std::shared_ptr<Database> ConnectionService::sharedStatsDatabase() {
    return statsDatabase_ ? statsDatabase_ : closedDatabase();
}

void ConnectionService::abandonConnections() {
    queryDatabase_.reset();
    statsDatabase_.reset();
}

bool ConnectionService::logIn() {
    if (attempt_)
        return false;
    LoginValues values = login_;
    if (values.service.isEmpty() && values.user.isEmpty())
        values = recallLastLogin(store_);
    if (!view_.runLoginDialog(values))
        return false;
    login_ = values;
    rememberLastLogin(store_, values);
    connectToService();
    return true;
}

void ConnectionService::connectToService() {
    if (attempt_)
        return;
    const QString who = login_.user + QStringLiteral("@") + login_.service;
    view_.showConnectionStatus(QStringLiteral("接続中...") + who);
    connected_ = false;
    failure_.clear();
    view_.setConnecting();
    view_.repaintNow();

    // A new attempt replaces what the last one left.
    queryDatabase_.reset();
    statsDatabase_.reset();
    statisticsLevel_ = std::make_shared<QString>();
    transaction_ = std::make_shared<SessionTransaction>();
    sessionMemory_ = std::make_shared<SessionMemory>();
    auto attempt = std::make_shared<Attempt>();
    attempt->opener = opener_;
    attempt->service = login_.service;
    attempt->user = login_.user;
    usedDriver_ = nextDriver();
    attempt->connectString =
        buildConnectString(usedDriver_, login_.service, login_.user, login_.password);
    attempt_ = attempt;
    attempt->underWay = attempts_;
    ++*attempts_;
    attempt->thread = runOffThread(
        this, [attempt] { attempt->run(); },
        [this, attempt](const std::optional<QString>& failure) {
            if (failure && !attempt->pending) {
                closeQuietly(attempt->query);
                closeQuietly(attempt->stats);
                attempt->pending = DbError(kErrOdbcCall, internalErrorMessage(*failure));
            }
            finishAttempt(attempt);
        });
}

bool ConnectionService::waitForAttempt(int ms) {
    if (const std::shared_ptr<Attempt> attempt = attempt_) {
        if (attempt->thread)
            attempt->thread->wait(ms);
        // The end the worker posted is shown now.
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    }
    return attempt_ == nullptr;
}

QString ConnectionService::nextDriver() const {
    if (!driver_.isEmpty())
        return driver_;
    const QString chosen = settings_.odbcDriver();
    return chosen.isEmpty() && installedDrivers_ ? driverToUse(chosen, installedDrivers_())
                                                 : driverToUse(chosen, {});
}

bool ConnectionService::needsPassword(const QString& service) {
    return !isEmbeddedService(service);
}

void ConnectionService::abandonAttempt() {
    if (!attempt_)
        return;
    attempt_->abandoned = true;
    attempt_.reset();
    view_.showConnectionStatus(kMsgConnectAbandoned);
    setConnected(false);
    Q_EMIT attemptEnded(Outcome::Abandoned);
}

void ConnectionService::finishAttempt(const std::shared_ptr<Attempt>& attempt) {
    if (attempt != attempt_) {
        // Abandoned while the driver worked: whatever it opened after all is not kept.
        closeQuietly(attempt->query);
        closeQuietly(attempt->stats);
        return;
    }
    attempt_.reset();
    const QString who = attempt->user + QStringLiteral("@") + attempt->service;
    failure_.clear();
    if (attempt->pending) {
        failure_ = attempt->pending->description();
        view_.showConnectionStatus(failure_);
        setConnected(false);
        Q_EMIT attemptEnded(Outcome::Failed);
        return;
    }
    queryDatabase_ = std::move(attempt->query);
    statsDatabase_ = std::move(attempt->stats);
    view_.setCaption(who);
    view_.showConnectionStatus(QStringLiteral("接続 ") + who);
    setConnected(true);
    // A warning at login (a password about to expire) is told, once: both sessions give it.
    QStringList warnings = queryDatabase_->takeWarnings() + statsDatabase_->takeWarnings();
    warnings.removeDuplicates();
    if (!warnings.isEmpty())
        view_.showMessage(warnings.join(u'\n'));
    Q_EMIT attemptEnded(Outcome::Connected);
}

void ConnectionService::closeBoth() {
    closeQuietly(queryDatabase_);
    closeQuietly(statsDatabase_);
}

void ConnectionService::setConnected(bool connected) {
    connected_ = connected;
    view_.setConnected(connected);
}

void ConnectionService::disconnectFromService() {
    if (attempt_) {
        attempt_->abandoned = true;
        attempt_.reset();
    }
    closeBoth();
    // What the session had pending went with it.
    transaction_ = std::make_shared<SessionTransaction>();
    view_.showConnectionStatus(QString());
    setConnected(false);
    view_.setCaption(QStringLiteral("未接続"));
}

}  // namespace qv
