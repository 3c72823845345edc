#include "core/embedded/session/embeddeddatabase.h"

#include "core/embedded/base/sandbox.h"
#include "core/embedded/catalog/catalog.h"
#include "core/embedded/catalog/schemacommands.h"
#include "core/embedded/catalog/sequences.h"
#include "core/embedded/parse/parsedstatement.h"
#include "core/embedded/plan/explainplan.h"
#include "core/embedded/plan/xplan.h"
#include "core/embedded/session/dictionaryviews.h"
#include "core/embedded/session/embeddedrecordset.h"
#include "core/embedded/session/iocounting.h"
#include "core/embedded/session/rowlocks.h"
#include "core/embedded/session/sessionviews.h"
#include "core/embedded/translate/errorposition.h"
#include "core/embedded/translate/merge.h"
#include "core/embedded/translate/oraclecommands.h"
#include "core/embedded/translate/oracledialect.h"
#include "core/embedded/values/bindvalues.h"
#include "core/embedded/values/oracleerrors.h"
#include "core/embedded/values/oraclefunctions.h"
#include "core/sql/tokenlist.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>

#include <utility>

namespace qv::embedded {

namespace {

using sql::TokenKind;

// VACUUM rewrites the whole file through a second database it attaches, and VACUUM INTO writes
// a copy to a file of the statement's choosing.
bool isVacuum(const std::vector<Token>& t) {
    return !t.empty() && t[0].is(u"VACUUM");
}

// A session opened for a login that then fails: it leaves V$SESSION at once.
struct SessionGuard {
    std::shared_ptr<Session> session;
    ~SessionGuard() {
        if (session)
            closeSession(session->sid());
    }
};

[[noreturn]] void invalidOption() {
    throw oracleError(922, QStringLiteral("ORA-00922: missing or invalid option"));
}

bool isAlterSession(const std::vector<Token>& t) {
    return t.size() >= 2 && t[0].is(u"ALTER") && t[1].is(u"SESSION");
}

// ALTER SESSION SET name = value [name = value ...]
void alterSession(Session& session, const std::vector<Token>& t) {
    size_t end = t.size();
    while (end > 0 && t[end - 1].isOp(u';'))
        --end;
    if (end < 3 || !t[2].is(u"SET"))
        invalidOption();
    size_t i = 3;
    if (i == end)
        invalidOption();
    while (i < end) {
        if (i + 2 >= end || t[i].kind != TokenKind::Word || !t[i + 1].isOp(u'='))
            invalidOption();
        const QString name = t[i].text.toString();
        i += 2;
        QString sign;
        if (t[i].isOp(u'-') || t[i].isOp(u'+')) {
            sign = t[i].text.toString();
            if (++i == end)
                invalidOption();
        }
        const Token& v = t[i];
        QString value;
        if (v.kind == TokenKind::String) {
            value = sql::stringValue(v);
        } else if (v.kind == TokenKind::Word) {
            value = v.text.toString().toUpper();  // Oracle keeps keywords in upper case
        } else if (v.kind == TokenKind::Number || v.kind == TokenKind::Quoted) {
            value = sign + v.text.toString();
        } else {
            invalidOption();
        }
        session.setParameter(name, value);
        ++i;
    }
}

// The statement that SQLite runs for `text` (sqliteText()'s of the client's `sql`), or Oracle's
// error for one it cannot compile, placed in `sql` where SQLite says where it stopped.
sqlite::Statement compile(sqlite3* db, Sandbox& sandbox, const QString& text, const QString& sql) {
    const QByteArray utf8 = text.toUtf8();
    try {
        sqlite::Statement stmt = sqlite::Statement::single(db, utf8);
        // Blanks and comments alone are no statement; Oracle says so rather than succeed.
        if (stmt.isEmpty())
            throw oracleError(900, QStringLiteral("ORA-00900: invalid SQL statement"));
        return stmt;
    } catch (const sqlite::Error& e) {
        // Writing into a view that is read only (catalog.h).
        if (auto named = constraintFailure(db, sandbox, QString(), e))
            throw *named;
        throw placedFailure(sandbox.described(e), utf8, sql);
    }
}

// A reading the engine makes for itself, with its own rights: no statement of the session's, so
// the statements it starts are not counted.
class EngineReading {
  public:
    EngineReading(Connection& c, Sandbox& sandbox)
        : engine_(sandbox), c_(c), starts_(c.statementStarts), cursors_(c.cursorsOpened) {}
    ~EngineReading() {
        c_.statementStarts = starts_;
        c_.cursorsOpened = cursors_;
    }
    EngineReading(const EngineReading&) = delete;
    EngineReading& operator=(const EngineReading&) = delete;

