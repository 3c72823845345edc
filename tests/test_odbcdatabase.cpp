// The ODBC layer against real drivers: the PostgreSQL Unicode driver on the fixture's server
// (environment from tests/odbc.cmake) and the SQLite 3 driver on temporary files.
#include "core/connection/odbcdrivers.h"
#include "core/odbc/odbcdatabase.h"
#include "core/odbc/odbchandles.h"

#include "support/checks.h"

#include <gtest/gtest.h>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <functional>

using namespace qv;
using test::errorOf;

namespace {

// The program's own connect string form; the PostgreSQL driver ignores DBQ and libpq finds the
// server through PGHOST and PGPORT. The driver manager itself refuses the leading "ODBC;".
const QString kPgDriverString = "Driver={PostgreSQL Unicode};DBQ=anything;UID=quervin;PWD=;";
const QString kPgConnect = "ODBC;" + kPgDriverString;

// Rows numbered 1 .. %1 in column i.
const QString kRows =
    "WITH RECURSIVE g(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM g WHERE i < %1) "
    "SELECT i FROM g WHERE i <= %1";

enum class Driver { Postgres, Sqlite };

// The cases every driver must pass; the fixture only knows how each driver writes SQL.
class OdbcDriverTest : public ::testing::TestWithParam<Driver> {
  protected:
    void SetUp() override { db.open(connectString()); }

    bool postgres() const { return GetParam() == Driver::Postgres; }
    QString connectString() const { return postgres() ? kPgConnect : driverString(); }
    // The connect string as the driver manager gets it.
    QString driverString() const {
        return postgres() ? kPgDriverString
                          : QString("Driver={SQLite3};Database=%1;").arg(dir.filePath("t.db"));
    }

