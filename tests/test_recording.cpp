#include "core/history/historyfile.h"
#include "core/window/querywindowmodel.h"
#include "support/scripteddb.h"
#include "support/sqliteprobe.h"
#include "support/tempstore.h"
#include "support/testport.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

using namespace qv;
using test::Reply;

namespace {

// A query window connected to a scripted server, recording into a temporary history file.
struct Window {
    explicit Window(const QString& historyPath) : model(port) {
        model.load();
        model.setHistoryFilePath(historyPath);
        model.connection().setOpener([this](const QString&, const QString&, const QString&) {
            return std::make_unique<test::ScriptedDatabase>(u"Q"_s, script);
        });
        script->on(u"select SID.*"_s, Reply::table({u"SID"_s}, {{1}}));
        script->on(
            u"SELECT \\*FROM V\\$SESSTAT.*"_s,
            Reply::table({u"STATISTIC#"_s, u"NAME"_s, u"VALUE"_s}, {{5, u"user calls"_s, 1}}));
        script->on(u"SELECT id,timestamp,LEVEL - 1.*"_s,
                   Reply::table({u"LEVEL-1"_s, u"OPERATION"_s, u"OPTIONS"_s, u"OBJECT_OWNER"_s,
                                 u"OBJECT_NAME"_s, u"OBJECT_TYPE"_s, u"OPTIMIZER"_s,
                                 u"CARDINALITY"_s, u"COST"_s, u"BYTES"_s},
                                {{0, u"SELECT STATEMENT"_s}}));
        port.logins.append(LoginValues{u"ORCL"_s, u"scott"_s, QString()});
        model.connection().logIn();
    }
    void run(const QString& sql) {
        port.sql = sql;
        model.execute();
    }
    QString statusPanel(int i) const { return model.state().panelText(i); }
    // The flag (checked against the two menu items) and panels 2 and 3.
    QString recording() const {
        const bool on = model.isRecording();
        EXPECT_EQ(model.state().menuEnabled(WindowState::Menu::StartRecording), !on);
        EXPECT_EQ(model.state().menuEnabled(WindowState::Menu::StopRecording), on);
        return (on ? u"on|"_s : u"off|"_s) + statusPanel(2) + u"|"_s + statusPanel(3);
    }

    test::TestPort port;
    QueryWindowModel model;
    std::shared_ptr<test::Script> script = std::make_shared<test::Script>();
};

int runsIn(const QString& path) {
    return test::SqliteProbe(path).rows("SELECT count(*) FROM SQL_HIST").value(0, u"-1"_s).toInt();
}

class RecordingTest : public ::testing::Test {
  protected:
    RecordingTest() { setRecordingFilePath(QString()); }
    test::TempStore tmp;
    QTemporaryDir dir;
    QString path = dir.filePath(u"quervhst.mdb"_s);
};

}  // namespace

TEST_F(RecordingTest, StartCreatesTheFileAndEveryRunIsRecorded) {
    Window w(path);
    w.model.startRecording();
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(w.recording(), u"on|履歴処理:"_s + path + u"|"_s);
    w.run(u"select 1 from dual"_s);
    EXPECT_EQ(w.statusPanel(3), u"1"_s);
    w.script->on(u"select \\* from missing"_s, Reply::fail(u"ORA-00942: no such table"_s));
    w.run(u"select * from missing"_s);
    EXPECT_EQ(w.statusPanel(3), u"2"_s) << "a failing statement is recorded too";
    w.run(u"   "_s);
    EXPECT_EQ(w.model.lastExecutedSql(), u"   "_s);
    EXPECT_EQ(w.port.messages, QStringList{u"QuervinStudio|SQLを入力してください。"_s});
    EXPECT_EQ(runsIn(path), 2) << "a refused run writes nothing";
}

TEST_F(RecordingTest, FailedWriteStopsRecordingAndSaysWhy) {
    Window w(path);
    w.model.startRecording();
    QFile::remove(path);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'z'));
    f.close();
    w.run(u"select 1 from dual"_s);
    ASSERT_EQ(w.port.messages.size(), 1);
    EXPECT_TRUE(w.port.messages[0].startsWith(u"QuervinStudio|履歴処理エラー:"_s));
    EXPECT_TRUE(w.port.messages[0].endsWith(u"履歴処理を終了しました。"_s));
    EXPECT_EQ(w.recording(), u"off||"_s);
    w.run(u"select 1 from dual"_s);
    EXPECT_EQ(w.port.messages.size(), 1) << "recording is off now";
}

TEST_F(RecordingTest, StartRefusesUnusableFiles) {
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'z'));
    }
    Window w(path);
    w.model.startRecording();
    ASSERT_EQ(w.port.messages.size(), 1);
    EXPECT_TRUE(w.port.messages[0].contains(u"not a database"_s));
    EXPECT_FALSE(w.model.isRecording());

    QFile::remove(path);
    test::SqliteProbe(path).exec("CREATE TABLE SQL_HIST (NUM)");
    w.model.startRecording();
    ASSERT_EQ(w.port.messages.size(), 2);
    EXPECT_EQ(w.port.messages[1], u"QuervinStudio|履歴ファイル "_s + path +
                                      u" に履歴の表または列が足りないため使用できません。"_s);
    EXPECT_FALSE(w.model.isRecording());

    Window v(dir.filePath(u"missing/dir/quervhst.mdb"_s));
    v.model.startRecording();
    EXPECT_TRUE(v.recording().startsWith(u"off|"_s));
    EXPECT_FALSE(v.statusPanel(2).isEmpty()) << "the failure shows in panel 2";
    EXPECT_TRUE(v.port.messages.isEmpty());
}

TEST_F(RecordingTest, StopThenStartGoesOnNumberingAndWindowsShareTheFile) {
    Window a(path);
    Window b(path);
    a.model.startRecording();
    b.model.startRecording();
    a.run(u"select 1 from dual"_s);
    b.run(u"select 2 from dual"_s);
    EXPECT_EQ(a.statusPanel(3), u"1"_s);
    EXPECT_EQ(b.statusPanel(3), u"2"_s);
    a.model.stopRecording();
    EXPECT_EQ(a.statusPanel(2), QString());
    EXPECT_EQ(a.model.state().panelToolTip(2), QString());
    a.run(u"select 3 from dual"_s);
    EXPECT_EQ(runsIn(path), 2);
    a.model.startRecording();
    a.run(u"select 4 from dual"_s);
    EXPECT_EQ(a.statusPanel(3), u"3"_s);
    EXPECT_EQ(recordingFilePath(), path);
}
