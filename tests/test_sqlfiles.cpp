// The ﾌｧｲﾙ menu's SQL files: opening UTF-8 and Shift_JIS files and saving them back byte for
// byte, the question before unsaved edits of a file are replaced, and the recent files, against
// real files in a temporary folder.
#include "core/settings/settingsstore.h"
#include "core/window/sqlfile.h"
#include "gui/mainframe.h"
#include "gui/querywindow.h"
#include "gui/scriptrundialog.h"
#include "gui/sqlfilecommands.h"
#include "support/installscript.h"
#include "support/modalanswerer.h"
#include "support/tempprogram.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace qv;

namespace {

class SqlFilesTest : public ::testing::Test {
  protected:
    SqlFilesTest() { frame.show(); }
    ~SqlFilesTest() override { setSqlFileChooser(nullptr); }

    QString put(const QString& name, const QByteArray& bytes) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        return f.fileName();
    }
    QByteArray bytesOf(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    void type(const QString& text) { w->sqlEdit()->append(text); }
    QAction* item(const char* name) { return frame.action(QString::fromLatin1(name)); }
    QStringList recentEntries() {
        Q_EMIT frame.findChild<QMenu*>(u"fileMenu"_s)->aboutToShow();
        QStringList out;
        for (QAction* a : frame.findChild<QMenu*>(u"recentSqlFiles"_s)->actions())
            out << a->text();
        return out;
    }

    test::TempProgram tmp;
    QTemporaryDir dir;
    MainFrame frame{tmp.program()};
    QueryWindow* w = frame.activeQueryWindow();
};

}  // namespace

// Each file keeps its encoding, byte order mark and line ends when saved back; a file that is
// neither UTF-8 nor Shift_JIS is not read.
TEST_F(SqlFilesTest, OpensUtf8AndShiftJisAndSavesEachBackInItsOwnBytes) {
    const struct {
        const char* name;
        QByteArray bytes;
        QString text;
        QString encoding;
        QByteArray added;  // "-- 済" in the file's bytes
    } cases[] = {
        {"crlf.sql", "select 1\r\nfrom dual\r\n", u"select 1\nfrom dual\n"_s, u"UTF-8"_s,
         "-- \xE6\xB8\x88"},
        {"bom.sql", "\xEF\xBB\xBFselect '\xE6\x9C\xAD\xE5\xB9\x8C' from dual\n",
         u"select '札幌' from dual\n"_s, u"UTF-8 (BOM付き)"_s, "-- \xE6\xB8\x88"},
        {"sjis.sql", "select '\x93\x8C\x8B\x9E' from dual\r\n", u"select '東京' from dual\n"_s,
         u"Shift_JIS"_s, "-- \x8D\xCF"},
    };
    for (const auto& c : cases) {
        const QString path = put(QString::fromLatin1(c.name), c.bytes);
        ASSERT_TRUE(openSqlFile(*w, path)) << c.name;
        EXPECT_EQ(std::tuple(w->sqlText(), w->sqlEdit()->caretOffset(),
                             w->findChild<QLabel*>(u"sqlHeading"_s)->toolTip()),
                  std::tuple(c.text, 0, path + u"（"_s + c.encoding + u"）"_s));
        EXPECT_EQ(w->windowTitle(), u"未接続"_s) << "the caption stays the connection's";
        type(u"-- 済"_s);
        item("saveSqlFile")->trigger();
        EXPECT_EQ(bytesOf(path), c.bytes + c.added) << c.name;
    }
    const QString before = w->sqlText();
    test::ModalAnswerer answers;
    const QString bad = put(u"bad.sql"_s, "select '\x81\x20'");
    EXPECT_FALSE(openSqlFile(*w, bad));
    EXPECT_EQ(std::tuple(answers.seen, answers.formats, w->sqlText()),
              std::tuple(QStringList{u"QuervinStudio|ファイル "_s + bad +
                                     u" の文字コードを判別できません。UTF-8かShift_JISで書かれた"
                                     u"ファイルを開いてください。"_s},
                         QList<Qt::TextFormat>{Qt::PlainText}, before));
}

