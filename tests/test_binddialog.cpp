// The bind dialog as a user meets it, and a query window that asks it before a run.
#include "core/history/statementring.h"
#include "core/settings/settings.h"
#include "gui/binddialog.h"
#include "gui/querywindow.h"
#include "support/bindanswerer.h"
#include "support/scripteddb.h"
#include "support/tempprogram.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace Qt::StringLiterals;
using namespace qv;
using T = BindType;

TEST(BindDialog, ShowsEachVariableWithItsTypeAndValueAndNullTakesNoValue) {
    BindDialog d(
        {{u"id"_s, T::Number, u"5"_s}, {u"B1"_s, T::Varchar2, {}}, {u"x"_s, T::Null, u"left"_s}});
    QStringList heads;
    for (int c = 0; c < 3; ++c)
        heads << d.table()->horizontalHeaderItem(c)->text();
    QStringList types;
    for (int i = 0; i < d.typeBox(0)->count(); ++i)
        types << d.typeBox(0)->itemText(i);
    EXPECT_EQ(QStringList({d.windowTitle(), heads.join(u'/'), types.join(u'/'),
                           d.runButton()->text(), d.cancelButton()->text()}),
              QStringList({u"バインド変数"_s, u"変数/型/値"_s,
                           u"VARCHAR2/NUMBER/DATE/TIMESTAMP/NULL"_s, u"実行"_s, u"取消"_s}));
    EXPECT_EQ(test::bindLines(d),
              QStringList({u":id NUMBER 5"_s, u":B1 VARCHAR2 "_s, u":x NULL []"_s}));
    d.typeBox(0)->setCurrentText(u"NULL"_s);
    d.typeBox(2)->setCurrentText(u"DATE"_s);
    d.valueEdit(2)->setText(u"2024-01-31"_s);
    EXPECT_EQ(test::bindLines(d),
              QStringList({u":id NULL []"_s, u":B1 VARCHAR2 "_s, u":x DATE 2024-01-31"_s}));
    EXPECT_EQ(d.values(), (BindList{{u"id"_s, T::Null, QString()},
                                    {u"B1"_s, T::Varchar2, QString()},
                                    {u"x"_s, T::Date, u"2024-01-31"_s}}));
}

// Tab goes from value to value, past a NULL's, then to 実行; Shift+Tab reaches the type.
TEST(BindDialog, TabGoesFromValueToValueAndShiftTabToTheType) {
    BindDialog d({{u"a"_s, T::Number, u"1"_s}, {u"b"_s, T::Null, {}}, {u"c"_s, T::Varchar2, {}}});
    d.show();
    d.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    ASSERT_EQ(QApplication::focusWidget(), d.valueEdit(0));
    QTest::keyClick(d.valueEdit(0), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), d.valueEdit(2));
    QTest::keyClick(d.valueEdit(2), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), d.runButton());
    d.valueEdit(2)->setFocus();
    QTest::keyClick(d.valueEdit(2), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), d.typeBox(2));
}

// Enter runs wherever the cursor stands; Esc and 取消 abandon.
TEST(BindDialog, EnterFromAnyLineRunsEscapeAndCancelAbandon) {
    const struct {
        const char* where;
        std::function<QWidget*(BindDialog&)> widget;
        Qt::Key key;
        int result;
    } cases[] = {
        {"first value", [](BindDialog& d) { return d.valueEdit(0); }, Qt::Key_Return,
         QDialog::Accepted},
        {"last value", [](BindDialog& d) { return d.valueEdit(1); }, Qt::Key_Enter,
         QDialog::Accepted},
        {"a type", [](BindDialog& d) { return d.typeBox(1); }, Qt::Key_Return, QDialog::Accepted},
        {"the table", [](BindDialog& d) { return d.table(); }, Qt::Key_Return, QDialog::Accepted},
        {"a value", [](BindDialog& d) { return d.valueEdit(1); }, Qt::Key_Escape,
         QDialog::Rejected},
    };
    for (const auto& c : cases) {
        BindDialog d({{u"a"_s, T::Varchar2, {}}, {u"b"_s, T::Varchar2, {}}});
        d.show();
        QWidget* w = c.widget(d);
        w->setFocus();
        if (auto* edit = qobject_cast<QLineEdit*>(w))
            QTest::keyClicks(edit, u"typed"_s);
        QTest::keyClick(w, c.key);
        EXPECT_EQ(std::pair(d.isVisible(), d.result()), std::pair(false, c.result)) << c.where;
        if (c.result == QDialog::Accepted && qobject_cast<QLineEdit*>(w)) {
            EXPECT_TRUE(d.values().contains(
                BindValue{qobject_cast<QLineEdit*>(w) == d.valueEdit(0) ? u"a"_s : u"b"_s,
                          T::Varchar2, u"typed"_s}))
                << c.where;
        }
    }
    BindDialog d({{u"a"_s, T::Varchar2, {}}});
    d.show();
    d.cancelButton()->click();
    EXPECT_EQ(d.result(), QDialog::Rejected);
}

