#include "core/editor/statementscope.h"

#include "core/sql/tokenlist.h"

#include <climits>

namespace qv {

using sql::Token;

QString dictionaryName(const Token& t) {
    return t.kind == sql::TokenKind::Quoted ? sql::unquoted(t) : t.text.toString().toUpper();
}

namespace {

// A name that can follow a table as its alias: no word of the clauses that may come next.
bool isAlias(const Token& t) {
    return sql::isName(t) && !sql::isKeyword(t) &&
           !sql::isOneOf(t, {u"FOR", u"PIVOT", u"UNPIVOT", u"SAMPLE", u"MODEL", u"LOG", u"LATERAL",
                             u"APPLY", u"TABLESAMPLE"});
}

bool opensQuery(const std::vector<Token>& t, size_t open) {
    return open + 1 < t.size() && (t[open + 1].is(u"SELECT") || t[open + 1].is(u"WITH"));
}

class ScopeReader {
  public:
    explicit ScopeReader(const std::vector<Token>& t) : t_(t), groups_(t) {}
    StatementScope read();

  private:
    // Reads one table or subquery at `k` with its alias; where it ends.
    size_t item(size_t k);
    size_t withQueries(size_t k);

    const std::vector<Token>& t_;
    sql::Groups groups_;
    StatementScope scope_;
    int scopeBegin_ = 0;
    int scopeEnd_ = INT_MAX;
};

size_t ScopeReader::item(size_t k) {
    const size_t n = t_.size();
    TableReference ref;
    ref.scopeBegin = scopeBegin_;
    ref.scopeEnd = scopeEnd_;
    if (k < n && t_[k].is(u"LATERAL"))
        ++k;
    if (k >= n)
        return k;
    if (t_[k].isOp(u'(')) {
        const size_t close = groups_.closing(k, n);
        ref.derived = true;
        if (opensQuery(t_, k))
            ref.columns = selectListNames(t_, k + 1, close);
        k = close + 1;
    } else if (sql::isName(t_[k]) && !sql::isKeyword(t_[k])) {
        ref.name = dictionaryName(t_[k++]);
        while (k + 1 < n && t_[k].isOp(u'.') && sql::isName(t_[k + 1])) {
            ref.owner = ref.name;
            ref.name = dictionaryName(t_[k + 1]);
            k += 2;
        }
    } else {
        return k;
    }
    if (k < n && t_[k].is(u"AS"))
        ++k;
    if (k < n && isAlias(t_[k]))
        ref.alias = dictionaryName(t_[k++]);
    scope_.tables.push_back(std::move(ref));
    return k;
}

size_t ScopeReader::withQueries(size_t k) {
    const size_t n = t_.size();
    do {
        ++k;  // WITH, or the comma before the next
        if (k < n && t_[k].is(u"RECURSIVE"))
            ++k;
        if (k >= n || !sql::isName(t_[k]))
            return k;
        NamedQuery q{dictionaryName(t_[k++]), {}};
        if (k < n && t_[k].isOp(u'(')) {
            const size_t close = groups_.closing(k, n);
            for (size_t c = k + 1; c < close; ++c) {
                if (sql::isName(t_[c]))
                    q.columns << dictionaryName(t_[c]);
            }
            k = close + 1;
        }
        if (k < n && t_[k].is(u"AS"))
            ++k;
        if (k < n && t_[k].isOp(u'(')) {
            const size_t close = groups_.closing(k, n);
            if (q.columns.isEmpty() && opensQuery(t_, k))
                q.columns = selectListNames(t_, k + 1, close);
            k = close + 1;
        }
        scope_.withQueries.push_back(std::move(q));
    } while (k < n && t_[k].isOp(u','));
    return k;
}

StatementScope ScopeReader::read() {
    const size_t n = t_.size();
    const bool merge = n > 0 && t_[0].is(u"MERGE");
    std::vector<size_t> open;
    for (size_t i = 0; i < n; ++i) {
        const Token& k = t_[i];
        if (k.isOp(u'(')) {
            open.push_back(i);
        } else if (k.isOp(u')')) {
            if (!open.empty())
                open.pop_back();
        }
        if (open.empty()) {
            scopeBegin_ = 0;
            scopeEnd_ = INT_MAX;
        } else {
            const size_t close = groups_.closing(open.back(), n);
            scopeBegin_ = t_[open.back()].end;
            scopeEnd_ = close < n ? t_[close].begin : INT_MAX;
        }
        const Token* before = i > 0 ? &t_[i - 1] : nullptr;
        if (k.is(u"FROM")) {
            size_t at = item(i + 1);
            while (at < n && t_[at].isOp(u','))
                at = item(at + 1);
        } else if (k.is(u"JOIN") || k.is(u"APPLY") || (k.is(u"UPDATE") && i == 0) ||
                   (k.is(u"INTO") && before && (before->is(u"INSERT") || before->is(u"MERGE"))) ||
                   (k.is(u"USING") && merge)) {
            item(i + 1);
        } else if (k.is(u"WITH") && (i == 0 || (before && before->isOp(u'(')))) {
            withQueries(i);
        }
    }
    // A name the WITH clause gives is that query, not a table of the schema.
    for (TableReference& ref : scope_.tables) {
        if (const NamedQuery* q = ref.owner.isEmpty() ? scope_.withQuery(ref.name) : nullptr) {
            ref.derived = true;
            ref.columns = q->columns;
        }
    }
    return std::move(scope_);
}

}  // namespace

const TableReference* StatementScope::resolve(const QString& qualifier, int position) const {
    const TableReference* best = nullptr;
    for (const TableReference& ref : tables) {
        const bool named = ref.alias.isEmpty() ? ref.name == qualifier : ref.alias == qualifier;
        if (!named || position < ref.scopeBegin || position > ref.scopeEnd)
            continue;
        if (!best || ref.scopeEnd - ref.scopeBegin < best->scopeEnd - best->scopeBegin)
            best = &ref;
    }
    return best;
}

const NamedQuery* StatementScope::withQuery(const QString& name) const {
    for (const NamedQuery& q : withQueries) {
        if (q.name == name)
            return &q;
    }
    return nullptr;
}

StatementScope statementScope(const std::vector<Token>& t) {
    return ScopeReader(t).read();
}

QStringList selectListNames(const std::vector<Token>& t, size_t first, size_t last) {
    QStringList names;
    const size_t select = sql::findTopLevel(t, first, last, u"SELECT");
    if (select >= last)
        return names;
    size_t k = select + 1;
    while (k < last && sql::isOneOf(t[k], {u"DISTINCT", u"UNIQUE", u"ALL"}))
        ++k;
    const size_t from = sql::findTopLevel(t, k, last, u"FROM");
    for (const sql::Range& part : sql::splitTopLevel(t, k, from)) {
        if (part.empty() || t[part.last - 1].isOp(u'*'))
            continue;
        const Token& end = t[part.last - 1];
        const Token* before = part.size() > 1 ? &t[part.last - 2] : nullptr;
        const bool alias =
            before && sql::isName(end) &&
            (before->is(u"AS") || before->kind != sql::TokenKind::Op || before->isOp(u')'));
        names << (alias ? dictionaryName(end) : sql::columnHeading(t, part.first, part.last));
    }
    return names;
}

}  // namespace qv
