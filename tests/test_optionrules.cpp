#include "oracle/odbcdrivers.h"
#include "settings/optionrules.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace qv;

namespace {

clsPublicVar sample() {
    clsPublicVar p;
    p.flgExplan = 1;
    p.flgQuery = 0;
    p.maxDispRows = 1000;
    p.gPlanTable = QStringLiteral("MY_PLAN");
    p.flgOptimizerModify = 1;
    p.strOptimizer = QStringLiteral("RULE");
    p.strOracleDriver = QStringLiteral("Oracle in XE");
    return p;
}

void expectSame(const clsPublicVar& a, const clsPublicVar& b) {
    EXPECT_EQ(a.flgExplan, b.flgExplan);
    EXPECT_EQ(a.flgQuery, b.flgQuery);
    EXPECT_EQ(a.maxDispRows, b.maxDispRows);
    EXPECT_EQ(a.gPlanTable, b.gPlanTable);
    EXPECT_EQ(a.flgOptimizerModify, b.flgOptimizerModify);
    EXPECT_EQ(a.strOptimizer, b.strOptimizer);
    EXPECT_EQ(a.strOracleDriver, b.strOracleDriver);
}

}  // namespace

TEST(OptionRules, NumbersAsAUserWritesThem) {
    const std::pair<const char*, double> numbers[] = {
        {"0", 0},
        {" 12 ", 12},
        {"+3", 3},
        {"-1", -1},
        {"12.5", 12.5},
        {"5.", 5},
        {".5", 0.5},
        {"1e3", 1000},
        {"1E+2", 100},
        {"2.5e-1", 0.25},
        {"007", 7},
        {"１２", 12},
        {"\u3000７\u3000", 7},
        {"－２", -2},
    };
    for (const auto& [text, want] : numbers) {
        const auto got = parseUserNumber(QString::fromUtf8(text));
        ASSERT_TRUE(got.has_value()) << text;
        EXPECT_DOUBLE_EQ(*got, want) << text;
    }
    for (const char* text : {"", " ", "abc", "1,000", "1e", "e3", ".", "--1", "+-1", "0x10", "&h10",
                             "1 2", "inf", "nan", "1.2.3", "12abc"})
        EXPECT_FALSE(parseUserNumber(QString::fromUtf8(text)).has_value()) << text;
    EXPECT_TRUE(std::isinf(*parseUserNumber(QStringLiteral("1e999"))));
}

TEST(OptionRules, HalvesRoundToTheEvenInteger) {
    const std::pair<double, double> cases[] = {{12.5, 12}, {13.5, 14}, {0.5, 0},     {1.5, 2},
                                               {2.49, 2},  {2.51, 3},  {1000, 1000}, {0.0, 0}};
    for (const auto& [in, want] : cases)
        EXPECT_EQ(roundHalfEven(in), want) << in;
}

TEST(OptionRules, RowLimitChecks) {
    struct Case {
        const char* text;
        RowsCheck check;
        int32_t rows;
    };
    const Case cases[] = {
        {"0", RowsCheck::Ok, 0},
        {"12.5", RowsCheck::Ok, 12},
        {"13.5", RowsCheck::Ok, 14},
        {" 99999 ", RowsCheck::Ok, 99999},
        {"1e9", RowsCheck::Ok, 1000000000},
        {"2147483647", RowsCheck::Ok, 2147483647},
        {"-1", RowsCheck::Negative, 0},
        {"-0.4", RowsCheck::Negative, 0},
        {"-1e999", RowsCheck::Negative, 0},
        {"abc", RowsCheck::NotNumeric, 0},
        {"", RowsCheck::NotNumeric, 0},
        // Too large for the 32-bit row limit, whether typed whole or as an exponent.
        {"2147483648", RowsCheck::NotNumeric, 0},
        {"3e9", RowsCheck::NotNumeric, 0},
        {"1e999", RowsCheck::NotNumeric, 0},
    };
    for (const Case& c : cases) {
        int32_t rows = -7;
        EXPECT_EQ(checkMaxDispRows(QString::fromUtf8(c.text), &rows), c.check) << c.text;
        EXPECT_EQ(rows, c.check == RowsCheck::Ok ? c.rows : -7) << c.text;
    }
    EXPECT_EQ(rowsCheckMessage(RowsCheck::NotNumeric),
              QStringLiteral("表示行数は数値で指定してください。"));
    EXPECT_EQ(rowsCheckMessage(RowsCheck::Negative),
              QStringLiteral("表示行数は０以上で指定してください。"));
    EXPECT_EQ(rowsCheckMessage(RowsCheck::Ok), QString());
}

TEST(OptionRules, OnlyDriversNamedOracleAreOfferedUnderTheirOwnNames) {
    const QStringList installed{
        QStringLiteral("PostgreSQL Unicode"), QStringLiteral("Oracle in XE"),
        QStringLiteral("ORACLE ODBC"),        QStringLiteral("SQLite3"),
        QStringLiteral("MyOraCle 11g"),       QStringLiteral("Ora Client")};
    EXPECT_EQ(oracleDriverNames(installed),
              (QStringList{QStringLiteral("Oracle in XE"), QStringLiteral("ORACLE ODBC"),
                           QStringLiteral("MyOraCle 11g")}));
    EXPECT_TRUE(oracleDriverNames({}).isEmpty());
}

