// The ODBC layer against real drivers: the PostgreSQL Unicode driver on the fixture's server
// (environment from tests/odbc.cmake) and the SQLite 3 driver on temporary files.
#include "oracle/odbcdatabase.h"
#include "oracle/odbchandles.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>

#include <functional>

using namespace qv;

namespace {

// The program's own connect string form; the PostgreSQL driver ignores DBQ and libpq finds the
// server through PGHOST and PGPORT.
const QString kPgDriverString =
    QStringLiteral("Driver={PostgreSQL Unicode};DBQ=anything;UID=quervin;PWD=;");
const QString kPgConnect = QStringLiteral("ODBC;") + kPgDriverString;

DbError errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const DbError& e) {
        return e;
    }
    ADD_FAILURE() << "no DbError";
    return DbError(0, QString());
}

QString quoted(const QString& text) {
    return u'\'' + QString(text).replace(u'\'', QStringLiteral("''")) + u'\'';
}

enum class Driver { Postgres, Sqlite };

// The cases every driver must pass; the fixture only knows how each driver writes SQL.
class OdbcDriverTest : public ::testing::TestWithParam<Driver> {
  protected:
    void SetUp() override { db.open(connectString()); }

    bool postgres() const { return GetParam() == Driver::Postgres; }
    QString connectString() const { return postgres() ? kPgConnect : driverString(); }
    // The connect string as the driver manager gets it.
    QString driverString() const {
        return postgres()
                   ? kPgDriverString
                   : QStringLiteral("Driver={SQLite3};Database=%1;").arg(dir.filePath("t.db"));
    }
    // A table only this test sees: temporary on the server, in a fresh file on SQLite.
    void createTable(const QString& definition) {
        db.execute(
            (postgres() ? QStringLiteral("CREATE TEMP TABLE ") : QStringLiteral("CREATE TABLE ")) +
            definition);
    }
    QString binaryType() const {
        return postgres() ? QStringLiteral("BYTEA") : QStringLiteral("BLOB");
    }
    QString binaryLiteral(const QByteArray& bytes) const {
        const QString hex = QString::fromLatin1(bytes.toHex());
        return postgres() ? QStringLiteral("decode('%1', 'hex')").arg(hex)
                          : QStringLiteral("x'%1'").arg(hex);
    }
    // Rows numbered 1 .. n in column i.
    QString rows(int n) const {
        return postgres() ? QStringLiteral("SELECT i FROM generate_series(1, %1) AS g(i)").arg(n)
                          : QStringLiteral(
                                "WITH RECURSIVE g(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM g "
                                "WHERE i < %1) SELECT i FROM g WHERE i <= %1")
                                .arg(n);
    }
    QVariant scalar(const QString& sql) { return db.openRecordset(sql)->value(0); }
    // A character outside the BMP where the driver can take it: unixODBC converts text for an
    // ANSI driver such as SQLite's through UCS-2, and a surrogate pair spoils the whole text.
    QString astral() const { return postgres() ? QStringLiteral("🗾") : QString(); }

    QTemporaryDir dir;
    OdbcDatabase db;
};

TEST_P(OdbcDriverTest, FailedStatementCarriesTheDriversRecords) {
    const DbError e =
        errorOf([&] { db.openRecordset(QStringLiteral("SELECT * FROM no_such_table_q")); });
    EXPECT_EQ(e.number(), kErrOdbcCall);
    EXPECT_TRUE(e.description().contains(QStringLiteral("no_such_table_q"))) << e.what();
    ASSERT_FALSE(e.records().isEmpty());
    EXPECT_EQ(e.records()[0].sqlState,
              postgres() ? QStringLiteral("42P01") : QStringLiteral("HY000"));
    for (const DiagRecord& r : e.records())
        EXPECT_TRUE(e.description().contains(r.message.trimmed()));

    EXPECT_EQ(errorOf([&] { db.execute(QStringLiteral("DROP TABLE no_such_table_q")); }).number(),
              kErrOdbcCall);
    EXPECT_EQ(scalar(QStringLiteral("SELECT 7")), QVariant(7LL)) << "the connection stays usable";
}

