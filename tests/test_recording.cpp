#include "app/querywindowmodel.h"
#include "history/mdbproc.h"
#include "support/scripteddb.h"
#include "support/tempstore.h"
#include "support/testport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <QFile>
#include <QTemporaryDir>

using namespace qv;
using test::Reply;

namespace {

// A query window connected to a scripted server, recording into a temporary history file.
struct Window {
    explicit Window(const QString& historyPath) : model(port) {
        model.load();
        model.setHistoryPath(historyPath);
        model.connection().setOpener([this](const QString&, const QString&, const QString&) {
            return std::make_unique<test::ScriptedDatabase>(QStringLiteral("Q"), script);
        });
        script->on(QStringLiteral("select SID.*"), Reply::table({QStringLiteral("SID")}, {{1}}));
        script->on(QStringLiteral("SELECT \\*FROM V\\$SESSTAT.*"),
                   Reply::table({QStringLiteral("STATISTIC#"), QStringLiteral("NAME"),
                                 QStringLiteral("VALUE")},
                                {{5, QStringLiteral("user calls"), 1}}));
        script->on(QStringLiteral("SELECT id,timestamp,LEVEL - 1.*"),
                   Reply::table({QStringLiteral("LEVEL-1"), QStringLiteral("OPERATION"),
                                 QStringLiteral("OPTIONS"), QStringLiteral("OBJECT_OWNER"),
                                 QStringLiteral("OBJECT_NAME"), QStringLiteral("OBJECT_TYPE"),
                                 QStringLiteral("OPTIMIZER"), QStringLiteral("CARDINALITY"),
                                 QStringLiteral("COST"), QStringLiteral("BYTES")},
                                {{0, QStringLiteral("SELECT STATEMENT")}}));
        port.logins.append(LoginValues{QStringLiteral("ORCL"), QStringLiteral("scott"), QString()});
        model.connection().oraLoginProc();
    }
    void run(const QString& sql) {
        port.sql = sql;
        model.cmdExecClick();
    }
    QString panel(int i) const { return model.state().panelText(i); }

    test::TestPort port;
    QueryWindowModel model;
    std::shared_ptr<test::Script> script = std::make_shared<test::Script>();
};

int runsIn(const QString& path) {
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT count(*) FROM SQL_HIST", -1, &st, nullptr);
    const int n = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int(st, 0) : -1;
    sqlite3_finalize(st);
    sqlite3_close(db);
    return n;
}

class RecordingTest : public ::testing::Test {
  protected:
    RecordingTest() { resetMdbState(); }
    test::TempStore tmp;
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("quervhst.mdb"));
};

}  // namespace

TEST_F(RecordingTest, StartCreatesTheFileAndEveryRunIsRecorded) {
    Window w(path);
    w.model.mnuHistStartClick();
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_TRUE(w.model.flgHistory);
    EXPECT_EQ(w.panel(2), QStringLiteral("履歴処理:") + path);
    EXPECT_EQ(w.panel(3), QString());
    EXPECT_FALSE(w.model.state().menuEnabled(WindowState::Menu::HistStart));
    EXPECT_TRUE(w.model.state().menuEnabled(WindowState::Menu::HistEnd));

    w.run(QStringLiteral("select 1 from dual"));
    EXPECT_EQ(w.panel(3), QStringLiteral("1"));
    w.run(QStringLiteral("select 2 from dual"));
    EXPECT_EQ(w.panel(3), QStringLiteral("2"));
    EXPECT_EQ(runsIn(path), 2);
    EXPECT_TRUE(w.port.messages.isEmpty()) << w.port.messages.join(QLatin1Char('\n')).toStdString();
}

TEST_F(RecordingTest, RefusedRunWritesNothingButExecSqlTakesTheText) {
    Window w(path);
    w.model.mnuHistStartClick();
    w.run(QStringLiteral("   "));
    EXPECT_EQ(w.model.ExecSql, QStringLiteral("   "));
    EXPECT_EQ(w.port.messages,
              QStringList{QStringLiteral("QuervinStudio|SQLを入力してください。")});
    EXPECT_EQ(runsIn(path), 0);
    EXPECT_EQ(w.panel(3), QString());
}

