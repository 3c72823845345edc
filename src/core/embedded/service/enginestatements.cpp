// The statements the engine answers itself, without a result set: ALTER SESSION, MERGE,
// EXPLAIN PLAN, the DDL of a schema, COMMIT and ROLLBACK; and the session's transaction in manual
// commit.
#include "core/embedded/catalog/catalog.h"
#include "core/embedded/catalog/schemacommands.h"
#include "core/embedded/catalog/virtualindexes.h"
#include "core/embedded/parse/hints.h"
#include "core/embedded/plan/explainplan.h"
#include "core/embedded/service/plsqlblock.h"
#include "core/embedded/service/statementcall.h"
#include "core/embedded/session/rowlocks.h"
#include "core/embedded/translate/merge.h"
#include "core/embedded/translate/oraclecommands.h"
#include "core/embedded/values/oracleerrors.h"
#include "core/sql/statementclass.h"
#include "core/sql/tokenlist.h"

#include <QScopeGuard>

namespace qv::embedded::service {

namespace {

using sql::TokenKind;

// VACUUM rewrites the whole file through a second database it attaches, and VACUUM INTO writes
// a copy to a file of the statement's choosing.
bool isVacuum(const std::vector<Token>& t) {
    return !t.empty() && t[0].is(u"VACUUM");
}

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
        // Oracle's hidden parameters are named in double quotes ("_use_nosegment_indexes").
        if (i + 2 >= end || !sql::isName(t[i]) || !t[i + 1].isOp(u'='))
            invalidOption();
        const QString name = sql::unquoted(t[i]);
        if (t[i].kind == TokenKind::Word && name.startsWith(u'_'))
            throw oracleError(911, QStringLiteral("ORA-00911: invalid character"));
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
        if (name.compare(u"_use_nosegment_indexes", Qt::CaseInsensitive) == 0 && value != u"TRUE" &&
            value != u"FALSE")
            throw oracleError(96, QStringLiteral("ORA-00096: invalid value %1 for parameter "
                                                 "_use_nosegment_indexes, must be from among "
                                                 "TRUE, FALSE")
                                      .arg(value));
        session.setParameter(name, value);
        ++i;
    }
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

// The plan lines of the last run of `sql` the session keeps, with their counters; none when it
// keeps none.
std::vector<ScanLine> ranLines(const Session& session, const QString& sql) {
    const QString id = sqlIdOf(sql);
    for (const auto& kept : session.cursors())
        if (kept->sqlId == id && kept->statement->text() == sql)
            return kept->plan;
    return {};
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
    // The engine's own statements around the parts (the key's lookup, the savepoint) are no
    // recursive statements of the MERGE's.
    const auto engineOwn = [&c] { c.statementStarts = c.cursorsOpened = 0; };
    engineOwn();
    ++c.engineDepth;
    ++c.partOfStatement;
    const auto leave = qScopeGuard([&] {
        --c.engineDepth;
        --c.partOfStatement;
    });
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
    engineOwn();
    c.recordsAffected = merged;
    call.work.counts[kStatRowsProcessed] += merged;
    // Its plan lines are drawn from the query of the source joined to the target; SQLite ran
    // other statements for it. The check for duplicates (without one, the insert) reads the
    // source once and looks each of its rows up in the target, as the lines drawn do: each line
    // has the figures of its counterpart there. The update's and the insert's own reads of the
    // source are on no line, but in the statement's pages.
    try {
        const ParsedStatement joined(plan.joined);
        call.cursor = startCursor(c, call.statement,
                                  sqliteText(joined, call.cancelled, schemaOf(c, call.sandbox)));
        call.cursor->rows = merged;
        call.cursor->ranInstead =
            ranLines(*c.session, plan.duplicates.isEmpty() ? plan.insert : plan.duplicates);
    } catch (const DbError&) {
        // A MERGE whose query cannot be drawn again leaves no plan behind.
    }
    return true;
}

// The optimizer goal of `statement`: the last goal its hints name, or the session's.
QString statementGoal(const ParsedStatement& statement, const QString& sessionGoal) {
    QString goal = sessionGoal;
    for (const Hint& h : readHints(statement.text(), statement.tokens())) {
        if (!h.malformed && (h.name == u"RULE" || h.name == u"CHOOSE" || h.name == u"ALL_ROWS" ||
                             h.name.startsWith(u"FIRST_ROWS")))
            goal = h.name;
    }
    return goal;
}

// EXPLAIN PLAN. Oracle explains a statement whose variables have no values yet: it takes none.
bool explainCall(Call& call) {
    if (!isExplainPlan(call.tokens()))
        return false;
    Connection& c = *call.c;
    const ExplainRequest request = parseExplainPlan(call.tokens());
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
        // The session's virtual indexes stand in the schema while the plan is drawn.
        VirtualIndexPlanning virtualIndexes(
            c.db, weighsVirtualIndexes(
                      c.session->parameter(QStringLiteral("_USE_NOSEGMENT_INDEXES")),
                      statementGoal(query, c.session->parameter(QStringLiteral("OPTIMIZER_GOAL"))))
                      ? embedded::virtualIndexes(c.db)
                      : std::vector<VirtualIndex>());
        writePlan(c.db, request, explained,
                  // The query of a MERGE or CREATE ... AS runs as that statement does: its joins as
                  // SQLite chooses.
                  steered(c, call.sandbox, query, statement, call.work.counts, !framed),
                  c.session->user().toUpper(), [&virtualIndexes] { virtualIndexes.undo(); });
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

// The statements of virtual indexes, and DBMS_STATS.SET_INDEX_STATS (virtualindexes.h).
bool virtualIndexCall(Call& call) {
    const Catalog catalog(call.c->db, call.sandbox, call.c->session->user());
    return runVirtualIndexCommand(catalog, call.sql(), call.tokens(), call.cancelled) ||
           runSetIndexStats(catalog, call.tokens());
}

bool schemaCall(Call& call) {
    return runSchemaCommand(Catalog(call.c->db, call.sandbox, call.c->session->user()), call.sql(),
                            call.tokens(), call.cancelled);
}

using EngineStatement = bool (*)(Call&);
constexpr EngineStatement kEngineStatements[] = {alterSessionCall, vacuumCall,       mergeCall,
                                                 explainCall,      virtualIndexCall, plsqlBlockCall,
                                                 schemaCall};

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

}  // namespace

bool answeredByEngine(Call& call) {
    for (const EngineStatement answer : kEngineStatements) {
        if (answer(call))
            return true;
    }
    return false;
}

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
        if (c.pendingSavepoint.isEmpty()) {
            sqlite::exec(c.db, "BEGIN");
        } else {
            // The savepoint the session rolled back to stands at the start of the transaction.
            sqlite::exec(c.db, ("SAVEPOINT " + sql::quotedName(c.pendingSavepoint)).toUtf8());
            c.savepoints = {std::exchange(c.pendingSavepoint, QString())};
            c.openedBySavepoint = true;
        }
    }
}

