#include "core/embedded/service/embeddeddatabase.h"

#include "core/embedded/service/statementcall.h"

#include "core/embedded/base/sandbox.h"
#include "core/embedded/catalog/catalog.h"
#include "core/embedded/catalog/identity.h"
#include "core/embedded/catalog/schemacommands.h"
#include "core/embedded/catalog/sequences.h"
#include "core/embedded/catalog/virtualindexes.h"
#include "core/embedded/parse/parsedstatement.h"
#include "core/embedded/plan/explainplan.h"
#include "core/embedded/plan/hasharea.h"
#include "core/embedded/plan/planstatements.h"
#include "core/embedded/plan/xplan.h"
#include "core/embedded/service/embeddedrecordset.h"
#include "core/embedded/session/dictionaryviews.h"
#include "core/embedded/session/displaycursor.h"
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

// A session opened for a login that then fails: it leaves V$SESSION at once.
struct SessionGuard {
    std::shared_ptr<Session> session;
    ~SessionGuard() {
        if (session)
            closeSession(session->sid());
    }
};

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

}  // namespace

namespace service {

SchemaLookup schemaOf(Connection& c, Sandbox& sandbox) {
    return [&c, &sandbox](const QString& table) -> std::optional<TableFacts> {
        const EngineReading reading(c, sandbox);
        sqlite::Statement info(c.db,
                               "SELECT name, type, \"notnull\" OR (pk = 1 AND upper(type) = "
                               "'INTEGER') FROM pragma_table_xinfo(?1) WHERE hidden = 0");
        info.bind(1, table);
        TableFacts facts{c.session->user(), table, {}};
        while (info.step())
            facts.columns.push_back({info.text(0), info.text(1), info.integer(2) != 0, {}});
        if (facts.columns.empty())
            return std::nullopt;
        const Catalog catalog(c.db, sandbox, c.session->user());
        if (const std::optional<IdentityColumn> identity = identityOf(catalog, table)) {
            for (ColumnFacts& column : facts.columns) {
                if (column.name.compare(identity->column, Qt::CaseInsensitive) != 0)
                    continue;
                column.identity = identity->sequence;
                column.generatedAlways = identity->always;
                column.defaultOnNull = identity->onNull;
            }
        }
        return facts;
    };
}

Steering steered(Connection& c, Sandbox& sandbox, const ParsedStatement& statement,
                 const QString& text, StatCounters& counts, bool joins,
                 const QHash<QString, QString>& peeked) {
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
                          c.session->user().toUpper(), joins, peeked);
}

std::unique_ptr<EmbeddedRecordset> finished(Call& call, sqlite::Statement stmt, bool onRow,
                                            std::vector<FieldInfo> fields,
                                            std::optional<ExecutedCursor> cursor) {
    call.c->session->rememberParsed(call.sql());
    return std::make_unique<EmbeddedRecordset>(call.c, std::move(stmt), onRow, std::move(fields),
                                               std::move(call.work), std::move(cursor));
}

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
    cursor.clock = CycleClock(cursor.measured);
    cursor.file = QString::fromUtf8(sqlite3_db_filename(c.db, "main"));
    cursor.connection = c.db;
    return cursor;
}