TEST_P(OdbcDriverTest, EveryDiagnosticRecordIsKept) {
    // Some drivers misbehave when asked for records past the last one; ask the way odbcCheck does
    // and compare with the count the driver manager holds.
    const EnvHandle env = EnvHandle::create();
    DbcHandle dbc = DbcHandle::create(env);
    dbc.connect(driverString());
    const StmtHandle stmt = StmtHandle::create(dbc);
    const QString sql = QStringLiteral("SELECT * FROM no_such_table_q");
    const SQLRETURN rc = SQLExecDirectW(stmt.get(), odbcText(sql), SQL_NTS);
    SQLINTEGER count = -1;
    SQLGetDiagField(SQL_HANDLE_STMT, stmt.get(), 0, SQL_DIAG_NUMBER, &count, 0, nullptr);
    ASSERT_EQ(rc, SQL_ERROR);
    const QList<DiagRecord> records = odbcDiagRecords(SQL_HANDLE_STMT, stmt.get());
    EXPECT_GE(count, 1);
    EXPECT_EQ(records.size(), count);
    const DbError e = errorOf([&] { stmt.check(rc); });
    EXPECT_EQ(e.records().size(), count) << "reading the records again gives the same";

    if (postgres()) {
        // Warnings come with success; the driver gathers them and none may get lost.
        const StmtHandle warned = StmtHandle::create(dbc);
        const QString noisy = QStringLiteral(
            "DO $$ BEGIN RAISE WARNING 'first'; RAISE WARNING 'second'; RAISE NOTICE 'third'; END "
            "$$");
        EXPECT_EQ(warned.check(SQLExecDirectW(warned.get(), odbcText(noisy), SQL_NTS)),
                  SQL_SUCCESS_WITH_INFO);
        QString all;
        for (const DiagRecord& r : odbcDiagRecords(SQL_HANDLE_STMT, warned.get()))
            all += r.message;
        for (const char* word : {"first", "second", "third"})
            EXPECT_TRUE(all.contains(QLatin1String(word))) << word;
    }
}

TEST_P(OdbcDriverTest, RowsAffectedOnlyByStatementsWithoutResult) {
    createTable(QStringLiteral("counts (id INTEGER, v INTEGER)"));
    EXPECT_EQ(db.recordsAffected(), 0);
    db.execute(QStringLiteral("INSERT INTO counts VALUES (1, 0), (2, 0), (3, 0)"));
    EXPECT_EQ(db.recordsAffected(), 3);

    auto update = db.openRecordset(QStringLiteral("UPDATE counts SET v = v + 1"));
    EXPECT_TRUE(update->eof());
    EXPECT_EQ(update->fieldCount(), 0);
    EXPECT_EQ(update->skipToEnd(), 0);
    EXPECT_EQ(db.recordsAffected(), 3);

    auto query = db.openRecordset(QStringLiteral("SELECT id FROM counts"));
    EXPECT_FALSE(query->eof());
    EXPECT_EQ(db.recordsAffected(), 0) << "a query is never taken for an update";

    db.execute(QStringLiteral("DELETE FROM counts WHERE id > 1"));
    EXPECT_EQ(db.recordsAffected(), 2);
    db.execute(QStringLiteral("UPDATE counts SET v = 0 WHERE id = 99"));
    EXPECT_EQ(db.recordsAffected(), 0);
    db.execute(QStringLiteral("UPDATE counts SET v = 5"));
    db.execute(QStringLiteral("SELECT id FROM counts"));
    EXPECT_EQ(db.recordsAffected(), 0);
    auto ddl = db.openRecordset(QStringLiteral("DROP TABLE counts"));
    EXPECT_TRUE(ddl->eof());
    EXPECT_EQ(db.recordsAffected(), 0);
}

TEST_P(OdbcDriverTest, ValuesKeepTheirKinds) {
    auto rs = db.openRecordset(QStringLiteral(
        "SELECT NULL AS n, 42 AS i, 9000000000 AS big, 2.5 * 1.0E0 AS d, 'abc' AS t, '' AS e"));
    EXPECT_TRUE(rs->value(0).isNull());
    EXPECT_EQ(rs->value(1), QVariant(42LL));
    EXPECT_EQ(rs->value(2), QVariant(9000000000LL));
    EXPECT_EQ(rs->value(3), QVariant(2.5));
    EXPECT_EQ(rs->value(4), QVariant(QStringLiteral("abc")));
    EXPECT_FALSE(rs->value(5).isNull());
    EXPECT_EQ(rs->value(5).toString(), QString());
}

