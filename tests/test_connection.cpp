#include "app/windowstate.h"
#include "oracle/connection.h"
#include "settings/publicvar.h"
#include "support/scripteddb.h"
#include "support/tempstore.h"
#include "support/testport.h"

#include <gtest/gtest.h>
#include <QFile>

using namespace qv;
using test::Reply;

namespace {

class ConnectionTest : public ::testing::Test {
  protected:
    ConnectionTest() : conn(state, port) {
        state.setCaption(QStringLiteral("未接続"));
        conn.setOpener([this](const QString& service, const QString& cs, const QString& user) {
            opened.append(service + QStringLiteral("|") + cs + QStringLiteral("|") + user);
            panelWhileOpening.append(state.panelText(1));
            if (!failures.isEmpty()) {
                const QString f = failures.takeFirst();
                if (!f.isEmpty())
                    throw DbError(kErrOdbcCall, f);
            }
            return std::make_unique<test::ScriptedDatabase>(
                opened.size() % 2 ? QStringLiteral("Q") : QStringLiteral("S"), script);
        });
    }

    void login(const QString& dbq, const QString& user, const QString& pass) {
        port.logins.append(LoginValues{dbq, user, pass});
        EXPECT_EQ(conn.oraLoginProc(), 0);
    }

    test::TempStore tmp;
    WindowState state;
    test::TestPort port;
    ConnectionService conn;
    std::shared_ptr<test::Script> script = std::make_shared<test::Script>();
    QStringList opened;
    QStringList panelWhileOpening;
    QStringList failures;  // per open: empty = succeeds, text = fails with that description
};

}  // namespace

TEST_F(ConnectionTest, SuccessfulLoginOpensTwoSessionsAndShowsTheConnection) {
    login(QStringLiteral("ORCL"), QStringLiteral("scott"), QString());
    ASSERT_EQ(opened.size(), 2);
    const QString cs = QStringLiteral("ODBC;Driver={Oracle ODBC Driver};DBQ=ORCL;UID=scott;PWD=;");
    EXPECT_EQ(opened[0], QStringLiteral("ORCL|") + cs + QStringLiteral("|scott"));
    EXPECT_EQ(opened[1], opened[0]);
    EXPECT_EQ(panelWhileOpening, (QStringList{QStringLiteral("接続中...scott@ORCL"),
                                              QStringLiteral("接続中...scott@ORCL")}));
    EXPECT_TRUE(port.events.contains(QStringLiteral("repaint")));
    EXPECT_TRUE(conn.oraLogined);
    EXPECT_EQ(state.caption(), QStringLiteral("scott@ORCL"));
    EXPECT_EQ(state.panelText(1), QStringLiteral("接続 scott@ORCL"));
    EXPECT_FALSE(state.menuEnabled(WindowState::Menu::Login));
    EXPECT_TRUE(state.menuEnabled(WindowState::Menu::Logout));
    EXPECT_TRUE(conn.dbQuery().isOpen());
    EXPECT_NE(&conn.dbQuery(), &conn.dbStats());
}

TEST_F(ConnectionTest, DriverComesFromTheSettings) {
    gPublicVar().strOracleDriver = QStringLiteral("Oracle in XE");
    login(QStringLiteral("XE"), QStringLiteral("hr"), QStringLiteral("a;b"));
    ASSERT_FALSE(opened.isEmpty());
    EXPECT_TRUE(
        opened[0].contains(QStringLiteral("ODBC;Driver={Oracle in XE};DBQ=XE;UID=hr;PWD={a;b};")));
}

TEST_F(ConnectionTest, CancelledLoginChangesNothing) {
    login(QStringLiteral("ORCL"), QStringLiteral("scott"), QStringLiteral("tiger"));
    conn.oraDisconnect();
    port.logins.append(std::nullopt);
    EXPECT_EQ(conn.oraLoginProc(), -1);
    EXPECT_EQ(conn.oraDBQ, QStringLiteral("ORCL"));
    EXPECT_EQ(conn.oraPass, QStringLiteral("tiger"));
    EXPECT_EQ(state.caption(), QStringLiteral("未接続"));
    EXPECT_EQ(state.panelText(1), QString());
    EXPECT_TRUE(state.menuEnabled(WindowState::Menu::Login));
    EXPECT_EQ(opened.size(), 2);
}

TEST_F(ConnectionTest, FailedAttemptShowsTheLastFailureAndClosesWhatOpened) {
    failures = {QString(), QStringLiteral("ORA-12541: TNS:no listener")};
    login(QStringLiteral("PROD"), QStringLiteral("app"), QStringLiteral("pw"));
    EXPECT_EQ(opened.size(), 2);
    EXPECT_FALSE(conn.oraLogined);
    EXPECT_EQ(state.panelText(1), QStringLiteral("ORA-12541: TNS:no listener"));
    EXPECT_EQ(state.caption(), QStringLiteral("未接続"));
    EXPECT_TRUE(state.menuEnabled(WindowState::Menu::Login));
    EXPECT_FALSE(state.menuEnabled(WindowState::Menu::Logout));
    EXPECT_EQ(script->closed, QStringList{QStringLiteral("Q")})
        << "the half-open session is closed";
    EXPECT_EQ(conn.oraUser, QStringLiteral("app")) << "the login values stay for the next try";

    // Every operation on the connections now fails with an error, never a crash.
    try {
        conn.dbQuery().execute(QStringLiteral("select 1 from dual"));
        ADD_FAILURE() << "no error";
    } catch (const DbError& e) {
        EXPECT_EQ(e.number(), kErrObjectInvalid);
    }
    EXPECT_THROW(conn.dbStats().openRecordset(QStringLiteral("x")), DbError);
}

TEST_F(ConnectionTest, BothOpensAttemptedAndTheSecondFailureIsShown) {
    failures = {QStringLiteral("first failure"), QStringLiteral("second failure")};
    login(QStringLiteral("PROD"), QStringLiteral("app"), QString());
    EXPECT_EQ(opened.size(), 2);
    EXPECT_EQ(state.panelText(1), QStringLiteral("second failure"));
}

TEST_F(ConnectionTest, LogoutClosesBothAndTheNextLoginOffersThePreviousValues) {
    login(QStringLiteral("ORCL"), QStringLiteral("scott"), QStringLiteral("tiger"));
    conn.oraDisconnect();
    EXPECT_EQ(script->closed, (QStringList{QStringLiteral("Q"), QStringLiteral("S")}));
    EXPECT_FALSE(conn.oraLogined);
    EXPECT_EQ(state.panelText(1), QString());
    EXPECT_EQ(state.caption(), QStringLiteral("未接続"));
    EXPECT_TRUE(state.menuEnabled(WindowState::Menu::Login));
    EXPECT_FALSE(state.menuEnabled(WindowState::Menu::Logout));

    port.logins.append(std::nullopt);
    conn.oraLoginProc();
    ASSERT_EQ(port.loginPresets.size(), 2);
    EXPECT_EQ(port.loginPresets[1].dbq, QStringLiteral("ORCL"));
    EXPECT_EQ(port.loginPresets[1].user, QStringLiteral("scott"));
    EXPECT_EQ(port.loginPresets[1].pass, QStringLiteral("tiger"));
}

TEST_F(ConnectionTest, PasswordNeverReachesTheSettingsStore) {
    login(QStringLiteral("ORCL"), QStringLiteral("scott"), QStringLiteral("s3cr3t-pw"));
    releasePublicVar();
    QFile f(tmp.path());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_FALSE(f.readAll().contains("s3cr3t-pw"));
}
