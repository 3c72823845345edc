#pragma once

#include "core/tuning/runrecord.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace qv {

// An index worth trying for a statement, read from its plan.
struct IndexCandidate {
    QString owner;  // of the table, as the plan names it; empty: the user's own
    QString table;
    QStringList columns;  // in the index's order
    // The plan's predicates (or the statement's ORDER BY / GROUP BY, or its select list) the
    // index serves, as the plan writes them.
    QString serves;
    bool covering = false;  // also holds the columns the select list reads of the table

    // CREATE INDEX of the candidate under `name`, as a user would send it.
    QString createText(const QString& name) const;
    // A name for the real index: table and first column, at most 30 bytes.
    QString suggestedName() const;
};

// The columns that already begin an index, per table (upper-case table name), each list in
// the index's order.
using ExistingIndexes = QHash<QString, QList<QStringList>>;

// The indexes worth trying for `sql` whose current plan is `plan` (with its predicates): for
// each table read by a full scan, or by rowid fetches that throw rows away, the columns of its
// access and filter predicates and of the join conditions that could drive into it — equality
// columns first, then one range column, then the ORDER BY / GROUP BY columns when the index
// can then give their order — and, when the select list names at most four columns of the
// table, a covering variant. A candidate the same as, or a prefix of, an index in `existing`
// is left out. Cannot fail.
QList<IndexCandidate> indexCandidates(const QList<PlanLine>& plan, const QString& sql,
                                      const ExistingIndexes& existing);

// A CREATE INDEX statement as a user types it, read into what a what-if needs.
struct IndexDefinition {
    bool unique = false;
    bool bitmap = false;
    QString name;   // as written, may be empty when the text had none
    QString owner;  // of the table; empty when not written
    QString table;
    QStringList columns;      // the key's columns or expressions, each as written (ASC/DESC kept)
    QStringList columnNames;  // each column's name as stored (an expression as written)
};

// Reads `text` ("CREATE [UNIQUE|BITMAP] INDEX [schema.]name ON [schema.]table (cols) ..."):
// what comes after the column list (TABLESPACE, NOLOGGING ...) is not needed for a what-if and
// is dropped. Nothing when the text is no such statement.
std::optional<IndexDefinition> readCreateIndex(const QString& text);

}  // namespace qv
