// Recording runs from a query window: what the window shows and says. What the file holds is
// the history file's own test.
#include "core/history/historyfile.h"
#include "core/window/querywindowmodel.h"
#include "support/scripteddb.h"
#include "support/sqliteprobe.h"
#include "support/tempprogram.h"
#include "support/testport.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using namespace qv;
using test::Reply;

namespace {

// A query window logged in to a scripted server that answers every statement.
struct Window {
    Window(ProgramState& program, const QString& historyPath) : model(program, port) {
        model.load();
        model.setHistoryFilePath(historyPath);
        model.connection().setOpener([this](const QString&, const QString&, const QString&) {
            return std::make_unique<test::ScriptedDatabase>(u"Q"_s, script);
        });
        // Readings that leave no blank grid row, which the file would refuse.
        script->on(u"SELECT \\*FROM V\\$SESSTAT.*"_s,
                   Reply::table({u"STATISTIC#"_s, u"NAME"_s, u"VALUE"_s}, {{5, u"n"_s, 1}}));
        script->on(u"SELECT id,timestamp,LEVEL - 1.*"_s,
                   Reply::table(u"ID LEVEL-1 OPERATION OPTIONS OBJECT_OWNER OBJECT_NAME "
                                u"OBJECT_TYPE OPTIMIZER CARDINALITY COST BYTES"_s.split(u' '),
                                {{0, 0, u"SELECT STATEMENT"_s}}));
        port.logins.append(LoginValues{u"ORCL"_s, u"scott"_s, QString()});
        model.connection().logIn();
        EXPECT_TRUE(model.connection().waitForAttempt(10'000));
    }
    void run(const QString& sql) {
        port.sql = sql;
        model.execute();
        EXPECT_TRUE(model.waitForRun(10'000));
    }
    // The flag (checked against the two menu items) and panels 2 and 3.
    QString recording() const {
        const bool on = model.isRecording();
        EXPECT_EQ(model.state().menuEnabled(WindowState::Menu::StartRecording), !on);
        EXPECT_EQ(model.state().menuEnabled(WindowState::Menu::StopRecording), on);
        return (on ? u"on|"_s : u"off|"_s) + model.state().panelText(2) + u"|"_s +
               model.state().panelText(3);
    }

    test::TestPort port;
    QueryWindowModel model;
    std::shared_ptr<test::Script> script = std::make_shared<test::Script>();
};

int runsIn(const QString& path) {
    return test::SqliteProbe(path).rows("SELECT count(*) FROM SQL_HIST").value(0, u"-1"_s).toInt();
}

void writeJunk(const QString& path) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(QByteArray(4096, 'z'));
}

class RecordingTest : public ::testing::Test {
  protected:
    test::TempProgram tmp;
    QTemporaryDir dir;
    QString path = dir.filePath(u"quervhst.mdb"_s);
};

}  // namespace

TEST_F(RecordingTest, FailedWriteStopsRecordingAndSaysWhy) {
    Window w(tmp.program(), path);
    w.model.startRecording();
    writeJunk(path);
    w.run(u"select 1 from dual"_s);
    EXPECT_EQ(
        w.port.messages,
        QStringList{
            u"QuervinStudio|履歴処理エラー:file is not a database履歴処理を終了しました。"_s});
    EXPECT_EQ(w.recording(), u"off||"_s);
}

TEST_F(RecordingTest, StartRefusesUnusableFiles) {
    writeJunk(path);
    Window w(tmp.program(), path);
    w.model.startRecording();
    test::SqliteProbe(dir.filePath(u"short.mdb"_s)).exec("CREATE TABLE SQL_HIST (NUM)");
    w.model.setHistoryFilePath(dir.filePath(u"short.mdb"_s));
    w.model.startRecording();
    EXPECT_EQ(w.port.messages,
              (QStringList{u"QuervinStudio|file is not a database"_s,
                           u"QuervinStudio|履歴ファイル "_s + dir.filePath(u"short.mdb"_s) +
                               u" に履歴の表または列が足りないため使用できません。"_s}));
    EXPECT_FALSE(w.model.isRecording());

    // A file a later version of the program wrote: said so, and left as it is.
    const QString later = dir.filePath(u"later.mdb"_s);
    test::SqliteProbe(later).exec("PRAGMA user_version = 99");
    const QByteArray before = [&] {
        QFile f(later);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    w.model.setHistoryFilePath(later);
    w.model.startRecording();
    EXPECT_EQ(w.port.messages.value(2),
              u"QuervinStudio|"_s + HistoryFile(later).laterVersionMessage());
    EXPECT_EQ(w.recording(), u"off||"_s);
    QFile after(later);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), before);

    // A file that cannot be made is no message: panel 2 says why.
    Window v(tmp.program(), dir.filePath(u"missing/dir/quervhst.mdb"_s));
    v.model.startRecording();
    EXPECT_TRUE(v.recording().startsWith(u"off|"_s));
    EXPECT_FALSE(v.model.state().panelText(2).isEmpty());
    EXPECT_TRUE(v.port.messages.isEmpty());
}

// Windows share the file and its numbering; a failing statement is recorded, a refused one
// and one run while stopped are not.
TEST_F(RecordingTest, RunsAreNumberedAcrossWindowsAndAcrossStopAndStart) {
    Window a(tmp.program(), path), b(tmp.program(), path);
    a.model.startRecording();
    EXPECT_EQ(a.recording(), u"on|履歴処理:"_s + path + u"|"_s);
    EXPECT_EQ(a.model.state().panelToolTip(2), path);
    b.model.startRecording();
    a.run(u"select 1 from dual"_s);
    b.script->on(u"select \\* from missing"_s, Reply::fail(u"ORA-00942: no such table"_s));
    b.run(u"select * from missing"_s);
    b.run(u"   "_s);
    EXPECT_EQ(a.recording() + b.recording(),
              u"on|履歴処理:"_s + path + u"|1on|履歴処理:"_s + path + u"|2"_s);
    a.model.stopRecording();
    EXPECT_EQ(a.recording(), u"off||"_s);
    EXPECT_EQ(a.model.state().panelToolTip(2), QString());
    a.run(u"select 3 from dual"_s);
    EXPECT_EQ(runsIn(path), 2);
    a.model.startRecording();
    a.run(u"select 4 from dual"_s);
    EXPECT_EQ(std::pair(a.model.state().panelText(3), tmp.program().recordingFilePath()),
              std::pair(u"3"_s, path));
    EXPECT_EQ(
        test::SqliteProbe(path).rows("SELECT NUM, OPERATION FROM EXPLAN_HIST"),
        (QStringList{u"1|SELECT STATEMENT"_s, u"2|SELECT STATEMENT"_s, u"3|SELECT STATEMENT"_s}));
}

// A run that an exception ended (memory running out) is told in a message box and not
// recorded; the window goes on with the next run.
TEST_F(RecordingTest, ARunAnExceptionEndedIsToldAndNotRecorded) {
    Window w(tmp.program(), path);
    w.model.startRecording();
    test::Reply failing;
    failing.whenAnswered = [] { throw std::runtime_error("no memory left"); };
    w.script->onText(u"select 1 from dual"_s, failing, 1);
    w.run(u"select 1 from dual"_s);
    EXPECT_EQ(w.port.messages,
              QStringList{u"QuervinStudio|内部エラーが発生しました。\nno memory left"_s});
    EXPECT_EQ(runsIn(path), 0);
    w.run(u"select 1 from dual"_s);
    EXPECT_EQ(std::pair(w.port.messages.size(), runsIn(path)), std::pair(qsizetype(1), 1));
}