    QTemporaryDir dir;
    OdbcDatabase db;
};

TEST_P(OdbcDriverTest, ErrorsCarryTheServersMessageAndEveryRecord) {
    const DbError e = errorOf([&] { db.openRecordset("SELECT * FROM 存在しない表"); });
    EXPECT_EQ(std::pair(e.number(), e.records().value(0).sqlState),
              std::pair(kErrOdbcCall, QString(postgres() ? "42P01" : "HY000")));
    EXPECT_TRUE(e.description().contains("存在しない表")) << e.what();
    for (const DiagRecord& r : e.records())
        EXPECT_TRUE(e.description().contains(r.message.trimmed()));
    EXPECT_EQ(db.openRecordset("SELECT 7")->value(0), QVariant(7LL)) << "the connection is usable";
    // Some drivers misbehave when asked for records past the last one; compare what the checked
    // call gathers with the count the driver manager holds.
    const EnvHandle env = EnvHandle::create();
    DbcHandle dbc = DbcHandle::create(env);
    dbc.connect(driverString());
    const StmtHandle stmt = StmtHandle::create(dbc);
    const SQLRETURN rc = SQLExecDirectW(stmt.get(), odbcText("SELECT * FROM no_such_q"), SQL_NTS);
    SQLINTEGER count = -1;
    SQLGetDiagField(SQL_HANDLE_STMT, stmt.get(), 0, SQL_DIAG_NUMBER, &count, 0, nullptr);
    ASSERT_TRUE(rc == SQL_ERROR && count >= 1) << rc << " " << count;
    EXPECT_EQ(errorOf([&] { stmt.check(rc); }).records().size(), count);
    if (!postgres())
        return;
    // Warnings come with success (the checked call lets them pass); none may get lost.
    stmt.check(SQLExecDirectW(stmt.get(),
                              odbcText("DO $$ BEGIN RAISE WARNING 'first'; RAISE WARNING "
                                       "'second'; RAISE NOTICE 'third'; END $$"),
                              SQL_NTS));
    QString messages;
    for (const DiagRecord& r : odbcDiagRecords(SQL_HANDLE_STMT, stmt.get()))
        messages += r.message + '\n';
    for (const char* word : {"first", "second", "third"})
        EXPECT_EQ(messages.count(word), 1) << word << messages.toStdString();
}

TEST_P(OdbcDriverTest, ValuesComeWholeWithTheirKindsAndTypesAndWritesCountRows) {
    // Far beyond one read buffer, so that they come in pieces, split anywhere. unixODBC converts
    // text for an ANSI driver such as SQLite's through UCS-2, so only PostgreSQL gets a
    // character outside the BMP.
    QString text;
    for (int i = 0; text.size() < 100000; ++i)
        text += QString("行%1 データ%2'x ").arg(i).arg(postgres() ? "🗾" : "");
    QByteArray bytes;
    for (int i = 0; i < 70000; ++i)
        bytes.append(char(i * 7 % 256));
    db.execute(QString("CREATE TEMP TABLE 表 (id INTEGER, v VARCHAR(20), 名前 TEXT, data %1)")
                   .arg(postgres() ? "BYTEA" : "BLOB"));
    db.execute(QString("INSERT INTO 表 VALUES (1, '', '%1', %2), (2, NULL, NULL, NULL)")
                   .arg(QString(text).replace("'", "''"),
                        QString(postgres() ? "decode('%1', 'hex')" : "x'%1'")
                            .arg(QString::fromLatin1(bytes.toHex()))));
    EXPECT_EQ(db.recordsAffected(), 2);
    auto rs =
        db.openRecordset("SELECT id, v, 名前, data, 9000000000, 2.5 * 1.0E0 FROM 表 ORDER BY id");
    EXPECT_EQ(db.recordsAffected(), 0) << "a query is never taken for an update";
    EXPECT_EQ(std::tuple(rs->field(0).type, rs->field(1).type, rs->field(2).type, rs->field(3).type,
                         rs->field(1).size, rs->field(2).name),
              std::tuple(FieldType::Long, FieldType::Text, FieldType::LongText,
                         postgres() ? FieldType::LongBinary : FieldType::VarBinary, int64_t(20),
                         QString("名前")));
    // Qt compares variants of different types as unequal (numbers aside), so kinds count too.
    EXPECT_EQ(QVariantList({rs->value(1).isNull(), rs->value(1), rs->value(2), rs->value(3),
                            rs->value(4), rs->value(5)}),
              QVariantList({false, QString(), text, bytes, 9000000000LL, 2.5}));
    rs->moveNext();
    for (int i = 1; i < 4; ++i)
        EXPECT_TRUE(rs->value(i).isNull()) << i;
    rs.reset();
    // Rows affected only by statements without a result, however they are run.
    rs = db.openRecordset("UPDATE 表 SET id = id + 1");
    EXPECT_EQ(std::tuple(rs->eof(), rs->fieldCount(), db.recordsAffected()),
              std::tuple(true, 0, int64_t(2)));
    db.execute("UPDATE 表 SET id = 0 WHERE id = 99");
    EXPECT_EQ(db.recordsAffected(), 0);
}

TEST_P(OdbcDriverTest, FieldsByNameInAnyOrderAndCaseSkipToEndAndClose) {
    auto rs = db.openRecordset(
        QString("SELECT i AS a, i * 10 AS b, 'r' || i AS c FROM (%1) AS s ORDER BY i")
            .arg(kRows.arg(45678)));
    // Column c read twice, and before the columns ahead of it.
    for (qlonglong i = 1; i <= 3; ++i, rs->moveNext())
        EXPECT_EQ(QVariantList({rs->value("C"), rs->value("a"), rs->value("B"), rs->value(2)}),
                  QVariantList({QString("r%1").arg(i), i, i * 10, QString("r%1").arg(i)}));
    EXPECT_EQ(errorOf([&] { rs->value("nope"); }).number(), kErrItemNotFound);
    EXPECT_EQ(errorOf([&] { rs->field(3); }).number(), kErrItemNotFound);
    EXPECT_EQ(QList<int64_t>({rs->skipToEnd(), rs->eof(), rs->skipToEnd()}),
              QList<int64_t>({45675, true, 0}));
    EXPECT_EQ(errorOf([&] { rs->value(0); }).number(), kErrNoCurrentRecord);
    EXPECT_EQ(errorOf([&] { rs->moveNext(); }).number(), kErrNoCurrentRecord);
    EXPECT_EQ(db.openRecordset(kRows.arg(0))->skipToEnd(), 0);
    // Closed with rows still pending, a result refuses everything; results still open when
    // their database closes are closed with it.
    rs = db.openRecordset(kRows.arg(5));
    auto orphan = db.openRecordset(kRows.arg(5));
    rs->close();
    for (const auto& use : std::vector<std::function<void()>>{
             [&] { rs->eof(); }, [&] { rs->moveNext(); }, [&] { rs->fieldCount(); },
             [&] { rs->field(0); }, [&] { rs->value(0); }, [&] { rs->skipToEnd(); }})
        EXPECT_EQ(errorOf(use).number(), kErrObjectInvalid);
    db.close();
    for (const auto& use : std::vector<std::function<void()>>{
             [&] { orphan->value(0); }, [&] { db.execute("SELECT 1"); },
             [&] { db.openRecordset("SELECT 1"); }, [&] { db.recordsAffected(); }})
        EXPECT_EQ(errorOf(use).number(), kErrObjectInvalid);
    orphan.reset();
    db.open(connectString());
    EXPECT_EQ(db.openRecordset("SELECT 9")->value(0), QVariant(9LL));
}

// Bind variables go to the driver as parameters of "?" markers put where the placeholders
// stand, each type as the driver converts it, never pasted into the text.
TEST_P(OdbcDriverTest, BindVariablesOfEachTypeReachTheDriverAsParameters) {
    db.execute(QString("CREATE TEMP TABLE b (id INTEGER, name VARCHAR(20), amount NUMERIC(10,2), "
                       "born %1)")
                   .arg(postgres() ? "TIMESTAMP" : "TEXT"));
    // SQLite's driver writes a timestamp parameter as text with milliseconds.
    db.execute(
        "INSERT INTO b VALUES (1, 'O''Brien 様', 2.5, '2024-02-29 13:45:00.000'), "
        "(2, 'x', 1500, '2024-03-01 00:00:00.000'), (3, NULL, NULL, NULL)");
    auto ids = [&](const QString& where, const BindList& binds) {
        QStringList found;
        for (auto rs = db.openRecordset("SELECT id FROM b WHERE " + where + " ORDER BY id", binds);
             !rs->eof(); rs->moveNext())
            found << rs->value(0).toString();
        return found.join(',');
    };
    using T = BindType;
    const struct {
        QString where;
        BindList binds;
        QString ids;
    } cases[] = {
        {"name = :name", {{"NAME", T::Varchar2, "O'Brien 様"}}, "1"},
        {"amount = :a", {{"a", T::Number, "2.50"}}, "1"},
        {"amount = :a", {{"a", T::Number, "1.5e3"}}, "2"},
        {"born = :d", {{"d", T::Date, "2024-02-29 13:45:00"}}, "1"},
        {"born = :d", {{"d", T::Date, "2024-03-01"}}, "2"},
        // A variable written twice is bound twice; a literal and a comment keep their colon.
        {"id = :i OR id = :I + 1 OR name = ':i' /* :j */", {{"i", T::Number, "1"}}, "1,2"},
        {"coalesce(:n, name) IS NULL", {{"n", T::Null, "ignored"}}, "3"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ids(c.where, c.binds), c.ids) << c.where.toStdString();
}

TEST_P(OdbcDriverTest, VariableWithoutAUsableValueFailsBeforeAnythingIsSentNamingIt) {
    db.execute("CREATE TEMP TABLE w (v INTEGER)");
    const QString insert = "INSERT INTO w VALUES (:a), (:b)";
    using T = BindType;
    const std::pair<BindList, QString> refused[] = {
        {{{"a", T::Number, "1"}}, "ORA-01008: not all variables bound (:b)"},
        {{}, "ORA-01008: not all variables bound (:a)"},
        {{{"a", T::Number, "1,5"}, {"b", T::Null, ""}}, "ORA-01722: invalid number (:a)"},
        {{{"a", T::Null, ""}, {"b", T::Date, "2023-02-29"}},
         "ORA-01861: literal does not match format string (:b)"},
    };
    for (const auto& [binds, message] : refused)
        EXPECT_EQ(errorOf([&] { db.openRecordset(insert, binds); }).description(), message);
    db.openRecordset(insert, {{"a", T::Number, "7"}, {"B", T::Null, ""}});
    EXPECT_EQ(db.recordsAffected(), 2);
    EXPECT_EQ(db.openRecordset("SELECT count(*), sum(v) FROM w")->value(1).toInt(), 7)
        << "only the last insert ran";
}

// What a driver is given for a NUMBER or a DATE typed as a user types them.
TEST(BindValues, NumbersBecomePlainDecimalsAndDatesTakeOracleForms) {
    const std::pair<const char*, const char*> numbers[] = {
        {"42", "42 2 0"},
        {" -0012.500 ", "-12.5 3 1"},
        {"1.5e3", "1500 4 0"},
        {".5", "0.5 1 1"},
        {"5.", "5 1 0"},
        {"-1E-3", "-0.001 3 3"},
        {"-0.0", "0 1 0"},
        {"+7", "7 1 0"},
        {"1,5", "-"},
        {"e3", "-"},
        {".", "-"},
        {"", "-"},
        {"12abc", "-"},
    };
    for (const auto& [typed, expected] : numbers) {
        const auto d = decimalOf(typed);
        EXPECT_EQ(d ? QString("%1 %2 %3").arg(d->text).arg(d->precision).arg(d->scale) : "-",
                  expected)
            << typed;
    }
    const std::pair<const char*, const char*> dates[] = {
        {"2024-02-29", "2024-02-29T00:00:00Z"},
        {" 2024-02-29  23:59:58 ", "2024-02-29T23:59:58Z"},
        {"2024-02-29 07:30", "2024-02-29T07:30:00Z"},
        {"2023-02-29", ""},
        {"2024/02/29", ""},
        {"2024-02-29 24:00:00", ""},
        {"2024-02-29 10:00 x", ""},
    };
    for (const auto& [typed, expected] : dates)
        EXPECT_EQ(dateTimeOf(typed).toString(Qt::ISODate), expected) << typed;
}

INSTANTIATE_TEST_SUITE_P(Drivers, OdbcDriverTest,
                         ::testing::Values(Driver::Postgres, Driver::Sqlite), [](const auto& info) {
                             return info.param == Driver::Postgres ? "PostgreSQL" : "SQLite";
                         });

// The driver manager's own text for a driver it cannot load is checked end to end in
// test_e2e_odbc; here the driver's text for a server that does not answer.
TEST(OdbcOpen, FailureGivesTheDriversTextAndLeavesNothingOpen) {
    OdbcDatabase db;
    db.open(kPgConnect);  // a failed open also ends the connection that was open
    const DbError e = errorOf([&] {
        db.open("ODBC;Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;UID=quervin;PWD=;");
    });
    EXPECT_EQ(std::pair(e.number(), e.records().isEmpty()), std::pair(kErrOdbcCall, false));
    EXPECT_TRUE(e.description().contains("127.0.0.1")) << e.what();
    EXPECT_EQ(std::pair(db.isOpen(), errorOf([&] { db.execute("SELECT 1"); }).number()),
              std::pair(false, kErrObjectInvalid));
}

TEST(OdbcPostgres, TwoConnectionsAreTwoSessionsAndFieldsHaveTypeCodesAndSizes) {
    OdbcDatabase first, db;
    first.open(kPgConnect);
    db.open("odbc;Driver={PostgreSQL Unicode};DBQ=other;UID=quervin;PWD=;");
    const QString pid = "SELECT pg_backend_pid()";
    EXPECT_NE(first.openRecordset(pid)->value(0), db.openRecordset(pid)->value(0));
    auto rs = db.openRecordset(
        "SELECT 't'::TEXT, 1::INTEGER, 2::BIGINT, 3::SMALLINT, 1.5::NUMERIC(10,2) AS m, "
        "123::NUMERIC(10,0) AS w, 2.5::FLOAT8, 3.5::REAL, '2024-01-02'::DATE, "
        "'2024-01-02 03:04:05'::TIMESTAMP AS ts");
    // Size -1: not checked. psqlODBC reports text as long varchar, 8190 by default.
    const std::pair<FieldType, int64_t> expected[] = {
        {FieldType::LongText, 8190}, {FieldType::Long, 10},    {FieldType::BigInt, 19},
        {FieldType::Integer, 5},     {FieldType::Numeric, 10}, {FieldType::Numeric, 10},
        {FieldType::Double, -1},     {FieldType::Single, -1},  {FieldType::Date, 10},
        {FieldType::Timestamp, -1}};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(std::pair(rs->field(i).type, expected[i].second < 0 ? -1 : rs->field(i).size),
                  expected[i]);
    EXPECT_EQ(QVariantList({rs->value("m"), rs->value("w"), rs->value("ts")}),
              QVariantList({"1.50", 123LL, "2024-01-02 03:04:05"}));
}

// The driver list as the tests' odbcinst.ini (ODBCSYSINI) gives it, and the manager's version.
TEST(OdbcDrivers, ListsTheManagersDriversInItsOrderFiltersOracleInAnyCaseAndGivesItsVersion) {
    EXPECT_EQ(installedOdbcDrivers(),
              QStringList({"PostgreSQL Unicode", "Oracle ODBC Driver", "SQLite3", "OraHome92",
                           "Oracle in OraClient19Home1", "Sybase ASE ODBC Driver",
                           "Microsoft ODBC for ORACLE", "DataDirect 8.0 Oracle Wire Protocol"}));
    EXPECT_EQ(oracleDriverList(),
              QStringList({"Oracle ODBC Driver", "Oracle in OraClient19Home1",
                           "Microsoft ODBC for ORACLE", "DataDirect 8.0 Oracle Wire Protocol"}));
    // ##.##.####.####: the ODBC version the manager implements, then its own.
    EXPECT_TRUE(QRegularExpression("^03\\.\\d\\d\\.\\d{4}\\.\\d{4}$")
                    .match(odbcDriverManagerVersion())
                    .hasMatch())
        << odbcDriverManagerVersion().toStdString();
}

}  // namespace
