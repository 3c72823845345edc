#pragma once

// What the files of one connection's calls share (embeddeddatabase.cpp runs a client's
// statement; enginestatements.cpp the statements the engine answers itself): the call, the
// engine's own readings of the schema, the optimizer's steering, and the run of a statement for
// another one (a MERGE's parts).

#include "core/db/bindvalue.h"
#include "core/embedded/base/sandbox.h"
#include "core/embedded/parse/parsedstatement.h"
#include "core/embedded/plan/steering.h"
#include "core/embedded/service/embeddedconnection.h"
#include "core/embedded/service/embeddedrecordset.h"
#include "core/embedded/translate/oracledialect.h"

#include <memory>
#include <optional>
#include <vector>

namespace qv::embedded::service {

// One call of the client's: the statement it sends, read once, and what the call has counted so
// far.
struct Call {
    const std::shared_ptr<Connection>& c;
    Sandbox& sandbox;
    std::shared_ptr<const ParsedStatement> statement;
    const BindList* binds;
    Work work;
    StopCheck cancelled;
    // What a statement the engine answers itself leaves for V$SQL_PLAN_STATISTICS_ALL (a
    // MERGE's), when it leaves anything.
    std::optional<ExecutedCursor> cursor;

    const QString& sql() const { return statement->text(); }
    const std::vector<Token>& tokens() const { return statement->tokens(); }
};

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
SchemaLookup schemaOf(Connection& c, Sandbox& sandbox);

// How the session's optimizer plans the client's statement `statement`, which SQLite runs as
// `text` (steering.h): read with the engine's rights, and as the dictionary reads of
// schemaOf(), no statement of the session's. The pages it reads are the optimizer's, not the
// statement's: what the call read before is moved into `counts` (as Work::addTo() counts it)
// and what the steering read is dropped. `joins` and `peeked`: steerStatement()'s.
Steering steered(Connection& c, Sandbox& sandbox, const ParsedStatement& statement,
                 const QString& text, StatCounters& counts, bool joins = true,
                 const QHash<QString, QString>& peeked = {});

// Runs one statement; with `binds`, its placeholders take their values. A placeholder without a
// value fails before anything runs, as in Oracle. With `keepRows` the result stays on its first
// row for the caller; without, every row is stepped through here and not counted as fetched.
std::unique_ptr<EmbeddedRecordset> run(const std::shared_ptr<Connection>& c, Sandbox& sandbox,
                                       const QString& sql, bool keepRows,
                                       const BindList* binds = nullptr);

// What the run of the client's statement `statement` (run by SQLite as `sqliteSql`) will leave
// for V$SQL_PLAN_STATISTICS_ALL, once it is done. Cannot fail.
ExecutedCursor startCursor(const Connection& c, std::shared_ptr<const ParsedStatement> statement,
                           const QString& sqliteSql);

// The result of the call: the statement (empty for one the engine answered itself), standing on
// its first row or done, with the work it cost. A text parsed (translated and compiled, or run as
// a command) once is a soft parse after.
std::unique_ptr<EmbeddedRecordset> finished(Call& call, sqlite::Statement stmt = {},
                                            bool onRow = false, std::vector<FieldInfo> fields = {},
                                            std::optional<ExecutedCursor> cursor = {});

// Does the call's statement when it is one the engine answers itself, without a result set
// (ALTER SESSION, MERGE, EXPLAIN PLAN, DDL, COMMIT, ROLLBACK), and answers true; false for any
// other. Throws what the statement fails with.
bool answeredByEngine(Call& call);

// In manual commit, the session's changes wait in one transaction: the first statement that
// changes rows of the file begins it, and DDL ends it first, as Oracle commits before DDL.
// Throws sqlite::Error.
void holdChanges(Call& call);

// After a SAVEPOINT or a ROLLBACK TO SAVEPOINT the client's call ran (`opened`: no transaction
// was open before it): the savepoint that began the session's transaction is remembered, and
// rolling back to it, which leaves the transaction without a change, ends it, so that its lock
// on the file goes as Oracle's row locks go; the savepoint stands on, at the start of the
// session's next transaction (holdChanges()). Throws sqlite::Error.
void settleSavepoints(Call& call, bool opened);
// A savepoint the session rolled back to, its transaction ended since, still stands: rolling
// back to it again, or releasing it, finds nothing to do and answers true. COMMIT, ROLLBACK and
// DDL forget it.
bool answeredBySavepoint(Call& call);

}  // namespace qv::embedded::service
