// Bind variables on the embedded engine: each placeholder takes its value through
// sqlite3_bind_*, in the form the engine stores, as an Oracle client binds it; a placeholder
// without a value, or a value of the wrong form, fails as Oracle fails before anything runs.
#include "support/embeddedfixture.h"

using namespace qv;
using namespace qv::test;

namespace {

BindValue bind(const char* name, BindType type, const char* value = "") {
    return {QString::fromLatin1(name), type, QString::fromUtf8(value)};
}

class EmbeddedBinds : public EmbeddedTest {
  protected:
    void SetUp() override {
        EmbeddedTest::SetUp();
        db_->execute(
            "create table t as with recursive r(n) as (select 1 union all select n + 1 from r "
            "where n < 10) select n, 'row ' || n s, date('2024-01-01', '+' || n || ' days') d "
            "from r");
    }
    QStringList rows(const QString& sql, const BindList& binds) {
        QStringList out;
        for (auto rs = db_->openRecordset(sql, binds); !rs->eof(); rs->moveNext()) {
            QStringList row;
            for (int i = 0; i < rs->fieldCount(); ++i)
                row << (rs->value(i).isNull() ? QStringLiteral("null") : rs->value(i).toString());
            out << row.join(u'|');
        }
        return out;
    }
};

// Oracle's empty string is NULL, whatever the type; a NUMBER keeps integers exact.
TEST_F(EmbeddedBinds, EachTypeIsBoundInTheFormTheEngineStores) {
    const struct {
        BindValue value;
        const char* row;  // the value, then SQLite's type of it
    } cases[] = {
        {bind("v", BindType::Varchar2, "札幌 "), "札幌 |text"},
        {bind("v", BindType::Varchar2, ""), "null|null"},
        {bind("v", BindType::Number, "42"), "42|integer"},
        {bind("v", BindType::Number, " -1.5e1 "), "-15|real"},
        {bind("v", BindType::Number, "9007199254740993"), "9007199254740993|integer"},
        {bind("v", BindType::Date, "2024-03-05"), "2024-03-05|text"},
        {bind("v", BindType::Date, "2024-03-05 10:30:00"), "2024-03-05 10:30:00|text"},
        {bind("v", BindType::Date, "2024-03-05 00:00:00"), "2024-03-05|text"},
        {bind("v", BindType::Null, "ignored"), "null|null"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rows("select :v, typeof(:v) from dual", {c.value}), QStringList(c.row))
            << c.value.value.toStdString();
    }
}

TEST_F(EmbeddedBinds, NamesAreComparedWithoutCaseAndAPlaceholderWrittenTwiceTakesOneValue) {
    const BindList binds = {bind("A", BindType::Number, "2"), bind("1", BindType::Varchar2, "x"),
                            bind("b1", BindType::Varchar2, "y"),
                            bind("unused", BindType::Number, "oops")};
    EXPECT_EQ(rows("select :a + :A, :1, :B1 from dual", binds), QStringList("4|x|y"));
    EXPECT_EQ(rows("select count(*) from t where n = :a or n > :a + 7", binds), QStringList("2"));
    // Nothing inside a literal or a comment asks for a value.
    EXPECT_EQ(rows("select ':a', q'[:b]' /* :c */ from dual -- :d", {}), QStringList(":a|:b"));
}

// Wherever the translation rewrites what stands around a placeholder, the placeholder stays.
TEST_F(EmbeddedBinds, PlaceholdersKeepTheirValuesInsideTranslatedForms) {
    const struct {
        const char* sql;
        BindList binds;
        QStringList rows;
    } cases[] = {
        {"select n from t where rownum <= :n", {bind("n", BindType::Number, "2")}, {"1", "2"}},
        {"select n from t order by n desc fetch first :n rows only",
         {bind("n", BindType::Number, "2")},
         {"10", "9"}},
        // The ranking stops at the bind's whole part; a NULL keeps no row.
        {"select n from (select n, row_number() over (order by n desc) r from t) where r <= :n",
         {bind("n", BindType::Number, "2.5")},
         {"10", "9"}},
        {"select n from (select n, row_number() over (order by n) r from t) where r <= :n",
         {bind("n", BindType::Null)},
         {}},
        {"select decode(:x, 1, 'one', 'other'), nvl(:y, 'none') from dual",
         {bind("x", BindType::Number, "1"), bind("y", BindType::Null)},
         {"one|none"}},
        {"select :d + 1, :d - :e from dual",
         {bind("d", BindType::Date, "2024-02-28"), bind("e", BindType::Date, "2024-02-01")},
         {"2024-02-29|27"}},
        {"select count(*) from t where n in (:a, :b, 99)",
         {bind("a", BindType::Number, "3"), bind("b", BindType::Number, "4")},
         {"2"}},
        {"select s from t where s like :p || '%' order by n",
         {bind("p", BindType::Varchar2, "row 1")},
         {"row 1", "row 10"}},
        {"select n from t where d = :d", {bind("d", BindType::Date, "2024-01-04")}, {"3"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rows(c.sql, c.binds), c.rows) << c.sql;
}

TEST_F(EmbeddedBinds, AStatementWithoutAllItsValuesOrWithAWrongOneFailsBeforeItRuns) {
    const struct {
        const char* sql;
        BindList binds;
        const char* error;
    } cases[] = {
        {"insert into t (n) values (:a)", {}, "ORA-01008: not all variables bound"},
        {"insert into t (n, s) values (:a, :b)", {bind("a", BindType::Number, "1")}, "ORA-01008"},
        {"insert into t (n) values (?)", {bind("1", BindType::Number, "1")}, "ORA-01008"},
        {"insert into t (n) values (:a)",
         {bind("a", BindType::Number, "1,5")},
         "ORA-01722: invalid number"},
        {"insert into t (n) values (:a)", {bind("a", BindType::Number, "twelve")}, "ORA-01722"},
        // A NUMBER holds no infinity and no NaN: beyond its range is an overflow.
        {"insert into t (n) values (:a)",
         {bind("a", BindType::Number, "1e400")},
         "ORA-01426: numeric overflow"},
        {"insert into t (n) values (:a)", {bind("a", BindType::Number, "-1e400")}, "ORA-01426"},
        {"insert into t (n) values (:a)", {bind("a", BindType::Number, "1e126")}, "ORA-01426"},
        {"insert into t (n) values (:a)", {bind("a", BindType::Number, "NaN")}, "ORA-01722"},
        {"insert into t (n) values (:a)", {bind("a", BindType::Number, "inf")}, "ORA-01722"},
        {"insert into t (d) values (:a)",
         {bind("a", BindType::Date, "2024-13-01")},
         "ORA-01843: not a valid month"},
        {"insert into t (d) values (:a)",
         {bind("a", BindType::Date, "2024-02-30")},
         "ORA-01839: date not valid for month specified"},
        {"insert into t (d) values (:a)", {bind("a", BindType::Date, "yesterday")}, "ORA-018"},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(failsWith([&] { db_->openRecordset(c.sql, c.binds); }, kErrOdbcCall,
                              QString::fromLatin1(c.error)))
            << c.sql;
    }
    EXPECT_EQ(rowsOf(*db_, "select count(*) from t"), QStringList("10"));
}

// Oracle takes 65,535 bind variables in a statement and refuses one more with ORA-01745.
TEST_F(EmbeddedBinds, AStatementTakesAsManyVariablesAsOracleTakes) {
    // Ten thousand by name, in IN lists of Oracle's thousand.
    QStringList lists, names;
    BindList binds;
    for (int i = 1; i <= 10000; ++i) {
        names << QStringLiteral(":b%1").arg(i);
        binds.push_back({QStringLiteral("B%1").arg(i), BindType::Number, QString::number(i)});
        if (names.size() == 1000) {
            lists << QStringLiteral("n in (%1)").arg(names.join(u','));
            names.clear();
        }
    }
    EXPECT_EQ(
        rows(QStringLiteral("select count(*) from t where ") + lists.join(QStringLiteral(" or ")),
             binds),
        QStringList("10"));
    // The 65,535th variable is taken (the statement then lacks the values before it); one more
    // is refused, ORA-01745 (test_embedded_sandbox).
    EXPECT_TRUE(failsWith([&] { rowsOf(*db_, "select ?65535 from dual"); }, kErrOdbcCall,
                          QStringLiteral("ORA-01008")));
    // A number well inside NUMBER's range keeps 15 significant digits, as the engine's own.
    EXPECT_EQ(rows("select :v, :w from dual",
                   {bind("v", BindType::Number, "1e125"), bind("w", BindType::Number, "1e-200")}),
              QStringList("1E+125|0"));
}

// Without values a placeholder is NULL, as before; EXPLAIN PLAN needs none, as in Oracle.
TEST_F(EmbeddedBinds, StatementsWithoutValuesFailToRunButExplain) {
    EXPECT_TRUE(failsWith([&] { rowsOf(*db_, "select :x, nvl(:x, 'none') from dual"); },
                          kErrOdbcCall, "ORA-01008"));
    db_->execute(planTableCreateStatement(kPlanTable));
    db_->execute(explainPlanStatement(kPlanTable, "select * from t where n = :n and s = :s"));
    EXPECT_EQ(rows(planQueryStatement(kPlanTable), {}).size(), 2);
}

}  // namespace
