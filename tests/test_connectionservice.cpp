#include "core/connection/connectionservice.h"
#include "core/connection/lastlogin.h"
#include "core/settings/settingsstore.h"
#include "core/settings/sharedsettings.h"
#include "core/window/windowconnectionview.h"
#include "support/checks.h"
#include "support/scripteddb.h"
#include "support/tempprogram.h"
#include "support/testport.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTimer>

using namespace Qt::StringLiterals;
using namespace qv;

namespace {

class ConnectionTest : public ::testing::Test {
  protected:
    ConnectionTest() : windowView(state, port), conn(windowView, tmp.settings(), tmp.store()) {
        state.setCaption(u"未接続"_s);
        conn.setOpener([this](const QString& service, const QString& cs, const QString& user) {
            opened.append(service + u"|"_s + cs + u"|"_s + user);
            panelWhileOpening.append(state.panelText(1));
            if (const QString f = failures.isEmpty() ? QString() : failures.takeFirst();
                !f.isEmpty())
                throw DbError(kErrOdbcCall, f);
            auto db = std::make_unique<test::ScriptedDatabase>(opened.size() % 2 ? u"Q"_s : u"S"_s,
                                                               script);
            db->warnings = warnings;
            return db;
        });
    }

    // Caption, panel 1 and the enabled one of login/logout.
    QString view() const {
        const bool in = state.menuEnabled(WindowState::Menu::Login);
        EXPECT_NE(in, state.menuEnabled(WindowState::Menu::Logout));
        return state.caption() + u"|"_s + state.panelText(1) + (in ? u"|login"_s : u"|logout"_s);
    }