  private:
    const EngineRights engine_;
    Connection& c_;
    const int64_t starts_;
    const int64_t cursors_;
};

// What the translation asks of the schema (SchemaLookup), read with the engine's rights from
// SQLite's own description of the table. As the dictionary a server keeps in memory, the reading
// is no statement of the session's.
SchemaLookup schemaOf(Connection& c, Sandbox& sandbox) {
    return [&c, &sandbox](const QString& table) -> std::optional<TableFacts> {
        const EngineReading reading(c, sandbox);
        sqlite::Statement info(c.db,
                               "SELECT name, type, \"notnull\" OR (pk = 1 AND upper(type) = "
                               "'INTEGER') FROM pragma_table_xinfo(?1) WHERE hidden = 0");
        info.bind(1, table);
        TableFacts facts{c.session->user(), table, {}};
        while (info.step())
            facts.columns.push_back({info.text(0), info.text(1), info.integer(2) != 0});
        if (facts.columns.empty())
            return std::nullopt;
        return facts;
    };
}

// How the session's optimizer plans the client's statement `sql`, which SQLite runs as
// `text` (steering.h): read with the engine's rights, and as the dictionary reads of
// schemaOf(), no statement of the session's. The pages it reads are the optimizer's, not the
// statement's: what the call read before is moved into `counts` (as Work::addTo() counts it)
// and what the steering read is dropped.
Steering steered(Connection& c, Sandbox& sandbox, const ParsedStatement& statement,
                 const QString& text, StatCounters& counts) {
    auto take = [&c](int op) {
        int current = 0, highest = 0;
        sqlite3_db_status(c.db, op, &current, &highest, 1);
        return int64_t(current);
    };
    const int64_t gets = take(SQLITE_DBSTATUS_CACHE_HIT) + take(SQLITE_DBSTATUS_CACHE_MISS);
    const int64_t written = take(SQLITE_DBSTATUS_CACHE_WRITE);
    const auto uncountPages = qScopeGuard([&] {
        for (int op :
             {SQLITE_DBSTATUS_CACHE_HIT, SQLITE_DBSTATUS_CACHE_MISS, SQLITE_DBSTATUS_CACHE_WRITE})
            take(op);
        counts[kStatConsistentGets] += gets;
        counts[kStatDbBlockGets] += written;
        counts[kStatLogicalReads] += gets + written;
        counts[kStatPhysicalWrites] += written;
    });
    const EngineReading reading(c, sandbox);
    return steerStatement(c.db, statement, text,
                          c.session->parameter(QStringLiteral("OPTIMIZER_GOAL")),
                          c.session->user().toUpper());
}

// What the run of the client's statement `sql` (run by SQLite as `sqliteSql`) will leave for
// V$SQL_PLAN_STATISTICS_ALL, once it is done.
ExecutedCursor startCursor(const Connection& c, std::shared_ptr<const ParsedStatement> statement,
                           const QString& sqliteSql) {
    const QString& sql = statement->text();
    ExecutedCursor cursor;
    cursor.sqlId = sqlIdOf(sql);
    cursor.statement = std::move(statement);
    cursor.sqliteText = sqliteSql;
    cursor.owner = c.session->user().toUpper();
    cursor.measured = c.session->parameter(QStringLiteral("STATISTICS_LEVEL"))
                              .compare(u"ALL", Qt::CaseInsensitive) == 0 ||
                      asksPlanStatistics(sql);
    cursor.file = QString::fromUtf8(sqlite3_db_filename(c.db, "main"));
    cursor.connection = c.db;
    return cursor;
}

// The bytes of a statement as the client sends it: its text and its bind values, in UTF-8.
int64_t receivedBytes(const QString& sql, const BindList* binds) {
    int64_t bytes = sql.toUtf8().size();
    if (binds) {
        for (const BindValue& b : *binds)
            bytes += b.value.toUtf8().size();
    }
    return bytes;
}

// One call of the client's: the statement it sends, read once, and what the call has counted so
// far.
struct Call {
    const std::shared_ptr<Connection>& c;
    Sandbox& sandbox;
    std::shared_ptr<const ParsedStatement> statement;
    const BindList* binds;
    Work work;
    StopCheck cancelled;