namespace {

// The savepoint that ROLLBACK [WORK] TO [SAVEPOINT] name, or SQLite's RELEASE [SAVEPOINT] name,
// names, upper case (`release` says which); empty for another statement.
QString savepointNamed(const std::vector<Token>& t, bool& release) {
    size_t k = 1;
    release = !t.empty() && t[0].is(u"RELEASE");
    if (!release) {
        if (t.empty() || !t[0].is(u"ROLLBACK"))
            return {};
        if (k < t.size() && t[k].is(u"WORK"))
            ++k;
        if (k >= t.size() || !t[k].is(u"TO"))
            return {};
        ++k;
    }
    if (k < t.size() && t[k].is(u"SAVEPOINT"))
        ++k;
    return k < t.size() ? sql::unquoted(t[k]).toUpper() : QString();
}

}  // namespace

bool answeredBySavepoint(Call& call) {
    Connection& c = *call.c;
    const sql::StatementClass kind = sql::classifyStatement(call.tokens());
    // Whatever ends a transaction ends its savepoints, and so does a change committed as it ends.
    if (kind == sql::StatementClass::Commit || kind == sql::StatementClass::Rollback ||
        kind == sql::StatementClass::Definition || (c.autoCommit && sql::leavesPendingWork(kind)))
        c.pendingSavepoint.clear();
    bool release = false;
    const QString name = savepointNamed(call.tokens(), release);
    if (name.isEmpty() || name != c.pendingSavepoint || !sqlite3_get_autocommit(c.db))
        return false;
    // Nothing happened since the session rolled back to it.
    if (release)
        c.pendingSavepoint.clear();
    return true;
}

void settleSavepoints(Call& call, bool opened) {
    Connection& c = *call.c;
    const std::vector<Token>& t = call.tokens();
    if (sqlite3_get_autocommit(c.db)) {
        c.savepoints.clear();
        c.openedBySavepoint = false;
        return;
    }
    if (t.size() >= 2 && t[0].is(u"SAVEPOINT")) {
        if (opened)
            c.savepoints.clear();
        c.openedBySavepoint = c.openedBySavepoint || opened;
        c.savepoints << sql::unquoted(t[1]).toUpper();
        return;
    }
    bool release = false;
    const QString name = savepointNamed(t, release);
    const qsizetype at = name.isEmpty() ? -1 : c.savepoints.lastIndexOf(name);
    if (at < 0)
        return;
    c.savepoints = c.savepoints.mid(0, release ? at : at + 1);
    if (!release && at == 0 && c.openedBySavepoint) {
        // The transaction holds no change: it ends, and the savepoint waits for the next one.
        const EngineReading reading(c, call.sandbox);
        sqlite::exec(c.db, "ROLLBACK");
        c.savepoints.clear();
        c.openedBySavepoint = false;
        c.pendingSavepoint = name;
    }
}

}  // namespace qv::embedded::service
