#include "app/clirunner.h"
#include "settings/publicvar.h"
#include "support/e2e.h"
#include "support/modalanswerer.h"

#include <QAction>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>

using namespace qv;
using Line = WindowState::Line;

// A query window against the tests' PostgreSQL server through its ODBC driver: the statement
// runs for real while the Oracle-only steps fail and say so in their lines.
namespace {
const QString kDriver = QStringLiteral("PostgreSQL Unicode");
class OdbcWindowTest : public test::WindowTest {};
}  // namespace

TEST_F(OdbcWindowTest, LogsInThroughTheDialogAndOut) {
    gPublicVar().strOracleDriver = kDriver;
    login(QStringLiteral("pgtest"), QStringLiteral("quervin"));
    EXPECT_EQ(form()->windowTitle(), QStringLiteral("quervin@pgtest"));
    EXPECT_EQ(form()->panel(1)->text(), QStringLiteral("接続 quervin@pgtest"));
    EXPECT_TRUE(frame->action(QStringLiteral("mnuLogout"))->isEnabled());
    frame->action(QStringLiteral("mnuLogout"))->trigger();
    EXPECT_EQ(form()->windowTitle(), QStringLiteral("未接続"));
}

TEST_F(OdbcWindowTest, FailedLoginLeavesTheWindowUnconnectedWithTheReason) {
    // "Oracle ODBC Driver" is registered for the tests with a library that does not exist.
    login(QStringLiteral("ORCL"), QStringLiteral("scott"), QStringLiteral("tiger"));
    EXPECT_EQ(form()->windowTitle(), QStringLiteral("未接続"));
    EXPECT_TRUE(form()->panel(1)->text().contains(QStringLiteral("libsqora")))
        << form()->panel(1)->text().toStdString();
    EXPECT_TRUE(frame->action(QStringLiteral("mnuLogin"))->isEnabled());
    EXPECT_FALSE(model().connection().oraLogined);

    // The execute button logs in first; when that fails too the run still goes on and
    // reports a failure in each of its lines.
    test::ModalAnswerer answerer;
    answerLogin(QStringLiteral("ORCL"), QStringLiteral("scott"), QStringLiteral("tiger"));
    run(QStringLiteral("select 1"));
    EXPECT_TRUE(answerer.seen.isEmpty());
    EXPECT_FALSE(line(Line::Plan).isEmpty());
    EXPECT_FALSE(line(Line::Query).isEmpty());
    EXPECT_EQ(line(Line::Count), QString());
}

TEST_F(OdbcWindowTest, StatementRunsWhileOracleOnlyStepsReportTheirFailure) {
    gPublicVar().strOracleDriver = kDriver;
    login(QStringLiteral("pgtest"), QStringLiteral("quervin"));
    test::ModalAnswerer answerer;
    run(QStringLiteral(
        "select n, cast('行' || n as varchar(10)) as v from generate_series(1, 50) n"));
    EXPECT_TRUE(answerer.seen.isEmpty()) << "no plan-table question for a non-Oracle error";
    EXPECT_FALSE(line(Line::Plan).isEmpty());
    EXPECT_FALSE(line(Line::Plan).contains(QStringLiteral("実行計画表")));
    EXPECT_FALSE(model().grdExplan().visible());
    EXPECT_EQ(line(Line::Query), QString());
    EXPECT_EQ(line(Line::Count), QStringLiteral("50件"));
    ASSERT_TRUE(model().grdData().visible());
    EXPECT_EQ(model().grdData().text(50, 1), QStringLiteral("50"));
    EXPECT_EQ(model().grdData().text(2, 2), QStringLiteral("行2"));
    EXPECT_TRUE(
        line(Line::Stats)
            .endsWith(QStringLiteral("ビュー V$SESSION が存在しないかSELECT権限がありません。")))
        << line(Line::Stats).toStdString();
    EXPECT_TRUE(line(Line::Stats).contains(QStringLiteral("v$session")));
    EXPECT_FALSE(model().grdStats().visible());
}

TEST(OdbcCli, RunsAgainstPostgreSql) {
    QString input, out, err;
    QTextStream in(&input), o(&out), e(&err);
    const int status = runCli(
        {QStringLiteral("quervin-cli"), QStringLiteral("--service"), QStringLiteral("pg"),
         QStringLiteral("--user"), QStringLiteral("quervin"), QStringLiteral("--driver"), kDriver,
         QStringLiteral("--format"), QStringLiteral("json"), QStringLiteral("--sql"),
         QStringLiteral("select g from generate_series(1, 1500) g")},
        in, o, e);
    o.flush();
    EXPECT_EQ(status, kCliCarriedOut) << err.toStdString();
    const QJsonObject j = QJsonDocument::fromJson(out.toUtf8()).object();
    EXPECT_EQ(j[QStringLiteral("rowCount")].toInt(), 1500);
    EXPECT_EQ(j[QStringLiteral("count")].toString(), QStringLiteral("1500件中1000件まで表示"));
}