    void login(const QString& service, const QString& user, const QString& password) {
        port.logins.append(LoginValues{service, user, password});
        EXPECT_TRUE(conn.logIn());
        EXPECT_TRUE(conn.waitForAttempt(10'000));
    }

    test::TempProgram tmp;
    WindowState state;
    test::TestPort port;
    WindowConnectionView windowView;
    ConnectionService conn;
    std::shared_ptr<test::Script> script = std::make_shared<test::Script>();
    QStringList opened;
    QStringList panelWhileOpening;
    QStringList failures;
    QStringList warnings;  // each connection gives these at login  // per open: empty = succeeds,
                           // text = fails with that description
};

}  // namespace

TEST_F(ConnectionTest, LoginOpensTwoSessionsWithTheChosenDriverAndNeverStoresThePassword) {
    login(u"ORCL"_s, u"scott"_s, u"s3cr3t"_s);
    const QString cs = u"ODBC;Driver={Oracle ODBC Driver};DBQ=ORCL;UID=scott;PWD=s3cr3t;BTD=T;"_s;
    EXPECT_EQ(opened, QStringList(2, u"ORCL|"_s + cs + u"|scott"_s));
    EXPECT_EQ(panelWhileOpening, QStringList(2, u"接続中...scott@ORCL"_s));
    EXPECT_TRUE(port.events.contains(u"repaint"_s)) << "the progress is painted before the wait";
    EXPECT_EQ(view(), u"scott@ORCL|接続 scott@ORCL|logout"_s);
    EXPECT_TRUE(conn.isConnected());
    EXPECT_NE(&conn.queryDatabase(), &conn.statsDatabase());

    tmp.settings().set(&Settings::odbcDriver, u"Oracle in XE"_s);
    conn.disconnectFromService();
    login(u"XE"_s, u"hr"_s, u"pw"_s);
    EXPECT_EQ(opened.last(), u"XE|ODBC;Driver={Oracle in XE};DBQ=XE;UID=hr;PWD=pw;BTD=T;|hr"_s);

    tmp.program().end();
    QFile f(tmp.path());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_FALSE(f.readAll().contains("s3cr3t"));
}

TEST_F(ConnectionTest, LogoutClosesBothCancelChangesNothingAndTheValuesAreOfferedAgain) {
    login(u"ORCL"_s, u"scott"_s, u"tiger"_s);
    conn.disconnectFromService();
    EXPECT_EQ(script->closed, (QStringList{u"Q"_s, u"S"_s}));
    EXPECT_FALSE(conn.isConnected());
    EXPECT_EQ(view(), u"未接続||login"_s);
    port.logins.append(std::nullopt);
    EXPECT_FALSE(conn.logIn());
    EXPECT_EQ(std::pair(view(), opened.size()), std::pair(u"未接続||login"_s, qsizetype(2)));
    ASSERT_EQ(port.loginPresets.size(), 2);
    const LoginValues& offered = port.loginPresets[1];
    EXPECT_EQ(offered.service + offered.user + offered.password, u"ORCLscotttiger"_s);
}

TEST_F(ConnectionTest, FailedAttemptShowsTheLastFailureAndClosesWhatOpened) {
    failures = {QString(), u"ORA-12541: TNS:no listener"_s};
    login(u"PROD"_s, u"app"_s, u"pw"_s);
    EXPECT_EQ(opened.size(), 2);
    EXPECT_FALSE(conn.isConnected());
    EXPECT_EQ(view(), u"未接続|ORA-12541: TNS:no listener|login"_s);
    EXPECT_EQ(script->closed, QStringList{u"Q"_s}) << "the half-open session is closed";
    EXPECT_EQ(conn.login().user, u"app"_s) << "the login values stay for the next try";
    EXPECT_EQ(
        test::errorOf([&] { conn.queryDatabase().execute(u"select 1 from dual"_s); }).number(),
        kErrObjectInvalid);

    failures = {u"first failure"_s, u"second failure"_s};
    login(u"PROD"_s, u"app"_s, QString());
    EXPECT_EQ(opened.size(), 4) << "the second open is tried after the first failed";
    EXPECT_EQ(view(), u"未接続|second failure|login"_s);
}

// Whatever a driver throws, even no standard exception, is a failed login, never the program's
// end; what was opened is closed.
TEST_F(ConnectionTest, ADriverThatThrowsAnythingFailsTheLogin) {
    conn.setOpener(
        [this](const QString&, const QString&, const QString&) -> std::unique_ptr<Database> {
            opened.append(u"x"_s);
            if (opened.size() == 2)
                throw 42;
            return std::make_unique<test::ScriptedDatabase>(u"Q"_s, script);
        });
    login(u"PROD"_s, u"app"_s, u"pw"_s);
    EXPECT_EQ(view(), u"未接続|内部エラーが発生しました。|login"_s);
    EXPECT_EQ(script->closed, QStringList{u"Q"_s});
}

// A login that succeeds with a warning (a password about to expire) says so, once, and connects.
TEST_F(ConnectionTest, WarningsAtLoginAreShownOnce) {
    warnings = {u"ORA-28002: the password will expire within 7 days"_s};
    login(u"ORCL"_s, u"scott"_s, u"tiger"_s);
    EXPECT_TRUE(conn.isConnected());
    EXPECT_EQ(port.messages,
              QStringList{u"QuervinStudio|ORA-28002: the password will expire within 7 days"_s});
}

namespace {

// A connection whose close is told: the abandoned attempt closes it on the worker's thread.
class WatchedDatabase : public test::ScriptedDatabase {
  public:
    WatchedDatabase(const QString& tag, std::shared_ptr<test::Script> script,
                    std::shared_ptr<QSemaphore> closes)
        : ScriptedDatabase(tag, std::move(script)), closes_(std::move(closes)) {}
    void close() override {
        ScriptedDatabase::close();
        closes_->release();
    }

