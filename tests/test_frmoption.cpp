#include "app/program.h"
#include "settings/frmoption.h"
#include "settings/publicvar.h"
#include "support/modalanswerer.h"
#include "support/tempstore.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

using namespace qv;

namespace {

const QStringList kInstalled{QStringLiteral("PostgreSQL Unicode"), QStringLiteral("Oracle in XE"),
                             QStringLiteral("ORACLE ODBC Driver"),
                             QStringLiteral("Oracle ODBC Driver"), QStringLiteral("SQLite3")};

class FrmOptionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        clsPublicVar& p = gPublicVar();
        p.flgExplan = 1;
        p.flgQuery = 1;
        p.maxDispRows = 1000;
        p.gPlanTable = QStringLiteral("MY_PLAN");
        p.flgOptimizerModify = 1;
        p.strOptimizer = QStringLiteral("RULE");
        p.strOracleDriver = QStringLiteral("Oracle in XE");
        before = p;
    }
    void TearDown() override {
        releaseOptionDialog();
        setOdbcDriverLister(nullptr);
    }

    void expectUnchanged() {
        const clsPublicVar& p = gPublicVar();
        EXPECT_EQ(p.flgExplan, before.flgExplan);
        EXPECT_EQ(p.flgQuery, before.flgQuery);
        EXPECT_EQ(p.maxDispRows, before.maxDispRows);
        EXPECT_EQ(p.gPlanTable, before.gPlanTable);
        EXPECT_EQ(p.flgOptimizerModify, before.flgOptimizerModify);
        EXPECT_EQ(p.strOptimizer, before.strOptimizer);
        EXPECT_EQ(p.strOracleDriver, before.strOracleDriver);
    }

    // Edits every control away from the settings.
    static void editAll(FrmOption& d) {
        d.chkExplan()->setChecked(false);
        d.chkQuery()->setChecked(false);
        d.txtMaxDispRows()->setText(QStringLiteral("5"));
        d.txtPlanTable()->setText(QStringLiteral("OTHER"));
        d.cmbOracleDriver()->setCurrentIndex(2);
        d.cmbOptimizer()->setCurrentIndex(4);
    }

    // Opens a dialog as the menu command would and accepts it with `rows` typed.
    QStringList acceptWithRows(FrmOption& d, const QString& rows) {
        d.setup();
        d.show();
        d.txtMaxDispRows()->setText(rows);
        test::ModalAnswerer answerer;
        d.cmdAccept()->click();
        return answerer.seen;
    }

    static void typeKeys(QWidget* w, const QString& text) {
        for (QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, c.unicode(), Qt::NoModifier, QString(c));
            QApplication::sendEvent(w, &press);
        }
    }

    test::TempStore tmp;
    clsPublicVar before;
};

int px(QWidget* w, int twips) {
    return twipsToPixels(twips, w->logicalDpiY());
}

}  // namespace

