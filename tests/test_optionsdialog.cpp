// The options: the rules for what the dialog shows and accepts, then the dialog as a person
// sees and uses it.
#include "core/settings/optionsform.h"
#include "core/settings/sharedsettings.h"
#include "gui/optionsdialog.h"
#include "support/checks.h"
#include "support/modalanswerer.h"
#include "support/tempprogram.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace qv;
using namespace Qt::StringLiterals;

namespace {

// Every name holding "oracle" in any case is offered: items 1 to 4.
const QStringList kInstalled{u"PostgreSQL Unicode"_s, u"Oracle in XE"_s, u"ORACLE ODBC Driver"_s,
                             u"Oracle ODBC Driver"_s, u"MyOraCle 11g"_s, u"Ora Client"_s};

auto fields(const Settings& p) {
    return std::tuple(p.showPlan, p.runQuery, p.maxDisplayRows, p.planTable, p.overrideOptimizer,
                      p.optimizerGoal, p.odbcDriver);
}

// What the dialog shows.
auto shown(const OptionsDialog& f) {
    return std::tuple(f.showPlanBox()->isChecked(), f.runQueryBox()->isChecked(),
                      f.maxRowsEdit()->text(), f.planTableEdit()->text(),
                      f.driverBox()->currentText(), f.optimizerBox()->currentText());
}

QStringList itemsOf(const QComboBox* c) {
    QStringList items;
    for (int i = 0; i < c->count(); ++i)
        items << c->itemText(i);
    return items;
}

class OptionsDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        tmp.settings().change([this](Settings& s) { s = before; });
    }
    void TearDown() override { releaseOptionsDialog(); }
    // Clicks the accept button, answering any message box: the messages shown, whether the
    // dialog stays open, and the settings.
    auto accept() {
        test::ModalAnswerer answerer;
        d.acceptButton()->click();
        return std::tuple(answerer.seen, d.isVisible(), fields(tmp.settings().values()));
    }

    test::TempProgram tmp;
    OptionsDialog d{[] { return kInstalled; }};
    // More rows than the five characters a user may type.
    const Settings before{
        true, true, 1000000, u"MY_PLAN"_s, true, u"RULE"_s, u"ORACLE ODBC Driver"_s};
};

}  // namespace

// A row text is a number as a user writes it, full-width forms too. Halves round to the even
// integer; a value past the 32-bit limit reads as not a number; a refused text sets nothing.
TEST(OptionRules, RowTextsSelectionSetupAndAccept) {
    using enum FormCheck;
    auto check = [](const char* text, int32_t rows = -7) {
        const FormCheck result = checkMaxDisplayRows(QString::fromUtf8(text), &rows);
        return std::pair(result, rows);
    };
    const std::pair<const char*, int32_t> accepted[] = {
        {"0", 0},  {"12.5", 12},  {"13.5", 14},  {"2.51", 3}, {"+3", 3},    {"5.", 5},
        {".5", 0}, {"1E+2", 100}, {"2.5e-1", 0}, {"010", 10}, {"１２", 12}, {"\u3000７\u3000", 7}};
    for (const auto& [text, rows] : accepted)
        EXPECT_EQ(check(text), std::pair(Ok, rows)) << text;
    EXPECT_EQ(check("2147483647.4"), std::pair(Ok, INT32_MAX));
    for (const char* text : {"-1", "-0.4", "-1e999", "－２"})
        EXPECT_EQ(check(text), std::pair(Negative, -7)) << text;
    for (const char* text : {"",      " ",     "abc",          "1,000",      "1e",  "e3",   ".",
                             "--1",   "+-1",   "0x10",         "&h10",       "1 2", "inf",  "nan",
                             "1.2.3", "12abc", "2147483647.5", "2147483648", "3e9", "1e999"})
        EXPECT_EQ(check(text), std::pair(NotNumeric, -7)) << text;

    // Only an exact name selects the stored driver; a goal the list does not offer selects the
    // system default. The dialog tests cover the other selections.
    EXPECT_EQ((std::array{selectDriver({u"Oracle in XE"_s, u"Oracle in A"_s}, u"oracle in a"_s),
                          selectDriver({}, u"A"_s), selectOptimizer(true, u"FIRST_ROWS_5"_s)}),
              (std::array{0, -1, 0}));

    // Only a table name may become part of the plan step's SQL.
    for (const char* name : {"PLAN_TABLE", "scott.QUERVIN$PLAN_TABLE", "T#1", "\"My Plan\"",
                             "\"A\".\"b c\"", "計画表"})
        EXPECT_TRUE(isValidPlanTableName(QString::fromUtf8(name))) << name;
    for (const char* name : {"customers --", "t; drop table x", "1T", "a.b.c", "\"a\"\"b\"", "",
                             "t where 1=1", "\"\""})
        EXPECT_FALSE(isValidPlanTableName(QString::fromUtf8(name))) << name;

    Settings p{true, true, 1000, u"MY_PLAN"_s, true, u"RULE"_s, u"Oracle in XE"_s};
    EXPECT_EQ(applyOptionsForm({false, false, u"7"_s, u"customers --"_s, {}, -1, 0}, p),
              BadPlanTable);
    EXPECT_TRUE(p.showPlan && p.planTable == u"MY_PLAN"_s) << "nothing is written";
    // No driver listed, no plan table named.
    ASSERT_EQ(applyOptionsForm({false, true, u"7"_s, QString(), {}, -1, 3}, p), Ok);
    applyOptimizerChoice(3, p);
    EXPECT_EQ(fields(p),
              std::tuple(false, true, 7, u"QUERVIN$PLAN_TABLE"_s, true, u"ALL_ROWS"_s, QString()));
}

