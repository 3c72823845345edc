#include "core/connection/connectionservice.h"

#include "core/connection/connectstring.h"
#include "core/settings/settings.h"

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

}  // namespace

ConnectionService::ConnectionService(ConnectionView& view)
    : view_(view), opener_(defaultDatabaseOpener()) {}

ConnectionService::~ConnectionService() = default;

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
    LoginValues values = login_;
    if (!view_.runLoginDialog(values))
        return false;
    login_ = values;
    connectToService();
    return true;
}

void ConnectionService::connectToService() {
    const QString who = login_.user + QStringLiteral("@") + login_.service;
    view_.showConnectionStatus(QStringLiteral("接続中...") + who);
    view_.repaintNow();

    std::optional<DbError> pending;
    const QString driver = appSettings().odbcDriver;
    statisticsLevel_ = std::make_shared<QString>();
    auto open = [&](std::shared_ptr<Database>& slot) {
        slot.reset();  // a new attempt replaces what the last one left
        try {
            if (!opener_)
                throw DbError(kErrOdbcCall, QStringLiteral("No database driver is available."));
            slot = opener_(login_.service,
                           buildConnectString(driver, login_.service, login_.user, login_.password),
                           login_.user);
        } catch (const DbError& e) {
            pending = e;
        }
    };
    open(queryDatabase_);
    open(statsDatabase_);  // attempted even when the first one failed

    if (pending) {
        // Nothing uses a connection of a failed attempt; close it rather than hold a session.
        closeBoth();
        view_.showConnectionStatus(pending->description());
        setConnected(false);
        return;
    }
    view_.setCaption(who);
    view_.showConnectionStatus(QStringLiteral("接続 ") + who);
    setConnected(true);
    // A warning at login (a password about to expire) is told, once: both sessions give it.
    QStringList warnings = queryDatabase_->takeWarnings() + statsDatabase_->takeWarnings();
    warnings.removeDuplicates();
    if (!warnings.isEmpty())
        view_.showMessage(warnings.join(u'\n'));
}

void ConnectionService::closeBoth() {
    for (auto* slot : {&queryDatabase_, &statsDatabase_}) {
        if (*slot) {
            try {
                (*slot)->close();
            } catch (const DbError&) {
                // A session the server already dropped is gone either way.
            }
            slot->reset();
        }
    }
}

void ConnectionService::setConnected(bool connected) {
    connected_ = connected;
    view_.setConnected(connected);
}

void ConnectionService::disconnectFromService() {
    closeBoth();
    view_.showConnectionStatus(QString());
    setConnected(false);
    view_.setCaption(QStringLiteral("未接続"));
}

}  // namespace qv