TEST(OptionRules, DriverSelectionFallsBackToTheDefaultDriverThenTheFirst) {
    const QStringList withDefault{QStringLiteral("Oracle in XE"),
                                  QStringLiteral("Oracle ODBC Driver")};
    const QStringList withoutDefault{QStringLiteral("Oracle in XE"), QStringLiteral("Oracle in A")};
    EXPECT_EQ(selectDriver(withDefault, QStringLiteral("Oracle in XE")), 0);
    EXPECT_EQ(selectDriver(withDefault, QStringLiteral("Oracle in Gone")), 1);
    EXPECT_EQ(selectDriver(withDefault, QString()), 1);
    EXPECT_EQ(selectDriver(withoutDefault, QStringLiteral("Oracle in A")), 1);
    EXPECT_EQ(selectDriver(withoutDefault, QStringLiteral("Oracle in Gone")), 0);
    EXPECT_EQ(selectDriver(withoutDefault, QStringLiteral("oracle in a")), 0) << "exact name";
    EXPECT_EQ(selectDriver({}, QStringLiteral("Oracle in XE")), -1);
}

TEST(OptionRules, OptimizerSelection) {
    EXPECT_EQ(optimizerItems(),
              (QStringList{QStringLiteral("--システム既定値--"), QStringLiteral("CHOOSE"),
                           QStringLiteral("RULE"), QStringLiteral("ALL_ROWS"),
                           QStringLiteral("FIRST_ROWS")}));
    EXPECT_EQ(selectOptimizer(0, QStringLiteral("RULE")), 0);
    EXPECT_EQ(selectOptimizer(2, QStringLiteral("RULE")), 0);
    EXPECT_EQ(selectOptimizer(1, QStringLiteral("RULE")), 2);
    EXPECT_EQ(selectOptimizer(1, QStringLiteral("FIRST_ROWS")), 4);
    // A goal edited into the store that the list does not offer shows the system default.
    EXPECT_EQ(selectOptimizer(1, QStringLiteral("FIRST_ROWS_10")), 0);
    EXPECT_EQ(selectOptimizer(1, QStringLiteral("--システム既定値--")), 0);
}

TEST(OptionRules, SetupShowsTheSettings) {
    clsPublicVar p = sample();
    p.flgExplan = 2;  // only 1 means on, as for the run
    const OptionForm f = setupOptionForm(p, {QStringLiteral("Oracle in XE")});
    EXPECT_FALSE(f.explan);
    EXPECT_FALSE(f.query);
    EXPECT_EQ(f.maxDispRows, QStringLiteral("1000"));
    EXPECT_EQ(f.planTable, QStringLiteral("MY_PLAN"));
    EXPECT_EQ(f.driverIndex, 0);
    EXPECT_EQ(f.driverText(), QStringLiteral("Oracle in XE"));
    EXPECT_EQ(f.optimizerIndex, 2);
    EXPECT_EQ(setupOptionForm(sample(), {}).driverIndex, -1);
}

TEST(OptionRules, AcceptWritesTheFormOrNothing) {
    OptionForm f = setupOptionForm(
        sample(), {QStringLiteral("Oracle in XE"), QStringLiteral("Oracle ODBC Driver")});
    f.explan = false;
    f.query = true;
    f.maxDispRows = QStringLiteral("13.5");
    f.planTable = QString();
    f.driverIndex = 1;

    for (const char* bad : {"-1", "abc"}) {
        clsPublicVar p = sample();
        OptionForm g = f;
        g.maxDispRows = QString::fromUtf8(bad);
        EXPECT_NE(acceptOptionForm(g, p), RowsCheck::Ok) << bad;
        expectSame(p, sample());
    }

    clsPublicVar p = sample();
    ASSERT_EQ(acceptOptionForm(f, p), RowsCheck::Ok);
    EXPECT_EQ(p.flgExplan, 0);
    EXPECT_EQ(p.flgQuery, 1);
    EXPECT_EQ(p.maxDispRows, 14);
    EXPECT_EQ(p.gPlanTable, QStringLiteral("QUERVIN$PLAN_TABLE"));
    EXPECT_EQ(p.strOracleDriver, QStringLiteral("Oracle ODBC Driver"));
    EXPECT_EQ(p.flgOptimizerModify, 1) << "the optimizer is applied separately";

    f.driverIndex = -1;
    f.planTable = QStringLiteral("PT");
    ASSERT_EQ(acceptOptionForm(f, p), RowsCheck::Ok);
    EXPECT_EQ(p.strOracleDriver, QString());
    EXPECT_EQ(p.gPlanTable, QStringLiteral("PT"));
}

TEST(OptionRules, OptimizerChoiceAfterAccept) {
    clsPublicVar p = sample();
    applyOptimizerChoice(0, p);
    EXPECT_EQ(p.flgOptimizerModify, 0);
    EXPECT_EQ(p.strOptimizer, QStringLiteral("RULE")) << "the goal is kept for a later choice";
    EXPECT_EQ(setupOptionForm(p, {}).optimizerIndex, 0);

    applyOptimizerChoice(3, p);
    EXPECT_EQ(p.flgOptimizerModify, 1);
    EXPECT_EQ(p.strOptimizer, QStringLiteral("ALL_ROWS"));
    EXPECT_EQ(setupOptionForm(p, {}).optimizerIndex, 3);
}
