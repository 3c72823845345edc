#include "core/embedded/values/regexp.h"

#include "core/embedded/values/sqlfunctions.h"

#include <QRegularExpression>

#include <limits>
#include <optional>

namespace qv::embedded {

namespace {

using oracle::fault;
using oracle::resultText;

// A pattern compiled once per statement for as long as SQLite keeps it with the argument.
struct Compiled {
    QString pattern;
    QString match;
    QRegularExpression re;
};

// Oracle's pattern in PCRE2's terms: equivalence classes and collating elements as their
// character, and, with 'x', the blanks left out (PCRE2's own extended mode would also take #
// for a comment).
QString pcrePattern(const QString& oracle, bool dropBlanks) {
    QString out;
    out.reserve(oracle.size());
    bool inBrackets = false;
    for (qsizetype i = 0; i < oracle.size(); ++i) {
        const QChar c = oracle[i];
        if (c == u'\\' && i + 1 < oracle.size()) {
            out += c;
            out += oracle[++i];
            continue;
        }
        if (!inBrackets) {
            if (dropBlanks && c.isSpace())
                continue;
            out += c;
            if (c == u'[') {
                inBrackets = true;
                // A ']' first (after an optional '^') is a member, not the end.
                if (i + 1 < oracle.size() && oracle[i + 1] == u'^')
                    out += oracle[++i];
                if (i + 1 < oracle.size() && oracle[i + 1] == u']')
                    out += oracle[++i];
            }
            continue;
        }
        if (c == u'[' && i + 1 < oracle.size() &&
            (oracle[i + 1] == u'=' || oracle[i + 1] == u'.')) {
            const QChar kind = oracle[i + 1];
            const qsizetype end = oracle.indexOf(QString(kind) + u']', i + 2);
            if (end > i + 2) {
                for (QChar member : QStringView(oracle).mid(i + 2, end - i - 2)) {
                    if (member == u'\\' || member == u']' || member == u'^' || member == u'-' ||
                        member == u'[')
                        out += u'\\';
                    out += member;
                }
                i = end + 1;
                continue;
            }
        }
        if (c == u'[' && i + 1 < oracle.size() && oracle[i + 1] == u':') {
            const qsizetype end = oracle.indexOf(QStringLiteral(":]"), i + 2);
            if (end > 0) {
                out += QStringView(oracle).mid(i, end + 2 - i);
                i = end + 1;
                continue;
            }
        }
        out += c;
        if (c == u']')
            inBrackets = false;
    }
    return out;
}

// Oracle's error for a pattern PCRE2 cannot compile, by what PCRE2 says of it.
[[noreturn]] void patternError(const QString& why) {
    struct Known {
        const char* words;
        int code;
        const char* oracle;
    };
    static const Known kKnown[] = {
        {"parenthes", 12725, "unmatched parentheses in regular expression"},
        {"missing terminating ]", 12726, "unmatched bracket in regular expression"},
        {"non-existent subpattern", 12727, "invalid back reference in regular expression"},
        {"range out of order", 12728, "invalid range in regular expression"},
        {"POSIX", 12729, "invalid character class in regular expression"},
        {"quantifier", 12732, "invalid interval value in regular expression"},
    };
    for (const Known& k : kKnown) {
        if (why.contains(QLatin1StringView(k.words)))
            fault(QStringLiteral("ORA-%1: %2").arg(k.code).arg(QLatin1StringView(k.oracle)));
    }
    fault(QStringLiteral("ORA-12722: regular expression internal error (%1)").arg(why));
}

// A match the regular expression engine gave up on. PCRE2 stops a match that backtracks past its
// match limit, and QRegularExpression then reports no match, which would quietly drop a row from
// a WHERE or miscount; the statement fails instead. The number is ORA-12724, of Oracle's own
// family of regular expression errors: Oracle raises it only for a compiled expression it finds
// corrupt, which no statement of a user's can bring about, so it tells this limit apart from
// every error Oracle gives (ORA-12723, "too complex", is what Oracle says of a pattern it cannot
// parse, and the engine reads patterns that PCRE2 compiles).
[[noreturn]] void matchLimitReached() {
    fault(
        "ORA-12724: regular expression match abandoned (the engine's regular expression match "
        "limit was reached: PCRE2 backtracked past its limit for one match; simplify the "
        "pattern)");
}

// The match of `re` in `s` from `from`, failing at the match limit.
QRegularExpressionMatch matchFrom(const QRegularExpression& re, const QString& s, qsizetype from) {
    QRegularExpressionMatch m = re.match(s, from);
    if (!m.isValid())
        matchLimitReached();
    return m;
}

// Calls `each` with every match of `re` in `s` from `from` on, until it returns false; fails at
// the match limit, and when the statement is stopped (a long text may hold millions of matches).
template <typename Each>
void forEachMatch(oracle::ResultBudget& budget, const QRegularExpression& re, const QString& s,
                  qsizetype from, Each each) {
    QRegularExpressionMatchIterator it = re.globalMatch(s, from);
    bool emptyAtEnd = false;
    while (it.hasNext()) {
        budget.step();
        QRegularExpressionMatch m = it.next();
        emptyAtEnd = m.capturedLength() == 0 && m.capturedEnd() == s.size();
        if (!each(std::move(m)))
            return;
    }
    // The iterator ends invalid also after an empty match at the very end, where the next try
    // would start past the text.
    if (!it.isValid() && !emptyAtEnd)
        matchLimitReached();
}

QRegularExpression compiled(sqlite3_context* ctx, int patternArg, const QString& pattern,
                            const QString& match) {
    if (const auto* kept = static_cast<const Compiled*>(sqlite3_get_auxdata(ctx, patternArg));
        kept && kept->pattern == pattern && kept->match == match)
        return kept->re;
    // Oracle's limit on a pattern.
    constexpr qsizetype kMaxPatternBytes = 512;
    if (pattern.toUtf8().size() > kMaxPatternBytes)
        fault("ORA-12733: regular expression too long");
    QRegularExpression::PatternOptions options = QRegularExpression::UseUnicodePropertiesOption;
    bool dropBlanks = false;
    for (QChar m : match) {
        switch (m.unicode()) {
            case u'i':
                options |= QRegularExpression::CaseInsensitiveOption;
                break;
            case u'c':
                options &= ~QRegularExpression::CaseInsensitiveOption;
                break;
            case u'n':
                options |= QRegularExpression::DotMatchesEverythingOption;
                break;
            case u'm':
                options |= QRegularExpression::MultilineOption;
                break;
            case u'x':
                dropBlanks = true;
                break;
            default:
                fault("ORA-01760: illegal argument for function");
        }
    }
    QRegularExpression re(pcrePattern(pattern, dropBlanks), options);
    if (!re.isValid())
        patternError(re.errorString());
    // Kept with a constant pattern for the rest of the statement; SQLite may also let it go at
    // once, so the copy returned is the caller's own.
    sqlite3_set_auxdata(ctx, patternArg, new Compiled{pattern, match, re},
                        [](void* p) { delete static_cast<Compiled*>(p); });
    return re;
}

// The arguments every function reads, or nullopt when the result is NULL for a NULL source
// or pattern.
struct Call {
    QString source;
    QRegularExpression re;
};

std::optional<Call> readCall(sqlite3_context* ctx, sqlite3_value** argv, int matchArg, int argc) {
    // Oracle's empty text is NULL, so an empty pattern or source is one.
    const auto source = oracle::textArgument(argv[0]);
    const auto pattern = oracle::textArgument(argv[1]);
    if (!source || !pattern)
        return std::nullopt;
    const QString match =
        matchArg < argc ? oracle::textArgument(argv[matchArg]).value_or(QString()) : QString();
    return Call{*source, compiled(ctx, 1, *pattern, match)};
}

// An optional whole-number argument, at least `least`; ORA-01428 below.
int64_t countArgument(int argc, sqlite3_value** argv, int at, int64_t fallback, int64_t least,
                      int64_t most = std::numeric_limits<int64_t>::max()) {
    if (at >= argc || sqlite3_value_type(argv[at]) == SQLITE_NULL)
        return fallback;
    const auto v = oracle::numberArgument(argv[at]);
    const double d = v->number();
    if (!(d >= double(least) && d <= double(most)))
        oracle::outOfRange(oracle::numberText(*v));
    return v->kind == oracle::Value::Integer ? v->integer : int64_t(d);
}

// Oracle counts positions in characters, QString in UTF-16 units: where the character at
// `position` (from 1) starts, -1 when the text has fewer than position - 1 characters.
qsizetype unitOffset(const QString& s, int64_t position) {
    qsizetype at = 0;
    for (int64_t k = 1; k < position; ++k) {
        if (at >= s.size())
            return -1;
        at += s[at].isHighSurrogate() && at + 1 < s.size() ? 2 : 1;
    }
    return at;
}

// The characters in the first `units` UTF-16 units of `s`.
int64_t charactersIn(const QString& s, qsizetype units) {
    int64_t n = 0;
    for (qsizetype at = 0; at < units; ++n)
        at += s[at].isHighSurrogate() && at + 1 < s.size() ? 2 : 1;
    return n;
}

// The `occurrence`-th match at or after `position` (1-based), if any.
std::optional<QRegularExpressionMatch> nthMatch(sqlite3_context* ctx, const Call& call,
                                                int64_t position, int64_t occurrence) {
    const qsizetype from = unitOffset(call.source, position);
    if (from < 0)
        return std::nullopt;
    oracle::ResultBudget budget(ctx);
    std::optional<QRegularExpressionMatch> found;
    int64_t k = 0;
    forEachMatch(budget, call.re, call.source, from, [&](QRegularExpressionMatch m) {
        if (++k == occurrence)
            found = std::move(m);
        return !found;
    });
    return found;
}

void regexpLike(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const auto call = readCall(ctx, argv, 2, argc);
    if (!call)
        return sqlite3_result_null(ctx);
    sqlite3_result_int(ctx, matchFrom(call->re, call->source, 0).hasMatch() ? 1 : 0);
}

void regexpSubstr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const auto call = readCall(ctx, argv, 4, argc);
    const int64_t position = countArgument(argc, argv, 2, 1, 1);
    const int64_t occurrence = countArgument(argc, argv, 3, 1, 1);
    const int64_t group = countArgument(argc, argv, 5, 0, 0, 9);
    if (!call)
        return sqlite3_result_null(ctx);
    const auto m = nthMatch(ctx, *call, position, occurrence);
    if (!m || group > call->re.captureCount())
        return sqlite3_result_null(ctx);
    resultText(ctx, m->captured(int(group)));
}

void regexpInstr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const auto call = readCall(ctx, argv, 5, argc);
    const int64_t position = countArgument(argc, argv, 2, 1, 1);
    const int64_t occurrence = countArgument(argc, argv, 3, 1, 1);
    const int64_t after = countArgument(argc, argv, 4, 0, 0, 1);
    const int64_t group = countArgument(argc, argv, 6, 0, 0, 9);
    if (!call)
        return sqlite3_result_null(ctx);
    const auto m = nthMatch(ctx, *call, position, occurrence);
    if (!m || group > call->re.captureCount() || !m->hasCaptured(int(group)))
        return sqlite3_result_int(ctx, 0);
    const qsizetype at = after ? m->capturedEnd(int(group)) : m->capturedStart(int(group));
    sqlite3_result_int64(ctx, charactersIn(call->source, at) + 1);
}

