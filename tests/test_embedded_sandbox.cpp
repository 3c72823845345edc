// The embedded engine as a server: what a user's statement may do and what it may not, the
// limits that keep the process alive, and the ORA number of each of SQLite's failures.
#include "core/embedded/values/oracleerrors.h"
#include "support/embeddedfixture.h"
#include "support/sqliteprobe.h"

#include <sqlite3.h>

using namespace qv;
using namespace qv::embedded;
using namespace qv::test;

namespace {

// Every row of a statement that must run, or the statement in the failure message.
QStringList rowsOrFailure(Database& db, const QString& sql) {
    try {
        return rowsOf(db, sql);
    } catch (const DbError& e) {
        ADD_FAILURE() << sql.left(200).toStdString() << ": " << e.what();
        return {};
    }
}

class EmbeddedSandbox : public EmbeddedTest {
  protected:
    void SetUp() override {
        EmbeddedTest::SetUp();
        db_->execute("create table t (n number(10) primary key, s varchar2(20))");
        db_->execute("insert into t values (1, 'one'), (2, 'two'), (3, 'three')");
    }
    // The session still answers, and so does a new login to the same file.
    void expectUsable() {
        EXPECT_EQ(rowsOrFailure(*db_, "select count(*) from t"), QStringList("3"));
        EXPECT_EQ(rowsOrFailure(*connect(), "select s from t where n = 2"), QStringList("two"));
    }
};

// What an Oracle user does in their own schema runs, in order, on one session; each row is a
// statement and its rows.
TEST_F(EmbeddedSandbox, AUsersSchemaWorkRuns) {
    const std::pair<const char*, QStringList> forms[] = {
        {"create table c (id number(10) primary key, t_n number(10) references t (n), "
         "note varchar2(30) default 'none' check (note <> 'bad'))",
         {}},
        {"create index c_t on c (t_n)", {}},
        {"create unique index c_note on c (note, id)", {}},
        {"insert into c (id, t_n) values (10, 1)", {}},
        {"insert into c select n + 10, n, s from t where n > 1", {}},
        {"update c set note = upper(note) where id = 10", {}},
        {"delete from c where id = 13", {}},
        {"create view cv as select c.id, t.s from c join t on t.n = c.t_n", {}},
        {"select id, s from cv order by id", {"10|one", "12|two"}},
        {"create table log (id number(10), at varchar2(30))", {}},
        {"create trigger c_log after insert on c begin insert into log values (new.id, 'x'); "
         "end",
         {}},
        {"insert into c (id, t_n, note) values (20, 3, 'via trigger')", {}},
        {"select count(*) from log", {"1"}},
        {"create temp table scratch (k number(10))", {}},
        {"create temp table scratch2 as select n from t", {}},
        {"create temp view tv as select count(*) k from scratch2", {}},
        {"select k from tv", {"3"}},
        {"alter table c add column extra varchar2(10)", {}},
        {"alter table c rename column extra to more", {}},
        {"alter table c drop column more", {}},
        {"alter table log rename to c_log_rows", {}},
        {"select count(*) from c_log_rows", {"1"}},
        {"savepoint before_delete", {}},
        {"delete from c", {}},
        {"rollback to before_delete", {}},
        {"release before_delete", {}},
        {"select count(*) from c", {"3"}},
        {"update t set s = s || '!' where n = 1", {}},
        {"commit", {}},
        {"analyze table c compute statistics", {}},
        {"reindex c_t", {}},
        {"select n, row_number() over (order by n desc), sum(n) over () from t where rownum <= 2",
         {"2|1|3", "1|2|3"}},
        {"with recursive r (k) as (select 1 from dual union all select k + 1 from r where k < 3) "
         "select count(*), max(k) from r",
         {"3|3"}},
        {"select json_extract('{\"a\": [1, 2]}', '$.a[1]'), abs(-2), round(2.5), "
         "substr('abcdef', 2, 3), instr('abc', 'c'), sqrt(16), group_concat(n) from t",
         {"2|2|3|bcd|3|4|1,2,3"}},
        {"select name from pragma_table_info('C') order by cid", {"id", "t_n", "note"}},
        {"select count(*) > 0 from dbstat", {"1"}},
        {"select count(*) from v$session", {"1"}},
        {"drop trigger c_log", {}},
        {"drop view cv", {}},
        {"drop index c_note", {}},
        {"drop table c", {}},
        {"drop table scratch", {}},
        {"select count(*) from sqlite_master where name = 'c'", {"0"}},
    };
    for (const auto& [sql, rows] : forms)
        EXPECT_EQ(rowsOrFailure(*db_, QString::fromUtf8(sql)), rows) << sql;
}

// Whatever is not on the allow-list is refused, ORA-01031 naming it, and changes nothing: not
// the file, not the process, not the session.
TEST_F(EmbeddedSandbox, WhatIsNotListedIsRefusedAndChangesNothing) {
    const sqlite3_int64 heapLimit = sqlite3_hard_heap_limit64(-1);
    const sqlite3_int64 softLimit = sqlite3_soft_heap_limit64(-1);
    const QString other = dir_.filePath("other.db");
    const std::pair<QString, const char*> refused[] = {
        // The process.
        {"pragma hard_heap_limit = 200000", "PRAGMA hard_heap_limit = 200000"},
        {"pragma soft_heap_limit = 1", "PRAGMA soft_heap_limit = 1"},
        {"pragma cache_size = -100000000", "PRAGMA cache_size"},
        {"pragma mmap_size = 1000000000", "PRAGMA mmap_size"},
        {"pragma temp_store = memory", "PRAGMA temp_store"},
        {"pragma threads = 8", "PRAGMA threads"},
        // How the file is written, and what it says it is.
        {"pragma synchronous = off", "PRAGMA synchronous = off"},
        {"pragma journal_mode = wal", "PRAGMA journal_mode"},
        {"pragma locking_mode = exclusive", "PRAGMA locking_mode"},
        {"pragma writable_schema = 1", "PRAGMA writable_schema"},
        {"pragma page_size = 512", "PRAGMA page_size = 512"},
        {"pragma user_version = 7", "PRAGMA user_version = 7"},
        // The session's behaviour.
        {"pragma foreign_keys = off", "PRAGMA foreign_keys"},
        {"pragma recursive_triggers = on", "PRAGMA recursive_triggers"},
        {"pragma case_sensitive_like = off", "PRAGMA case_sensitive_like"},
        // What the library is, and what is not a pragma at all.
        {"pragma compile_options", "PRAGMA compile_options"},
        {"pragma function_list", "PRAGMA function_list"},
        {"pragma database_list", "PRAGMA database_list"},
        {"pragma no_such_pragma", "PRAGMA no_such_pragma"},
        // The same through pragma table functions, which compile the pragma when they run.
        {"select * from pragma_hard_heap_limit", "PRAGMA hard_heap_limit"},
        {"select count(*) from pragma_compile_options", "PRAGMA compile_options"},
        {"select sqlite_version() from dual", "sqlite_version"},
        {"select sqlite_compileoption_used('THREADSAFE') from dual", "sqlite_compileoption_used"},
        {"select sqlite_source_id() from dual", "sqlite_source_id"},
        // Other files.
        {"attach '" + other + "' as o", "ATTACH"},
        {"detach main", "DETACH"},
        {"vacuum", "attach, copy or reshape"},
        {"vacuum into '" + other + "'", "attach, copy or reshape"},
        {"create virtual table d using dbstat", "CREATE VIRTUAL TABLE"},
    };
    for (const auto& [sql, what] : refused) {
        const DbError e = errorOf([&] { db_->execute(sql); });
        EXPECT_TRUE(e.description().startsWith(u"ORA-01031: insufficient privileges") &&
                    e.description().contains(QLatin1StringView(what)))
            << sql.toStdString() << ": " << e.what();
    }
    EXPECT_EQ(std::pair(sqlite3_hard_heap_limit64(-1), sqlite3_soft_heap_limit64(-1)),
              std::pair(heapLimit, softLimit));
    EXPECT_GT(heapLimit, 0) << "the engine bounds SQLite's heap";
    EXPECT_FALSE(QFileInfo::exists(other));
    SqliteProbe probe(path());
    EXPECT_EQ(probe.rows("PRAGMA journal_mode"), QStringList("delete"));
    EXPECT_EQ(probe.rows("PRAGMA user_version"), QStringList("0"));
    expectUsable();
}

// FTS3's tokenizer function hands out and takes a pointer into the program. This build has no
// full-text search, so the name is as unknown as any other (ORA-00904, as Oracle answers for a
// function it does not know); under a system SQLite that has it, the sandbox refuses it and the
// FTS modules are dropped.
TEST_F(EmbeddedSandbox, TheFts3TokenizerIsOutOfReach) {
#ifdef QUERVIN_SYSTEM_SQLITE
    const QString unknown = QStringLiteral("ORA-01031");
#else
    const QString unknown = QStringLiteral("ORA-00904");
#endif
    for (const char* sql : {"select fts3_tokenizer('simple') p from dual",
                            "select fts3_tokenizer('simple', x'4141414141414141') p from dual",
                            "select load_extension('libc.so.6') from dual"})
        EXPECT_TRUE(failsWith([&] { db_->execute(sql); }, kErrOdbcCall, unknown)) << sql;
    EXPECT_TRUE(failsWith([&] { db_->execute("create virtual table f using fts3 (a)"); },
                          kErrOdbcCall, "ORA-01031"));
    expectUsable();
}

// The engine writes a plan with its own rights, but the statement to explain is the user's, and
// a trigger of the user's on the plan table runs with no function the user lacks.
TEST_F(EmbeddedSandbox, ExplainingAStatementLendsItNoRights) {
    const sqlite3_int64 heapLimit = sqlite3_hard_heap_limit64(-1);
    db_->execute(planTableCreateStatement(kPlanTable));
    // sqlite_version() is no function of the user's, so only the user's rights refuse it.
    EXPECT_TRUE(failsWith(
        [&] {
            db_->execute(explainPlanStatement(kPlanTable, "select sqlite_version() from dual"));
        },
        kErrOdbcCall, "ORA-01031"));
    // EXPLAIN PLAN takes no PRAGMA, as Oracle takes none: SQLite never compiles it.
    EXPECT_TRUE(failsWith(
        [&] { db_->execute(explainPlanStatement(kPlanTable, "pragma hard_heap_limit = 100000")); },
        kErrOdbcCall, "ORA-00900"));
    EXPECT_EQ(sqlite3_hard_heap_limit64(-1), heapLimit);
    // The session's plan rows go to its own copy of the plan table, made by its first EXPLAIN
    // PLAN; a trigger put on that copy runs when the engine writes the rows.
    db_->execute(explainPlanStatement(kPlanTable, "select * from t"));
    db_->execute("create table leak (v varchar2(100))");
    db_->execute("create trigger plan_leak after insert on " + kPlanTable +
                 " begin insert into leak values (sqlite_version()); end");
    EXPECT_TRUE(
        failsWith([&] { db_->execute(explainPlanStatement(kPlanTable, "select * from t")); },
                  kErrOdbcCall, "ORA-01031"));
    db_->execute("drop trigger plan_leak");
    db_->execute(explainPlanStatement(kPlanTable, "select * from t"));
    EXPECT_NE(rowsOrFailure(*db_, planQueryStatement(kPlanTable)), QStringList());
}

// A user's trigger that the engine's own work sets off keeps the user's rights: it cannot write
// the engine's catalog, and no object takes one of the engine's names. A refusal says what it
// refused.
TEST_F(EmbeddedSandbox, UserTriggersFiredByTheEngineKeepTheUsersRights) {
    // NOCACHE: LAST_NUMBER is then the next value, as in Oracle.
    db_->execute("create sequence sq nocache");
    db_->execute("select sq.nextval from dual");
    db_->execute("create table padded (c char(2))");
    db_->execute("insert into padded values ('a')");
    db_->execute(
        "create trigger forge after update on padded begin update \"QV$SEQUENCES\" set "
        "last_number = 999; insert into \"QV$CONSTRAINTS\" (name) values ('FAKE'); end");
    // Padding the CHAR column to its new length is an UPDATE of the engine's.
    EXPECT_TRUE(failsWith([&] { db_->execute("alter table padded modify (c char(5))"); },
                          kErrOdbcCall, "not authorized: UPDATE QV$SEQUENCES"));
    EXPECT_EQ(rowsOf(*db_, "select last_number from user_sequences"), QStringList("2"));
    EXPECT_EQ(rowsOf(*db_, "select count(*) from user_constraints where constraint_name = 'FAKE'"),
              QStringList("0"));
    EXPECT_TRUE(failsWith([&] { db_->execute("insert into \"QV$SEQUENCES\" (name) values (1)"); },
                          kErrOdbcCall, "not authorized: INSERT INTO QV$SEQUENCES"));
    EXPECT_TRUE(failsWith([&] { db_->execute("alter table padded rename to \"QV$Z\""); },
                          kErrOdbcCall, "QV$Z: names beginning with QV$"));
    EXPECT_TRUE(
        failsWith([&] { db_->execute("rename padded to \"qv$z\""); }, kErrOdbcCall, "ORA-01031"));
}

// No statement takes the process's memory or stack: past a limit it fails with Oracle's number
// for the same condition, or Oracle's closest limit, and the session goes on.
TEST_F(EmbeddedSandbox, LimitsFailWithOracleNumbersAndTheSessionGoesOn) {
    auto repeated = [](const QString& part, int times, const QString& separator) {
        return QStringList(times, part).join(separator);
    };
    // Triggers that fire each other 33 levels deep, one past the limit.
    for (int i = 0; i <= 33; ++i)
        db_->execute(QStringLiteral("create table chain%1 (k number(10))").arg(i));
    for (int i = 0; i < 33; ++i) {
        db_->execute(QStringLiteral("create trigger chain%1_next after insert on chain%1 begin "
                                    "insert into chain%2 values (new.k); end")
                         .arg(i)
                         .arg(i + 1));
    }
    const std::pair<QString, const char*> limits[] = {
        {"select abs(-9223372036854775808) from dual", "ORA-01426: numeric overflow"},
        {"select sum(n) from (select 9223372036854775807 n from dual union all select 1 from "
         "dual)",
         "ORA-01426"},
        {"select length(zeroblob(1000000000)) from dual", "ORA-01489"},
        {"select length(randomblob(1000000000)) from dual", "ORA-01489"},
        {"with recursive r (s, k) as (select 'x', 1 from dual union all select s || s, k + 1 "
         "from r where k < 40) select max(length(s)) from r",
         "ORA-01489: result of string concatenation is too long (string or blob too big)"},
        // SQLite's parser stack: 2600 NOTs, each waiting for its operand ("Recursion limit";
        // "parser stack overflow" before SQLite 3.45).
        {"select count(*) from t where " + repeated("not ", 2600, {}) + "n > 0",
         "ORA-03095: expression level is too deep"},
        {"select count(*) from t where " + repeated("n > 0", 1100, " and "),
         "ORA-03095: expression level is too deep, maximum 1000 (Expression tree is too large"},
        {repeated("select 1 from dual", 501, " union all "),
         "ORA-01778: maximum subquery nesting level exceeded (too many terms in compound"},
        {"select " + repeated("1", 2001, ", ") + " from dual", "ORA-01792"},
        {"select count(*) from t where s like '" + repeated("%", 4001, {}) + "'", "ORA-01704"},
        {"select ?65536 from dual", "ORA-01745"},
        {"select length('" + QString(1'000'000, u'x') + "') from dual", "ORA-64621"},
        {"insert into chain0 values (1)", "ORA-00036"},
    };
    for (const auto& [sql, ora] : limits)
        EXPECT_TRUE(failsWith([&] { rowsOf(*db_, sql); }, kErrOdbcCall, ora))
            << sql.left(80).toStdString();
    // A value past the limit in printf is SQLite's NULL, nothing allocated.
    EXPECT_EQ(rowsOrFailure(*db_, "select printf('%.*c', 1000000000, 'x') from dual"),
              QStringList("null"));
    // Just inside the limits, the same forms run.
    EXPECT_EQ(
        rowsOrFailure(*db_, "select count(*) from t where " + repeated("n > 0", 900, " and ")),
        QStringList("3"));
    EXPECT_EQ(rowsOrFailure(*db_, "select count(*) from (" +
                                      repeated("select 1 x from dual", 500, " union all ") + ")"),
              QStringList("500"));
    EXPECT_EQ(rowsOrFailure(*db_, "select count(*) from chain32"), QStringList("0"));
    expectUsable();
}

// When SQLite's heap is spent, the statement fails with ORA-04030 and the session lives on. The
// engine's own bound is far above what a test should take, so this one lowers it for a while.
TEST_F(EmbeddedSandbox, RunningOutOfMemoryIsOra04030) {
    const sqlite3_int64 bound = sqlite3_hard_heap_limit64(32 << 20);
    EXPECT_TRUE(failsWith([&] { rowsOf(*db_, "select length(hex(zeroblob(20000000))) from dual"); },
                          kErrOdbcCall, "ORA-04030: out of process memory (out of memory)"));
    sqlite3_hard_heap_limit64(bound);
    expectUsable();
}

// SQLite's other failures, each as Oracle reports the same condition.
TEST_F(EmbeddedSandbox, SqliteFailuresCarryOracleNumbers) {
    db_->execute("create view tv as select n from t");
    db_->execute("create table guarded (k number(10))");
    db_->execute("create table attempts (k number(10))");
    db_->execute(
        "create trigger guard before insert on guarded begin insert into attempts "
        "values (raise(abort, 'guarded rows are read only')); end");
    const std::pair<const char*, const char*> failures[] = {
        {"insert into guarded values (1)", "ORA-20000: guarded rows are read only"},
        {"insert into tv values (4)", "ORA-01732"},
        {"rollback to never_set", "ORA-01086"},
        {"drop trigger no_such_trigger", "ORA-04080"},
        {"select n from t where row_number() over () > 1", "ORA-30483"},
        {"delete from sqlite_master", "ORA-01031"},
        {"create table sqlite_mine (k number(10))", "ORA-01031"},
    };
    for (const auto& [sql, ora] : failures)
        EXPECT_TRUE(failsWith([&] { db_->execute(sql); }, kErrOdbcCall, ora)) << sql;
    // Conditions a test cannot bring about on a file: by SQLite's result code.
    const std::pair<int, const char*> codes[] = {
        {SQLITE_READONLY, "ORA-16000"},    {SQLITE_IOERR_READ, "ORA-01115"},
        {SQLITE_IOERR_WRITE, "ORA-01114"}, {SQLITE_CORRUPT, "ORA-01578"},
        {SQLITE_NOTADB, "ORA-01578"},      {SQLITE_FULL, "ORA-01653"},
        {SQLITE_CANTOPEN, "ORA-01157"},    {SQLITE_ABORT_ROLLBACK, "ORA-01002"},
        {SQLITE_INTERNAL, "ORA-00600"},
    };
    for (const auto& [code, ora] : codes) {
        const DbError e =
            oracleFailure(sqlite::Error(code, QString::fromUtf8(sqlite3_errstr(code))));
        EXPECT_TRUE(e.description().startsWith(QLatin1StringView(ora))) << e.what();
    }
    EXPECT_TRUE(oracleFailure(sqlite::Error(SQLITE_ERROR, "parser stack overflow"))
                    .description()
                    .startsWith(u"ORA-03095"));
    expectUsable();
}

}  // namespace
