// The access predicate of the index an IN (subquery) looks its values up in: see
// placeListLookups() (planpredicates.h).
#include "core/embedded/parse/statementfacts.h"
#include "core/embedded/plan/planpredicates.h"

namespace qv::embedded {

namespace {

using sql::isName;
using sql::Range;
using sql::Token;
using sql::TokenKind;
using sql::unquoted;

// `column [NOT] IN (SELECT column FROM table [alias] ...)`, each column bare or qualified.
struct ListLookup {
    QString outerAlias, outerColumn;  // lower case; the alias empty when not written
    QString innerAlias, innerColumn;  // the inner alias: as written, else the subquery's own
    Token outerName, innerName;       // the columns' tokens, for their spelling
};

std::optional<ListLookup> readLookup(const std::vector<Token>& t, Range term) {
    ListLookup l;
    size_t i = columnAt(t, term.first, term.last, l.outerAlias, l.outerColumn, &l.outerName);
    if (i == term.first)
        return std::nullopt;
    if (i < term.last && t[i].is(u"NOT"))
        ++i;
    if (i + 2 >= term.last || !t[i].is(u"IN") || !t[i + 1].isOp(u'(') || !t[i + 2].is(u"SELECT"))
        return std::nullopt;
    const size_t close = sql::closing(t, i + 1, term.last);
    if (close + 1 != term.last)
        return std::nullopt;
    size_t from = columnAt(t, i + 3, close, l.innerAlias, l.innerColumn, &l.innerName);
    if (from == i + 3 || from + 1 >= close || !t[from].is(u"FROM") || !isName(t[from + 1]))
        return std::nullopt;
    // The subquery's table: schema.table [AS] alias.
    size_t k = from + 1;
    QString table = unquoted(t[k]).toLower();
    while (k + 2 < close && t[k + 1].isOp(u'.') && isName(t[k + 2])) {
        k += 2;
        table = unquoted(t[k]).toLower();
    }
    if (++k < close && t[k].is(u"AS"))
        ++k;
    const QString own =
        k < close && isName(t[k]) && !sql::isKeyword(t[k]) ? unquoted(t[k]).toLower() : table;
    if (l.innerAlias.isEmpty())
        l.innerAlias = own;
    return l;
}

QString oracleName(const Token& t) {
    return u'"' + (t.kind == TokenKind::Quoted ? unquoted(t) : unquoted(t).toUpper()) + u'"';
}

// Whether `line` lies below `top`.
bool below(const std::vector<PlanRow>& rows, const PlanRow& line, int top) {
    for (int up = line.parentId; up >= 0; up = rows[size_t(up)].parentId) {
        if (up == top)
            return true;
    }
    return false;
}

}  // namespace

void placeListLookups(const std::vector<Token>& t, const QHash<QString, QString>& aliases,
                      PlanEstimates& estimates, std::vector<PlanRow>& rows) {
    for (const ConditionClause& clause : conditionClauses(t)) {
        for (const Range& term : sql::conjuncts(t, clause.range.first, clause.range.last)) {
            std::optional<ListLookup> l = readLookup(t, term);
            if (!l || !aliases.contains(l->innerAlias))
                continue;
            // A bare outer column: the one other table that has it.
            if (l->outerAlias.isEmpty()) {
                for (auto it = aliases.begin(); it != aliases.end(); ++it) {
                    if (it.key() != l->innerAlias &&
                        estimates.table(it.value()).columns.contains(l->outerColumn))
                        l->outerAlias = l->outerAlias.isEmpty() ? it.key() : u"?"_qs;
                }
            }
            // The index of the outer table a nested loop searches for each value of the list:
            // the loop's second input, its first the subquery's rows.
            for (PlanRow& index : rows) {
                if (index.operation != u"INDEX" || index.alias != l->outerAlias ||
                    !index.keys.contains(l->outerColumn))
                    continue;
                int join = index.parentId;
                while (join >= 0 &&
                       !(rows[size_t(join)].operation == u"NESTED LOOPS" &&
                         index.id > rows[size_t(join)].id + 1 && !below(rows, index, join + 1)))
                    join = rows[size_t(join)].parentId;
                // Every table the loop's first input reads is the subquery's (the list read
                // straight from an index of it names none).
                const bool fromList =
                    join >= 0 && std::all_of(rows.begin(), rows.end(), [&](const PlanRow& r) {
                        return r.alias.isEmpty() || r.alias == l->innerAlias ||
                               (r.id != join + 1 && !below(rows, r, join + 1));
                    });
                if (!fromList)
                    continue;
                auto side = [&](const QString& alias, const Token& name) {
                    return aliases.size() > 1
                               ? u'"' + alias.toUpper() + QStringLiteral("\".") + oracleName(name)
                               : oracleName(name);
                };
                const QString found =
                    side(l->outerAlias, l->outerName) + u'=' + side(l->innerAlias, l->innerName);
                if (index.accessPredicates.contains(found))
                    continue;
                index.accessPredicates =
                    index.accessPredicates.isEmpty()
                        ? found
                        : index.accessPredicates + QStringLiteral(" AND ") + found;
            }
        }
    }
}

}  // namespace qv::embedded