// Only a regular file is read: a FIFO no one writes to, a device behind a link and a folder are
// refused at once, by name, without waiting on them or reading them.
TEST(SqlFileReading, AnythingButARegularFileIsRefusedUnread) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath(u"pipe.sql"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString zeros = dir.filePath(u"zeros.sql"_s);
    ASSERT_TRUE(QFile::link(u"/dev/zero"_s, zeros));
    const QString folder = dir.filePath(u"folder.sql"_s);
    ASSERT_TRUE(QDir().mkpath(folder));
    for (const QString& path : {fifo, zeros, folder}) {
        QString error;
        EXPECT_FALSE(readSqlFile(path, error));
        EXPECT_EQ(error, u"ファイル "_s + path + u" は通常のファイルではないため開けません。"_s);
    }
    QString error;
    EXPECT_FALSE(readSqlFile(dir.filePath(u"missing.sql"_s), error));
    EXPECT_TRUE(
        error.endsWith(u"ファイル "_s + dir.filePath(u"missing.sql"_s) + u" を開けません。"_s))
        << error.toStdString();
}

// Typed text is replaced at once (Ctrl+Z brings it back); edits of a file not yet saved are
// kept, dropped or saved as the user answers.
TEST_F(SqlFilesTest, OpeningOverUnsavedEditsOfAFileAsksFirst) {
    const QString a = put(u"a.sql"_s, "select 'a' from dual");
    const QString b = put(u"b.sql"_s, "select 'b' from dual");
    type(u"typed by hand"_s);
    ASSERT_TRUE(openSqlFile(*w, a));
    w->sqlEdit()->undo();
    EXPECT_EQ(w->sqlText(), u"typed by hand"_s);
    w->sqlEdit()->redo();
    EXPECT_EQ(w->sqlFileLabel()->text(), u"a.sql"_s);
    type(u" -- edited"_s);
    EXPECT_EQ(std::pair(w->sqlFileLabel()->text(), frame.windowMenuEntries()),
              std::pair(u"a.sql*"_s, QStringList{u"&1 未接続 - a.sql*"_s}))
        << "the file's name and its unsaved edits tell the window apart";
    const QString question =
        u"QuervinStudio|SQLファイル "_s + a + u" への変更は保存されていません。保存しますか？"_s;
    {
        test::ModalAnswerer answers({QMessageBox::Cancel});
        EXPECT_FALSE(openSqlFile(*w, b));
        EXPECT_EQ(std::tuple(answers.seen, w->sqlText()),
                  std::tuple(QStringList{question}, u"select 'a' from dual -- edited"_s));
    }
    {
        test::ModalAnswerer answers({QMessageBox::No});
        EXPECT_TRUE(openSqlFile(*w, b));
        EXPECT_EQ(std::tuple(answers.seen.size(), w->sqlText(), bytesOf(a)),
                  std::tuple(qsizetype(1), u"select 'b' from dual"_s,
                             QByteArray("select 'a' from dual")));
    }
    type(u" -- kept"_s);
    test::ModalAnswerer answers({QMessageBox::Yes});
    EXPECT_TRUE(openSqlFile(*w, a));
    EXPECT_EQ(std::tuple(bytesOf(b), w->sqlText()),
              std::tuple(QByteArray("select 'b' from dual -- kept"), u"select 'a' from dual"_s));
    EXPECT_EQ(w->sqlFileLabel()->text(), u"a.sql"_s);
}