TEST_P(OdbcDriverTest, LongTextAndBinaryComeWhole) {
    // Far beyond one read buffer, so that it comes in pieces, split anywhere.
    QString text;
    for (int i = 0; text.size() < 100000; ++i)
        text += QStringLiteral("行%1 データ%2'x ").arg(i).arg(astral());
    QByteArray bytes;
    for (int i = 0; i < 70000; ++i)
        bytes.append(char(i * 7 % 256));
    createTable(QStringLiteral("big (id INTEGER, note TEXT, data %1)").arg(binaryType()));
    db.execute(QStringLiteral("INSERT INTO big VALUES (1, %1, %2), (2, NULL, NULL)")
                   .arg(quoted(text), binaryLiteral(bytes)));

    auto rs = db.openRecordset(QStringLiteral("SELECT note, data FROM big ORDER BY id"));
    EXPECT_EQ(rs->value(0).toString(), text);
    EXPECT_EQ(rs->value(1).typeId(), QMetaType::QByteArray);
    EXPECT_EQ(rs->value(1).toByteArray(), bytes);
    rs->moveNext();
    EXPECT_TRUE(rs->value(0).isNull());
    EXPECT_TRUE(rs->value(1).isNull());
}

TEST_P(OdbcDriverTest, FieldsByNameInAnyOrderAndCase) {
    auto rs =
        db.openRecordset(QStringLiteral("SELECT i AS a, i * 10 AS b, 'r' || i AS c, i * 100 AS d "
                                        "FROM (%1) AS s ORDER BY i")
                             .arg(rows(3)));
    ASSERT_EQ(rs->fieldCount(), 4);
    for (qlonglong i = 1; i <= 3; ++i, rs->moveNext()) {
        ASSERT_FALSE(rs->eof());
        EXPECT_EQ(rs->value(QStringLiteral("D")), QVariant(i * 100));
        EXPECT_EQ(rs->value(QStringLiteral("a")), QVariant(i));
        EXPECT_EQ(rs->value(QStringLiteral("B")), QVariant(i * 10));
        EXPECT_EQ(rs->value(3), QVariant(i * 100));
        EXPECT_EQ(rs->value(QStringLiteral("c")), QVariant(QStringLiteral("r%1").arg(i)));
    }
    EXPECT_TRUE(rs->eof());
    EXPECT_EQ(rs->fieldIndex(QStringLiteral("C")), 2);
    EXPECT_EQ(rs->fieldIndex(QStringLiteral("nope")), -1);
    EXPECT_EQ(errorOf([&] { rs->value(QStringLiteral("nope")); }).number(), kErrItemNotFound);
    EXPECT_EQ(errorOf([&] { rs->field(4); }).number(), kErrItemNotFound);
    EXPECT_EQ(errorOf([&] { rs->field(-1); }).number(), kErrItemNotFound);
    EXPECT_NE(errorOf([&] { rs->value(0); }).number(), 0) << "no current row at the end";
    EXPECT_NE(errorOf([&] { rs->moveNext(); }).number(), 0);
}

TEST_P(OdbcDriverTest, JapaneseSurvivesSqlDataAndErrors) {
    const QString city = QStringLiteral("東京都%1の「値」").arg(astral());
    createTable(QStringLiteral("日本語の表 (名前 VARCHAR(40))"));
    db.execute(QStringLiteral("INSERT INTO 日本語の表 VALUES (%1)").arg(quoted(city)));
    auto rs = db.openRecordset(
        QStringLiteral("SELECT 名前 FROM 日本語の表 WHERE 名前 = %1").arg(quoted(city)));
    EXPECT_EQ(rs->field(0).name, QStringLiteral("名前"));
    EXPECT_EQ(rs->value(QStringLiteral("名前")), QVariant(city));

    const DbError e = errorOf([&] { db.execute(QStringLiteral("SELECT * FROM 存在しない表")); });
    EXPECT_TRUE(e.description().contains(QStringLiteral("存在しない表"))) << e.what();
}

TEST_P(OdbcDriverTest, SkipToEndCountsTheRowsLeft) {
    auto rs = db.openRecordset(rows(45678));
    for (qlonglong i = 1; i <= 3; ++i, rs->moveNext())
        EXPECT_EQ(rs->value(0), QVariant(i));
    EXPECT_EQ(rs->skipToEnd(), 45675);
    EXPECT_TRUE(rs->eof());
    EXPECT_EQ(rs->skipToEnd(), 0);

    EXPECT_EQ(db.openRecordset(rows(45678))->skipToEnd(), 45678);
    auto one = db.openRecordset(rows(1));
    EXPECT_EQ(one->skipToEnd(), 1);
    auto none = db.openRecordset(rows(0));
    EXPECT_TRUE(none->eof());
    EXPECT_EQ(none->skipToEnd(), 0);
    EXPECT_EQ(scalar(QStringLiteral("SELECT 8")), QVariant(8LL));
}

