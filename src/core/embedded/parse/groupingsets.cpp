// Oracle's grouping sets read from a GROUP BY list (groupingsets.h).
#include "core/embedded/parse/groupingsets.h"

#include <algorithm>
#include <bit>

namespace qv::embedded {

namespace {

class Reader {
  public:
    explicit Reader(const std::vector<Token>& t) : t_(t) {}

    // The sets of a comma list of elements, concatenated: every set of one element joined
    // with every set of the others.
    bool list(size_t first, size_t last, std::vector<uint64_t>& out) {
        out = {0};
        for (const Range& part : sql::splitTopLevel(t_, first, last)) {
            if (part.empty())
                return false;
            std::vector<uint64_t> sets;
            if (!element(part, sets))
                return false;
            std::vector<uint64_t> product;
            for (uint64_t a : out) {
                for (uint64_t b : sets)
                    product.push_back(a | b);
            }
            if (product.size() > kMaxGroupingSets)
                return false;
            out = std::move(product);
        }
        return true;
    }

    std::vector<Range> expressions;
    bool extended = false;
    bool cube = false;

  private:
    bool wholeGroup(Range r) const {
        return r.size() >= 2 && t_[r.first].isOp(u'(') &&
               sql::closing(t_, r.first, r.last) == r.last - 1;
    }

    bool element(Range r, std::vector<uint64_t>& sets) {
        const Token& w = t_[r.first];
        const bool grouping = w.is(u"GROUPING") && r.size() > 2 && t_[r.first + 1].is(u"SETS");
        const size_t open = grouping ? r.first + 2 : r.first + 1;
        if ((w.is(u"ROLLUP") || w.is(u"CUBE") || grouping) && open < r.last &&
            t_[open].isOp(u'(') && sql::closing(t_, open, r.last) == r.last - 1) {
            extended = true;
            std::vector<uint64_t> items;
            for (const Range& item : sql::splitTopLevel(t_, open + 1, r.last - 1)) {
                if (item.empty())
                    return false;
                std::vector<uint64_t> inner;
                if (grouping ? !groupingItem(item, inner) : !composite(item, inner))
                    return false;
                items.insert(items.end(), inner.begin(), inner.end());
            }
            if (grouping) {
                sets = std::move(items);
            } else if (w.is(u"ROLLUP")) {
                for (size_t k = items.size() + 1; k-- > 0;) {
                    uint64_t s = 0;
                    for (size_t i = 0; i < k; ++i)
                        s |= items[i];
                    sets.push_back(s);
                }
            } else {
                cube = true;
                if (items.size() > 12)
                    return false;
                for (uint64_t mask = (uint64_t(1) << items.size()); mask-- > 0;) {
                    uint64_t s = 0;
                    for (size_t i = 0; i < items.size(); ++i) {
                        if (mask >> (items.size() - 1 - i) & 1)
                            s |= items[i];
                    }
                    sets.push_back(s);
                }
            }
            return sets.size() <= kMaxGroupingSets;
        }
        if (r.size() == 2 && wholeGroup(r)) {  // (): the grand total
            sets = {0};
            return true;
        }
        return expression(r, sets);
    }

    // An item of ROLLUP or CUBE: one expression or (a, b, ...) taken together.
    bool composite(Range r, std::vector<uint64_t>& out) {
        uint64_t s = 0;
        const bool group = wholeGroup(r) && !t_[r.first + 1].is(u"SELECT");
        const std::vector<Range> parts =
            group ? sql::splitTopLevel(t_, r.first + 1, r.last - 1) : std::vector<Range>{r};
        for (const Range& p : parts) {
            std::vector<uint64_t> one;
            if (p.empty() || !expression(p, one))
                return false;
            s |= one[0];
        }
        out = {s};
        return true;
    }

    // An item of GROUPING SETS: ROLLUP, CUBE, (), (a, b, ...) or an expression.
    bool groupingItem(Range r, std::vector<uint64_t>& out) {
        if (wholeGroup(r) && !t_[r.first + 1].is(u"SELECT"))
            return r.size() == 2 ? (out = {0}, true) : list(r.first + 1, r.last - 1, out);
        return element(r, out);
    }

    bool expression(Range r, std::vector<uint64_t>& out) {
        const QString key = expressionKey(t_, r);
        size_t at = 0;
        while (at < expressions.size() && expressionKey(t_, expressions[at]) != key)
            ++at;
        if (at == expressions.size()) {
            if (at == kMaxGroupingExpressions)
                return false;
            expressions.push_back(r);
        }
        out = {uint64_t(1) << at};
        return true;
    }

    const std::vector<Token>& t_;
};

}  // namespace

QString expressionKey(const std::vector<Token>& t, Range e) {
    // alias.column is the column.
    if (e.size() == 3 && sql::isName(t[e.first]) && t[e.first + 1].isOp(u'.') &&
        sql::isName(t[e.first + 2]))
        e.first += 2;
    QString key;
    for (size_t i = e.first; i < e.last; ++i) {
        key += t[i].kind == sql::TokenKind::Word     ? t[i].text.toString().toUpper()
               : t[i].kind == sql::TokenKind::Quoted ? sql::unquoted(t[i])
                                                     : t[i].text.toString();
        key += u' ';
    }
    return key;
}

std::optional<GroupingSets> groupingSets(const std::vector<Token>& t, size_t first, size_t last) {
    Reader reader(t);
    GroupingSets g;
    if (first >= last || !reader.list(first, last, g.sets))
        return std::nullopt;
    g.expressions = std::move(reader.expressions);
    if (!reader.extended)
        return g;
    // A rollup: ordered by size, each set holds the one before it.
    std::vector<uint64_t> sorted = g.sets;
    std::sort(sorted.begin(), sorted.end(),
              [](uint64_t a, uint64_t b) { return std::popcount(a) < std::popcount(b); });
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    bool chain = true;
    for (size_t i = 1; i < sorted.size() && chain; ++i)
        chain = (sorted[i] & sorted[i - 1]) == sorted[i - 1] && sorted[i] != sorted[i - 1];
    g.shape = chain ? GroupingSets::Rollup : reader.cube ? GroupingSets::Cube : GroupingSets::Sets;
    return g;
}

Range groupByList(const std::vector<Token>& t, Range text) {
    size_t at = text.first;
    for (;;) {
        at = sql::findTopLevel(t, at, text.last, u"GROUP");
        if (at + 1 >= text.last)
            return {};
        if (t[at + 1].is(u"BY"))
            break;
        ++at;
    }
    size_t end = text.last;
    for (const char16_t* w : {u"HAVING", u"ORDER", u"FETCH", u"OFFSET", u"LIMIT", u"UNION",
                              u"INTERSECT", u"MINUS", u"EXCEPT", u"WINDOW"})
        end = std::min(end, sql::findTopLevel(t, at + 2, text.last, w));
    return {at + 2, end};
}

}  // namespace qv::embedded