TEST_F(FrmOptionTest, ControlsReadAsDesigned) {
    FrmOption d([] { return kInstalled; });
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Option"));
    EXPECT_EQ(d.size(), QSize(px(&d, 5775), px(&d, 3660)));
    EXPECT_EQ(d.minimumSize(), d.maximumSize());
    EXPECT_FALSE(d.windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(d.font().families().contains(QStringLiteral("ＭＳ 明朝")));

    auto group = [&](const char* name) { return d.findChild<QGroupBox*>(QLatin1String(name)); };
    EXPECT_EQ(group("fraDriver")->title(), QStringLiteral("ODBC Driver"));
    EXPECT_EQ(group("fraOption")->title(), QStringLiteral("実行オプション"));
    EXPECT_EQ(group("fraOptimizer")->title(), QStringLiteral("オプティマイザ"));
    EXPECT_EQ(d.findChild<QLabel*>(QStringLiteral("Label1"))->text(), QStringLiteral("実行計画表"));
    EXPECT_EQ(d.findChild<QLabel*>(QStringLiteral("lblLabel0"))->text(),
              QStringLiteral("クエリ表示行数"));
    EXPECT_EQ(d.chkQuery()->text(), QStringLiteral("クエリを実行する。"));
    EXPECT_EQ(d.chkExplan()->text(), QStringLiteral("実行計画を取得する。"));
    EXPECT_EQ(d.cmdAccept()->text(), QStringLiteral("決  定"));
    EXPECT_EQ(d.cmdCancel()->text(), QStringLiteral("取  消"));
    EXPECT_TRUE(d.cmdAccept()->isDefault());
    EXPECT_FALSE(d.cmdCancel()->isDefault());

    // Positions in twips, inside a frame relative to the frame.
    EXPECT_EQ(group("fraOptimizer")->geometry(),
              QRect(px(&d, 240), px(&d, 2280), px(&d, 5295), px(&d, 675)));
    EXPECT_EQ(d.txtMaxDispRows()->parentWidget(), group("fraOption"));
    EXPECT_EQ(d.txtMaxDispRows()->geometry(),
              QRect(px(&d, 1560), px(&d, 960), px(&d, 735), px(&d, 285)));
    EXPECT_EQ(d.cmdAccept()->geometry(),
              QRect(px(&d, 4080), px(&d, 3120), px(&d, 1455), px(&d, 375)));
    EXPECT_EQ(d.cmdCancel()->geometry().topLeft(), QPoint(px(&d, 2400), px(&d, 3120)));

    EXPECT_EQ(
        d.chkQuery()->toolTip(),
        QStringLiteral("実行時にクエリを実行します。オフにすると統計情報も表示されなくなります。"));
    EXPECT_EQ(d.chkExplan()->toolTip(), QStringLiteral("実行計画を取得します。"));
    EXPECT_EQ(
        d.txtMaxDispRows()->toolTip(),
        QStringLiteral("クエリ結果の最大行数を設定します。この設定に関係なくクエリは最終行までフ"
                       "ェッチが実行されます。"));
    EXPECT_EQ(
        group("fraOptimizer")->toolTip(),
        QStringLiteral("オラクルのオプティマイザを選択します。他のセッションには影響しません。"));
    EXPECT_EQ(
        d.cmbOptimizer()->toolTip(),
        QStringLiteral("CHOOSE,RULEはルールベース(RBO)/ALL_ROWS,FIRST_ROWSはコストベース(CBO)オ"
                       "プティマイザです。"));
    EXPECT_TRUE(d.txtPlanTable()->toolTip().isEmpty());

    QStringList optimizer;
    for (int i = 0; i < d.cmbOptimizer()->count(); ++i)
        optimizer << d.cmbOptimizer()->itemText(i);
    EXPECT_EQ(optimizer, (QStringList{QStringLiteral("--システム既定値--"),
                                      QStringLiteral("CHOOSE"), QStringLiteral("RULE"),
                                      QStringLiteral("ALL_ROWS"), QStringLiteral("FIRST_ROWS")}));
    EXPECT_FALSE(d.cmbOptimizer()->isEditable());
    EXPECT_FALSE(d.cmbOracleDriver()->isEditable());

    // Tab order 0..7.
    const QList<QWidget*> order{d.cmbOracleDriver(), d.chkQuery(),       d.chkExplan(),
                                d.txtPlanTable(),    d.txtMaxDispRows(), d.cmbOptimizer(),
                                d.cmdAccept(),       d.cmdCancel()};
    for (qsizetype i = 0; i + 1 < order.size(); ++i) {
        QWidget* next = order[i]->nextInFocusChain();
        while (next && !(next->focusPolicy() & Qt::TabFocus))
            next = next->nextInFocusChain();
        EXPECT_EQ(next, order[i + 1]) << "after " << order[i]->objectName().toStdString();
    }
}

TEST_F(FrmOptionTest, DriverListHoldsTheOracleDriversUnderTheirNames) {
    FrmOption d([] { return kInstalled; });
    QStringList items;
    for (int i = 0; i < d.cmbOracleDriver()->count(); ++i)
        items << d.cmbOracleDriver()->itemText(i);
    EXPECT_EQ(items,
              (QStringList{QStringLiteral("Oracle in XE"), QStringLiteral("ORACLE ODBC Driver"),
                           QStringLiteral("Oracle ODBC Driver")}));
    FrmOption none(nullptr);
    EXPECT_EQ(none.cmbOracleDriver()->count(), 0);
    none.setup();
    EXPECT_EQ(none.cmbOracleDriver()->currentIndex(), -1);
}

TEST_F(FrmOptionTest, SetupShowsTheCurrentSettings) {
    FrmOption d([] { return kInstalled; });
    gPublicVar().flgQuery = 0;
    d.setup();
    EXPECT_TRUE(d.chkExplan()->isChecked());
    EXPECT_FALSE(d.chkQuery()->isChecked());
    EXPECT_EQ(d.txtMaxDispRows()->text(), QStringLiteral("1000"));
    EXPECT_EQ(d.txtPlanTable()->text(), QStringLiteral("MY_PLAN"));
    EXPECT_EQ(d.cmbOracleDriver()->currentText(), QStringLiteral("Oracle in XE"));
    EXPECT_EQ(d.cmbOptimizer()->currentText(), QStringLiteral("RULE"));

    // A driver no longer installed: the default driver, matched by its exact name.
    gPublicVar().strOracleDriver = QStringLiteral("Oracle in OraHome92");
    d.setup();
    EXPECT_EQ(d.cmbOracleDriver()->currentText(), QStringLiteral("Oracle ODBC Driver"));
    FrmOption noDefault([] {
        return QStringList{QStringLiteral("Oracle in XE"), QStringLiteral("Oracle in A")};
    });
    noDefault.setup();
    EXPECT_EQ(noDefault.cmbOracleDriver()->currentIndex(), 0);

    gPublicVar().strOptimizer = QStringLiteral("FIRST_ROWS_10");
    d.setup();
    EXPECT_EQ(d.cmbOptimizer()->currentIndex(), 0);
}

TEST_F(FrmOptionTest, AcceptWritesTheSettings) {
    FrmOption d([] { return kInstalled; });
    struct Case {
        const char* rows;
        int32_t want;
    };
    for (const Case& c : {Case{"0", 0}, Case{"12.5", 12}, Case{"13.5", 14}, Case{" 1e3", 1000}}) {
        EXPECT_TRUE(acceptWithRows(d, QString::fromUtf8(c.rows)).isEmpty()) << c.rows;
        EXPECT_FALSE(d.isVisible()) << c.rows;
        EXPECT_EQ(gPublicVar().maxDispRows, c.want) << c.rows;
    }

    d.setup();
    d.show();
    d.chkExplan()->setChecked(false);
    d.txtPlanTable()->clear();
    d.cmbOracleDriver()->setCurrentIndex(1);
    d.cmbOptimizer()->setCurrentIndex(3);
    d.cmdAccept()->click();
    const clsPublicVar& p = gPublicVar();
    EXPECT_EQ(p.flgExplan, 0);
    EXPECT_EQ(p.flgQuery, 1);
    EXPECT_EQ(p.gPlanTable, QStringLiteral("QUERVIN$PLAN_TABLE"));
    EXPECT_EQ(p.strOracleDriver, QStringLiteral("ORACLE ODBC Driver"));
    EXPECT_EQ(p.flgOptimizerModify, 1);
    EXPECT_EQ(p.strOptimizer, QStringLiteral("ALL_ROWS"));

    // The system default keeps the goal but stops setting it; reopening shows it selected.
    d.setup();
    d.show();
    d.cmbOptimizer()->setCurrentIndex(0);
    d.cmdAccept()->click();
    EXPECT_EQ(p.flgOptimizerModify, 0);
    EXPECT_EQ(p.strOptimizer, QStringLiteral("ALL_ROWS"));
    d.setup();
    EXPECT_EQ(d.cmbOptimizer()->currentIndex(), 0);
}

TEST_F(FrmOptionTest, BadRowTextsAreRefusedWithTheirMessage) {
    FrmOption d([] { return kInstalled; });
    const std::pair<const char*, const char*> cases[] = {
        {"-1", "QuervinStudio|表示行数は０以上で指定してください。"},
        {"abc", "QuervinStudio|表示行数は数値で指定してください。"},
        {"3e9", "QuervinStudio|表示行数は数値で指定してください。"},
    };
    for (const auto& [rows, message] : cases) {
        d.chkExplan()->setChecked(false);
        const QStringList seen = acceptWithRows(d, QString::fromUtf8(rows));
        EXPECT_EQ(seen, QStringList{QString::fromUtf8(message)}) << rows;
        EXPECT_TRUE(d.isVisible()) << rows;
        EXPECT_EQ(d.focusWidget(), d.txtMaxDispRows()) << rows;
        expectUnchanged();
    }
}

TEST_F(FrmOptionTest, CancelEscapeAndTheCloseBoxChangeNothing) {
    FrmOption d([] { return kInstalled; });
    d.setup();
    d.show();
    editAll(d);
    d.cmdCancel()->click();
    EXPECT_FALSE(d.isVisible());
    expectUnchanged();
    EXPECT_FALSE(d.closedByCloseBox());

    d.setup();
    d.show();
    editAll(d);
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&d, &esc);
    EXPECT_FALSE(d.isVisible());
    expectUnchanged();
    EXPECT_FALSE(d.closedByCloseBox());

    d.setup();
    d.show();
    editAll(d);
    d.close();
    EXPECT_FALSE(d.isVisible());
    expectUnchanged();
    EXPECT_TRUE(d.closedByCloseBox());
    d.setup();
    EXPECT_FALSE(d.closedByCloseBox());
    EXPECT_EQ(d.chkQuery()->isChecked(), true) << "reopening starts from the settings";
}

