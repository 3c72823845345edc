// The SQL box in its window: the window's keys inside it, positions in the text as typed
// (Japanese included), the find bar, completion from a login's dictionary, 整形 and the font;
// and the program's icon on the frame, its query windows and the about box.
#include "core/settings/settings.h"
#include "core/sqlite/sqlite.h"
#include "gui/aboutdialog.h"
#include "gui/findbar.h"
#include "gui/gridview.h"
#include "gui/mainframe.h"
#include "gui/querywindow.h"
#include "gui/sqleditorcommands.h"
#include "gui/sqlfilecommands.h"
#include "support/modalanswerer.h"
#include "support/tempprogram.h"

#include <Qsci/qscilexer.h>
#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using namespace Qt::StringLiterals;
using namespace qv;

namespace {

class SqlBoxTest : public ::testing::Test {
  protected:
    SqlBoxTest() {
        frame.show();
        frame.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&frame));
        box->setFocus();
    }
    ~SqlBoxTest() override { setSqlFileChooser(nullptr); }

    // Logs the window in to a new SQLite file made by `schema`, and waits for its dictionary.
    void logIn(const char* schema) {
        const QString file = dir.filePath(u"t.db"_s);
        sqlite::Connection(file, sqlite::Connection::Mode::ReadWriteCreate, 1000).exec(schema);
        QSignalSpy read(&w->model().dictionary(), &DictionaryLoader::read);
        w->model().connection().setLogin({u"sqlite:"_s + file, u"scott"_s, QString()});
        w->model().connection().connectToService();
        ASSERT_TRUE(w->model().connection().waitForAttempt(30'000));
        ASSERT_TRUE(read.wait(30'000));
    }
    // Runs the box's statement; false when it did not end.
    bool run() {
        QSignalSpy running(&w->model().state(), &WindowState::runningChanged);
        w->executeButton()->click();
        while (running.isEmpty() || running.last().first().toBool())
            if (!running.wait(30'000))
                return false;
        return true;
    }
    // What 補完 lists with the caret at `caret` of `text`.
    QStringList offered(const QString& text, qsizetype caret) {
        box->setText(text);
        box->setCaretOffset(caret);
        frame.action(u"completeSql"_s)->trigger();
        QStringList labels;
        if (box->completionShown())
            for (const CompletionItem& item : box->completion().items)
                labels << item.label;
        return labels;
    }

    test::TempProgram tmp;
    QTemporaryDir dir;
    MainFrame frame{tmp.program()};
    QueryWindow* w = frame.activeQueryWindow();
    SqlEditor* box = w->sqlEdit();
};

// Whether `picture` is the program's icon: the indigo of its tile above the plan.
bool showsProgramIcon(const QPixmap& picture) {
    if (picture.isNull())
        return false;
    const QImage image = picture.toImage();
    const QColor c = image.pixelColor(int(image.width() * 0.47), int(image.height() * 0.12));
    return c.blue() > c.red() + 60 && c.blue() > c.green() + 30;
}

}  // namespace

// Esc closes the list, then the find bar, then gives up the login; Tab moves on unless lines
// are selected; Ctrl+Enter and F5 press 実 行; the menus' Ctrl+N, Ctrl+B, Ctrl+O and Ctrl+S act.
TEST_F(SqlBoxTest, TheWindowsKeysWinInsideTheBox) {
    auto gate = std::make_shared<QSemaphore>();
    w->model().connection().setOpener(
        [gate](const QString&, const QString&, const QString&) -> std::unique_ptr<Database> {
            gate->tryAcquire(1, 10'000);
            throw DbError(kErrOdbcCall, u"too late"_s);
        });
    w->model().connection().setLogin({u"ORCL"_s, u"scott"_s, QString()});
    w->model().connection().connectToService();
    QSignalSpy presses(w->executeButton(), &QPushButton::clicked);
    QTest::keyClick(box, Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_F5);
    EXPECT_EQ(presses.size(), 2);

    box->setText(u"select 1 from dual"_s);
    frame.action(u"completeSql"_s)->trigger();
    ASSERT_TRUE(box->completionShown());
    QTest::keyClick(box, Qt::Key_Escape);
    frame.action(u"findText"_s)->trigger();
    EXPECT_TRUE(w->findBar()->isVisible() && w->model().isConnecting());
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_TRUE(!w->findBar()->isVisible() && w->model().isConnecting());
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_FALSE(w->model().isConnecting()) << "the third Esc gives the login up";
    gate->release(2);

    for (GridModel* g : {&w->model().resultGrid(), &w->model().statsGrid(), &w->model().planGrid()})
        g->setVisible(true);
    QTest::keyClick(box, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), static_cast<QWidget*>(w->executeButton()));
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), static_cast<QWidget*>(w->planGrid()));
    box->setFocus();
    box->setText(u"select a\nfrom t"_s);
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Tab);
    EXPECT_EQ(box->text(), u"    select a\n    from t"_s);
    QTest::keyClick(box, Qt::Key_Backtab);
    EXPECT_EQ(box->text(), u"select a\nfrom t"_s);

    tmp.program().statementRing().add(u"select 2 from dual"_s);
    QTest::keyClick(box, Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(std::pair(box->text(), box->caretOffset()),
              std::pair(u"select 2 from dual"_s, qsizetype(18)));
    QTest::keyClick(box, Qt::Key_B, Qt::ControlModifier);
    EXPECT_EQ(box->text(), u"select 2 from dual"_s);
    const QString path = dir.filePath(u"a.sql"_s);
    setSqlFileChooser([&](QWidget*, bool, const QString&) { return path; });
    QTest::keyClick(box, Qt::Key_S, Qt::ControlModifier);
    box->setText(u"x"_s);
    test::ModalAnswerer unsaved({QMessageBox::No});
    QTest::keyClick(box, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(box->text(), u"select 2 from dual"_s) << "saved, then opened";
}

// QScintilla counts UTF-8 bytes; the window counts characters of the text as typed.
TEST_F(SqlBoxTest, ErrorMarkAndInsertionLandAfterJapaneseTextAndUndoOneByOne) {
    const QString sql = u"select '札幌' city,\n  name frm t"_s;
    box->setText(sql);
    w->markSqlError(sql.indexOf(u"frm"));
    EXPECT_EQ(std::pair(box->caretOffset(), box->markedErrorLine()),
              std::pair(sql.indexOf(u"frm"), 1));

    box->setText(u"where '東京' = x and "_s);
    box->setCaretOffset(box->text().size());
    QApplication::clipboard()->setText(u"city = '大阪' and\r\n"_s);
    box->paste();
    w->replaceSqlSelection(u"NAME = '京都'"_s);
    EXPECT_EQ(box->text(), u"where '東京' = x and city = '大阪' and\r\nNAME = '京都'"_s)
        << "the pasted line end kept";
    box->undo();
    EXPECT_EQ(box->text(), u"where '東京' = x and city = '大阪' and\r\n"_s);
    box->undo();
    EXPECT_EQ(box->text(), u"where '東京' = x and "_s);
}

// A condition inserted by double-clicking a result cell is one Ctrl+Z, apart from the paste
// before it.
TEST_F(SqlBoxTest, ADoubleClickedConditionIsOneUndoStepAfterAPaste) {
    logIn("create table t (n integer); insert into t values (1);");
    box->setText(u"select * from t"_s);
    {
        test::ModalAnswerer answers({QMessageBox::Yes});  // the plan table is made
        ASSERT_TRUE(run());
    }
    box->setText(u"select * from t where "_s);
    box->setCaretOffset(box->text().size());
    QApplication::clipboard()->setText(u"n > 0 and "_s);
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    GridView* grid = w->resultGrid();
    const QPoint cell = grid->visualRect(grid->model()->index(0, 0)).center();
    // Through the window system, as a user's double-click comes.
    QTest::mouseDClick(frame.windowHandle(), Qt::LeftButton, {},
                       grid->viewport()->mapTo(&frame, cell));
    EXPECT_EQ(box->text(), u"select * from t where n > 0 and N = '1'"_s);
    QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(box->text(), u"select * from t where n > 0 and "_s);
}

TEST_F(SqlBoxTest, FindBarFindsAndReplacesAllAsOneUndoStep) {
    const QString sql = u"select Name, name_2, NAME from t where name = 'x'"_s;
    box->setText(sql);
    box->setCaretOffset(0);
    QTest::keyClick(box, Qt::Key_F, Qt::ControlModifier);
    FindBar* bar = w->findBar();
    ASSERT_TRUE(bar->isVisible() && bar->findEdit()->hasFocus());
    QTest::keyClicks(bar->findEdit(), u"name"_s);
    EXPECT_EQ(box->selectedRange(), (TextRange{7, 11})) << "found as it is typed";
    bar->wholeWordButton()->click();
    bar->matchCaseButton()->click();
    QTest::keyClick(box, Qt::Key_F3);
    EXPECT_EQ(box->selectedRange().begin, sql.indexOf(u"name ="));
    QTest::keyClick(box, Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(box->selectedRange().begin, sql.indexOf(u"name ="))
        << "the only match, found again backward";

    bar->matchCaseButton()->click();
    bar->regularExpressionButton()->click();
    bar->open(true);
    bar->findEdit()->setText(u"(n)ame\\b"_s);
    bar->replaceEdit()->setText(u"\\1m"_s);
    bar->findChild<QPushButton*>(u"replaceAllButton"_s)->click();
    EXPECT_EQ(box->text(), u"select Nm, name_2, Nm from t where nm = 'x'"_s);
    EXPECT_EQ(bar->messageLabel()->text(), kMsgReplaced.arg(3));
    box->undo();
    EXPECT_EQ(box->text(), sql);
    bar->findEdit()->setText(u"nothing"_s);
    bar->findNext();
    EXPECT_EQ(bar->messageLabel()->text(), kMsgNotFound.arg(u"nothing"_s));
}

// 整形 and its undo; the font of SQLフォント..., kept in the settings store.
TEST_F(SqlBoxTest, FormatIsOneUndoStepAndTheFontIsTheStores) {
    box->setText(u"select a from t where b = 1"_s);
    QTest::keyClick(box, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(box->text(), u"SELECT a\nFROM t\nWHERE b = 1"_s);
    box->undo();
    EXPECT_EQ(box->text(), u"select a from t where b = 1"_s);

    EXPECT_EQ(box->lexer()->defaultFont().pointSize(), 9);
    setSqlFontChooser([](QWidget*, const QFont&) { return QFont(u"Noto Sans Mono CJK JP"_s, 12); });
    frame.action(u"sqlFont"_s)->trigger();
    setSqlFontChooser(nullptr);
    QString stored;
    tmp.store().read(u"s_sql_font"_s, stored);
    EXPECT_EQ(stored, u"Noto Sans Mono CJK JP,12"_s);
    const QFont shown = frame.openQueryWindow()->sqlEdit()->lexer()->defaultFont();
    EXPECT_EQ(std::pair(shown.family(), shown.pointSize()),
              std::pair(u"Noto Sans Mono CJK JP"_s, 12));
    char family[64] = {};
    box->SendScintilla(QsciScintillaBase::SCI_STYLEGETFONT, 0UL, static_cast<void*>(family));
    EXPECT_STREQ(family, "Noto Sans Mono CJK JP") << "the window open then too";
}

// The dictionary is read at the login on the embedded engine, and again after DDL; `alias.`
// lists the columns with their types, inserted in small letters as typed.
TEST_F(SqlBoxTest, CompletionOffersTheLoginsTablesAndColumnsAndRereadsAfterDdl) {
    logIn("create table customers (customer_id integer primary key, city varchar2(20));");
    EXPECT_EQ(offered(u"select c.ci from customers c"_s, 11), QStringList{u"city  VARCHAR2(20)"_s});
    box->setText(u"select c from customers c"_s);
    box->setCaretOffset(8);
    QSignalSpy shown(box, &SqlEditor::completionListShown);
    QTest::keyClicks(box, u"."_s);
    ASSERT_TRUE(shown.wait());
    QTest::keyClick(box, Qt::Key_Down);
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(box->text(), u"select c.city from customers c"_s);

    box->setText(u"create table orders (order_id integer)"_s);
    test::ModalAnswerer answers({QMessageBox::Yes});
    QSignalSpy read(&w->model().dictionary(), &DictionaryLoader::read);
    ASSERT_TRUE(run());
    ASSERT_TRUE(read.wait(30'000));
    EXPECT_EQ(offered(u"select * from ORD"_s, 17), (QStringList{u"ORDERS  TABLE"_s, u"ORDER"_s}));
}

TEST(SqlEditor, TheFrameItsQueryWindowsAndTheAboutBoxShowTheProgramIcon) {
    test::TempProgram tmp;
    MainFrame frame(tmp.program());
    QueryWindow* window = frame.activeQueryWindow();
    ASSERT_TRUE(window);
    EXPECT_TRUE(showsProgramIcon(frame.windowIcon().pixmap(64)));
    EXPECT_TRUE(showsProgramIcon(window->parentWidget()->windowIcon().pixmap(32)));
    EXPECT_FALSE(window->windowIcon().isNull());
    showAboutDialog(systemInfoSources(tmp.program()), &frame);
    ASSERT_TRUE(aboutDialogIfOpen());
    EXPECT_TRUE(showsProgramIcon(aboutDialogIfOpen()->iconLabel()->pixmap()));
    aboutDialogIfOpen()->close();
}

// A statement the embedded engine cannot read: the caret goes to the token it stopped at, in
// the text as typed (a full-width blank before it, translated SYSDATE and DECODE), and that
// line is marked until the text is next edited; the message lines read as ever.
TEST_F(SqlBoxTest, AnEngineErrorPutsTheCaretOnItsTokenAndMarksItsLineUntilTheNextEdit) {
    logIn("create table t (n integer)");
    test::ModalAnswerer answers({QMessageBox::Yes});  // the plan table is made on the first run
    const QString sql = u"\u3000select sysdate,\n  decode(n, 1, '札幌', 'b') x\n  frm t"_s;
    const qsizetype at = sql.indexOf(u"frm");
    box->setText(sql);
    ASSERT_TRUE(run());
    EXPECT_EQ(std::pair(box->caretOffset(), box->markedErrorLine()), std::pair(at, 2));
    const QString line = w->model().state().line(WindowState::Line::Result);
    EXPECT_TRUE(
        line.startsWith(u"ORA-00923: FROM keyword not found where expected (near \"frm\""_s))
        << line.toStdString();
    box->recolor();
    EXPECT_EQ(box->markedErrorLine(), 2) << "colouring is no edit";

    // Only the plan: EXPLAIN PLAN places it the same.
    tmp.settings().set(&Settings::runQuery, false);
    box->setCaretOffset(0);
    ASSERT_TRUE(run());
    EXPECT_EQ(std::pair(box->caretOffset(), box->markedErrorLine()), std::pair(at, 2));
    box->insert(u"o"_s);
    EXPECT_EQ(box->markedErrorLine(), -1);
}