  private:
    std::shared_ptr<QSemaphore> closes_;
};

}  // namespace

// The driver's wait happens on a thread of its own: the window's thread goes on handling its
// events, says that it connects, and shows the outcome when the driver answers; Esc (the
// window's stop) gives the attempt up at once, and what the driver opens after all is closed.
TEST_F(ConnectionTest, TheConnectionOpensOffTheWindowsThreadAndCanBeAbandoned) {
    // Shared with the worker, which may outlive a failed test.
    auto gate = std::make_shared<QSemaphore>(), closes = std::make_shared<QSemaphore>();
    conn.setOpener([gate, closes, s = script](const QString&, const QString&, const QString&) {
        // A driver that waits for the server; bounded, so a login on the window's own thread
        // fails the test instead of hanging it.
        gate->tryAcquire(1, 10'000);
        return std::make_unique<WatchedDatabase>(u"Q"_s, s, closes);
    });
    port.logins.append(LoginValues{u"ORCL"_s, u"scott"_s, u"tiger"_s});
    QSignalSpy ended(&conn, &ConnectionService::attemptEnded);
    ASSERT_TRUE(conn.logIn());
    EXPECT_TRUE(conn.isConnecting());
    EXPECT_EQ(state.panelText(1), u"接続中...scott@ORCL"_s);
    EXPECT_FALSE(state.menuEnabled(WindowState::Menu::Login) ||
                 state.menuEnabled(WindowState::Menu::Logout))
        << "no second login while one is under way";
    QTimer other;
    other.setSingleShot(true);
    QSignalSpy handled(&other, &QTimer::timeout);
    other.start(0);
    ASSERT_TRUE(handled.wait(5000)) << "the window's events are handled meanwhile";
    EXPECT_TRUE(conn.isConnecting() && ended.isEmpty());

    gate->release(2);
    ASSERT_TRUE(ended.wait(10'000));
    EXPECT_EQ(ended.takeFirst().value(0).value<ConnectionService::Outcome>(),
              ConnectionService::Outcome::Connected);
    EXPECT_EQ(view(), u"scott@ORCL|接続 scott@ORCL|logout"_s);

    conn.disconnectFromService();
    ASSERT_TRUE(closes->tryAcquire(2, 10'000));
    port.logins.append(LoginValues{u"ORCL"_s, u"scott"_s, u"tiger"_s});
    ASSERT_TRUE(conn.logIn());
    conn.abandonAttempt();
    EXPECT_EQ(ended.takeFirst().value(0).value<ConnectionService::Outcome>(),
              ConnectionService::Outcome::Abandoned);
    EXPECT_EQ(view(), u"未接続|接続を中止しました|login"_s);
    EXPECT_FALSE(conn.isConnecting() || conn.isConnected());
    gate->release(2);
    EXPECT_TRUE(closes->tryAcquire(2, 10'000)) << "the driver's late connections are closed";
    EXPECT_TRUE(ended.isEmpty());
}

// A window that never logged in is offered the service and user last accepted in any window,
// kept in the settings store (never the password); a window with a login of its own keeps it.
// Why an attempt failed is kept until the next one.
TEST_F(ConnectionTest, ANewWindowIsOfferedTheLastServiceAndUserButNeverThePassword) {
    failures = {u"ORA-01017: invalid username/password"_s};
    login(u"PROD"_s, u"app"_s, u"s3cr3t"_s);
    EXPECT_EQ(conn.failureReason(), u"ORA-01017: invalid username/password"_s);
    login(u"PROD"_s, u"app"_s, u"right"_s);
    EXPECT_EQ(conn.failureReason(), QString());

    WindowState otherState;
    test::TestPort otherPort;
    WindowConnectionView otherView(otherState, otherPort);
    ConnectionService other(otherView, tmp.settings(), tmp.store());
    otherPort.logins.append(std::nullopt);
    EXPECT_FALSE(other.logIn());
    ASSERT_EQ(otherPort.loginPresets.size(), 1);
    const LoginValues& offered = otherPort.loginPresets[0];
    EXPECT_EQ(QStringList({offered.service, offered.user, offered.password}),
              QStringList({u"PROD"_s, u"app"_s, QString()}));
    QString stored;
    EXPECT_EQ(tmp.store().read(kLastServiceKey, stored), StoreStatus::Ok);
    EXPECT_EQ(stored, u"PROD"_s);

    other.setLogin({u"DEV"_s, u"me"_s, u"pw"_s});
    otherPort.logins.append(std::nullopt);
    other.logIn();
    EXPECT_EQ(otherPort.loginPresets.last().service, u"DEV"_s)
        << "a window's own login comes first";
    QFile f(tmp.path());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray ini = f.readAll();
    EXPECT_TRUE(ini.contains("app"));
    EXPECT_FALSE(ini.contains("s3cr3t") || ini.contains("right"));
}