// Closing a window asks for its file's unsaved edits as opening another file does: Ctrl+F4 one
// window, すべて閉じる each in turn until キャンセル; the last one closing ends the program.
TEST_F(SqlFilesTest, ClosingByCtrlF4OrCloseAllAsksForUnsavedEdits) {
    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    const QString a = put(u"a.sql"_s, "select 'a' from dual");
    ASSERT_TRUE(openSqlFile(*w, a));
    type(u" -- a"_s);
    QueryWindow* second = frame.openQueryWindow();
    ASSERT_TRUE(openSqlFile(*second, put(u"b.sql"_s, "select 'b' from dual")));
    second->sqlEdit()->append(u" -- b"_s);
    second->sqlEdit()->setFocus();
    auto asked = [](const QString& path) {
        return u"QuervinStudio|SQLファイル "_s + path +
               u" への変更は保存されていません。保存しますか？"_s;
    };
    {
        test::ModalAnswerer answers({QMessageBox::No});
        QTest::keyClick(second->sqlEdit(), Qt::Key_F4, Qt::ControlModifier);
        EXPECT_EQ(std::pair(answers.seen, frame.queryWindows()),
                  std::pair(QStringList{asked(dir.filePath(u"b.sql"_s))}, QList<QueryWindow*>{w}));
    }
    frame.openQueryWindow();
    {
        test::ModalAnswerer answers({QMessageBox::Cancel});
        item("closeAllWindows")->trigger();
        EXPECT_EQ(std::tuple(answers.seen, frame.queryWindows().size(), tmp.ends()),
                  std::tuple(QStringList{asked(a)}, qsizetype(2), 0))
            << "キャンセル keeps every window";
    }
    test::ModalAnswerer answers({QMessageBox::Yes});
    item("closeAllWindows")->trigger();
    EXPECT_EQ(std::tuple(bytesOf(a), frame.queryWindows().size(), tmp.ends()),
              std::tuple(QByteArray("select 'a' from dual -- a"), qsizetype(0), 1));
}

// The list lives in the settings under sqlfile_1 (newest) to sqlfile_8; the menu opens its
// entries, and one whose file is gone goes from the list.
TEST_F(SqlFilesTest, RecentFilesAreKeptNewestFirstAndOpenFromTheMenu) {
    QString chosen = dir.filePath(u"new.sql"_s);
    setSqlFileChooser([&](QWidget*, bool, const QString&) { return chosen; });
    EXPECT_EQ(recentEntries(), QStringList());
    EXPECT_FALSE(frame.findChild<QMenu*>(u"recentSqlFiles"_s)->menuAction()->isEnabled());
    type(u"select 1 from dual"_s);
    item("saveSqlFile")->trigger();  // no file yet: asks for a name
    EXPECT_EQ(bytesOf(chosen), QByteArray("select 1 from dual"));
    QStringList paths{chosen};
    for (int i = 1; i <= 8; ++i) {
        chosen = put(u"f%1.sql"_s.arg(i), QByteArray("select ") + QByteArray::number(i));
        item("openSqlFile")->trigger();
        paths.prepend(chosen);
    }
    QString stored;
    tmp.store().read(u"sqlfile_1"_s, stored);
    EXPECT_EQ(std::pair(stored, RecentSqlFiles(tmp.store()).paths()),
              std::pair(paths[0], paths.mid(0, 8)));
    QStringList entries = recentEntries();
    EXPECT_EQ(entries.size(), 8);
    EXPECT_EQ(entries[2], u"&3 "_s + QString(paths[2]).replace(u"&"_s, u"&&"_s));
    frame.findChild<QMenu*>(u"recentSqlFiles"_s)->actions()[2]->trigger();
    EXPECT_EQ(std::pair(w->sqlText(), RecentSqlFiles(tmp.store()).paths().first()),
              std::pair(u"select 6"_s, paths[2]));
    QFile::remove(paths[1]);
    test::ModalAnswerer answers;
    frame.findChild<QMenu*>(u"recentSqlFiles"_s)->actions()[1]->trigger();
    EXPECT_EQ(answers.seen.size(), 1);
    EXPECT_FALSE(RecentSqlFiles(tmp.store()).paths().contains(paths[1]));
    EXPECT_EQ(recentEntries().size(), 7);
}

