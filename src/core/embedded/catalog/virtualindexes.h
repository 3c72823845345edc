#pragma once

// Oracle's virtual indexes: CREATE INDEX ... NOSEGMENT makes an index that has a name and
// columns but no b-tree. Oracle keeps it in the dictionary only; the engine keeps it in the memory
// of the session that made it, so that nothing is written to the file and no other session ever
// sees it:
//   - USER_OBJECTS (OBJECT_TYPE INDEX) and USER_IND_COLUMNS list it, USER_INDEXES does not (as in
//     Oracle, whose USER_INDEXES leaves out an index without a segment);
//   - ALTER INDEX on it gives ORA-08114, DROP INDEX drops it, DROP TABLE of its table and the
//     end of the session forget it; a real index cannot take its name (ORA-00955);
//   - DBMS_STATS.SET_INDEX_STATS sets its statistics (in memory too), and those of a real index
//     (in QV$IND_STATS, optimizerstats.h);
//   - EXPLAIN PLAN weighs it as a real index when the session has set "_use_nosegment_indexes" to
//     TRUE and the statement's optimizer goal (a hint's, or the session's) is neither RULE nor
//     CHOOSE: for the drawing of that one plan the index and its statistics are made real inside
//     a savepoint that is always rolled back (VirtualIndexPlanning), so the plan is drawn and
//     costed by the same code as any other. A statement that runs never uses it.

#include "core/embedded/catalog/catalog.h"
#include "core/embedded/catalog/optimizerstats.h"
#include "core/embedded/translate/oracledialect.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

#include <sqlite3.h>

namespace qv::embedded {

struct VirtualIndex {
    QString name;         // as written; compared without regard to case, as SQLite's names
    QString table;        // as SQLite's schema spells it
    QStringList columns;  // upper case, an expression as Oracle's hidden SYS_NCnnnnn$ column
    QList<bool> descending;
    bool unique = false;
    QString sqliteCreate;  // the CREATE INDEX that makes it real, in SQLite's SQL
    std::optional<IndexStats> stats;
};

// The virtual indexes of the session on `db`, in the order made. Cannot fail.
std::vector<VirtualIndex> virtualIndexes(sqlite3* db);
// The session on `db` ends: its virtual indexes go. Cannot fail.
void forgetVirtualIndexes(sqlite3* db);
// The session's virtual index `name` (any case); nullopt when it has none.
std::optional<VirtualIndex> virtualIndex(sqlite3* db, const QString& name);
// Keeps `stats` as the statistics of the session's virtual index `name`.
void keepVirtualIndexStats(sqlite3* db, const QString& name, const IndexStats& stats);
// Writes `stats` as the figures of `index` on `table` in QV$IND_STATS, which must exist (a
// figure not known NULL). Throws sqlite::Error.
void writeIndexStats(sqlite3* db, const QString& index, const QString& table,
                     const IndexStats& stats);

// Carries out CREATE [UNIQUE] INDEX ... NOSEGMENT, and DROP INDEX and ALTER INDEX of a virtual
// index of the session's; false for any other statement. Oracle's errors: ORA-00955 for a name
// taken by an object of the file's or a virtual index of the session's, ORA-00942, ORA-01702 (a
// view), ORA-00904 for a column the table lacks, ORA-08114 for ALTER INDEX.
bool runVirtualIndexCommand(const Catalog& catalog, const QString& sql, const std::vector<Token>& t,
                            const StopCheck& stopped);

// BEGIN [SYS.]DBMS_STATS.SET_INDEX_STATS(...); ... END; with every call of the block one of
// SET_INDEX_STATS: arguments by position or by name as Oracle documents them (ownname, indname,
// partname, stattab, statid, numrows, numlblks, numdist, avglblk, avgdblk, clstfct, indlevel,
// flags, statown, no_invalidate, guessq, cachedblk, cachehit, force), literals or NULL. Sets
// NUM_ROWS, LEAF_BLOCKS, DISTINCT_KEYS, AVG_LEAF_BLOCKS_PER_KEY, AVG_DATA_BLOCKS_PER_KEY (each
// per key from the others when not given), CLUSTERING_FACTOR and BLEVEL; a figure not given
// keeps its value. Of a virtual index in the session's memory, of a real one in the file.
// False for another statement. ORA-20000 for an index the user does not have, ORA-20001 for a
// negative figure, ORA-20005 for what the engine keeps no statistics of (a partition, a stat
// table).
bool runSetIndexStats(const Catalog& catalog, const std::vector<Token>& t);

// Whether an EXPLAIN PLAN of the session weighs its virtual indexes: its "_use_nosegment_indexes"
// (`parameter`) is TRUE and the statement's optimizer goal `goal` (a hint's, or the session's) is
// neither RULE nor CHOOSE.
bool weighsVirtualIndexes(const QString& parameter, const QString& goal);

// The session's virtual indexes made real for the drawing of one plan: inside a savepoint, each
// index is created as SQLite's and its statistics written; undo() (or the end of the object)
// rolls all of it back, so the file's bytes stay as they were. An index that cannot be made (a
// column dropped since, a UNIQUE one whose keys repeat) is left out. Run with the engine's rights.
// Throws sqlite::Error when the savepoint cannot be taken.
class VirtualIndexPlanning {
  public:
    VirtualIndexPlanning(sqlite3* db, const std::vector<VirtualIndex>& indexes);
    ~VirtualIndexPlanning() { undo(); }
    VirtualIndexPlanning(const VirtualIndexPlanning&) = delete;
    VirtualIndexPlanning& operator=(const VirtualIndexPlanning&) = delete;
    // Cannot fail; a second call does nothing.
    void undo();

  private:
    sqlite3* db_;
    bool open_ = false;
    bool outermost_ = false;
};

// Registers qv_virtual_indexes(), the session's virtual indexes as a JSON array of objects
// (name, table, unique, columns: [{name, desc}]), which the dictionary views read. SQLite's
// result code.
int registerVirtualIndexFunction(sqlite3* db);

}  // namespace qv::embedded