    const QString& sql() const { return statement->text(); }
    const std::vector<Token>& tokens() const { return statement->tokens(); }
};

std::unique_ptr<EmbeddedRecordset> run(const std::shared_ptr<Connection>& c, Sandbox& sandbox,
                                       const QString& sql, bool keepRows,
                                       const BindList* binds = nullptr);

// The result of the call: the statement (empty for one the engine answered itself), standing on
// its first row or done, with the work it cost. A text parsed (translated and compiled, or run as
// a command) once is a soft parse after.
std::unique_ptr<EmbeddedRecordset> finished(Call& call, sqlite::Statement stmt = {},
                                            bool onRow = false, std::vector<FieldInfo> fields = {},
                                            std::optional<ExecutedCursor> cursor = {}) {
    call.c->session->rememberParsed(call.sql());
    return std::make_unique<EmbeddedRecordset>(call.c, std::move(stmt), onRow, std::move(fields),
                                               std::move(call.work), std::move(cursor));
}

// A savepoint around statements the engine runs for the client's one (a MERGE's parts), taken
// and ended with the engine's rights: all of them or none.
class EngineSavepoint {
  public:
    EngineSavepoint(sqlite3* db, Sandbox& sandbox) : sandbox_(sandbox) {
        const EngineRights engine(sandbox_);
        savepoint_.emplace(db);
    }
    ~EngineSavepoint() {
        const EngineRights engine(sandbox_);
        savepoint_.reset();
    }
    EngineSavepoint(const EngineSavepoint&) = delete;
    EngineSavepoint& operator=(const EngineSavepoint&) = delete;
    void commit() {
        const EngineRights engine(sandbox_);
        savepoint_->commit();
    }