namespace {

// The bind values the statement's plan is made for, as Oracle peeks them when it first parses
// it: those of its first run the session still keeps the cursor of, else this run's.
QHash<QString, QString> peekedBinds(const Connection& c, const Call& call) {
    const QString& sql = call.statement->text();
    const QString id = sqlIdOf(sql);
    for (const auto& kept : c.session->cursors())
        if (kept->sqlId == id && kept->statement->text() == sql)
            return kept->peeked;
    QHash<QString, QString> peeked;
    if (call.binds) {
        for (const BindValue& b : *call.binds)
            if (b.type != BindType::Null)
                peeked.insert(b.name.toUpper(), b.value);
    }
    return peeked;
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

// What SQLite runs of a statement: the compiled statement, what its run leaves for
// V$SQL_PLAN_STATISTICS_ALL, and whether it took the file's write lock for FOR UPDATE.
struct SqliteRun {
    sqlite::Statement stmt;
    std::optional<ExecutedCursor> cursor;
    bool locked = false;
};

// The statement SQLite runs for the call's: sqliteText()'s; for SELECT ... FOR UPDATE the query
// without the clause once the session holds the file's write lock (rowlocks.h), no rows when
// SKIP LOCKED finds it held; for DBMS_XPLAN.DISPLAY and DISPLAY_CURSOR the lines they print
// (xplan.h, displaycursor.h). `began`
// when the lock began a transaction, which a failure of the statement ends again; `rule` when
// the statement is planned by rule (steering.h). The plan is made for the `peeked` bind values.
QString runnableText(Call& call, bool& began, bool& rule, const QHash<QString, QString>& peeked) {
    Connection& c = *call.c;
    const std::vector<Token>& tokens = call.tokens();
    if (const std::optional<CursorDisplay> display = readCursorDisplay(tokens)) {
        const QStringList lines = cursorDisplayLines(c.db, *c.session, *display);
        const EngineReading reading(c, call.sandbox);
        return linesQuery(c.db, lines);
    }
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
    const Steering steering = steered(c, call.sandbox, query,
                                      sqliteText(query, call.cancelled, schemaOf(c, call.sandbox)),
                                      call.work.counts, true, peeked);
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
    const QHash<QString, QString> peeked = peekedBinds(c, call);
    const QString sqliteSql = runnableText(call, r.locked, rule, peeked);
    r.stmt = compile(c.db, call.sandbox, sqliteSql, call.sql());
    // Oracle never runs a statement with a variable left without a value: ORA-01008.
    bindValues(r.stmt, call.binds ? *call.binds : BindList());
    if (call.cancelled())
        throw oracleFailure(sqlite::Error(SQLITE_INTERRUPT, QStringLiteral("interrupted")));
    if (c.partOfStatement == 0)
        call.work.counts[kStatExecuteCount] += 1;
    r.cursor = startCursor(c, call.statement, sqliteSql);
    r.cursor->rule = rule;
    r.cursor->peeked = peeked;
    c.session->setPreviousSqlId(r.cursor->sqlId);
    const int64_t changesBefore = sqlite3_total_changes64(c.db);
    auto step = [&r] {
        r.cursor->clock.before();
        try {
            const bool row = r.stmt.step();
            r.cursor->clock.after();
            return row;
        } catch (...) {
            r.cursor->clock.after();
            throw;
        }
    };
    bool row = step();
    if (row && keepRows) {
        std::vector<FieldInfo> fields = EmbeddedRecordset::describe(r.stmt, true);
        return finished(call, std::move(r.stmt), true, std::move(fields), std::move(r.cursor));
    }
    while (row)
        row = step();
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

}  // namespace

std::unique_ptr<EmbeddedRecordset> run(const std::shared_ptr<Connection>& c, Sandbox& sandbox,
                                       const QString& sql, bool keepRows, const BindList* binds) {
    if (!c->db)
        throw notOpenError();
    sandbox.forgetRefusal();
    c->recordsAffected = 0;
    Call call{c,           sandbox, nullptr,
              binds,       {},      [&c] { return c->cancelled.load(std::memory_order_relaxed); },
              std::nullopt};
    SqliteRun r;
    try {
        call.statement = std::make_shared<const ParsedStatement>(sql);
        if (c->partOfStatement == 0) {
            call.work.counts[kStatParseCount] += 1;
            if (!c->session->parsedBefore(sql))
                call.work.counts[kStatParseCountHard] += 1;
        }
        if (c->engineDepth == 0)
            call.work.counts[kStatBytesReceived] += receivedBytes(sql, binds);
        if (!isExplainPlan(call.tokens()))
            refuseTerminators(call.tokens());
        if (!call.tokens().empty() && call.tokens().front().is(u"CREATE")) {
            const StatementFrame frame = statementFrame(sql, call.tokens());
            call.work.directLoad =
                frame.kind == StatementFrame::Kind::CreateTable && !frame.query.isEmpty();
        }
        {
            const EngineRights engine(sandbox);
            providePlanTable(c->db, call.tokens());
        }
        holdChanges(call);
        if (answeredBySavepoint(call) || answeredByEngine(call)) {
            if (c->partOfStatement == 0)
                call.work.counts[kStatExecuteCount] += 1;
            c->session->setPreviousSqlId(sqlIdOf(sql));
            return finished(call, {}, false, {}, std::move(call.cursor));
        }
        const bool opensTransaction = sqlite3_get_autocommit(c->db) != 0;
        std::unique_ptr<EmbeddedRecordset> result = runOnSqlite(call, keepRows, r);
        settleSavepoints(call, opensTransaction);
        return result;
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

}  // namespace service

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
        sqlite::turnOffUnsoundRewrites(db);
        session.session = openSession(user);
        int rc = registerSessionViews(db, session.session->sid(), session.session->audsid());
        if (rc == SQLITE_OK)
            rc = registerOracleFunctions(db, session.session->dateSettings());
        if (rc == SQLITE_OK)
            rc = registerDictionaryViews(db);
        if (rc == SQLITE_OK)
            rc = registerSessionParameterFunction(db, session.session->sid());
        if (rc == SQLITE_OK)
            rc = registerVirtualIndexFunction(db);
        if (rc == SQLITE_OK)
            rc = registerSequenceFunctions(db, *sandbox_);
        if (rc == SQLITE_OK)
            rc = registerHashAreas(db);
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
    forgetVirtualIndexes(db);  // of a session whose handle had the same address
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
    service::run(conn_, *sandbox_, sql, false);
}

std::unique_ptr<Recordset> EmbeddedDatabase::openRecordset(const QString& sql) {
    conn_->cancelled.store(false, std::memory_order_relaxed);
    failIfStopped();
    return service::run(conn_, *sandbox_, sql, true);
}

std::unique_ptr<Recordset> EmbeddedDatabase::openRecordset(const QString& sql,
                                                           const BindList& binds) {
    conn_->cancelled.store(false, std::memory_order_relaxed);
    failIfStopped();
    return service::run(conn_, *sandbox_, sql, true, &binds);
}

QStringList EmbeddedDatabase::takeWarnings() {
    return std::exchange(conn_->output, {});
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
    forgetVirtualIndexes(conn_->db);
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
    conn_->pendingSavepoint.clear();
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
    conn_->pendingSavepoint.clear();
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