TEST_P(OdbcDriverTest, ClosedResultsAndDatabasesRefuseWork) {
    auto rs = db.openRecordset(rows(5));
    rs->close();
    const std::vector<std::function<void()>> uses = {
        [&] { rs->eof(); },      [&] { rs->moveNext(); }, [&] { rs->fieldCount(); },
        [&] { rs->field(0); },   [&] { rs->value(0); },   [&] { rs->value(QStringLiteral("i")); },
        [&] { rs->skipToEnd(); }};
    for (const auto& use : uses)
        EXPECT_EQ(errorOf(use).number(), kErrObjectInvalid);
    rs->close();

    // Results still open when their database closes are closed with it.
    auto orphan = db.openRecordset(rows(5));
    auto done = db.openRecordset(QStringLiteral("SELECT 1"));
    done->close();
    db.close();
    EXPECT_FALSE(db.isOpen());
    EXPECT_EQ(errorOf([&] { orphan->value(0); }).number(), kErrObjectInvalid);
    EXPECT_EQ(errorOf([&] { db.execute(QStringLiteral("SELECT 1")); }).number(), kErrObjectInvalid);
    EXPECT_EQ(errorOf([&] { db.recordsAffected(); }).number(), kErrObjectInvalid);
    orphan.reset();
    db.close();

    db.open(connectString());
    EXPECT_EQ(scalar(QStringLiteral("SELECT 9")), QVariant(9LL));
}

INSTANTIATE_TEST_SUITE_P(Drivers, OdbcDriverTest,
                         ::testing::Values(Driver::Postgres, Driver::Sqlite), [](const auto& info) {
                             return info.param == Driver::Postgres ? "PostgreSQL" : "SQLite";
                         });

TEST(OdbcDatabaseNeverOpened, RefusesEveryOperation) {
    OdbcDatabase db;
    EXPECT_FALSE(db.isOpen());
    EXPECT_EQ(errorOf([&] { db.execute(QStringLiteral("SELECT 1")); }).number(), kErrObjectInvalid);
    EXPECT_EQ(errorOf([&] { db.openRecordset(QStringLiteral("SELECT 1")); }).number(),
              kErrObjectInvalid);
    EXPECT_EQ(errorOf([&] { db.recordsAffected(); }).number(), kErrObjectInvalid);
    db.close();
}

struct FailedOpen {
    const char* connectString;
    const char* expected;  // part of the description
};

class OdbcFailedOpenTest : public ::testing::TestWithParam<FailedOpen> {};