TEST_F(RecordingTest, FailingStatementIsStillRecorded) {
    Window w(path);
    w.model.mnuHistStartClick();
    w.script->on(QStringLiteral("select \\* from missing"),
                 Reply::fail(QStringLiteral("ORA-00942: table or view does not exist")));
    w.run(QStringLiteral("select * from missing"));
    EXPECT_EQ(runsIn(path), 1);
}

TEST_F(RecordingTest, FailedWriteStopsRecordingAndSaysWhy) {
    Window w(path);
    w.model.mnuHistStartClick();
    QFile::remove(path);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'z'));
    f.close();
    w.run(QStringLiteral("select 1 from dual"));
    ASSERT_EQ(w.port.messages.size(), 1);
    EXPECT_TRUE(w.port.messages[0].startsWith(QStringLiteral("QuervinStudio|履歴処理エラー:")));
    EXPECT_TRUE(w.port.messages[0].endsWith(QStringLiteral("履歴処理を終了しました。")));
    EXPECT_FALSE(w.model.flgHistory);
    EXPECT_EQ(w.panel(2), QString());
    EXPECT_EQ(w.panel(3), QString());
    EXPECT_TRUE(w.model.state().menuEnabled(WindowState::Menu::HistStart));
    w.run(QStringLiteral("select 1 from dual"));
    EXPECT_EQ(w.port.messages.size(), 1) << "recording is off now";
}

TEST_F(RecordingTest, StartRefusesUnusableFiles) {
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'z'));
    }
    Window w(path);
    w.model.mnuHistStartClick();
    ASSERT_EQ(w.port.messages.size(), 1);
    EXPECT_TRUE(w.port.messages[0].contains(QStringLiteral("not a database")));
    EXPECT_FALSE(w.model.flgHistory);

    QFile::remove(path);
    {
        sqlite3* db = nullptr;
        sqlite3_open(path.toUtf8().constData(), &db);
        sqlite3_exec(db, "CREATE TABLE SQL_HIST (NUM)", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    w.model.mnuHistStartClick();
    ASSERT_EQ(w.port.messages.size(), 2);
    EXPECT_EQ(w.port.messages[1],
              QStringLiteral("QuervinStudio|履歴ファイル ") + path +
                  QStringLiteral(" に履歴の表または列が足りないため使用できません。"));
    EXPECT_FALSE(w.model.flgHistory);

    Window v(dir.filePath(QStringLiteral("missing/dir/quervhst.mdb")));
    v.model.mnuHistStartClick();
    EXPECT_FALSE(v.model.flgHistory);
    EXPECT_FALSE(v.panel(2).isEmpty()) << "the failure shows in panel 2";
    EXPECT_TRUE(v.port.messages.isEmpty());
    EXPECT_TRUE(v.model.state().menuEnabled(WindowState::Menu::HistStart));
}

TEST_F(RecordingTest, StopThenStartGoesOnNumberingAndWindowsShareTheFile) {
    Window a(path);
    Window b(path);
    a.model.mnuHistStartClick();
    b.model.mnuHistStartClick();
    a.run(QStringLiteral("select 1 from dual"));
    b.run(QStringLiteral("select 2 from dual"));
    EXPECT_EQ(a.panel(3), QStringLiteral("1"));
    EXPECT_EQ(b.panel(3), QStringLiteral("2"));
    a.model.mnuHistEndClick();
    EXPECT_EQ(a.panel(2), QString());
    EXPECT_EQ(a.model.state().panelToolTip(2), QString());
    a.run(QStringLiteral("select 3 from dual"));
    EXPECT_EQ(runsIn(path), 2);
    a.model.mnuHistStartClick();
    a.run(QStringLiteral("select 4 from dual"));
    EXPECT_EQ(a.panel(3), QStringLiteral("3"));
    EXPECT_EQ(mdbPath(), path);
}
