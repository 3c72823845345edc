#include "oracle/connection.h"

#include "app/windowport.h"
#include "app/windowstate.h"
#include "oracle/connectstring.h"
#include "settings/publicvar.h"

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
};

ClosedDatabase& closedDatabase() {
    static ClosedDatabase db;
    return db;
}

}  // namespace

ConnectionService::ConnectionService(WindowState& state, WindowPort& port)
    : state_(state), port_(port), opener_(defaultDatabaseOpener()) {}

ConnectionService::~ConnectionService() = default;

Database& ConnectionService::dbQuery() {
    return dbQuery_ ? *dbQuery_ : closedDatabase();
}

Database& ConnectionService::dbStats() {
    return dbStats_ ? *dbStats_ : closedDatabase();
}

int16_t ConnectionService::oraLoginProc() {
    LoginValues values{oraDBQ, oraUser, oraPass};
    if (!port_.runLoginDialog(values))
        return -1;
    oraDBQ = values.dbq;
    oraUser = values.user;
    oraPass = values.pass;
    oraConnect();
    return 0;
}

void ConnectionService::oraConnect() {
    const QString who = oraUser + QStringLiteral("@") + oraDBQ;
    state_.setPanelText(1, QStringLiteral("接続中...") + who);
    port_.repaintNow();

    std::optional<DbError> pending;
    const QString driver = gPublicVar().strOracleDriver;
    auto open = [&](std::unique_ptr<Database>& slot) {
        slot.reset();  // a new attempt replaces what the last one left
        try {
            if (!opener_)
                throw DbError(kErrOdbcCall, QStringLiteral("No database driver is available."));
            slot = opener_(oraDBQ, buildConnectString(driver, oraDBQ, oraUser, oraPass), oraUser);
        } catch (const DbError& e) {
            pending = e;
        }
    };
    open(dbQuery_);
    open(dbStats_);  // attempted even when the first one failed

    if (pending) {
        // Nothing uses a connection of a failed attempt; close it rather than hold a session.
        closeBoth();
        state_.setPanelText(1, pending->description());
        setLogined(false);
        return;
    }
    state_.setCaption(who);
    state_.setPanelText(1, QStringLiteral("接続 ") + who);
    setLogined(true);
}

void ConnectionService::closeBoth() {
    for (auto* slot : {&dbQuery_, &dbStats_}) {
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

void ConnectionService::setLogined(bool logined) {
    oraLogined = logined;
    state_.setMenuEnabled(WindowState::Menu::Login, !logined);
    state_.setMenuEnabled(WindowState::Menu::Logout, logined);
}

void ConnectionService::oraDisconnect() {
    closeBoth();
    state_.setPanelText(1, QString());
    setLogined(false);
    state_.setCaption(QStringLiteral("未接続"));
}

}  // namespace qv