TEST_F(OptionsDialogTest, CaptionsToolTipsItemsAndTabOrder) {
    auto get = [&](const char* name, const char* p) {
        return d.findChild<QWidget*>(name)->property(p).toString();
    };
    EXPECT_EQ(
        (QStringList{d.windowTitle(), get("driverGroup", "title"), get("runGroup", "title"),
                     get("optimizerGroup", "title"), get("planTableLabel", "text"),
                     get("maxRowsLabel", "text"), d.runQueryBox()->text(), d.showPlanBox()->text(),
                     d.acceptButton()->text(), d.cancelButton()->text(), d.runQueryBox()->toolTip(),
                     d.showPlanBox()->toolTip(), d.maxRowsEdit()->toolTip(),
                     get("optimizerGroup", "toolTip"), d.optimizerBox()->toolTip(),
                     d.planTableEdit()->toolTip()}),
        (QStringList{
            u"Option"_s, u"ODBC Driver"_s, u"実行オプション"_s, u"オプティマイザ"_s,
            u"実行計画表"_s, u"クエリ表示行数"_s, u"クエリを実行する。"_s,
            u"実行計画を取得する。"_s, u"決  定"_s, u"取  消"_s,
            u"実行時にクエリを実行します。オフにすると統計情報も表示されなくなります。"_s,
            u"実行計画を取得します。"_s,
            u"クエリ結果の最大行数を設定します。この設定に関係なくクエリは最終行までフェッチが実行されます。"_s,
            u"オラクルのオプティマイザを選択します。他のセッションには影響しません。"_s,
            u"CHOOSE,RULEはルールベース(RBO)/ALL_ROWS,FIRST_ROWSはコストベース(CBO)オプティマイザです。"_s,
            QString()}));
    EXPECT_EQ(std::tuple(d.acceptButton()->isDefault(), d.cancelButton()->isDefault(),
                         d.minimumSize() == d.maximumSize(),
                         d.optimizerBox()->isEditable() || d.driverBox()->isEditable()),
              std::tuple(true, false, true, false));
    EXPECT_EQ(itemsOf(d.optimizerBox()),
              (QStringList{u"--システム既定値--"_s, u"CHOOSE"_s, u"RULE"_s, u"ALL_ROWS"_s,
                           u"FIRST_ROWS"_s, u"FIRST_ROWS_1"_s, u"FIRST_ROWS_10"_s,
                           u"FIRST_ROWS_100"_s, u"FIRST_ROWS_1000"_s}));
    EXPECT_EQ(itemsOf(d.driverBox()), kInstalled.mid(1, 4));

    QWidgetList order{d.driverBox()};  // the tab order
    for (QWidget* w = order.last(); order.size() < 8;)
        if ((w = w->nextInFocusChain())->focusPolicy() & Qt::TabFocus)
            order << w;
    EXPECT_EQ(order,
              (QWidgetList{d.driverBox(), d.runQueryBox(), d.showPlanBox(), d.planTableEdit(),
                           d.maxRowsEdit(), d.optimizerBox(), d.acceptButton(), d.cancelButton()}));
}