// A character Shift_JIS has no bytes for: the file stays as it was unless the user takes UTF-8.
TEST_F(SqlFilesTest, TextShiftJisCannotHoldIsSavedAsUtf8OnlyWhenTheUserAgrees) {
    const QByteArray original("select '\x93\x8C\x8B\x9E' from dual\r\n");
    const QString path = put(u"sjis.sql"_s, original);
    ASSERT_TRUE(openSqlFile(*w, path));
    type(u"-- \U0001F600"_s);
    {
        test::ModalAnswerer answers({QMessageBox::No});
        EXPECT_FALSE(saveSqlFile(*w));
        EXPECT_EQ(std::pair(answers.seen, bytesOf(path)),
                  std::pair(QStringList{u"QuervinStudio|Shift_JISで表せない文字が含まれています。"
                                        u"UTF-8で保存しますか？"_s},
                            original));
    }
    test::ModalAnswerer answers({QMessageBox::Yes});
    EXPECT_TRUE(saveSqlFile(*w));
    EXPECT_EQ(
        std::pair(bytesOf(path), w->sqlFile().encoding),
        std::pair(u"select '東京' from dual\r\n-- \U0001F600"_s.toUtf8(), SqlFileEncoding::Utf8));
}

// ﾌｧｲﾙ → スクリプトの実行 runs a script on the window's session off its thread, lists each
// statement's outcome and the summary, and no run starts meanwhile.
TEST_F(SqlFilesTest, ScriptRunsOnTheWindowsSessionAndListsEachOutcome) {
    const QString db = put(u"s.db"_s, QByteArray());
    const QString script =
        put(u"load.sql"_s,
            "create table t (a number);\ninsert into t values (&v);\n"
            "select * from nosuch;\nbegin\n  insert into t values (2);\nend;\n/\n"
            "select count(*) from t;\n");
    w->model().connection().setLogin({u"sqlite:"_s + db, u"demo"_s, QString()});
    w->model().connection().connectToService();
    ASSERT_TRUE(w->model().connection().waitForAttempt(60'000));
    setSqlFileChooser([&](QWidget*, bool, const QString&) { return script; });
    // The value of &v is asked for in the window.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [] {
        if (auto* asked = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
            asked->setTextValue(u"1"_s);
            asked->accept();
        }
    });
    answer.start(20);
    item("runScript")->trigger();
    auto* dialog = w->findChild<ScriptRunDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(w->model().isScriptRunning());
    QSignalSpy ended(dialog, &ScriptRunDialog::finished);
    ASSERT_TRUE(ended.wait(60'000));
    EXPECT_EQ(ended.first().first().toString(), u"実行: 5　エラー: 1　スキップ: 0"_s);
    const QString out = dialog->output()->toPlainText();
    EXPECT_TRUE(out.contains(script + u":2: 1行が作成されました。"_s)) << out.toStdString();
    EXPECT_TRUE(out.contains(script + u":3: ORA-00942"_s));
    EXPECT_TRUE(out.contains(u"COUNT(*)\n2\n1行が選択されました。"_s)) << out.toStdString();
    EXPECT_FALSE(w->model().isScriptRunning());
}

// The window's script runner loads the install script with the same rows as the CLI.
TEST_F(SqlFilesTest, InstallScriptLoadsInTheWindowWithEveryRow) {
    const QString db = put(u"orders.db"_s, QByteArray());
    w->model().connection().setLogin({u"sqlite:"_s + db, u"demo"_s, QString()});
    w->model().connection().connectToService();
    ASSERT_TRUE(w->model().connection().waitForAttempt(60'000));
    setSqlFileChooser([](QWidget*, bool, const QString&) { return test::installScriptPath(); });
    item("runScript")->trigger();
    auto* dialog = w->findChild<ScriptRunDialog*>();
    ASSERT_NE(dialog, nullptr);
    QSignalSpy ended(dialog, &ScriptRunDialog::finished);
    ASSERT_TRUE(ended.wait(60'000));
    EXPECT_EQ(ended.first().first().toString(), u"実行: 25　エラー: 8　スキップ: 5"_s);
    EXPECT_EQ(test::verificationOf(dialog->output()->toPlainText()), test::expectedVerification());
}
