// The statement's conditions as the plan builder reads them, once the tables' definitions tell
// what the text alone does not: see Builder::settleConditions().
#include "core/embedded/plan/plansteps.h"

namespace qv::embedded::plan {

void Builder::settleConditions() {
    for (qsizetype i = predicates_.size(); i-- > 0;) {
        Predicate& p = predicates_[i];
        // A character column compared with a number is TO_NUMBER of it: a function's estimate.
        if (p.number && !p.function && !p.isJoin()) {
            const QString table = p.alias.isEmpty()
                                      ? estimates_.tableOf(p.column, aliases_.values())
                                      : tableName(p.alias);
            p.function = !table.isEmpty() && estimates_.table(table).texts.contains(p.column);
        }
        if (!p.usingColumn)
            continue;
        if (p.column != u"*") {
            p.alias = usingSide(p);
            continue;
        }
        // NATURAL JOIN: a join by each column both tables have.
        const Predicate natural = p;
        predicates_.removeAt(i);
        const QStringList other = estimates_.table(tableName(natural.otherAlias)).columns;
        for (const QString& column : estimates_.table(tableName(natural.alias)).columns) {
            if (!other.contains(column))
                continue;
            Predicate one = natural;
            one.column = one.otherColumn = column;
            predicates_.append(one);
        }
    }
}

QString Builder::usingSide(const Predicate& p) {
    if (estimates_.table(tableName(p.alias)).columns.contains(p.column))
        return p.alias;
    // Of three tables or more: the one other table that has the column.
    QString found;
    for (auto it = aliases_.begin(); it != aliases_.end(); ++it) {
        if (it.key() == p.otherAlias || !estimates_.table(it.value()).columns.contains(p.column))
            continue;
        if (!found.isEmpty())
            return p.alias;
        found = it.key();
    }
    return found.isEmpty() ? p.alias : found;
}

}  // namespace qv::embedded::plan