TEST_P(OdbcFailedOpenTest, GivesTheManagersTextAndLeavesItNotOpen) {
    OdbcDatabase db;
    db.open(kPgConnect);  // a failed open also ends the connection that was open
    const DbError e = errorOf([&] { db.open(QString::fromUtf8(GetParam().connectString)); });
    EXPECT_EQ(e.number(), kErrOdbcCall);
    EXPECT_FALSE(e.records().isEmpty());
    EXPECT_TRUE(e.description().contains(QString::fromUtf8(GetParam().expected))) << e.what();
    EXPECT_FALSE(db.isOpen());
    EXPECT_EQ(errorOf([&] { db.execute(QStringLiteral("SELECT 1")); }).number(), kErrObjectInvalid);
    db.open(kPgConnect);
    EXPECT_TRUE(db.isOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Logins, OdbcFailedOpenTest,
    ::testing::Values(
        FailedOpen{"ODBC;Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;UID=quervin;PWD=;",
                   "127.0.0.1"},
        FailedOpen{"ODBC;Driver={PostgreSQL Unicode};Database=no_such_db_q;UID=quervin;PWD=;",
                   "database \"no_such_db_q\" does not exist"},
        FailedOpen{"ODBC;Driver={Oracle ODBC Driver};DBQ=ORCL;UID=scott;PWD=tiger;",
                   "[unixODBC][Driver Manager]Can't open lib"},
        FailedOpen{"Driver={SQLite3};Database=/nonexistent/quervin/t.db;", "[SQLite]"}));

QVariant pgScalar(OdbcDatabase& db, const QString& sql) {
    return db.openRecordset(sql)->value(0);
}

TEST(OdbcPostgres, TwoConnectionsAreTwoSessions) {
    OdbcDatabase first, second;
    first.open(kPgConnect);
    second.open(QStringLiteral("odbc;Driver={PostgreSQL Unicode};DBQ=other;UID=quervin;PWD=;"));
    const QString pid = QStringLiteral("SELECT pg_backend_pid()");
    EXPECT_NE(pgScalar(first, pid), pgScalar(second, pid));
    EXPECT_EQ(pgScalar(second, QStringLiteral("SELECT current_user")),
              QVariant(QStringLiteral("quervin")));
}

TEST(OdbcPostgres, TypeCodesAndSizes) {
    OdbcDatabase db;
    db.open(kPgConnect);
    db.execute(QStringLiteral(
        "CREATE TEMP TABLE typed (v VARCHAR(20), t TEXT, b BYTEA, i INTEGER, big BIGINT, s "
        "SMALLINT, "
        "m NUMERIC(10,2), w NUMERIC(10,0), d FLOAT8, r REAL, dt DATE, ts TIMESTAMP)"));
    db.execute(
        QStringLiteral("INSERT INTO typed VALUES ('v', 't', '\\x00ff', 1, 2, 3, 1.5, 123, "
                       "2.5, 3.5, '2024-01-02', '2024-01-02 03:04:05')"));
    auto rs = db.openRecordset(QStringLiteral("SELECT * FROM typed"));
    const std::vector<std::pair<int, int64_t>> expected = {
        {dbText, 20},
        {dbMemo, 8190},  // psqlODBC reports text as long varchar, 8190 by
                         // default
        {dbLongBinary, -1},
        {dbLong, 10},
        {dbBigInt, 19},
        {dbInteger, 5},
        {dbNumeric, 10},
        {dbNumeric, 10},
        {dbDouble, -1},
        {dbSingle, -1},
        {dbDate, 10},
        {dbTimeStamp, -1}};
    ASSERT_EQ(rs->fieldCount(), int(expected.size()));
    for (int i = 0; i < rs->fieldCount(); ++i) {
        EXPECT_EQ(rs->field(i).type, expected[i].first) << rs->field(i).name.toStdString();
        if (expected[i].second >= 0) {
            EXPECT_EQ(rs->field(i).size, expected[i].second) << rs->field(i).name.toStdString();
        }
    }
    EXPECT_EQ(rs->value(QStringLiteral("b")), QVariant(QByteArray("\x00\xff", 2)));
    EXPECT_EQ(rs->value(QStringLiteral("m")), QVariant(QStringLiteral("1.50")));
    EXPECT_EQ(rs->value(QStringLiteral("w")), QVariant(123LL));
    EXPECT_EQ(rs->value(QStringLiteral("r")), QVariant(3.5));
    EXPECT_EQ(rs->value(QStringLiteral("ts")), QVariant(QStringLiteral("2024-01-02 03:04:05")));

    // Asked to, the driver gives bytea as variable-length binary, as Oracle's RAW arrives.
    db.close();
    db.open(kPgConnect + QStringLiteral("ByteaAsLongVarBinary=0;"));
    auto raw = db.openRecordset(QStringLiteral("SELECT '\\x0102'::bytea AS b"));
    EXPECT_EQ(raw->field(0).type, dbVarBinary);
    EXPECT_EQ(raw->value(0), QVariant(QByteArray("\x01\x02", 2)));
}

TEST(OdbcSqlite, TypeCodesAndSizes) {
    QTemporaryDir dir;
    OdbcDatabase db;
    db.open(QStringLiteral("Driver={SQLite3};Database=%1;").arg(dir.filePath("t.db")));
    db.execute(
        QStringLiteral("CREATE TABLE typed (v VARCHAR(20), t TEXT, b BLOB, i INTEGER, d DOUBLE)"));
    auto rs = db.openRecordset(QStringLiteral("SELECT * FROM typed"));
    const std::vector<int> types = {dbText, dbMemo, dbVarBinary, dbLong, dbDouble};
    ASSERT_EQ(rs->fieldCount(), int(types.size()));
    for (int i = 0; i < rs->fieldCount(); ++i)
        EXPECT_EQ(rs->field(i).type, types[i]) << rs->field(i).name.toStdString();
    EXPECT_EQ(rs->field(0).size, 20);
    EXPECT_TRUE(rs->eof());
}

}  // namespace