  private:
    Sandbox& sandbox_;
    std::optional<sqlite::Savepoint> savepoint_;
};

// The statements the engine answers itself, without a result set. Each does the call's
// statement and answers true when it is its kind, and answers false otherwise; each throws what
// the statement fails with.

bool alterSessionCall(Call& call) {
    if (!isAlterSession(call.tokens()))
        return false;
    alterSession(*call.c->session, call.tokens());
    return true;
}

bool vacuumCall(Call& call) {
    if (isVacuum(call.tokens()))
        throw insufficientPrivileges();
    return false;
}

// The columns that tell the rows of MERGE's target `name` apart: none for a table with ROWIDs,
// its primary key's for one organized by index. For a view, Oracle's answer: ORA-38106 for one
// that joins tables, ORA-01732 for another (the engine changes no view's rows).
QStringList mergeKey(Connection& c, Sandbox& sandbox, const QString& name) {
    const EngineReading reading(c, sandbox);
    sqlite::Statement object(c.db,
                             "SELECT l.type, l.wr, s.sql FROM pragma_table_list l LEFT JOIN "
                             "sqlite_schema s ON s.name = l.name AND l.schema = 'main' WHERE "
                             "l.schema IN ('main', 'temp') AND l.name = ?1 COLLATE NOCASE ORDER "
                             "BY l.schema = 'main'");
    object.bind(1, name);
    if (!object.step())
        return {};  // the statement says what is missing
    if (object.text(0) == u"view") {
        if (ParsedStatement(object.text(2)).aliases().size() > 1)
            throw oracleError(38106, QStringLiteral("ORA-38106: MERGE not supported on join view "
                                                    "or view with INSTEAD OF trigger"));
        throw oracleError(1732, QStringLiteral("ORA-01732: data manipulation operation not legal "
                                               "on this view"));
    }
    if (object.integer(1) == 0)
        return {};
    QStringList key;
    sqlite::Statement columns(c.db,
                              "SELECT name FROM pragma_table_info(?1) WHERE pk > 0 ORDER BY pk");
    columns.bind(1, name);
    while (columns.step())
        key << columns.text(0);
    return key;
}

// A value read back from a query as the SQL literal that stands for it.
QString literal(const QVariant& value) {
    if (value.isNull())
        return QStringLiteral("NULL");
    switch (value.typeId()) {
        case QMetaType::LongLong:
        case QMetaType::Int:
        case QMetaType::Double:
            return value.toString();
        default:
            return sql::quotedString(value.toString());
    }
}

// MERGE as the statements of its plan (merge.h), each run as the user's own with the MERGE's
// bind values, inside one savepoint so that it changes all or nothing.
bool mergeCall(Call& call) {
    if (!isMerge(call.tokens()))
        return false;
    Connection& c = *call.c;
    MergePlan plan = planMerge(call.sql(), call.tokens());
    if (const QStringList key = mergeKey(c, call.sandbox, plan.targetName); !key.isEmpty())
        plan = planMerge(call.sql(), call.tokens(), key);
    EngineSavepoint savepoint(c.db, call.sandbox);
    ++c.engineDepth;
    const auto leave = qScopeGuard([&] { --c.engineDepth; });
    const int64_t merged = runMerge(
        plan,
        [&](const QString& statement) {
            run(call.c, call.sandbox, statement, false, call.binds);
            return c.recordsAffected;
        },
        [&](const QString& query) {
            std::vector<QStringList> values;
            const std::unique_ptr<EmbeddedRecordset> rows =
                run(call.c, call.sandbox, query, true, call.binds);
            for (; !rows->eof(); rows->moveNext()) {
                QStringList row;
                for (int k = 0; k < rows->fieldCount(); ++k)
                    row << literal(rows->value(k));
                values.push_back(std::move(row));
            }
            return values;
        });
    savepoint.commit();
    c.recordsAffected = merged;
    return true;
}

// EXPLAIN PLAN. Oracle explains a statement whose variables have no values yet: it takes none.
bool explainCall(Call& call) {
    if (!isExplainPlan(call.tokens()))
        return false;
    Connection& c = *call.c;
    const ExplainRequest request = parseExplainPlan(call.sql(), call.tokens());
    const ParsedStatement explained(*call.statement, request.statementAt, int(call.sql().size()));
    try {
        refuseTerminators(explained.tokens());
    } catch (DbError& e) {
        e.setPosition(e.position() + request.statementAt);
        throw;
    }
    if (readForUpdate(explained.tokens()))
        throw invalidStatement(QStringLiteral("the engine explains no SELECT ... FOR UPDATE"));
    const std::unique_ptr<const ParsedStatement> framed = explainedQuery(explained);
    const ParsedStatement& query = framed ? *framed : explained;
    const QString statement = query.text().isEmpty()
                                  ? QString()
                                  : sqliteText(query, call.cancelled, schemaOf(c, call.sandbox));
    try {
        // The statement to explain is the user's: it gets the user's rights before the engine
        // compiles it with its own to write the plan.
        if (!statement.isEmpty())
            call.sandbox.checkUserStatement("EXPLAIN QUERY PLAN " + statement.toUtf8());
        const EngineRights engine(call.sandbox);
        writePlan(c.db, request, explained,
                  steered(c, call.sandbox, query, statement, call.work.counts),
                  c.session->user().toUpper());
    } catch (DbError& e) {
        // It ran, though it failed.
        call.work.counts[kStatExecuteCount] += 1;
        // Placed in the explained statement, which ends the client's.
        if (e.position() >= 0)
            e.setPosition(e.position() + request.statementAt);
        throw;
    }
    return true;
}

bool schemaCall(Call& call) {
    return runSchemaCommand(Catalog(call.c->db, call.sandbox, call.c->session->user()), call.sql(),
                            call.tokens(), call.cancelled);
}

using EngineStatement = bool (*)(Call&);
constexpr EngineStatement kEngineStatements[] = {alterSessionCall, vacuumCall, mergeCall,
                                                 explainCall, schemaCall};

// What SQLite runs of a statement: the compiled statement, what its run leaves for
// V$SQL_PLAN_STATISTICS_ALL, and whether it took the file's write lock for FOR UPDATE.
struct SqliteRun {
    sqlite::Statement stmt;
    std::optional<ExecutedCursor> cursor;
    bool locked = false;
};

// The statement SQLite runs for the call's: sqliteText()'s; for SELECT ... FOR UPDATE the query
// without the clause once the session holds the file's write lock (rowlocks.h), no rows when
// SKIP LOCKED finds it held; for DBMS_XPLAN.DISPLAY the lines it prints (xplan.h). `began`
// when the lock began a transaction, which a failure of the statement ends again; `rule` when
// the statement is planned by rule (steering.h).
QString runnableText(Call& call, bool& began, bool& rule) {
    Connection& c = *call.c;
    const std::vector<Token>& tokens = call.tokens();
    if (const std::optional<XplanRequest> xplan = readXplanDisplay(tokens)) {
        const QStringList lines = xplanLines(c.db, *xplan, call.cancelled);
        const EngineReading reading(c, call.sandbox);
        return linesQuery(c.db, lines);
    }
    const std::optional<ForUpdate> lock = readForUpdate(tokens);
    std::unique_ptr<const ParsedStatement> withoutLock;
    if (lock)
        withoutLock =
            std::make_unique<const ParsedStatement>(*call.statement, 0, tokens[lock->at].begin);
    const ParsedStatement& query = lock ? *withoutLock : *call.statement;
    const Steering steering =
        steered(c, call.sandbox, query,
                sqliteText(query, call.cancelled, schemaOf(c, call.sandbox)), call.work.counts);
    rule = steering.rule;
    if (!lock)
        return steering.sqliteText;
    const bool open = !sqlite3_get_autocommit(c.db);
    if (lockFile(c.db, call.sandbox, *lock, call.cancelled)) {
        began = !open;
        return steering.sqliteText;
    }
    return QStringLiteral("SELECT * FROM (%1) WHERE 0").arg(steering.sqliteText);
}

// Runs the call's statement on SQLite. With `keepRows` the result stays on its first row for
// the caller; without, every row is stepped through here and not counted as fetched.
std::unique_ptr<EmbeddedRecordset> runOnSqlite(Call& call, bool keepRows, SqliteRun& r) {
    Connection& c = *call.c;
    bool rule = false;
    const QString sqliteSql = runnableText(call, r.locked, rule);
    r.stmt = compile(c.db, call.sandbox, sqliteSql, call.sql());
    // Oracle never runs a statement with a variable left without a value: ORA-01008.
    bindValues(r.stmt, call.binds ? *call.binds : BindList());
    if (call.cancelled())
        throw oracleFailure(sqlite::Error(SQLITE_INTERRUPT, QStringLiteral("interrupted")));
    call.work.counts[kStatExecuteCount] += 1;
    r.cursor = startCursor(c, call.statement, sqliteSql);
    r.cursor->rule = rule;
    c.session->setPreviousSqlId(r.cursor->sqlId);
    const int64_t changesBefore = sqlite3_total_changes64(c.db);
    bool row = r.stmt.step();
    if (row && keepRows) {
        std::vector<FieldInfo> fields = EmbeddedRecordset::describe(r.stmt, true);
        return finished(call, std::move(r.stmt), true, std::move(fields), std::move(r.cursor));
    }
    while (row)
        row = r.stmt.step();
    const bool hasColumns = r.stmt.columnCount() > 0;
    // sqlite3_changes keeps the count of the last INSERT/UPDATE/DELETE; only trust it when
    // this statement changed something.
    if (!hasColumns && sqlite3_total_changes64(c.db) != changesBefore) {
        c.recordsAffected = sqlite3_changes64(c.db);
        call.work.counts[kStatRowsProcessed] += c.recordsAffected;
    }
    std::vector<FieldInfo> fields;
    if (hasColumns && keepRows)
        fields = EmbeddedRecordset::describe(r.stmt, false);
    return finished(call, std::move(r.stmt), false, std::move(fields), std::move(r.cursor));
}

// The statements Oracle commits before and after they run.
bool isDdl(const std::vector<Token>& t) {
    return !t.empty() &&
           (sql::isOneOf(t[0], {u"CREATE", u"DROP", u"TRUNCATE", u"RENAME", u"COMMENT", u"GRANT",
                                u"REVOKE", u"ANALYZE", u"AUDIT", u"NOAUDIT", u"PURGE"}) ||
            (t[0].is(u"ALTER") && !isAlterSession(t)));
}

// Whether the statement changes rows of a table of the file's: INSERT, UPDATE, DELETE or MERGE
// into one that is no temporary table of the session's (its plan table's own rows among them).
bool changesFileRows(sqlite3* db, const std::vector<Token>& t) {
    size_t at = 1;
    if (t.empty())
        return false;
    if (t[0].is(u"INSERT") || t[0].is(u"MERGE"))
        at = 2;
    else if (t[0].is(u"DELETE"))
        at = t.size() > 1 && t[1].is(u"FROM") ? 2 : 1;
    else if (!t[0].is(u"UPDATE"))
        return false;
    while (at + 2 < t.size() && t[at + 1].isOp(u'.'))
        at += 2;
    if (at >= t.size() || !sql::isName(t[at]))
        return true;
    sqlite::Statement temporary(
        db, "SELECT 1 FROM temp.sqlite_schema WHERE type = 'table' AND name = ?1 COLLATE NOCASE");
    temporary.bind(1, sql::unquoted(t[at]));
    return !temporary.step();
}

// In manual commit, the session's changes wait in one transaction: the first statement that
// changes rows of the file begins it, and DDL ends it first, as Oracle commits before DDL.
void holdChanges(Call& call) {
    Connection& c = *call.c;
    if (c.autoCommit || c.engineDepth > 0)
        return;
    const bool open = !sqlite3_get_autocommit(c.db);
    const EngineReading reading(c, call.sandbox);
    if (isDdl(call.tokens())) {
        if (open)
            sqlite::exec(c.db, "COMMIT");
    } else if (!open && changesFileRows(c.db, call.tokens())) {
        sqlite::exec(c.db, "BEGIN");
    }
}

// The end of a call that failed: its work is counted, and a FOR UPDATE that fails leaves no lock
// behind it.
void failed(Connection& c, Sandbox& sandbox, Work& work, SqliteRun& r) {
    finishStatement(c, r.stmt.handle(), work, r.cursor);
    if (!r.locked)
        return;
    const EngineRights engine(sandbox);
    try {
        sqlite::exec(c.db, "ROLLBACK");
    } catch (const sqlite::Error&) {
        // The failure ended the transaction already.
    }
}

// Runs one statement; with `binds`, its placeholders take their values. A placeholder without a
// value fails before anything runs, as in Oracle. With `keepRows` the result stays on its first
// row for the caller; without, every row is stepped through here and not counted as fetched.
std::unique_ptr<EmbeddedRecordset> run(const std::shared_ptr<Connection>& c, Sandbox& sandbox,
                                       const QString& sql, bool keepRows, const BindList* binds) {
    if (!c->db)
        throw notOpenError();
    sandbox.forgetRefusal();
    c->recordsAffected = 0;
    Call call{c,     sandbox, nullptr,
              binds, {},      [&c] {
                  return c->cancelled.load(std::memory_order_relaxed); }};
    SqliteRun r;
    try {
        call.statement = std::make_shared<const ParsedStatement>(sql);
        call.work.counts[kStatParseCount] += 1;
        if (!c->session->parsedBefore(sql))
            call.work.counts[kStatParseCountHard] += 1;
        if (c->engineDepth == 0)
            call.work.counts[kStatBytesReceived] += receivedBytes(sql, binds);
        if (!isExplainPlan(call.tokens()))
            refuseTerminators(call.tokens());
        {
            const EngineRights engine(sandbox);
            providePlanTable(c->db, call.tokens());
        }
        holdChanges(call);
        for (const EngineStatement answer : kEngineStatements) {
            if (answer(call)) {
                call.work.counts[kStatExecuteCount] += 1;
                c->session->setPreviousSqlId(sqlIdOf(sql));
                return finished(call);
            }
        }
        return runOnSqlite(call, keepRows, r);
    } catch (const sqlite::Error& e) {
        failed(*c, sandbox, call.work, r);
        if (auto named = constraintFailure(c->db, sandbox, c->session->user(), e))
            throw *named;
        throw oracleFailure(sandbox.described(e));
    } catch (const DbError&) {
        failed(*c, sandbox, call.work, r);
        throw;
    }
}

}  // namespace

EmbeddedDatabase::EmbeddedDatabase(const QString& path, const QString& user, OpenMode mode)
    : conn_(std::make_shared<Connection>()), sandbox_(std::make_unique<Sandbox>()) {
    const bool create = mode == OpenMode::CreateIfMissing;
    if (path != u":memory:") {
        const QDir dir = QFileInfo(path).absoluteDir();
        if (create && !dir.exists()) {
            throw DbError(kErrOdbcCall,
                          QStringLiteral("cannot open %1: the folder %2 does not exist")
                              .arg(path, QDir::toNativeSeparators(dir.path())));
        }
        if (!create && !QFileInfo(path).isFile()) {
            throw DbError(kErrOdbcCall,
                          QStringLiteral("cannot open %1: there is no such database file")
                              .arg(QDir::toNativeSeparators(path)));
        }
    }
    SessionGuard session;
    std::unique_ptr<sqlite::Connection> file;
    try {
        // Waits for another connection's lock from the first read on, rather than failing at
        // once.
        file =
            std::make_unique<sqlite::Connection>(path,
                                                 create ? sqlite::Connection::Mode::ReadWriteCreate
                                                        : sqlite::Connection::Mode::ReadWrite,
                                                 kBusyTimeoutMs, countingVfsName());
        // Reading the schema version makes a file that is not a database fail now, at login.
        file->exec("PRAGMA schema_version");
#ifdef QUERVIN_SYSTEM_SQLITE
        // Our own build compares LIKE with case as Oracle does (SQLITE_CASE_SENSITIVE_LIKE) and
        // enforces foreign keys (SQLITE_DEFAULT_FOREIGN_KEYS) from the start.
        file->exec("PRAGMA case_sensitive_like = ON");
        file->exec("PRAGMA foreign_keys = ON");
#endif
        sqlite3* db = file->handle();
        // A stand-in for a server: nothing a statement says may reach files other than this one,
        // damage its schema or take the process's memory.
        sandbox_->install(db);
        session.session = openSession(user);
        int rc = registerSessionViews(db, session.session->sid(), session.session->audsid());
        if (rc == SQLITE_OK)
            rc = registerOracleFunctions(db);
        if (rc == SQLITE_OK)
            rc = registerDictionaryViews(db);
        if (rc == SQLITE_OK)
            rc = registerSessionParameterFunction(db, session.session->sid());
        if (rc == SQLITE_OK)
            rc = registerSequenceFunctions(db, *sandbox_);
        if (rc != SQLITE_OK)
            throw sqlite::Error::of(db, rc);
        sandbox_->adoptEngineFunctions();
    } catch (const sqlite::Error& e) {
        // The handle closes with `file`, and the session with `session`.
        throw DbError(kErrOdbcCall,
                      QStringLiteral("cannot open %1: %2").arg(path, e.description()));
    }
    sqlite3* db = file->handle();
    conn_->file = std::move(file);
    conn_->db = db;
    conn_->session = std::exchange(session.session, nullptr);
    watchStatements(*conn_);
}

EmbeddedDatabase::~EmbeddedDatabase() {
    close();
}

bool EmbeddedDatabase::isOpen() const {
    return conn_->db != nullptr;
}

void EmbeddedDatabase::execute(const QString& sql) {
    conn_->cancelled.store(false, std::memory_order_relaxed);
    failIfStopped();
    run(conn_, *sandbox_, sql, false);
}

std::unique_ptr<Recordset> EmbeddedDatabase::openRecordset(const QString& sql) {
    conn_->cancelled.store(false, std::memory_order_relaxed);
    failIfStopped();
    return run(conn_, *sandbox_, sql, true);
}

std::unique_ptr<Recordset> EmbeddedDatabase::openRecordset(const QString& sql,
                                                           const BindList& binds) {
    conn_->cancelled.store(false, std::memory_order_relaxed);
    failIfStopped();
    return run(conn_, *sandbox_, sql, true, &binds);
}

int64_t EmbeddedDatabase::recordsAffected() const {
    if (!conn_->db)
        throw notOpenError();
    return conn_->recordsAffected;
}

void EmbeddedDatabase::close() {
    if (!conn_->db)
        return;
    // Finishing a result removes it from the set, so work on a copy.
    const std::set<EmbeddedRecordset*> running = conn_->running;
    for (EmbeddedRecordset* result : running)
        result->finishStatement();
    closeSession(conn_->session->sid());
    conn_->file.reset();
    conn_->db = nullptr;
}

void EmbeddedDatabase::cancel() {
    conn_->cancelled.store(true, std::memory_order_relaxed);
    if (conn_->db)
        sqlite3_interrupt(conn_->db);
}

void EmbeddedDatabase::setAutoCommit(bool on) {
    if (!conn_->db)
        throw notOpenError();
    if (on && !conn_->autoCommit)
        commit();
    conn_->autoCommit = on;
}

bool EmbeddedDatabase::autoCommit() const {
    if (!conn_->db)
        throw notOpenError();
    return conn_->autoCommit;
}

void EmbeddedDatabase::commit() {
    if (!conn_->db)
        throw notOpenError();
    if (sqlite3_get_autocommit(conn_->db))
        return;
    const EngineRights engine(*sandbox_);
    try {
        sqlite::exec(conn_->db, "COMMIT");
    } catch (const sqlite::Error& e) {
        throw oracleFailure(e);
    }
}

void EmbeddedDatabase::rollback() {
    if (!conn_->db)
        throw notOpenError();
    if (sqlite3_get_autocommit(conn_->db))
        return;
    const EngineRights engine(*sandbox_);
    try {
        sqlite::exec(conn_->db, "ROLLBACK");
    } catch (const sqlite::Error& e) {
        throw oracleFailure(e);
    }
}

int64_t EmbeddedDatabase::sessionId() const {
    if (!conn_->db)
        throw notOpenError();
    return conn_->session->sid();
}

QString EmbeddedDatabase::sessionParameter(const QString& name) const {
    if (!conn_->db)
        throw notOpenError();
    return conn_->session->parameter(name);
}

}  // namespace qv::embedded
