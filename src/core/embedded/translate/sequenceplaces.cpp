#include "core/embedded/translate/sequenceplaces.h"

#include "core/embedded/values/oracleerrors.h"
#include "core/sql/tokenlist.h"

#include <initializer_list>
#include <map>
#include <optional>

namespace qv::embedded {

namespace {

using sql::Token;

constexpr size_t kNoParen = size_t(-1);

[[noreturn]] void notAllowedHere() {
    throw oracleError(2287, QStringLiteral("ORA-02287: sequence number not allowed here"));
}

// The parentheses of a statement: the one each token is in, and where each one closes.
struct Parens {
    std::vector<size_t> enclosing;  // kNoParen at the statement's own level
    std::vector<size_t> closing;    // for an opening parenthesis, its closing one (or the end)

    explicit Parens(const std::vector<Token>& t)
        : enclosing(t.size(), kNoParen), closing(t.size(), t.size()) {
        std::vector<size_t> open;
        for (size_t k = 0; k < t.size(); ++k) {
            if (t[k].isOp(u')') && !open.empty()) {
                closing[open.back()] = k;
                open.pop_back();
            }
            enclosing[k] = open.empty() ? kNoParen : open.back();
            if (t[k].isOp(u'('))
                open.push_back(k);
        }
    }
    // The token after the group that starts at k, or k + 1.
    size_t after(const std::vector<Token>& t, size_t k) const {
        return t[k].isOp(u'(') ? closing[k] + 1 : k + 1;
    }
};

bool startsQuery(const std::vector<Token>& t, size_t k) {
    return k < t.size() && (t[k].is(u"SELECT") || t[k].is(u"WITH"));
}

// The clauses of one query [begin, end) at its own level: whether it may hand out sequence values
// at all, and where its select list is.
struct QueryBlock {
    bool allowsSequences = true;
    size_t listBegin = 0, listEnd = 0;
};

QueryBlock readBlock(const std::vector<Token>& t, const Parens& p, size_t begin, size_t end) {
    QueryBlock b;
    size_t select = kNoParen;
    for (size_t k = begin; k < end; k = p.after(t, k)) {
        const Token& w = t[k];
        const bool by = k + 1 < end && (t[k + 1].is(u"BY") || t[k + 1].is(u"SIBLINGS"));
        if (w.is(u"SELECT")) {
            if (select != kNoParen)
                b.allowsSequences = false;  // a second query at this level: a set operation
            select = k;
            b.listBegin = k + 1;
            if (b.listBegin < end &&
                (t[b.listBegin].is(u"DISTINCT") || t[b.listBegin].is(u"UNIQUE")))
                b.allowsSequences = false;
        } else if (w.is(u"FROM") && select != kNoParen && b.listEnd == 0) {
            b.listEnd = k;
        } else if (w.is(u"UNION") || w.is(u"INTERSECT") || w.is(u"MINUS") || w.is(u"EXCEPT") ||
                   w.is(u"HAVING") || ((w.is(u"GROUP") || w.is(u"ORDER")) && by)) {
            b.allowsSequences = false;
        }
    }
    if (b.listEnd == 0)
        b.listEnd = end;
    return b;
}

// The first token at the statement's own level in [from, end) that is one of `words`, or end.
size_t findTop(const std::vector<Token>& t, const Parens& p, size_t from, size_t end,
               std::initializer_list<const char16_t*> words) {
    for (size_t k = from; k < end; k = p.after(t, k)) {
        for (const char16_t* w : words) {
            if (t[k].is(QStringView(w)))
                return k;
        }
    }
    return end;
}

}  // namespace

void checkSequencePlaces(const std::vector<Token>& t) {
    const size_t n = t.size();
    if (n == 0 ||
        !(startsQuery(t, 0) || t[0].is(u"INSERT") || t[0].is(u"UPDATE") || t[0].is(u"DELETE")))
        return;
    const Parens p(t);
    std::map<size_t, QueryBlock> blocks;  // by the query's first token
    auto blockAt = [&](size_t begin, size_t end) -> const QueryBlock& {
        auto found = blocks.find(begin);
        if (found == blocks.end())
            found = blocks.emplace(begin, readBlock(t, p, begin, end)).first;
        return found->second;
    };
    // INSERT's own query: after the table (and its columns), bare or in parentheses.
    const size_t insertQuery =
        t[0].is(u"INSERT") ? findTop(t, p, 1, n, {u"SELECT", u"WITH", u"VALUES"}) : n;
    for (size_t k = 2; k < n; ++k) {
        if (!(t[k].is(u"NEXTVAL") || t[k].is(u"CURRVAL")) || !t[k - 1].isOp(u'.') ||
            !sql::isName(t[k - 2]))
            continue;
        // The query the mention is in: the nearest parentheses holding one, or the statement's.
        size_t query = kNoParen;
        for (size_t o = p.enclosing[k]; o != kNoParen; o = p.enclosing[o]) {
            if (startsQuery(t, o + 1)) {
                query = o;
                break;
            }
        }
        const bool insertsQuery =
            query != kNoParen && t[0].is(u"INSERT") && p.enclosing[query] == kNoParen;
        if (query != kNoParen && !insertsQuery)
            notAllowedHere();  // a subquery
        size_t begin = 0, end = n;
        if (insertsQuery) {
            begin = query + 1;
            end = p.closing[query];
        } else if (t[0].is(u"INSERT")) {
            if (insertQuery < n && t[insertQuery].is(u"VALUES"))
                continue;  // in VALUES (...)
            begin = insertQuery;
        } else if (t[0].is(u"UPDATE")) {
            const size_t set = findTop(t, p, 1, n, {u"SET"});
            const size_t setEnd = findTop(t, p, set, n, {u"WHERE", u"RETURNING", u"RETURN"});
            if (k > set && k < setEnd)
                continue;
            notAllowedHere();
        } else if (t[0].is(u"DELETE")) {
            notAllowedHere();
        }
        if (k < begin)
            notAllowedHere();
        const QueryBlock& block = blockAt(begin, end);
        if (!block.allowsSequences || k < block.listBegin || k >= block.listEnd)
            notAllowedHere();
    }
}

}  // namespace qv::embedded
