// Where an inline view ranked outside it stops reading (stopRanking()): after the n-th row for
// ROW_NUMBER, after the last tie of the n-th rank for RANK and DENSE_RANK. See translateOracle()
// in oracledialect.h.
#include "core/embedded/translate/translator.h"

namespace qv::embedded {

// The LIMIT of an inline view whose rows come out in the order its ranking numbers them, written
// after the view's own clauses. ROW_NUMBER keeps n rows. RANK keeps the rows whose key comes no
// later than the n-th row's key, DENSE_RANK those whose key comes no later than the n-th distinct
// key: the key is found first (qv_rank_bound), then the rows up to it are counted, both by the
// view's own table and conditions, so that an index giving the order is read no further than
// the last rank kept. A key that is NULL, or fewer rows than n, keeps every row, or the NULL
// rows alone when they come first.
void Translator::rankLimit(const Block& b, const RankStop& stop, const Scope& outer) {
    const Scope plain{{}, outer.level};
    // rn <= :n keeps the ranks up to n's whole part, none for a NULL; so do FETCH's count and
    // OFFSET.
    auto bound = [&](size_t bind) {
        write(u"coalesce(max(CAST(");
        render(bind, bind + 1, plain);
        write(u" AS INTEGER), 0), 0)");
    };
    auto last = [&] {
        if (stop.bind == kNone && stop.offsetBind == kNone)
            return write(QString::number(stop.rows));
        if (stop.offsetBind == kNone && stop.rows == 0)
            return bound(stop.bind);
        write(u"(");
        if (stop.bind != kNone)
            bound(stop.bind);
        else
            write(QString::number(stop.rows));
        if (stop.offsetBind != kNone) {
            write(u" + ");
            bound(stop.offsetBind);
        }
        if (stop.bind != kNone && stop.rows != 0)
            write(QStringLiteral(" + ") + QString::number(stop.rows));
        write(u")");
    };
    write(u" LIMIT ");
    if (stop.order.empty())
        return last();
    const auto [first, end] = stop.order;
    size_t column = first + (first + 1 < end && t_[first + 1].isOp(u'.') ? 3 : 1);
    const bool descending = column < end && t_[column].is(u"DESC");
    const size_t nulls = groups_.findTopLevel(first, end, u"NULLS");
    const bool nullsFirst = nulls < end ? t_[nulls + 1].is(u"FIRST") : descending;
    const Clause* from = b.find(ClauseKind::From);
    const Clause* where = b.find(ClauseKind::Where);
    auto key = [&] { render(first, column, plain); };
    // FROM t WHERE (the view's conditions) AND
    auto rows = [&] {
        write(u" ");
        render(from->at, from->end, Scope{{}, outer.level, nullptr, true});
        write(u" WHERE ");
        if (where) {
            write(u"(");
            render(where->body, where->end, plain);
            write(u") AND ");
        }
    };
    auto nullRows = [&] {
        write(u"(SELECT count(*)");
        rows();
        key();
        write(u" IS NULL)");
    };
    write(u"coalesce((SELECT CASE WHEN ");
    last();
    write(u" < 1 THEN 0 WHEN qv_rank_bound.qv_k IS NULL THEN ");
    if (nullsFirst)
        nullRows();
    else
        write(u"-1");
    write(u" ELSE (SELECT count(*)");
    rows();
    key();
    write(descending ? u" >= " : u" <= ");
    write(u"qv_rank_bound.qv_k)");
    if (nullsFirst) {
        write(u" + ");
        nullRows();
    }
    write(stop.dense ? u" END FROM (SELECT DISTINCT " : u" END FROM (SELECT ");
    key();
    write(u" AS qv_k");
    rows();
    write(u"1 = 1 ORDER BY ");
    key();
    write(descending ? u" DESC" : u" ASC");
    write(nullsFirst ? u" NULLS FIRST" : u" NULLS LAST");
    write(u" LIMIT 1 OFFSET max(");
    last();
    write(u" - 1, 0)) AS qv_rank_bound), -1)");
}

}  // namespace qv::embedded