TEST_F(FrmOptionTest, RowTextTakesFiveCharactersButShowsALongerStoredValueWhole) {
    FrmOption d([] { return kInstalled; });
    d.setup();
    d.show();
    d.txtMaxDispRows()->clear();
    typeKeys(d.txtMaxDispRows(), QStringLiteral("1234567"));
    EXPECT_EQ(d.txtMaxDispRows()->text(), QStringLiteral("12345"));

    // 1e6 fits the box but its value does not; it must survive the next opening intact.
    acceptWithRows(d, QStringLiteral("1e6"));
    ASSERT_EQ(gPublicVar().maxDispRows, 1000000);
    d.setup();
    EXPECT_EQ(d.txtMaxDispRows()->text(), QStringLiteral("1000000"));
    d.show();
    d.cmdAccept()->click();
    EXPECT_EQ(gPublicVar().maxDispRows, 1000000);
    gPublicVar().maxDispRows = 7;
    d.setup();
    d.txtMaxDispRows()->clear();
    typeKeys(d.txtMaxDispRows(), QStringLiteral("1234567"));
    EXPECT_EQ(d.txtMaxDispRows()->text(), QStringLiteral("12345"));
}

TEST_F(FrmOptionTest, MenuCommandShowsOneModalDialogRefilledOnlyAfterTheCloseBox) {
    int listings = 0;
    QStringList installed{QStringLiteral("Oracle in XE")};
    setOdbcDriverLister([&] {
        ++listings;
        return installed;
    });
    QWidget frame;
    frame.show();

    FrmOption* seen = nullptr;
    QStringList items;
    auto run = [&](std::function<void(FrmOption&)> finish) {
        QTimer::singleShot(0, [&, finish] {
            seen = optionDialogIfCreated();
            ASSERT_NE(seen, nullptr);
            EXPECT_TRUE(seen->isModal());
            EXPECT_EQ(QApplication::activeModalWidget(), seen);
            items.clear();
            for (int i = 0; i < seen->cmbOracleDriver()->count(); ++i)
                items << seen->cmbOracleDriver()->itemText(i);
            finish(*seen);
        });
        showOptionDialog(&frame);
    };

    run([](FrmOption& d) { d.cmdCancel()->click(); });
    FrmOption* first = seen;
    EXPECT_EQ(first->parentWidget(), &frame);
    EXPECT_EQ(listings, 1);
    installed.append(QStringLiteral("Oracle in YE"));

    run([](FrmOption& d) { d.cmdAccept()->click(); });
    EXPECT_EQ(seen, first);
    EXPECT_EQ(listings, 1) << "hidden by a button: the list stays";
    EXPECT_EQ(items, QStringList{QStringLiteral("Oracle in XE")});

    run([](FrmOption& d) { d.close(); });
    EXPECT_EQ(optionDialogIfCreated(), nullptr) << "the close box drops the dialog";
    run([](FrmOption& d) { d.cmdCancel()->click(); });
    EXPECT_EQ(listings, 2);
    EXPECT_EQ(items, (QStringList{QStringLiteral("Oracle in XE"), QStringLiteral("Oracle in YE")}));
}
