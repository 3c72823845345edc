#pragma once

#include "oracle/database.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace qv {

class WindowPort;
class WindowState;

// Opens one connection: the service name as typed, the full connect string and the user.
// Throws DbError when the connection cannot be made.
using DatabaseOpener = std::function<std::unique_ptr<Database>(
    const QString& service, const QString& connectString, const QString& user)>;

// The opener of the program: the embedded engine for "sqlite:" services, ODBC otherwise.
DatabaseOpener defaultDatabaseOpener();

// One query window's login and its two connections: the query connection, whose session runs
// the statement, and the statistics connection, a second session of the same user that reads
// the first one's statistics. Shows its progress in the window's caption, status-bar panel 1
// and the login/logout menu items.
class ConnectionService {
  public:
    ConnectionService(WindowState& state, WindowPort& port);
    ~ConnectionService();

    void setOpener(DatabaseOpener opener) { opener_ = std::move(opener); }

    // Runs the login dialog and, when it is accepted, connects. 0 when accepted (whether or
    // not the connection then succeeded), -1 when cancelled.
    int16_t oraLoginProc();
    // Opens both connections from oraDBQ, oraUser and oraPass.
    void oraConnect();
    // Closes both connections.
    void oraDisconnect();

    // The last accepted login; kept after a disconnection or a failed attempt so the next
    // login offers it. The password is held in memory only.
    QString oraDBQ;
    QString oraUser;
    QString oraPass;
    bool oraLogined = false;

    // The connections. Before a successful connection they are objects that are not open, so
    // every operation on them fails with an error rather than crashing.
    Database& dbQuery();
    Database& dbStats();

  private:
    void closeBoth();
    // The flag and which of login/logout is enabled.
    void setLogined(bool logined);

    WindowState& state_;
    WindowPort& port_;
    DatabaseOpener opener_;
    std::unique_ptr<Database> dbQuery_;
    std::unique_ptr<Database> dbStats_;
};

}  // namespace qv
