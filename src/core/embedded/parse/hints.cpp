#include "core/embedded/parse/hints.h"

#include "core/sql/tokenlist.h"

#include <QSet>

namespace qv::embedded {

namespace {

using sql::Token;
using sql::TokenKind;

// The hints of Oracle's SQL Language Reference that a statement may carry; the engine obeys
// some (steering.h) and reports the others as unused.
const QSet<QString>& knownHints() {
    static const QSet<QString> names = [] {
        QSet<QString> s;
        for (const char* n : {"ALL_ROWS",
                              "APPEND",
                              "APPEND_VALUES",
                              "CACHE",
                              "CARDINALITY",
                              "CHANGE_DUPKEY_ERROR_INDEX",
                              "CHOOSE",
                              "CLUSTER",
                              "CLUSTERING",
                              "CONTAINERS",
                              "CURSOR_SHARING_EXACT",
                              "DISABLE_PARALLEL_DML",
                              "DRIVING_SITE",
                              "DYNAMIC_SAMPLING",
                              "ENABLE_PARALLEL_DML",
                              "FACT",
                              "FIRST_ROWS",
                              "FRESH_MV",
                              "FULL",
                              "GATHER_OPTIMIZER_STATISTICS",
                              "GATHER_PLAN_STATISTICS",
                              "GROUPING",
                              "HASH",
                              "IGNORE_ROW_ON_DUPKEY_INDEX",
                              "INDEX",
                              "INDEX_ASC",
                              "INDEX_COMBINE",
                              "INDEX_DESC",
                              "INDEX_FFS",
                              "INDEX_JOIN",
                              "INDEX_SS",
                              "INDEX_SS_ASC",
                              "INDEX_SS_DESC",
                              "INLINE",
                              "INMEMORY",
                              "LEADING",
                              "MATERIALIZE",
                              "MERGE",
                              "MODEL_MIN_ANALYSIS",
                              "MONITOR",
                              "NATIVE_FULL_OUTER_JOIN",
                              "NOAPPEND",
                              "NOCACHE",
                              "NO_CLUSTERING",
                              "NO_EXPAND",
                              "NO_FACT",
                              "NO_GATHER_OPTIMIZER_STATISTICS",
                              "NO_INDEX",
                              "NO_INDEX_FFS",
                              "NO_INDEX_SS",
                              "NO_INMEMORY",
                              "NO_MERGE",
                              "NO_MONITOR",
                              "NO_NATIVE_FULL_OUTER_JOIN",
                              "NO_PARALLEL",
                              "NO_PARALLEL_INDEX",
                              "NO_PQ_CONCURRENT_UNION",
                              "NO_PQ_SKEW",
                              "NO_PUSH_PRED",
                              "NO_PUSH_SUBQ",
                              "NO_PX_JOIN_FILTER",
                              "NO_QUERY_TRANSFORMATION",
                              "NO_RESULT_CACHE",
                              "NO_REWRITE",
                              "NO_STAR_TRANSFORMATION",
                              "NO_STATEMENT_QUEUING",
                              "NO_SWAP_JOIN_INPUTS",
                              "NO_UNNEST",
                              "NO_USE_BAND",
                              "NO_USE_CUBE",
                              "NO_USE_HASH",
                              "NO_USE_MERGE",
                              "NO_USE_NL",
                              "NO_XML_QUERY_REWRITE",
                              "NO_ZONEMAP",
                              "OPTIMIZER_FEATURES_ENABLE",
                              "OPT_PARAM",
                              "ORDERED",
                              "PARALLEL",
                              "PARALLEL_INDEX",
                              "PQ_CONCURRENT_UNION",
                              "PQ_DISTRIBUTE",
                              "PQ_FILTER",
                              "PQ_SKEW",
                              "PUSH_PRED",
                              "PUSH_SUBQ",
                              "PX_JOIN_FILTER",
                              "QB_NAME",
                              "RESULT_CACHE",
                              "RETRY_ON_ROW_CHANGE",
                              "REWRITE",
                              "RULE",
                              "STAR_TRANSFORMATION",
                              "STATEMENT_QUEUING",
                              "SWAP_JOIN_INPUTS",
                              "UNNEST",
                              "USE_BAND",
                              "USE_CONCAT",
                              "USE_CUBE",
                              "USE_HASH",
                              "USE_MERGE",
                              "USE_NL",
                              "USE_NL_WITH_INDEX"})
            s.insert(QString::fromLatin1(n));
        return s;
    }();
    return names;
}

// The text inside the hint comment `t`.
QString hintBody(const Token& t) {
    const QStringView s = t.text;
    if (s.startsWith(u"/*+"))
        return s.mid(3, s.size() - (s.endsWith(u"*/") ? 5 : 3)).toString();
    return s.mid(3).toString();  // --+
}

// The hints of one comment's text.
std::vector<Hint> readBody(const QString& body) {
    std::vector<Hint> hints;
    const std::vector<Token> t = sql::tokenize(body);
    size_t i = 0;
    while (i < t.size()) {
        Hint h;
        if (t[i].kind != TokenKind::Word) {
            // Not where a hint's name stands: Oracle reads the rest as no hint.
            h.name = t[i].text.toString().toUpper();
            h.text = h.name;
            h.malformed = true;
            hints.push_back(h);
            break;
        }
        h.name = t[i].text.toString().toUpper();
        size_t end = i + 1;
        if (end < t.size() && t[end].isOp(u'(')) {
            const size_t close = sql::closing(t, end, t.size());
            if (close >= t.size()) {
                h.malformed = true;
                end = t.size();
            } else {
                // Pieces written together are one argument: an alias with its query block
                // (e@SEL$1), a query block (@SEL$1).
                bool joined = false;
                for (size_t k = end + 1; k < close; ++k) {
                    if (t[k].isOp(u',')) {
                        joined = false;
                        continue;
                    }
                    if (joined && t[k - 1].end == t[k].begin)
                        h.args.last() += t[k].text.toString();
                    else
                        h.args << t[k].text.toString();
                    joined = true;
                }
                end = close + 1;
            }
        }
        h.text = body.mid(t[i].begin, t[end - 1].end - t[i].begin);
        if (!isKnownHint(h.name))
            h.malformed = true;
        if (h.malformed)
            h.text = h.name;
        hints.push_back(h);
        i = end;
    }
    return hints;
}

}  // namespace

bool isKnownHint(const QString& name) {
    return knownHints().contains(name);
}

std::vector<Hint> readHints(const QString& sql, const std::vector<Token>& tokens) {
    if (tokens.empty() ||
        !sql::isOneOf(tokens[0], {u"SELECT", u"UPDATE", u"DELETE", u"INSERT", u"MERGE"}))
        return {};
    // Only the comments between the first word and the next token can hold it.
    const int from = tokens[0].end;
    const int to = tokens.size() > 1 ? tokens[1].begin : int(sql.size());
    const QStringView gap = QStringView(sql).mid(from, to - from);
    if (!gap.contains(u"/*+") && !gap.contains(u"--+"))
        return {};
    const QString comments = gap.toString();
    const std::vector<Token> t = sql::lex(comments);
    if (t.empty() || t[0].kind != TokenKind::Hint)
        return {};
    return readBody(hintBody(t[0]));
}

QString firstQueryBlock(const std::vector<Token>& t) {
    if (t.empty())
        return {};
    if (t[0].is(u"SELECT"))
        return QStringLiteral("SEL$1");
    if (t[0].is(u"UPDATE"))
        return QStringLiteral("UPD$1");
    if (t[0].is(u"DELETE"))
        return QStringLiteral("DEL$1");
    if (t[0].is(u"INSERT"))
        return QStringLiteral("INS$1");
    if (t[0].is(u"MERGE"))
        return QStringLiteral("MRG$1");
    return {};
}

}  // namespace qv::embedded
