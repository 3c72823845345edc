// The SQL box: its colours, the text kept as typed, the marked parenthesis, Ctrl+Enter, the
// place of an error the engine reports; and the program's icon on the frame, its query windows
// and the about box.
#include "core/settings/settings.h"
#include "core/sqlite/sqlite.h"
#include "gui/aboutdialog.h"
#include "gui/mainframe.h"
#include "gui/querywindow.h"
#include "gui/sqleditor.h"
#include "gui/sqlhighlighter.h"
#include "support/modalanswerer.h"
#include "support/tempprogram.h"

#include <gtest/gtest.h>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

using namespace Qt::StringLiterals;
using namespace qv;

namespace {

// The coloured pieces of line `n` as "kind:text", in order; "?" for a format of no kind.
QStringList colouredPieces(const SqlEditor& editor, int n) {
    const QTextBlock block = editor.document()->findBlockByNumber(n);
    const std::pair<SqlToken, QString> kinds[] = {{SqlToken::Keyword, u"K"_s},
                                                  {SqlToken::String, u"S"_s},
                                                  {SqlToken::Comment, u"C"_s},
                                                  {SqlToken::Number, u"N"_s}};
    QStringList pieces;
    for (const QTextLayout::FormatRange& r : block.layout()->formats()) {
        QString kind = u"?"_s;
        for (const auto& [token, name] : kinds) {
            if (r.format == editor.highlighter()->formatFor(token))
                kind = name;
        }
        pieces << kind + u':' + block.text().mid(r.start, r.length);
    }
    return pieces;
}

// Whether `picture` is the program's icon: the indigo of its tile above the plan.
bool showsProgramIcon(const QPixmap& picture) {
    if (picture.isNull())
        return false;
    const QImage image = picture.toImage();
    const QColor c = image.pixelColor(int(image.width() * 0.47), int(image.height() * 0.12));
    return c.blue() > c.red() + 60 && c.blue() > c.green() + 30;
}

}  // namespace

TEST(SqlEditor, ColoursKeywordsStringsCommentsAndNumbersLineByLine) {
    SqlEditor editor;
    editor.setPlainText(
        u"select t1.col_2, 'it''s -- no' as \"Order\", 42, 1.5e3, .5\n"
        u"  From T1 /* a comment\n"
        u"  across two lines */ where x = 7\n"
        u" and n = q'[it's]' or m = q'\U0001F600x'y\U0001F600' or n = 'a\n"
        u"b' -- end"_s);
    const QStringList expected[] = {
        {u"K:select"_s, u"S:'it''s -- no'"_s, u"K:as"_s, u"N:42"_s, u"N:1.5e3"_s, u"N:.5"_s},
        {u"K:From"_s, u"C:/* a comment"_s},
        {u"C:  across two lines */"_s, u"K:where"_s, u"N:7"_s},
        {u"K:and"_s, u"S:q'[it's]'"_s, u"K:or"_s, u"S:q'\U0001F600x'y\U0001F600'"_s, u"K:or"_s,
         u"S:'a"_s},
        {u"S:b'"_s, u"C:-- end"_s},
    };
    for (int n = 0; n < 5; ++n)
        EXPECT_EQ(colouredPieces(editor, n), expected[n]) << "line " << n;

    // Closing the comment on its first line lets the next line be code again.
    QTextCursor c(editor.document()->findBlockByNumber(1));
    c.movePosition(QTextCursor::EndOfBlock);
    c.insertText(u" */"_s);
    EXPECT_EQ(colouredPieces(editor, 2), (QStringList{u"K:where"_s, u"N:7"_s}));
}