namespace {

// A query window logged in to a scripted server.
class BindWindowTest : public ::testing::Test {
  protected:
    BindWindowTest() {
        tmp.settings().set(&Settings::showPlan, false);
        window.model().connection().setOpener(
            [this](const QString&, const QString&, const QString&) {
                return std::make_unique<test::ScriptedDatabase>(opened++ == 0 ? u"Q"_s : u"S"_s,
                                                                script);
            });
        window.model().connection().setLogin({u"ORCL"_s, u"scott"_s, QString()});
        window.model().connection().connectToService();
        EXPECT_TRUE(window.model().connection().waitForAttempt(10'000));
        window.show();
    }
    // Presses 実 行 on `sql`; `answer` works the bind dialog if it shows. What the dialog
    // offered, one line per variable.
    QStringList run(const QString& sql, std::function<void(BindDialog&)> answer) {
        answerer.offered.clear();
        answerer.answer = std::move(answer);
        window.sqlEdit()->setText(sql);
        window.executeButton()->click();
        EXPECT_TRUE(window.model().waitForRun(10'000));
        return answerer.offered;
    }
    // The statements the query connection ran.
    QStringList queries() const { return script->log.filter(QRegularExpression(u"^Q: "_s)); }

    test::TempProgram tmp;
    test::BindAnswerer answerer;
    std::shared_ptr<test::Script> script = std::make_shared<test::Script>();
    int opened = 0;
    QueryWindow window{tmp.program()};
};

}  // namespace

TEST_F(BindWindowTest, StatementRunsWithTheValuesGivenAndTheNextRunOffersThemAgain) {
    const QString sql = u"select * from emp where empno = :emp_id or mgr = :EMP_ID"_s;
    EXPECT_EQ(run(sql,
                  [](BindDialog& d) {
                      d.typeBox(0)->setCurrentText(u"NUMBER"_s);
                      QTest::keyClicks(d.valueEdit(0), u"7839"_s);
                      QTest::keyClick(d.valueEdit(0), Qt::Key_Return);
                  }),
              QStringList{u":emp_id VARCHAR2 "_s});
    EXPECT_EQ(queries().filter(u"emp"_s),
              QStringList{u"Q: "_s + sql + u" [emp_id=7839 (NUMBER)]"_s});
    // Another statement with the same name (in another case) offers the last value.
    EXPECT_EQ(
        run(u"select :EMP_ID, :other from dual"_s, [](BindDialog& d) { d.runButton()->click(); }),
        (QStringList{u":EMP_ID NUMBER 7839"_s, u":other VARCHAR2 "_s}));
}

TEST_F(BindWindowTest, CancelSendsNothingRecordsNothingAndLeavesTheLines) {
    run(u"select 1 from dual"_s, [](BindDialog&) {});
    const QStringList before = script->log;
    const int32_t ringSlot = tmp.program().statementRing().nextSlot();
    const QString count = window.model().state().line(WindowState::Line::Count);
    for (const auto& abandon : std::vector<std::function<void(BindDialog&)>>{
             [](BindDialog& d) { d.cancelButton()->click(); },
             [](BindDialog& d) { QTest::keyClick(d.valueEdit(0), Qt::Key_Escape); }}) {
        EXPECT_EQ(run(u"select * from emp where ename = :name"_s, abandon),
                  QStringList{u":name VARCHAR2 "_s});
        EXPECT_EQ(script->log, before);
        EXPECT_EQ(tmp.program().statementRing().nextSlot(), ringSlot);
        EXPECT_EQ(window.model().state().line(WindowState::Line::Count), count);
        EXPECT_FALSE(window.model().isRunning());
    }
}
