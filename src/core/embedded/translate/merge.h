#pragma once

#include "core/sql/sqltokens.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

namespace qv::embedded {

// Oracle's MERGE, which SQLite lacks, as the Oracle statements that do its work:
//   MERGE [hint] INTO target [alias] USING table|(query) [alias] ON (condition)
//     WHEN MATCHED THEN UPDATE SET column = value, ... [WHERE condition]
//                                  [DELETE WHERE condition]
//     WHEN NOT MATCHED THEN INSERT [(columns)] VALUES (values) [WHERE condition]
// (either branch may be left out, and they may come in either order). Each statement is
// Oracle's own text, so it goes through the translation as a user's UPDATE or INSERT does and
// Oracle's rules for stored values hold for MERGE too.
struct MergePlan {
    QString target;      // the target table as written
    QString targetName;  // its name, without its schema and quotes
    // What tells its rows apart: ROWID, or the columns of the key the plan was made for.
    QStringList identity;
    QString duplicates;  // a query with a row when a target row matches several source rows
    QString update;      // UPDATE of the matched rows (the target named without its alias)
    QString updated;     // with DELETE WHERE: a query of the rows the update changes
    // ... and of those DELETE WHERE removes, once a condition on doomedIdentity (the identity
    // as the query qualifies it) and ")" are added
    QString doomed;
    QStringList doomedIdentity;
    QString insert;  // INSERT ... SELECT of the source rows that match no target row
    // The source joined to the target on the ON condition (outer joined when unmatched rows are
    // inserted): the query whose plan EXPLAIN PLAN draws under the MERGE.
    QString joined;
};

// True when the statement is a MERGE. Cannot fail.
bool isMerge(const std::vector<sql::Token>& tokens);

// The plan of the MERGE `sql` into a table whose rows `key`'s columns tell apart (empty: its
// ROWID tells them apart; a table organized by index has none). Throws DbError(kErrOdbcCall) with
// ORA-00905 (missing keyword), ORA-00925 (missing INTO), ORA-00969 (missing ON), ORA-00926 (missing
// VALUES) for a statement Oracle cannot read, and ORA-38104 when UPDATE SET names a column of the
// ON condition.
MergePlan planMerge(const QString& sql, const std::vector<sql::Token>& tokens,
                    const QStringList& key = {});

// How runMerge() runs one statement of the plan: the rows it changed.
using MergeStatement = std::function<int64_t(const QString& oracleSql)>;
// ... and reads the rows of a query, each value as a SQL literal.
using MergeQuery = std::function<std::vector<QStringList>(const QString& oracleSql)>;

// Runs the plan in order: the check of ORA-30926 (unable to get a stable set of rows in the
// source tables), the identities of the rows to update, the update, those of the updated rows that
// DELETE WHERE removes (its condition read on the updated values), the insert (of the source
// rows matched by no target row before the merge), then the delete. Returns the rows merged
// (updated and inserted), as Oracle counts them. The caller makes it all or nothing. Throws what
// the statements throw.
int64_t runMerge(const MergePlan& plan, const MergeStatement& execute, const MergeQuery& query);

}  // namespace qv::embedded
