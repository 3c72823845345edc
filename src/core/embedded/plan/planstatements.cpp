#include "core/embedded/plan/planstatements.h"

#include "core/embedded/plan/planpredicates.h"
#include "core/embedded/plan/plansteps.h"
#include "core/embedded/translate/merge.h"
#include "core/sql/tokenlist.h"

#include <QStringList>

namespace qv::embedded {

namespace {

using sql::isName;
using sql::Token;

size_t endOf(const std::vector<Token>& t) {
    size_t end = t.size();
    while (end > 0 && t[end - 1].isOp(u';'))
        --end;
    return end;
}

// [schema.]name from `i`: the last name, unquoted, and `i` past it; empty when there is none.
QString qualifiedName(const std::vector<Token>& t, size_t& i, size_t end) {
    if (i >= end || !isName(t[i]))
        return {};
    QString name = sql::unquoted(t[i++]);
    while (i + 1 < end && t[i].isOp(u'.') && isName(t[i + 1])) {
        name = sql::unquoted(t[i + 1]);
        i += 2;
    }
    return name;
}

// CREATE [UNIQUE | BITMAP] INDEX [schema.]i ON [schema.]t [alias] (key, ...) ...: the index and
// the query that reads its keys.
StatementFrame createIndex(const QString& sql, const std::vector<Token>& t, size_t i, size_t end) {
    StatementFrame f;
    f.kind = StatementFrame::Kind::CreateIndex;
    f.unique = t[1].is(u"UNIQUE");
    f.object = qualifiedName(t, ++i, end);
    if (f.object.isEmpty() || i >= end || !t[i].is(u"ON"))
        return f;
    const size_t tableFirst = ++i;
    if (qualifiedName(t, i, end).isEmpty())
        return f;
    const QString table = sql::textOf(sql, t, tableFirst, i);
    if (i < end && isName(t[i]) && !t[i].isOp(u'('))
        ++i;  // an alias
    if (i >= end || !t[i].isOp(u'('))
        return f;
    const size_t close = sql::closing(t, i, end);
    QStringList keys;
    for (const sql::Range& key : sql::splitTopLevel(t, i + 1, close, u',')) {
        size_t last = key.last;
        // The order of a key is the index's, not the rows'.
        if (last > key.first + 1 && sql::isOneOf(t[last - 1], {u"ASC", u"DESC"}))
            --last;
        if (last > key.first)
            keys << sql::textOf(sql, t, key.first, last);
    }
    if (!keys.isEmpty())
        f.query = QStringLiteral("SELECT %1 FROM %2").arg(keys.join(u", "), table);
    return f;
}

// CREATE [GLOBAL TEMPORARY | PRIVATE TEMPORARY] TABLE [schema.]t [(...)] [...] [AS query].
StatementFrame createTable(const QString& sql, const std::vector<Token>& t, size_t i, size_t end) {
    StatementFrame f;
    f.kind = StatementFrame::Kind::CreateTable;
    f.object = qualifiedName(t, ++i, end);
    const size_t as = sql::findTopLevel(t, i, end, u"AS");
    if (as + 1 < end) {
        size_t q = as + 1;
        while (q < end && t[q].isOp(u'('))
            ++q;
        if (q < end && (t[q].is(u"SELECT") || t[q].is(u"WITH")))
            f.query = sql::textOf(sql, t, as + 1, end);
    }
    return f;
}

}  // namespace

StatementFrame statementFrame(const QString& statement, const std::vector<Token>& t) {
    StatementFrame f;
    const size_t end = endOf(t);
    if (end == 0)
        return f;
    const Token& first = t[0];
    if (first.isOp(u'(') || sql::isOneOf(first, {u"SELECT", u"WITH", u"INSERT", u"UPDATE",
                                                 u"DELETE", u"VALUES", u"REPLACE"}))
        return f;
    if (first.is(u"MERGE")) {
        f.kind = StatementFrame::Kind::Merge;
        try {
            const MergePlan merge = planMerge(statement, t);
            const std::vector<Token> target = sql::tokenize(merge.target);
            size_t i = 0;
            f.object = qualifiedName(target, i, target.size());
            f.query = merge.joined;
        } catch (...) {
            // What cannot be read is drawn without the plan of its join; running it tells why.
        }
        return f;
    }
    if (first.is(u"CREATE") && end > 2) {
        size_t i = 1;
        if (sql::isOneOf(t[i], {u"UNIQUE", u"BITMAP"}))
            ++i;
        if (t[i].is(u"INDEX"))
            return createIndex(statement, t, i, end);
        i = 1;
        if (sql::isOneOf(t[i], {u"GLOBAL", u"PRIVATE"}) && i + 1 < end && t[i + 1].is(u"TEMPORARY"))
            i += 2;
        if (i < end && t[i].is(u"TABLE"))
            return createTable(statement, t, i, end);
    }
    f.kind = StatementFrame::Kind::Unexplainable;
    return f;
}

namespace plan {

std::vector<PlanRow> Builder::framedRows() {
    using Kind = StatementFrame::Kind;
    // The query's rows go into what the statement builds: they are not the statement's.
    context_ = {Measure::constant(1), false, Range{0, tokens_.size()}, false, Range{}};
    std::vector<Step> below;
    if (!frame_.query.isEmpty())
        below.push_back(block(roots_, context_.text));
    // The rows a new table is made of stop at the query's row limit.
    if (frame_.kind == Kind::CreateTable && !below.empty())
        below.back() = rowLimited(below.back(), context_.text);
    auto line = [&](const char* operation, const char* options, std::vector<Step> children) {
        return blockStep(QString::fromLatin1(operation), QString::fromLatin1(options),
                         std::move(children));
    };
    Step root;
    switch (frame_.kind) {
        case Kind::CreateIndex: {
            Step build = named(line("INDEX BUILD", frame_.unique ? "UNIQUE" : "NON UNIQUE",
                                    {line("SORT", "CREATE INDEX", std::move(below))}),
                               frame_.object);
            root = line("CREATE INDEX STATEMENT", "", {build});
            break;
        }
        case Kind::CreateTable:
            if (below.empty()) {
                root = line("CREATE TABLE STATEMENT", "", {});
                root.cost = 0;
            } else {
                Step load = named(
                    line("LOAD AS SELECT", "", {line("OPTIMIZER STATISTICS GATHERING", "", below)}),
                    frame_.object);
                load.rows = Measure::constant(0);
                root = line("CREATE TABLE STATEMENT", "", {load});
            }
            break;
        default: {
            Step merge = named(line("MERGE", "", {line("VIEW", "", below)}), frame_.object);
            merge.rows = Measure::constant(0);
            root = line("MERGE STATEMENT", "", {merge});
            root.rows = Measure::constant(0);  // what it writes it passes on to none
            break;
        }
    }
    return finished(root);
}

Step Builder::sequenced(Step body, bool rowless) {
    QStringList names;
    for (size_t k = 2; k < tokens_.size(); ++k) {
        if (tokens_[k].is(u"NEXTVAL") && tokens_[k - 1].isOp(u'.') && isName(tokens_[k - 2]) &&
            !names.contains(sql::unquoted(tokens_[k - 2])))
            names << sql::unquoted(tokens_[k - 2]);
    }
    // The first named is nearest the statement's line, as Oracle draws them.
    for (qsizetype i = names.size(); i-- > 0;) {
        std::vector<Step> below;
        if (!rowless || i + 1 < names.size())
            below.push_back(body);
        Step sequence = named(blockStep(QStringLiteral("SEQUENCE"), QString(), below), names[i]);
        sequence.rows = below.empty() ? Measure::constant(1) : body.rows;
        body = sequence;
    }
    return body;
}

}  // namespace plan

}  // namespace qv::embedded