TEST_F(OptionsDialogTest, OpensOnTheSettingsRefusesBadRowsAndAcceptWritesThem) {
    // A driver no longer installed shows the default one. Bad row texts are refused with their
    // message; then the system default goal keeps the stored goal but stops setting it.
    tmp.settings().set(&Settings::odbcDriver, u"Oracle in OraHome92"_s);
    const auto stored = fields(tmp.settings().values());
    d.setup(tmp.settings());
    d.show();
    d.showPlanBox()->setChecked(false);
    d.planTableEdit()->clear();
    d.optimizerBox()->setCurrentIndex(0);
    const std::pair<QString, QString> refused[] = {
        {u"-1"_s, u"QuervinStudio|表示行数は０以上で指定してください。"_s},
        {u"abc"_s, u"QuervinStudio|表示行数は数値で指定してください。"_s}};
    for (const auto& [rows, message] : refused) {
        d.showPlanBox()->setFocus();
        d.maxRowsEdit()->setText(rows);
        EXPECT_EQ(accept(), std::tuple(QStringList{message}, true, stored)) << rows.toStdString();
        EXPECT_EQ(d.focusWidget(), d.maxRowsEdit()) << rows.toStdString();
    }
    d.maxRowsEdit()->setText(u"13.5"_s);
    d.planTableEdit()->setText(u"customers --"_s);
    EXPECT_EQ(accept(),
              std::tuple(QStringList{u"QuervinStudio|"_s + kMsgBadPlanTable}, true, stored));
    EXPECT_EQ(d.focusWidget(), d.planTableEdit());
    d.planTableEdit()->clear();
    EXPECT_EQ(accept(), std::tuple(QStringList(), false,
                                   std::tuple(false, true, 14, u"QUERVIN$PLAN_TABLE"_s, false,
                                              u"RULE"_s, u"Oracle ODBC Driver"_s)));
    d.setup(tmp.settings());
    QTest::keyClicks(d.maxRowsEdit(), u"12345"_s);
    EXPECT_EQ(shown(d), std::tuple(false, true, u"14123"_s, u"QUERVIN$PLAN_TABLE"_s,
                                   u"Oracle ODBC Driver"_s, u"--システム既定値--"_s))
        << "the system default shows again; five characters can be typed";
}

// The menu command shows one modal dialog; cancel, Esc and the close box change nothing, and
// only a dialog closed by its close box is made anew with a fresh driver list.
TEST_F(OptionsDialogTest, MenuCommandCancelEscAndTheCloseBox) {
    int listings = 0;
    QStringList installed{u"Oracle in XE"_s, u"ORACLE ODBC Driver"_s}, items;
    const std::function<QStringList()> lister = [&] { return ++listings, installed; };
    QWidget frame;
    frame.show();
    QPointer<OptionsDialog> seen;
    auto run = [&](void (*finish)(OptionsDialog&)) {
        QTimer::singleShot(0, [&, finish] {
            seen = optionsDialogIfCreated();
            ASSERT_NE(seen, nullptr);
            EXPECT_EQ(QApplication::activeModalWidget(), seen);
            EXPECT_EQ(shown(*seen), std::tuple(true, true, u"1000000"_s, u"MY_PLAN"_s,
                                               u"ORACLE ODBC Driver"_s, u"RULE"_s))
                << "opens on the settings, a longer row value whole";
            items = itemsOf(seen->driverBox());
            seen->runQueryBox()->setChecked(false);
            seen->planTableEdit()->clear();
            seen->driverBox()->setCurrentIndex(-1);
            seen->optimizerBox()->setCurrentIndex(4);
            finish(*seen);
        });
        showOptionsDialog(tmp.settings(), lister, &frame);
        EXPECT_EQ(std::pair(seen && seen->isVisible(), fields(tmp.settings().values())),
                  std::pair(false, fields(before)));
    };

    run([](OptionsDialog& f) { f.cancelButton()->click(); });
    const QPointer<OptionsDialog> first = seen;
    installed << u"Oracle in YE"_s;
    run([](OptionsDialog& f) { QTest::keyClick(&f, Qt::Key_Escape); });
    EXPECT_EQ(std::tuple(seen.data(), first->parentWidget(), listings, items),
              std::tuple(first.data(), &frame, 1, installed.first(2)))
        << "hidden by a key or button: the same dialog and list";
    run([](OptionsDialog& f) { f.close(); });
    run([](OptionsDialog& f) { f.cancelButton()->click(); });
    EXPECT_EQ(std::tuple(first.isNull(), listings, items), std::tuple(true, 2, installed))
        << "the close box drops the dialog";
}