TEST(SqlEditor, KeepsWhatIsTypedAndCtrlEnterAsksForARunInstead) {
    SqlEditor editor;
    editor.show();
    QSignalSpy runs(&editor, &SqlEditor::runRequested);
    // Return and Tab pressed as keys; nothing indents, closes or completes anything.
    const QStringList lines{u"select f(a, (b)"_s, u"  from t"_s,
                            u"\twhere x in ('(', \"q\") -- ("_s};
    for (const QString& line : lines) {
        QTest::keyClicks(&editor, line);
        QTest::keyClick(&editor, Qt::Key_Return);
    }
    const QString typed = lines.join(u'\n') + u'\n';
    EXPECT_EQ(editor.toPlainText(), typed);
    QTest::keyClick(&editor, Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClick(&editor, Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier);
    EXPECT_EQ(runs.count(), 2);
    QTest::keyClick(&editor, Qt::Key_Return);
    EXPECT_EQ(std::pair(editor.toPlainText(), runs.count()),
              std::pair(typed + u'\n', qsizetype(2)));
    // The numbers' strip grows with the lines and the text starts right of it.
    const int narrow = editor.lineNumberArea()->width();
    editor.setPlainText(QString(120, u'\n'));
    EXPECT_GT(editor.lineNumberArea()->width(), narrow);
    EXPECT_EQ(editor.viewport()->x(), editor.lineNumberArea()->geometry().right() + 1);
}

TEST(SqlEditor, MarksTheParenthesisPairAtTheCaret) {
    SqlEditor editor;
    const QString sql = u"select f(a, (b)) from t where c = '(' and (d"_s;
    editor.setPlainText(sql);
    // The marked characters, [start, end) each, with the caret at `caret`.
    using Marks = std::vector<std::pair<int, int>>;
    auto marks = [&](qsizetype caret) {
        QTextCursor c = editor.textCursor();
        c.setPosition(int(caret));
        editor.setTextCursor(c);
        Marks at;
        for (const QTextEdit::ExtraSelection& s : editor.extraSelections())
            at.emplace_back(s.cursor.selectionStart(), s.cursor.selectionEnd());
        std::sort(at.begin(), at.end());
        return at;
    };
    const int outer = int(sql.indexOf(u'(')), inner = int(sql.indexOf(u"(b")),
              close = int(sql.indexOf(u')'));
    const Marks outerPair{{outer, outer + 1}, {close + 1, close + 2}};
    EXPECT_EQ(marks(outer + 1), outerPair) << "just after an opening one";
    EXPECT_EQ(marks(inner), (Marks{{inner, inner + 1}, {close, close + 1}})) << "at one";
    EXPECT_EQ(marks(close + 2), outerPair) << "just after a closing one";
    EXPECT_EQ(marks(sql.indexOf(u"'('") + 2), Marks()) << "in a string";
    EXPECT_EQ(marks(sql.size() - 1), Marks()) << "without a partner";
    EXPECT_EQ(marks(3), Marks()) << "away from any";
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
TEST(SqlEditor, AnEngineErrorPutsTheCaretOnItsTokenAndMarksItsLineUntilTheNextEdit) {
    test::TempProgram tmp;
    QTemporaryDir dir;
    const QString file = dir.filePath(u"t.db"_s);
    sqlite::Connection(file, sqlite::Connection::Mode::ReadWriteCreate, 1000)
        .exec("create table t (n integer)");
    MainFrame frame(tmp.program());
    QueryWindow* w = frame.activeQueryWindow();
    ConnectionService& connection = w->model().connection();
    connection.setLogin({u"sqlite:"_s + file, u"scott"_s, QString()});
    connection.connectToService();
    ASSERT_TRUE(connection.waitForAttempt(30'000) && connection.isConnected());
    QSignalSpy running(&w->model().state(), &WindowState::runningChanged);
    test::ModalAnswerer answers({QMessageBox::Yes});  // the plan table is made on the first run
    auto run = [&] {
        running.clear();
        w->executeButton()->click();
        while (running.isEmpty() || running.last().first().toBool())
            if (!running.wait())
                return false;
        return true;
    };
    const QString sql = u"\u3000select sysdate,\n  decode(n, 1, 'a', 'b') x\n  frm t"_s;
    const int at = int(sql.indexOf(u"frm"));
    w->sqlEdit()->setPlainText(sql);
    ASSERT_TRUE(run());
    EXPECT_EQ(std::tuple(w->sqlEdit()->textCursor().position(), w->sqlEdit()->markedErrorLine()),
              std::tuple(at, 2));
    const QString line = w->model().state().line(WindowState::Line::Result);
    EXPECT_TRUE(
        line.startsWith(u"ORA-00923: FROM keyword not found where expected (near \"frm\""_s))
        << line.toStdString();
    w->sqlEdit()->highlighter()->rehighlight();
    EXPECT_EQ(w->sqlEdit()->markedErrorLine(), 2) << "colouring is no edit";

    // Only the plan: EXPLAIN PLAN places it the same.
    tmp.settings().set(&Settings::runQuery, false);
    w->sqlEdit()->moveCursor(QTextCursor::Start);
    ASSERT_TRUE(run());
    EXPECT_EQ(std::tuple(w->sqlEdit()->textCursor().position(), w->sqlEdit()->markedErrorLine()),
              std::tuple(at, 2));
    w->sqlEdit()->insertPlainText(u"o"_s);
    EXPECT_EQ(w->sqlEdit()->markedErrorLine(), -1);
}