// `replacement` for match `m`: \1 to \9 stand for its subexpressions, \\ for one backslash.
QString expanded(const QString& replacement, const QRegularExpressionMatch& m) {
    QString out;
    for (qsizetype i = 0; i < replacement.size(); ++i) {
        const QChar c = replacement[i];
        if (c == u'\\' && i + 1 < replacement.size()) {
            const QChar next = replacement[i + 1];
            if (next.isDigit() && next != u'0') {
                out += m.captured(next.digitValue());
                ++i;
                continue;
            }
            if (next == u'\\') {
                out += c;
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

void regexpReplace(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const int64_t position = countArgument(argc, argv, 3, 1, 1);
    const int64_t occurrence = countArgument(argc, argv, 4, 0, 0);
    if (!oracle::textArgument(argv[1])) {
        // Nothing to look for: the source as it is.
        return sqlite3_result_value(ctx, argv[0]);
    }
    const auto call = readCall(ctx, argv, 5, argc);
    if (!call)
        return sqlite3_result_null(ctx);
    const QString replacement =
        argc > 2 ? oracle::textArgument(argv[2]).value_or(QString()) : QString();
    const QString& source = call->source;
    const qsizetype from = unitOffset(source, position);
    if (from < 0)
        return resultText(ctx, source);
    // Built within the connection's value limit: a replacement may be thousands of times longer
    // than what it replaces.
    oracle::ResultBudget budget(ctx);
    QString out = source.left(from);
    budget.grow(uint64_t(from));
    qsizetype copied = from;
    int64_t k = 0;
    forEachMatch(budget, call->re, source, from, [&](const QRegularExpressionMatch& m) {
        if (occurrence != 0 && ++k != occurrence)
            return true;
        const QString with = expanded(replacement, m);
        budget.grow(uint64_t(m.capturedStart() - copied + with.size()));
        out += QStringView(source).mid(copied, m.capturedStart() - copied);
        out += with;
        copied = m.capturedEnd();
        return occurrence == 0;
    });
    out += QStringView(source).mid(copied);
    budget.grow(uint64_t(source.size() - copied));
    resultText(ctx, out);
}

void regexpCount(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const auto call = readCall(ctx, argv, 3, argc);
    const int64_t position = countArgument(argc, argv, 2, 1, 1);
    if (!call)
        return sqlite3_result_null(ctx);
    int64_t n = 0;
    if (const qsizetype from = unitOffset(call->source, position); from >= 0) {
        oracle::ResultBudget budget(ctx);
        forEachMatch(budget, call->re, call->source, from, [&n](const QRegularExpressionMatch&) {
            ++n;
            return true;
        });
    }
    sqlite3_result_int64(ctx, n);
}

const oracle::FunctionSpec kFunctions[] = {
    {"regexp_like", 2, 3, oracle::guarded<regexpLike>},
    {"regexp_substr", 2, 6, oracle::guarded<regexpSubstr>},
    {"regexp_instr", 2, 7, oracle::guarded<regexpInstr>},
    {"regexp_replace", 2, 6, oracle::guarded<regexpReplace>},
    {"regexp_count", 2, 4, oracle::guarded<regexpCount>},
};

}  // namespace

int registerRegexpFunctions(sqlite3* db) {
    return oracle::registerFunctions(db, kFunctions);
}

}  // namespace qv::embedded
