// A ranked view's stop kept only where its rows come in their ranking's order (steering.h).
#include "core/embedded/plan/steering.h"

#include "core/sql/sqltokens.h"
#include "core/sql/tokenlist.h"
#include "core/sqlite/sqlite.h"

#include <algorithm>
#include <map>

namespace qv::embedded {

namespace {

constexpr QStringView kBound = u"qv_rank_bound";

// Whether a ranked view whose stop searches its last key first (qv_rank_bound) sorts its rows
// for its window: its block, the parent of that search, sorts outside it.
bool rankedViewSorts(const std::vector<EqpLine>& lines) {
    std::map<int, const EqpLine*> byId;
    for (const EqpLine& l : lines)
        byId[l.id] = &l;
    auto within = [&](int id, int ancestor) {
        for (auto at = byId.find(id); at != byId.end(); at = byId.find(at->second->parent)) {
            if (at->first == ancestor)
                return true;
        }
        return false;
    };
    for (const EqpLine& l : lines) {
        if (!l.detail.contains(kBound))
            continue;
        // The search: the outermost subquery above the line that holds it.
        int search = -1;
        for (auto at = byId.find(l.parent); at != byId.end(); at = byId.find(at->second->parent)) {
            if (at->second->detail.contains(u"SUBQUERY"))
                search = at->first;
        }
        const auto root = byId.find(search);
        if (root == byId.end())
            continue;
        const int view = root->second->parent;
        for (const EqpLine& other : lines) {
            if (other.detail.startsWith(u"USE TEMP B-TREE") && within(other.id, view) &&
                !within(other.id, search))
                return true;
        }
    }
    return false;
}

}  // namespace

QString keepRankStops(sqlite3* db, const QString& sqliteText) {
    if (!sqliteText.contains(kBound))
        return sqliteText;
    std::vector<EqpLine> lines;
    try {
        sqlite::Statement eqp =
            sqlite::Statement::single(db, "EXPLAIN QUERY PLAN " + sqliteText.toUtf8());
        while (eqp.step())
            lines.push_back({int(eqp.integer(0)), int(eqp.integer(1)), eqp.text(3)});
    } catch (const sqlite::Error&) {
        return sqliteText;  // the run reports it
    }
    if (!rankedViewSorts(lines))
        return sqliteText;
    // Each LIMIT coalesce(( ... qv_rank_bound ... ), -1) left out: the sort reads every row.
    const std::vector<sql::Token> t = sql::tokenize(sqliteText);
    QString kept;
    int copied = 0;
    for (size_t i = 0; i + 2 < t.size(); ++i) {
        if (!t[i].is(u"LIMIT") || !t[i + 1].is(u"coalesce") || !t[i + 2].isOp(u'('))
            continue;
        const size_t close = sql::closing(t, i + 2, t.size());
        const bool bound = std::any_of(t.begin() + i, t.begin() + std::min(close, t.size()),
                                       [](const sql::Token& k) { return k.is(kBound); });
        if (!bound || close >= t.size())
            continue;
        kept += sqliteText.mid(copied, t[i].begin - copied);
        copied = t[close].end;
        i = close;
    }
    return kept + sqliteText.mid(copied);
}

}  // namespace qv::embedded
