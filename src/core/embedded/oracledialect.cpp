#include "core/embedded/oracledialect.h"

#include "core/embedded/oraclefunctions.h"
#include "core/embedded/sqlitecall.h"

#include <QDate>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <map>
#include <optional>

using namespace Qt::StringLiterals;

namespace qv::embedded {

namespace {

using Range = std::pair<size_t, size_t>;
constexpr size_t kNone = size_t(-1);

const QString kSysdate = QStringLiteral("(replace(datetime('now', 'localtime'), ' 00:00:00', ''))");
const QString kSystimestamp = QStringLiteral("(strftime('%Y-%m-%d %H:%M:%f', 'now', 'localtime'))");
const QString kRowNumber = QStringLiteral("row_number() OVER ()");
const QString kDual = QStringLiteral("(SELECT 'X' AS DUMMY)");
const QString kPlsql = QStringLiteral(
    "the embedded engine runs no PL/SQL; of PL/SQL it understands only calls of "
    "DBMS_STATS.GATHER_TABLE_STATS, GATHER_INDEX_STATS, GATHER_SCHEMA_STATS and "
    "GATHER_DATABASE_STATS");
const QString kRownumForms = QStringLiteral(
    "ROWNUM is understood in the select list, in ORDER BY, and as a WHERE condition ROWNUM <= n, "
    "ROWNUM < n or ROWNUM = 1 joined to the others by AND");

[[noreturn]] void refuse(const QString& why) {
    throw oracleError(900, QStringLiteral("ORA-00900: invalid SQL statement (%1)").arg(why));
}

bool isName(const Token& t) {
    return t.kind == TokenKind::Word || t.kind == TokenKind::Quoted;
}

bool isOneOf(const Token& t, std::initializer_list<const char16_t*> words) {
    for (const char16_t* w : words) {
        if (t.is(QStringView(w)))
            return true;
    }
    return false;
}

// Words that never stand for a value, so an arithmetic chain never runs through them and they
// are never taken for an alias.
bool isKeyword(const Token& t) {
    static const QSet<QString> kWords = {
        u"SELECT"_s,    u"FROM"_s,    u"WHERE"_s,     u"GROUP"_s,     u"BY"_s,      u"HAVING"_s,
        u"ORDER"_s,     u"UNION"_s,   u"INTERSECT"_s, u"EXCEPT"_s,    u"MINUS"_s,   u"ALL"_s,
        u"DISTINCT"_s,  u"UNIQUE"_s,  u"AS"_s,        u"ON"_s,        u"USING"_s,   u"JOIN"_s,
        u"INNER"_s,     u"LEFT"_s,    u"RIGHT"_s,     u"FULL"_s,      u"OUTER"_s,   u"CROSS"_s,
        u"NATURAL"_s,   u"AND"_s,     u"OR"_s,        u"NOT"_s,       u"IS"_s,      u"IN"_s,
        u"LIKE"_s,      u"GLOB"_s,    u"REGEXP"_s,    u"MATCH"_s,     u"BETWEEN"_s, u"ESCAPE"_s,
        u"EXISTS"_s,    u"WHEN"_s,    u"THEN"_s,      u"ELSE"_s,      u"END"_s,     u"ASC"_s,
        u"DESC"_s,      u"NULLS"_s,   u"LIMIT"_s,     u"OFFSET"_s,    u"FETCH"_s,   u"WITH"_s,
        u"START"_s,     u"CONNECT"_s, u"NOCYCLE"_s,   u"INTO"_s,      u"VALUES"_s,  u"SET"_s,
        u"DEFAULT"_s,   u"COLLATE"_s, u"OVER"_s,      u"PARTITION"_s, u"FILTER"_s,  u"WINDOW"_s,
        u"RETURNING"_s, u"ISNULL"_s,  u"NOTNULL"_s,   u"SIBLINGS"_s};
    return t.kind == TokenKind::Word && kWords.contains(t.text.toString().toUpper());
}

bool isAggregate(const Token& t) {
    static const QSet<QString> kWords = {
        u"COUNT"_s,      u"SUM"_s,         u"AVG"_s,     u"MIN"_s,
        u"MAX"_s,        u"TOTAL"_s,       u"MEDIAN"_s,  u"GROUP_CONCAT"_s,
        u"STRING_AGG"_s, u"LISTAGG"_s,     u"STDDEV"_s,  u"VARIANCE"_s,
        u"STDDEV_POP"_s, u"STDDEV_SAMP"_s, u"VAR_POP"_s, u"VAR_SAMP"_s};
    return t.kind == TokenKind::Word && kWords.contains(t.text.toString().toUpper());
}

bool isTypeName(const Token& t) {
    return isOneOf(t, {u"VARCHAR2", u"NVARCHAR2", u"VARCHAR", u"CHAR", u"NCHAR", u"CHARACTER",
                       u"NUMBER", u"NUMERIC", u"DECIMAL", u"DEC", u"FLOAT", u"TIMESTAMP", u"RAW"});
}

bool isArithmetic(const Token& t) {
    if (t.kind != TokenKind::Op)
        return false;
    return t.text == u"+" || t.text == u"-" || t.text == u"*" || t.text == u"/" || t.text == u"%" ||
           t.text == u"||";
}

bool isSetOperator(const Token& t) {
    return isOneOf(t, {u"UNION", u"INTERSECT", u"EXCEPT", u"MINUS"});
}

// What may follow a query in parentheses and still belong to the query (its sort and limit).
bool isQueryTail(const Token& t) {
    return isOneOf(t, {u"ORDER", u"FETCH", u"OFFSET", u"LIMIT"});
}

QString unquoted(const Token& t) {
    const QChar open = t.text.front();
    const QString inner = t.text.mid(1, t.text.size() - 2).toString();
    if (open == u'[')
        return inner;
    return QString(inner).replace(QString(2, open), QString(open));
}

QString quotedName(const QString& name) {
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

[[noreturn]] void dateError(int code, const char* words) {
    throw oracleError(
        code,
        QStringLiteral("ORA-%1: %2").arg(code, 5, 10, QChar(u'0')).arg(QLatin1StringView(words)));
}

// DATE 'YYYY-MM-DD' or TIMESTAMP 'YYYY-MM-DD HH24:MI:SS[.FF]' as the stored text.
QString dateLiteral(bool timestamp, const QString& value) {
    static const QRegularExpression kValue(QStringLiteral(
        R"(^\s*(\d{1,4})-(\d{1,2})-(\d{1,2})(?:\s+(\d{1,2}):(\d{1,2})(?::(\d{1,2})(?:\.(\d{1,9}))?)?)?\s*$)"));
    const QRegularExpressionMatch m = kValue.match(value);
    if (!m.hasMatch() || (!timestamp && m.hasCaptured(4)))
        dateError(1861, "literal does not match format string");
    const int year = m.captured(1).toInt(), month = m.captured(2).toInt();
    const int day = m.captured(3).toInt();
    if (year == 0)
        dateError(1841, "(full) year must be between -4713 and +9999, and not be 0");
    if (month < 1 || month > 12)
        dateError(1843, "not a valid month");
    const QDate date(year, month, day);
    if (day < 1 || day > 31)
        dateError(1847, "day of month must be between 1 and last day of month");
    if (!date.isValid())
        dateError(1839, "date not valid for month specified");
    const int hour = m.captured(4).toInt(), minute = m.captured(5).toInt();
    const int second = m.captured(6).toInt();
    if (hour > 23)
        dateError(1850, "hour must be between 0 and 23");
    if (minute > 59)
        dateError(1851, "minutes must be between 0 and 59");
    if (second > 59)
        dateError(1852, "seconds must be between 0 and 59");
    const StoredDate d{date.toJulianDay(), hour * 3600 + minute * 60 + second,
                       m.captured(7).leftJustified(9, u'0').toInt()};
    return u'\'' + storedDateText(d, timestamp) + u'\'';
}

class Translator {
  public:
    Translator(const QString& sql, const std::vector<Token>& tokens) : sql_(sql), t_(tokens) {}

    QString run();

  private:
    struct Piece {
        QString text;
        size_t next;
    };
    enum ClauseKind {
        kFrom,
        kWhere,
        kGroup,
        kHaving,
        kStart,
        kConnect,
        kOrder,
        kOffset,
        kFetch,
        kLimit,
        kWindow
    };
    struct Clause {
        ClauseKind kind;
        size_t at;    // the keyword
        size_t body;  // past the keyword(s)
        size_t end;
    };

    QString gap(size_t before, size_t at) const;
    QString original(size_t first, size_t last) const;
    size_t closing(size_t open, size_t last) const;
    size_t caseEnd(size_t at, size_t last) const;
    std::vector<Range> split(size_t first, size_t last) const;
    size_t findWord(size_t first, size_t last, QStringView word) const;
    bool startsQuery(size_t i, size_t last) const;
    bool startsOperand(size_t i, size_t last) const;
    bool mentions(size_t first, size_t last, QStringView word) const;
    bool hasAggregate(size_t first, size_t last) const;
    size_t dualEnd(size_t at, size_t last) const;
    bool isDualClause(size_t first, size_t last) const;

    QString render(size_t first, size_t last);
    QString query(size_t first, size_t last);
    QString compound(size_t first, size_t last);
    QString segment(size_t first, size_t last, bool member);
    QString block(size_t first, size_t last, bool member);
    QString selectList(size_t first, size_t last);
    QString item(size_t first, size_t last);
    QString heading(size_t first, size_t last) const;
    QString tail(size_t first, size_t last);
    QString limitClause(size_t first, size_t last);
    QString rownumLimit(size_t first, size_t last);
    std::vector<Range> conjuncts(size_t first, size_t last) const;
    void markDuals(size_t first, size_t last);
    Piece chain(size_t i, size_t last);
    Piece operand(size_t i, size_t last);
    Piece primary(size_t i, size_t last);
    Piece call(size_t nameFirst, size_t open, size_t last);
    std::optional<Piece> oracleType(size_t nameAt, size_t last);
    QString cast(size_t first, size_t last);
    QString extract(size_t first, size_t last);
    std::optional<QString> special(const Token& t) const;

    QString gatherTarget(size_t first, size_t last) const;
    QString plsqlBlock(size_t end) const;
    QString analyze(size_t end) const;

    const QString& sql_;
    const std::vector<Token>& t_;
    bool ddl_ = false;
    QString rownum_;                  // what ROWNUM stands for here; empty where it is refused
    QString level_;                   // what LEVEL stands for; empty to keep it
    std::map<size_t, size_t> duals_;  // FROM items naming DUAL: first token -> past the name
};

// The text between two adjacent tokens (comments included); one blank when tokens between them
// were left out.
QString Translator::gap(size_t before, size_t at) const {
    if (at != before + 1)
        return QStringLiteral(" ");
    return sql_.mid(t_[before].end, t_[at].begin - t_[before].end);
}

QString Translator::original(size_t first, size_t last) const {
    if (first >= last)
        return {};
    return sql_.mid(t_[first].begin, t_[last - 1].end - t_[first].begin);
}

size_t Translator::closing(size_t open, size_t last) const {
    int depth = 0;
    for (size_t i = open; i < last; ++i) {
        if (t_[i].isOp(u'('))
            ++depth;
        else if (t_[i].isOp(u')') && --depth == 0)
            return i;
    }
    return last;
}

size_t Translator::caseEnd(size_t at, size_t last) const {
    int depth = 0;
    for (size_t i = at; i < last; ++i) {
        if (t_[i].isOp(u'(')) {
            i = closing(i, last);
        } else if (t_[i].is(u"CASE")) {
            ++depth;
        } else if (t_[i].is(u"END") && --depth == 0) {
            return i;
        }
    }
    return last;
}

std::vector<Range> Translator::split(size_t first, size_t last) const {
    std::vector<Range> parts;
    size_t start = first;
    for (size_t i = first; i < last; ++i) {
        if (t_[i].isOp(u'(')) {
            i = closing(i, last);
        } else if (t_[i].isOp(u',')) {
            parts.emplace_back(start, i);
            start = i + 1;
        }
    }
    parts.emplace_back(start, last);
    return parts;
}

size_t Translator::findWord(size_t first, size_t last, QStringView word) const {
    for (size_t i = first; i < last; ++i) {
        if (t_[i].isOp(u'('))
            i = closing(i, last);
        else if (t_[i].is(word))
            return i;
    }
    return last;
}

bool Translator::startsQuery(size_t i, size_t last) const {
    if (i >= last)
        return false;
    const Token& k = t_[i];
    if (k.is(u"SELECT"))
        return true;
    if (k.is(u"WITH")) {
        return i + 2 < last &&
               (t_[i + 1].is(u"RECURSIVE") ||
                (isName(t_[i + 1]) && (t_[i + 2].is(u"AS") || t_[i + 2].isOp(u'('))));
    }
    if (!k.isOp(u'('))
        return false;
    const size_t close = closing(i, last);
    if (close >= last || !startsQuery(i + 1, close))
        return false;
    return close + 1 == last || isSetOperator(t_[close + 1]) || isQueryTail(t_[close + 1]);
}

bool Translator::startsOperand(size_t i, size_t last) const {
    if (i >= last)
        return false;
    const Token& k = t_[i];
    switch (k.kind) {
        case TokenKind::Number:
        case TokenKind::String:
        case TokenKind::Blob:
        case TokenKind::Param:
        case TokenKind::Quoted:
            return true;
        case TokenKind::Op:
            if (k.isOp(u'('))
                return true;
            return (k.isOp(u'-') || k.isOp(u'+') || k.isOp(u'~')) && startsOperand(i + 1, last);
        case TokenKind::Word:
            if (k.is(u"CASE"))
                return true;
            if (k.is(u"PRIOR") || k.is(u"CONNECT_BY_ROOT"))
                return startsOperand(i + 1, last);
            return !isKeyword(k);
    }
    return false;
}

// True when `word` stands in [first, last) outside any subquery.
bool Translator::mentions(size_t first, size_t last, QStringView word) const {
    for (size_t i = first; i < last; ++i) {
        if (t_[i].isOp(u'(') && startsQuery(i + 1, closing(i, last)))
            i = closing(i, last);
        else if (t_[i].is(word))
            return true;
    }
    return false;
}

bool Translator::hasAggregate(size_t first, size_t last) const {
    for (size_t i = first; i < last; ++i) {
        if (t_[i].isOp(u'(') && startsQuery(i + 1, closing(i, last)))
            i = closing(i, last);
        else if (t_[i].is(u"OVER") || (isAggregate(t_[i]) && i + 1 < last && t_[i + 1].isOp(u'(')))
            return true;
    }
    return false;
}

// Past DUAL or SYS.DUAL when a FROM item at `at` names it; kNone otherwise.
size_t Translator::dualEnd(size_t at, size_t last) const {
    if (at < last && t_[at].is(u"DUAL") && !(at + 1 < last && t_[at + 1].isOp(u'.')))
        return at + 1;
    if (at + 2 < last && t_[at].is(u"SYS") && t_[at + 1].isOp(u'.') && t_[at + 2].is(u"DUAL"))
        return at + 3;
    return kNone;
}

// A FROM clause naming DUAL alone, with or without an alias.
bool Translator::isDualClause(size_t first, size_t last) const {
    const size_t end = dualEnd(first, last);
    if (end == kNone)
        return false;
    return end == last || (end + 1 == last && isName(t_[end]) && !isKeyword(t_[end]));
}

void Translator::markDuals(size_t first, size_t last) {
    bool itemStart = true;
    for (size_t i = first; i < last; ++i) {
        if (itemStart) {
            const size_t end = dualEnd(i, last);
            if (end != kNone)
                duals_[i] = end;
        }
        if (t_[i].isOp(u'('))
            i = closing(i, last);
        itemStart = i < last && (t_[i].isOp(u',') || t_[i].is(u"JOIN"));
    }
}

QString Translator::render(size_t first, size_t last) {
    QString out;
    size_t i = first;
    while (i < last) {
        if (i > first)
            out += gap(i - 1, i);
        // A parenthesised query is a query only where the caller expects one (see run()).
        if (!t_[i].isOp(u'(') && startsQuery(i, last)) {
            out += query(i, last);
            break;
        }
        if (const auto dual = duals_.find(i); dual != duals_.end()) {
            const size_t end = dual->second;
            const bool aliased = end < last && isName(t_[end]) && !isKeyword(t_[end]);
            out += aliased ? kDual : kDual + QStringLiteral(" DUAL");
            i = end;
            continue;
        }
        const Token& k = t_[i];
        // SQLite takes an expression after DEFAULT only in parentheses.
        if (k.is(u"DEFAULT") && startsOperand(i + 1, last)) {
            const Piece p = chain(i + 1, last);
            out += k.text.toString() + gap(i, i + 1) + u'(' + p.text + u')';
            i = p.next;
            continue;
        }
        if (startsOperand(i, last)) {
            const Piece p = chain(i, last);
            out += p.text;
            i = p.next;
            continue;
        }
        out += k.text.toString();
        ++i;
    }
    return out;
}

// Operands joined by arithmetic, grouped as Oracle groups them: * and / before + - and ||,
// which share one level. SQLite puts || above * and /, so "'n=' || a * 2" would multiply the
// text; written as calls the grouping is explicit.
Translator::Piece Translator::chain(size_t i, size_t last) {
    std::vector<Piece> operands{operand(i, last)};
    std::vector<size_t> ops;
    size_t j = operands.back().next;
    while (j < last && isArithmetic(t_[j]) && startsOperand(j + 1, last)) {
        ops.push_back(j);
        operands.push_back(operand(j + 1, last));
        j = operands.back().next;
    }
    if (ops.empty())
        return operands.front();
    bool native = true;
    for (size_t at : ops)
        native = native && (t_[at].isOp(u'*') || t_[at].isOp(u'%'));
    if (native) {
        QString text = operands[0].text;
        for (size_t k = 0; k < ops.size(); ++k) {
            text += gap(operands[k].next - 1, ops[k]) + t_[ops[k]].text.toString() +
                    gap(ops[k], ops[k] + 1) + operands[k + 1].text;
        }
        return {text, j};
    }
    QString sum;
    QStringList concat;
    QString pending;
    QString term = operands[0].text;
    auto flush = [&] {
        if (pending.isEmpty()) {
            sum = term;
        } else if (pending == u"||") {
            if (concat.isEmpty())
                concat << sum;
            concat << term;
        } else {
            if (!concat.isEmpty()) {
                sum = QStringLiteral("qv_concat(") + concat.join(QStringLiteral(", ")) + u')';
                concat.clear();
            }
            sum = (pending == u"+" ? QStringLiteral("qv_add(") : QStringLiteral("qv_sub(")) + sum +
                  QStringLiteral(", ") + term + u')';
        }
    };
    for (size_t k = 0; k < ops.size(); ++k) {
        const QString op = t_[ops[k]].text.toString();
        const QString& next = operands[k + 1].text;
        if (op == u"/") {
            term = QStringLiteral("qv_div(") + term + QStringLiteral(", ") + next + u')';
        } else if (op == u"*" || op == u"%") {
            term += u' ' + op + u' ' + next;
        } else {
            flush();
            pending = op;
            term = next;
        }
    }
    flush();
    if (!concat.isEmpty())
        sum = QStringLiteral("qv_concat(") + concat.join(QStringLiteral(", ")) + u')';
    return {sum, j};
}

Translator::Piece Translator::operand(size_t i, size_t last) {
    QString prefix;
    size_t j = i;
    while ((t_[j].isOp(u'-') || t_[j].isOp(u'+') || t_[j].isOp(u'~') || t_[j].is(u"PRIOR") ||
            t_[j].is(u"CONNECT_BY_ROOT")) &&
           startsOperand(j + 1, last)) {
        prefix += t_[j].text.toString() + gap(j, j + 1);
        ++j;
    }
    Piece p = primary(j, last);
    while (p.next + 1 < last && t_[p.next].is(u"COLLATE")) {
        p.text += gap(p.next - 1, p.next) + t_[p.next].text.toString() + gap(p.next, p.next + 1) +
                  t_[p.next + 1].text.toString();
        p.next += 2;
    }
    return {prefix + p.text, p.next};
}

std::optional<QString> Translator::special(const Token& t) const {
    if (t.is(u"SYSDATE") || t.is(u"CURRENT_DATE"))
        return kSysdate;
    if (t.is(u"SYSTIMESTAMP") || t.is(u"CURRENT_TIMESTAMP") || t.is(u"LOCALTIMESTAMP"))
        return kSystimestamp;
    if (t.is(u"ROWNUM")) {
        if (rownum_.isEmpty())
            refuse(kRownumForms);
        return rownum_;
    }
    if (t.is(u"LEVEL") && !level_.isEmpty())
        return level_;
    return std::nullopt;
}

Translator::Piece Translator::primary(size_t i, size_t last) {
    const Token& k = t_[i];
    if (k.isOp(u'(')) {
        const size_t close = closing(i, last);
        if (close >= last)
            return {original(i, last), last};  // unbalanced: SQLite says where
        QString inner;
        if (close > i + 1) {
            inner = gap(i, i + 1) +
                    (startsQuery(i + 1, close) ? query(i + 1, close) : render(i + 1, close)) +
                    gap(close - 1, close);
        }
        return {u'(' + inner + u')', close + 1};
    }
    if (k.is(u"CASE")) {
        const size_t end = caseEnd(i, last);
        if (end >= last)
            return {original(i, last), last};
        const QString inner =
            end > i + 1 ? gap(i, i + 1) + render(i + 1, end) + gap(end - 1, end) : QString();
        return {k.text.toString() + inner + t_[end].text.toString(), end + 1};
    }
    if (k.kind == TokenKind::Word && i + 1 < last && t_[i + 1].kind == TokenKind::String) {
        if (k.is(u"DATE") || k.is(u"TIMESTAMP"))
            return {dateLiteral(k.is(u"TIMESTAMP"), unquoted(t_[i + 1])), i + 2};
        // N'text', a national character literal
        if (k.is(u"N") && k.end == t_[i + 1].begin)
            return {t_[i + 1].text.toString(), i + 2};
    }
    if (isName(k)) {
        size_t j = i + 1;
        while (j + 1 < last && t_[j].isOp(u'.') && (isName(t_[j + 1]) || t_[j + 1].isOp(u'*'))) {
            j += 2;
            if (t_[j - 1].isOp(u'*'))
                break;
        }
        if (j < last && t_[j].isOp(u'(') && t_[j - 1].kind == TokenKind::Word)
            return call(i, j, last);
        if (j == i + 1 && k.kind == TokenKind::Word) {
            if (const auto text = special(k))
                return {*text, i + 1};
        }
        return {original(i, j), j};
    }
    return {k.text.toString(), i + 1};
}

Translator::Piece Translator::call(size_t nameFirst, size_t open, size_t last) {
    const size_t close = closing(open, last);
    if (close >= last)
        return {original(nameFirst, last), last};
    const Token& name = t_[open - 1];
    const bool qualified = open - 1 > nameFirst;
    std::vector<Range> args;
    if (close > open + 1)
        args = split(open + 1, close);
    auto arg = [&](size_t k) { return render(args[k].first, args[k].second); };
    // An argument used as an operand of IS keeps its grouping.
    auto grouped = [&](size_t k) {
        const QString text = arg(k);
        return args[k].second - args[k].first > 1 ? u'(' + text + u')' : text;
    };
    auto arguments = [&](size_t least, size_t most) {
        if (args.size() < least || args.size() > most)
            throw oracleError(909, QStringLiteral("ORA-00909: invalid number of arguments"));
    };
    QString text;
    size_t next = close + 1;
    if (!qualified) {
        if (name.is(u"NVL")) {
            arguments(2, 2);
            text = QStringLiteral("ifnull(%1, %2)").arg(arg(0), arg(1));
        } else if (name.is(u"NVL2")) {
            arguments(3, 3);
            text = QStringLiteral("CASE WHEN %1 IS NOT NULL THEN %2 ELSE %3 END")
                       .arg(grouped(0), arg(1), arg(2));
        } else if (name.is(u"DECODE")) {
            if (args.size() < 3)
                throw oracleError(938,
                                  QStringLiteral("ORA-00938: not enough arguments for function"));
            // IS rather than =, as DECODE takes NULL to match NULL.
            const QString value = grouped(0);
            text = QStringLiteral("CASE");
            size_t k = 1;
            for (; k + 1 < args.size(); k += 2)
                text += QStringLiteral(" WHEN %1 IS %2 THEN %3").arg(value, grouped(k), arg(k + 1));
            if (k < args.size())
                text += QStringLiteral(" ELSE ") + arg(k);
            text += QStringLiteral(" END");
        } else if (name.is(u"GREATEST") || name.is(u"LEAST")) {
            arguments(1, 255);
            QStringList values;
            for (size_t k = 0; k < args.size(); ++k)
                values << arg(k);
            // One argument would make MAX and MIN aggregates.
            text = args.size() == 1
                       ? u'(' + values[0] + u')'
                       : (name.is(u"GREATEST") ? QStringLiteral("max(") : QStringLiteral("min(")) +
                             values.join(QStringLiteral(", ")) + u')';
        } else if (name.is(u"CAST") && args.size() == 1) {
            text = cast(args[0].first, args[0].second);
        } else if (name.is(u"EXTRACT") && args.size() == 1) {
            text = extract(args[0].first, args[0].second);
        } else if (ddl_ && isTypeName(name)) {
            if (const auto type = oracleType(open - 1, last))
                return *type;
        }
    }
    if (text.isEmpty()) {
        const QString inner =
            close > open + 1 ? gap(open, open + 1) + render(open + 1, close) + gap(close - 1, close)
                             : QString();
        text = original(nameFirst, open) + gap(open - 1, open) + u'(' + inner + u')';
    }
    // OVER, FILTER and WITHIN GROUP belong to the call.
    while (next + 1 < last) {
        const Token& w = t_[next];
        size_t open2 = kNone;
        if ((w.is(u"OVER") || w.is(u"FILTER")) && t_[next + 1].isOp(u'('))
            open2 = next + 1;
        else if (w.is(u"WITHIN") && next + 2 < last && t_[next + 1].is(u"GROUP") &&
                 t_[next + 2].isOp(u'('))
            open2 = next + 2;
        if (open2 == kNone) {
            if (w.is(u"OVER") && isName(t_[next + 1])) {
                text += gap(next - 1, next) + original(next, next + 2);
                next += 2;
                continue;
            }
            break;
        }
        const size_t close2 = closing(open2, last);
        if (close2 >= last)
            break;
        text += gap(next - 1, next) + original(next, open2) + gap(open2 - 1, open2) + u'(' +
                render(open2 + 1, close2) + u')';
        next = close2 + 1;
    }
    return {text, next};
}

// A type with a size SQLite cannot parse (VARCHAR2(10 BYTE), NUMBER(*,2), TIMESTAMP(6) WITH
// TIME ZONE) in a form it can, the words that name the type kept for the field types.
std::optional<Translator::Piece> Translator::oracleType(size_t nameAt, size_t last) {
    const size_t open = nameAt + 1;
    const size_t close = closing(open, last);
    if (close >= last || close == open + 1)
        return std::nullopt;
    QStringList sizes;
    bool changed = false;
    for (const auto& [a, b] : split(open + 1, close)) {
        if (b - a == 1 && t_[a].kind == TokenKind::Number) {
            sizes << t_[a].text.toString();
        } else if (b - a == 2 && t_[a].kind == TokenKind::Number &&
                   (t_[a + 1].is(u"BYTE") || t_[a + 1].is(u"CHAR"))) {
            sizes << t_[a].text.toString();
            changed = true;
        } else if (b - a == 1 && t_[a].isOp(u'*')) {
            sizes << QStringLiteral("38");
            changed = true;
        } else if (b - a == 2 && t_[a].isOp(u'-') && t_[a + 1].kind == TokenKind::Number) {
            sizes << u'-' + t_[a + 1].text.toString();
        } else {
            return std::nullopt;
        }
    }
    QString text = t_[nameAt].text.toString() + u'(' + sizes.join(u',') + u')';
    size_t next = close + 1;
    if (t_[nameAt].is(u"TIMESTAMP") && next < last && t_[next].is(u"WITH")) {
        size_t j = next + 1;
        QString words = QStringLiteral(" WITH");
        if (j < last && t_[j].is(u"LOCAL")) {
            words += QStringLiteral(" LOCAL");
            ++j;
        }
        if (j + 1 < last && t_[j].is(u"TIME") && t_[j + 1].is(u"ZONE")) {
            text = t_[nameAt].text.toString() + words + QStringLiteral(" TIME ZONE");
            next = j + 2;
            changed = true;
        }
    }
    if (!changed)
        return std::nullopt;
    return Piece{text, next};
}

// CAST(x AS DATE) would give SQLite's NUMERIC affinity (2024 from '2024-01-31').
QString Translator::cast(size_t first, size_t last) {
    const size_t as = findWord(first, last, u"AS");
    if (as + 1 >= last)
        return QStringLiteral("CAST(") + render(first, last) + u')';
    const QString value = render(first, as);
    if (t_[as + 1].is(u"DATE"))
        return QStringLiteral("to_date(") + value + u')';
    if (t_[as + 1].is(u"TIMESTAMP"))
        return QStringLiteral("to_timestamp(") + value + u')';
    QString type = original(as + 1, last);
    if (as + 2 < last && isTypeName(t_[as + 1]) && t_[as + 2].isOp(u'(')) {
        if (const auto fixed = oracleType(as + 1, last))
            type = fixed->text;
    }
    return QStringLiteral("CAST(") + value + QStringLiteral(" AS ") + type + u')';
}

QString Translator::extract(size_t first, size_t last) {
    static const std::pair<const char16_t*, const char*> kParts[] = {
        {u"YEAR", "CAST(strftime('%Y', %1) AS INTEGER)"},
        {u"MONTH", "CAST(strftime('%m', %1) AS INTEGER)"},
        {u"DAY", "CAST(strftime('%d', %1) AS INTEGER)"},
        {u"HOUR", "CAST(strftime('%H', %1) AS INTEGER)"},
        {u"MINUTE", "CAST(strftime('%M', %1) AS INTEGER)"},
        {u"SECOND", "CAST(strftime('%f', %1) AS REAL)"}};
    if (last - first >= 3 && t_[first + 1].is(u"FROM")) {
        for (const auto& [part, pattern] : kParts) {
            if (t_[first].is(QStringView(part)))
                return QString::fromLatin1(pattern).arg(render(first + 2, last));
        }
    }
    refuse(QStringLiteral("EXTRACT is understood for YEAR, MONTH, DAY, HOUR, MINUTE and SECOND"));
}

QString Translator::query(size_t first, size_t last) {
    if (!t_[first].is(u"WITH"))
        return compound(first, last);
    QString out = t_[first].text.toString();
    size_t prev = first;
    size_t i = first + 1;
    if (i < last && t_[i].is(u"RECURSIVE")) {
        out += gap(prev, i) + t_[i].text.toString();
        prev = i++;
    }
    // name [(columns)] AS [[NOT] MATERIALIZED] (query), ...
    while (true) {
        size_t as = i;
        while (as < last && !t_[as].is(u"AS")) {
            if (t_[as].isOp(u'('))
                as = closing(as, last);
            ++as;
        }
        size_t open = as + 1;
        while (open < last && (t_[open].is(u"NOT") || t_[open].is(u"MATERIALIZED")))
            ++open;
        if (as >= last || open >= last || !t_[open].isOp(u'('))
            return original(first, last);
        const size_t close = closing(open, last);
        if (close >= last)
            return original(first, last);
        out += gap(prev, i) + original(i, open) + gap(open - 1, open) + u'(' +
               query(open + 1, close) + u')';
        prev = close;
        i = close + 1;
        if (i < last && t_[i].isOp(u',')) {
            out += gap(prev, i) + u',';
            prev = i++;
            continue;
        }
        break;
    }
    if (i >= last)
        return original(first, last);
    return out + gap(prev, i) + compound(i, last);
}

QString Translator::compound(size_t first, size_t last) {
    std::vector<Range> segments;
    std::vector<Range> operators;
    size_t start = first;
    for (size_t i = first; i < last; ++i) {
        if (t_[i].isOp(u'(')) {
            i = closing(i, last);
        } else if (isSetOperator(t_[i])) {
            segments.emplace_back(start, i);
            size_t end = i + 1;
            if (end < last && (t_[end].is(u"ALL") || t_[end].is(u"DISTINCT")))
                ++end;
            operators.emplace_back(i, end);
            start = end;
            i = end - 1;
        }
    }
    segments.emplace_back(start, last);
    const bool member = segments.size() > 1;
    QString out;
    size_t prev = kNone;
    for (size_t k = 0; k < segments.size(); ++k) {
        if (k > 0) {
            const auto [op, opEnd] = operators[k - 1];
            out += gap(prev, op) +
                   (t_[op].is(u"MINUS") ? QStringLiteral("EXCEPT") : original(op, opEnd));
            prev = opEnd - 1;
        }
        const auto [a, b] = segments[k];
        if (a >= b)
            continue;
        out += (prev == kNone ? QString() : gap(prev, a)) + segment(a, b, member);
        prev = b - 1;
    }
    return out;
}

// One member of a set operation. SQLite takes no parentheses around one, so a parenthesised
// query becomes a subquery.
QString Translator::segment(size_t first, size_t last, bool member) {
    if (t_[first].is(u"SELECT"))
        return block(first, last, member);
    if (t_[first].isOp(u'(')) {
        const size_t close = closing(first, last);
        if (close < last && startsQuery(first + 1, close) &&
            (close + 1 == last || isQueryTail(t_[close + 1]))) {
            QString text = QStringLiteral("SELECT * FROM (") + query(first + 1, close) + u')';
            if (close + 1 < last)
                text += u' ' + tail(close + 1, last);
            return text;
        }
    }
    return render(first, last);
}

// ORDER BY ... and OFFSET / FETCH after a parenthesised query.
QString Translator::tail(size_t first, size_t last) {
    rownum_.clear();
    size_t limitAt = first;
    while (limitAt < last && !t_[limitAt].is(u"OFFSET") && !t_[limitAt].is(u"FETCH")) {
        if (t_[limitAt].isOp(u'('))
            limitAt = closing(limitAt, last);
        ++limitAt;
    }
    QString text = render(first, qMin(limitAt, last));
    if (limitAt < last)
        text += (text.isEmpty() ? QString() : QStringLiteral(" ")) + limitClause(limitAt, last);
    return text;
}

// [OFFSET n ROW|ROWS] [FETCH FIRST|NEXT [n] ROW|ROWS ONLY] as LIMIT n OFFSET m.
QString Translator::limitClause(size_t first, size_t last) {
    auto rowsWord = [&](size_t from) {
        size_t i = from;
        while (i < last && !t_[i].is(u"ROW") && !t_[i].is(u"ROWS")) {
            if (t_[i].isOp(u'('))
                i = closing(i, last);
            ++i;
        }
        return i;
    };
    rownum_.clear();
    QString count, offset;
    size_t i = first;
    if (i < last && t_[i].is(u"OFFSET")) {
        const size_t rows = rowsWord(i + 1);
        if (rows >= last || rows == i + 1)
            return render(first, last);
        offset = render(i + 1, rows);
        i = rows + 1;
    }
    if (i < last && t_[i].is(u"FETCH")) {
        if (i + 1 >= last || !(t_[i + 1].is(u"FIRST") || t_[i + 1].is(u"NEXT")))
            return render(first, last);
        const size_t rows = rowsWord(i + 2);
        if (rows >= last)
            return render(first, last);
        if (findWord(i + 2, rows, u"PERCENT") < rows)
            refuse(QStringLiteral("FETCH ... PERCENT is not supported"));
        count = rows > i + 2 ? render(i + 2, rows) : QStringLiteral("1");
        i = rows + 1;
        if (i < last && t_[i].is(u"WITH"))
            refuse(QStringLiteral("FETCH ... WITH TIES is not supported"));
        if (i >= last || !t_[i].is(u"ONLY"))
            return render(first, last);
        ++i;
    }
    if (i != last)
        return render(first, last);
    QString text = QStringLiteral("LIMIT ") + (count.isEmpty() ? QStringLiteral("-1") : count);
    if (!offset.isEmpty())
        text += QStringLiteral(" OFFSET ") + offset;
    return text;
}

// The AND terms of a WHERE condition that names ROWNUM.
std::vector<Range> Translator::conjuncts(size_t first, size_t last) const {
    std::vector<Range> terms;
    size_t start = first;
    bool between = false;
    for (size_t i = first; i < last; ++i) {
        if (t_[i].isOp(u'(')) {
            i = closing(i, last);
        } else if (t_[i].is(u"CASE")) {
            i = caseEnd(i, last);
        } else if (t_[i].is(u"BETWEEN")) {
            between = true;
        } else if (t_[i].is(u"OR")) {
            refuse(kRownumForms);
        } else if (t_[i].is(u"AND")) {
            if (between) {
                between = false;
            } else {
                terms.emplace_back(start, i);
                start = i + 1;
            }
        }
    }
    terms.emplace_back(start, last);
    return terms;
}

// The row count a ROWNUM condition allows: ROWNUM <= n, ROWNUM < n, ROWNUM = 1, or mirrored.
QString Translator::rownumLimit(size_t first, size_t last) {
    while (last - first > 2 && t_[first].isOp(u'(') && closing(first, last) == last - 1) {
        ++first;
        --last;
    }
    if (last - first < 3)
        refuse(kRownumForms);
    QString op;
    Range value;
    if (t_[first].is(u"ROWNUM") && t_[first + 1].kind == TokenKind::Op) {
        op = t_[first + 1].text.toString();
        value = {first + 2, last};
    } else if (t_[last - 1].is(u"ROWNUM") && t_[last - 2].kind == TokenKind::Op) {
        const QString written = t_[last - 2].text.toString();
        op = written == u">="  ? QStringLiteral("<=")
             : written == u">" ? QStringLiteral("<")
             : written == u"=" ? written
                               : QString();
        value = {first, last - 2};
    }
    if (op.isEmpty() || mentions(value.first, value.second, u"ROWNUM"))
        refuse(kRownumForms);
    rownum_.clear();
    const QString v = render(value.first, value.second);
    bool literal = false;
    const qlonglong n = value.second - value.first == 1 ? v.toLongLong(&literal) : 0;
    if (op == u"<=")
        return literal ? QString::number(qMax(n, 0LL)) : QStringLiteral("max(%1, 0)").arg(v);
    if (op == u"<")
        return literal ? QString::number(qMax(n - 1, 0LL))
                       : QStringLiteral("max((%1) - 1, 0)").arg(v);
    if (op == u"=")
        return literal ? QString::number(n == 1 ? 1 : 0)
                       : QStringLiteral("CASE WHEN (%1) = 1 THEN 1 ELSE 0 END").arg(v);
    refuse(kRownumForms);
}

// Oracle's heading of an unaliased item: a column's name, else the text in upper case without
// blanks (quoted names keep their case).
QString Translator::heading(size_t first, size_t last) const {
    bool column = (last - first) % 2 == 1;
    for (size_t k = first; column && k < last; ++k)
        column = (k - first) % 2 == 0 ? isName(t_[k]) : t_[k].isOp(u'.');
    const Token& end = t_[last - 1];
    if (column)
        return end.kind == TokenKind::Quoted ? unquoted(end) : end.text.toString().toUpper();
    QString text;
    for (size_t k = first; k < last; ++k)
        text += t_[k].kind == TokenKind::Quoted ? t_[k].text.toString()
                                                : t_[k].text.toString().toUpper();
    return text;
}

QString Translator::item(size_t first, size_t last) {
    if (last - first == 1 && t_[first].isOp(u'*'))
        return t_[first].text.toString();
    if (last - first >= 3 && t_[last - 1].isOp(u'*') && t_[last - 2].isOp(u'.'))
        return render(first, last);
    const Token& end = t_[last - 1];
    size_t valueEnd = last;
    if (last - first >= 2 && isName(end) && !isKeyword(end)) {
        const Token& before = t_[last - 2];
        if (before.is(u"AS")) {
            valueEnd = last - 2;
        } else if (!before.isOp(u'.') &&
                   ((isName(before) && !isKeyword(before)) || before.is(u"END") ||
                    before.kind == TokenKind::Number || before.kind == TokenKind::String ||
                    before.kind == TokenKind::Param || before.isOp(u')'))) {
            valueEnd = last - 1;
        }
    }
    if (valueEnd == last)
        return render(first, last) + QStringLiteral(" AS ") + quotedName(heading(first, last));
    const QString value = render(first, valueEnd);
    if (end.kind == TokenKind::Quoted)
        return value + QStringLiteral(" AS ") + end.text.toString();
    return value + QStringLiteral(" AS ") + quotedName(end.text.toString().toUpper());
}

QString Translator::selectList(size_t first, size_t last) {
    QString out;
    size_t shown = kNone;  // the last token written
    auto separator = [&](size_t at) { return shown == kNone ? QString() : gap(shown, at); };
    for (const auto& [a, b] : split(first, last)) {
        if (a < b) {
            out += separator(a) + item(a, b);
            shown = b - 1;
        }
        if (b < last) {
            out += separator(b) + u',';
            shown = b;
        }
    }
    return out;
}

QString Translator::block(size_t first, size_t last, bool member) {
    size_t itemsFirst = first + 1;
    size_t distinctAt = kNone;
    if (itemsFirst < last && isOneOf(t_[itemsFirst], {u"DISTINCT", u"UNIQUE", u"ALL"}))
        distinctAt = itemsFirst++;
    const bool distinct = distinctAt != kNone && !t_[distinctAt].is(u"ALL");

    std::vector<Clause> clauses;
    bool limitSeen = false;
    for (size_t i = itemsFirst; i < last; ++i) {
        const Token& k = t_[i];
        if (k.isOp(u'(')) {
            i = closing(i, last);
            continue;
        }
        const bool by = i + 1 < last && t_[i + 1].is(u"BY");
        std::optional<ClauseKind> kind;
        size_t body = i + 1;
        if (k.is(u"FROM")) {
            kind = kFrom;
        } else if (k.is(u"WHERE")) {
            kind = kWhere;
        } else if (k.is(u"GROUP") && by) {
            kind = kGroup;
            body = i + 2;
        } else if (k.is(u"HAVING")) {
            kind = kHaving;
        } else if (k.is(u"START") && i + 1 < last && t_[i + 1].is(u"WITH")) {
            kind = kStart;
            body = i + 2;
        } else if (k.is(u"CONNECT") && by) {
            kind = kConnect;
            body = i + 2;
        } else if (k.is(u"ORDER") && (by || (i + 1 < last && t_[i + 1].is(u"SIBLINGS")))) {
            kind = kOrder;
        } else if (k.is(u"OFFSET") && !limitSeen) {
            kind = kOffset;
        } else if (k.is(u"FETCH")) {
            kind = kFetch;
        } else if (k.is(u"LIMIT")) {
            kind = kLimit;
            limitSeen = true;
        } else if (k.is(u"WINDOW")) {
            kind = kWindow;
        }
        if (!kind)
            continue;
        if (!clauses.empty())
            clauses.back().end = i;
        clauses.push_back({*kind, i, body, last});
        i = body - 1;
    }
    auto find = [&](ClauseKind kind) -> const Clause* {
        for (const Clause& c : clauses) {
            if (c.kind == kind)
                return &c;
        }
        return nullptr;
    };
    const size_t itemsLast = clauses.empty() ? last : clauses.front().at;
    const Clause* from = find(kFrom);
    const Clause* where = find(kWhere);
    const bool hierarchical = find(kConnect) != nullptr;
    const bool dual = from && isDualClause(from->body, from->end);
    bool stars = false;
    for (const auto& [a, b] : split(itemsFirst, itemsLast))
        stars = stars || (b > a && t_[b - 1].isOp(u'*') && (b - a == 1 || t_[b - 2].isOp(u'.')));

    const QString savedRownum = rownum_;
    const QString savedLevel = level_;
    QString out = t_[first].text.toString();
    size_t prev = first;
    auto append = [&](size_t at, const QString& text, size_t lastToken) {
        out += gap(prev, at) + text;
        prev = lastToken;
    };
    if (distinctAt != kNone) {
        append(distinctAt,
               t_[distinctAt].is(u"UNIQUE") ? QStringLiteral("DISTINCT")
                                            : t_[distinctAt].text.toString(),
               distinctAt);
    }

    if (hierarchical && dual) {
        // SELECT ... FROM DUAL CONNECT BY LEVEL <= n: one row per level, as the one row of DUAL
        // is its own child until the condition fails.
        const Clause* connect = find(kConnect);
        const Clause* start = find(kStart);
        size_t body = connect->body;
        if (body < connect->end && t_[body].is(u"NOCYCLE"))
            ++body;
        if (mentions(body, connect->end, u"PRIOR"))
            refuse(QStringLiteral("CONNECT BY PRIOR on DUAL is not supported"));
        level_ = rownum_ = QStringLiteral("(__qv_level + 1)");
        const QString condition = render(body, connect->end);
        QString anchor = QStringLiteral("SELECT 1");
        if (start) {
            level_ = rownum_ = QStringLiteral("1");
            anchor += QStringLiteral(" WHERE ") + render(start->body, start->end);
        }
        level_ = QStringLiteral("__qv_rows.__qv_level");
        rownum_ = kRowNumber;
        append(itemsFirst, selectList(itemsFirst, itemsLast), itemsLast - 1);
        out += QStringLiteral(" FROM (WITH RECURSIVE __qv_rows(__qv_level) AS (") + anchor +
               QStringLiteral(" UNION ALL SELECT __qv_level + 1 FROM __qv_rows WHERE ") +
               condition + QStringLiteral(") SELECT __qv_level FROM __qv_rows) __qv_rows");
        prev = kNone;
        for (const Clause& c : clauses) {
            if (c.kind == kFrom || c.kind == kStart || c.kind == kConnect)
                continue;
            rownum_ = c.kind == kOrder ? kRowNumber : QString();
            out += u' ' + (c.kind == kOffset || c.kind == kFetch ? limitClause(c.at, last)
                                                                 : render(c.at, c.end));
            if (c.kind == kOffset || c.kind == kFetch)
                break;
        }
        rownum_ = savedRownum;
        level_ = savedLevel;
        return out;
    }

    // WHERE ROWNUM <= n: Oracle numbers rows as they are found, before it sorts, groups or
    // removes duplicates, so a LIMIT stands for it only on a plain query; otherwise the
    // numbered rows are taken from the one table in a subquery.
    QString limit;
    bool wrap = false;
    std::vector<Range> rest;
    if (where && mentions(where->body, where->end, u"ROWNUM")) {
        if (hierarchical)
            refuse(QStringLiteral("ROWNUM in a hierarchical query is not supported"));
        for (const Range& term : conjuncts(where->body, where->end)) {
            if (!mentions(term.first, term.second, u"ROWNUM")) {
                rest.push_back(term);
            } else if (limit.isEmpty()) {
                limit = rownumLimit(term.first, term.second);
            } else {
                refuse(kRownumForms);
            }
        }
        const bool plain = !distinct && !member && !find(kGroup) && !find(kHaving) &&
                           !find(kOrder) && !find(kOffset) && !find(kFetch) && !find(kLimit) &&
                           !hasAggregate(itemsFirst, itemsLast);
        if (!plain) {
            const bool single = from && findWord(from->body, from->end, u"JOIN") == from->end &&
                                split(from->body, from->end).size() == 1;
            if (!single)
                refuse(
                    QStringLiteral("ROWNUM with a join in a query that sorts, groups or "
                                   "combines rows is not supported"));
            wrap = true;
        }
    }
    const bool dropFrom = dual && !wrap && !stars && !mentions(first, last, u"DUMMY");

    rownum_ = hierarchical ? QString() : kRowNumber;
    if (itemsFirst < itemsLast)
        append(itemsFirst, selectList(itemsFirst, itemsLast), itemsLast - 1);
    auto restText = [&] {
        QStringList terms;
        rownum_.clear();
        for (const auto& [a, b] : rest)
            terms << render(a, b);
        return terms.join(QStringLiteral(" AND "));
    };
    for (size_t k = 0; k < clauses.size(); ++k) {
        const Clause& c = clauses[k];
        rownum_.clear();
        if (c.kind == kFrom) {
            if (dropFrom)
                continue;
            markDuals(c.body, c.end);
            if (!wrap) {
                append(c.at, render(c.at, c.end), c.end - 1);
                continue;
            }
            const Token& end = t_[c.end - 1];
            QString alias;
            if (c.end - c.body >= 2 && isName(end) && !isKeyword(end) && !t_[c.end - 2].isOp(u'.'))
                alias = end.text.toString();
            else if (isName(end) && !isKeyword(end))
                alias = end.text.toString();
            QString inner = QStringLiteral("SELECT * FROM ") + render(c.body, c.end);
            if (!rest.empty())
                inner += QStringLiteral(" WHERE ") + restText();
            // OFFSET 0 keeps SQLite from flattening the subquery into the outer query, which
            // would sort or group first and only then take the rows (its flattener leaves a
            // subquery with an OFFSET alone).
            append(c.at,
                   t_[c.at].text.toString() + QStringLiteral(" (") + inner +
                       QStringLiteral(" LIMIT ") + limit + QStringLiteral(" OFFSET 0)") +
                       (alias.isEmpty() ? QString() : u' ' + alias),
                   c.end - 1);
        } else if (c.kind == kWhere && !limit.isEmpty()) {
            if (!wrap && !rest.empty())
                append(c.at, t_[c.at].text.toString() + u' ' + restText(), c.end - 1);
        } else if (c.kind == kOffset || c.kind == kFetch) {
            append(c.at, limitClause(c.at, last), last - 1);
            break;
        } else {
            if (c.kind == kOrder && !hierarchical)
                rownum_ = kRowNumber;
            append(c.at, render(c.at, c.end), c.end - 1);
        }
    }
    if (!limit.isEmpty() && !wrap)
        out += QStringLiteral(" LIMIT ") + limit;
    rownum_ = savedRownum;
    level_ = savedLevel;
    return out;
}

// The table or index a DBMS_STATS.GATHER_..._STATS call in [first, last) names; empty for the
// whole schema.
QString Translator::gatherTarget(size_t first, size_t last) const {
    size_t i = first;
    if (i + 2 < last && isName(t_[i]) && t_[i + 1].isOp(u'.') && !t_[i].is(u"DBMS_STATS"))
        i += 2;  // SYS.
    if (!(i + 2 < last && t_[i].is(u"DBMS_STATS") && t_[i + 1].isOp(u'.') &&
          t_[i + 2].kind == TokenKind::Word))
        refuse(kPlsql);
    const Token& procedure = t_[i + 2];
    size_t j = i + 3;
    std::vector<Range> args;
    if (j < last && t_[j].isOp(u'(')) {
        const size_t close = closing(j, last);
        if (close != last - 1)
            refuse(kPlsql);
        if (close > j + 1)
            args = split(j + 1, close);
    } else if (j != last) {
        refuse(kPlsql);
    }
    // Named (name => 'value') or by position.
    auto argument = [&](QStringView name, size_t position) -> QString {
        for (size_t k = 0; k < args.size(); ++k) {
            auto [a, b] = args[k];
            const bool named = b - a >= 3 && t_[a].kind == TokenKind::Word &&
                               t_[a + 1].isOp(u'=') && t_[a + 2].isOp(u'>');
            if (named && !t_[a].is(name))
                continue;
            if (!named && k != position)
                continue;
            if (named)
                a += 3;
            if (b - a != 1 || t_[a].kind != TokenKind::String)
                break;
            QString value = unquoted(t_[a]);
            if (value.size() > 1 && value.startsWith(u'"') && value.endsWith(u'"'))
                value = value.mid(1, value.size() - 2);
            return value;
        }
        refuse(QStringLiteral("DBMS_STATS.%1 needs %2 as a literal")
                   .arg(procedure.text.toString().toUpper(), name.toString()));
    };
    if (procedure.is(u"GATHER_TABLE_STATS"))
        return argument(u"TABNAME", 1);
    if (procedure.is(u"GATHER_INDEX_STATS"))
        return argument(u"INDNAME", 1);
    if (procedure.is(u"GATHER_SCHEMA_STATS") || procedure.is(u"GATHER_DATABASE_STATS"))
        return {};
    refuse(kPlsql);
}

QString analyzeStatement(const QString& target) {
    return target.isEmpty() ? QStringLiteral("ANALYZE")
                            : QStringLiteral("ANALYZE ") + quotedName(target);
}

// BEGIN DBMS_STATS.GATHER_...(...); ... END
QString Translator::plsqlBlock(size_t end) const {
    if (!t_[0].is(u"BEGIN") || end < 3 || !t_[end - 1].is(u"END"))
        refuse(kPlsql);
    QStringList targets;
    size_t i = 1;
    while (i < end - 1) {
        size_t semicolon = i;
        while (semicolon < end - 1 && !t_[semicolon].isOp(u';')) {
            if (t_[semicolon].isOp(u'('))
                semicolon = closing(semicolon, end - 1);
            ++semicolon;
        }
        if (semicolon > i)
            targets << gatherTarget(i, semicolon);
        i = semicolon + 1;
    }
    if (targets.isEmpty())
        refuse(kPlsql);
    // Several calls: gathering everything covers them all.
    return analyzeStatement(targets.size() == 1 ? targets.front() : QString());
}

// ANALYZE TABLE|INDEX [owner.]name COMPUTE|ESTIMATE STATISTICS ...; SQLite's own forms as they are.
QString Translator::analyze(size_t end) const {
    if (end < 3 || !(t_[1].is(u"TABLE") || t_[1].is(u"INDEX")))
        return original(0, end);
    size_t nameAt = 2;
    size_t j = 3;
    while (j + 1 < end && t_[j].isOp(u'.') && isName(t_[j + 1])) {
        nameAt = j + 1;
        j += 2;
    }
    if (!isName(t_[nameAt]))
        return original(0, end);
    if (j < end && (t_[j].is(u"COMPUTE") || t_[j].is(u"ESTIMATE")))
        return QStringLiteral("ANALYZE ") + t_[nameAt].text.toString();
    refuse(QStringLiteral("ANALYZE is understood with COMPUTE STATISTICS and ESTIMATE STATISTICS"));
}

QString Translator::run() {
    size_t end = t_.size();
    if (end == 0)
        return sql_;
    // A "/" alone on its line ends a statement in SQL*Plus.
    size_t slash = kNone;
    if (t_[end - 1].isOp(u'/') &&
        (end == 1 ||
         sql_.mid(t_[end - 2].end, t_[end - 1].begin - t_[end - 2].end).contains(u'\n')))
        slash = --end;
    size_t body = end;
    while (body > 0 && t_[body - 1].isOp(u';'))
        --body;
    if (body == 0)
        return slash == kNone ? sql_ : QString();
    for (size_t i = 0; i + 2 < body; ++i) {
        if (t_[i].isOp(u'(') && t_[i + 1].isOp(u'+') && t_[i + 2].isOp(u')'))
            refuse(
                QStringLiteral("the (+) outer join operator is not supported by the embedded "
                               "engine; write LEFT JOIN ... ON instead"));
    }
    const QString head = sql_.left(t_[0].begin);
    QString tail = sql_.mid(t_[body - 1].end);
    if (slash != kNone) {
        tail = sql_.mid(t_[body - 1].end, t_[slash].begin - t_[body - 1].end) +
               sql_.mid(t_[slash].end);
    }
    const Token& k = t_[0];
    QString text;
    if (k.is(u"BEGIN")) {
        // SQLite's transaction statements begin with BEGIN too.
        if (body == 1 || isOneOf(t_[1], {u"TRANSACTION", u"DEFERRED", u"IMMEDIATE", u"EXCLUSIVE"}))
            return sql_;
        text = plsqlBlock(body);
    } else if (k.is(u"DECLARE")) {
        refuse(kPlsql);
    } else if (k.is(u"EXEC") || k.is(u"EXECUTE") || k.is(u"CALL")) {
        text = analyzeStatement(gatherTarget(1, body));
    } else if (k.is(u"ANALYZE")) {
        text = analyze(body);
    } else if (k.is(u"TRUNCATE") && body >= 3 && t_[1].is(u"TABLE")) {
        size_t j = 3;
        while (j + 1 < body && t_[j].isOp(u'.') && isName(t_[j + 1]))
            j += 2;
        text = QStringLiteral("DELETE FROM ") + original(2, j);
    } else {
        if (k.is(u"CREATE")) {
            size_t i = 1;
            if (i + 1 < body && t_[i].is(u"OR") && t_[i + 1].is(u"REPLACE"))
                i += 2;
            while (i < body && (t_[i].is(u"EDITIONABLE") || t_[i].is(u"NONEDITIONABLE")))
                ++i;
            if (i < body && (isOneOf(t_[i], {u"PROCEDURE", u"FUNCTION", u"PACKAGE", u"TYPE"}) ||
                             (i > 1 && t_[i].is(u"TRIGGER"))))
                refuse(kPlsql);
        }
        ddl_ = k.is(u"CREATE") || k.is(u"ALTER");
        text = startsQuery(0, body) ? query(0, body) : render(0, body);
    }
    return head + text + tail;
}

bool isPlainName(const QString& name) {
    if (name.isEmpty() || !(name[0].isLetter() || name[0] == u'_'))
        return false;
    for (QChar c : name) {
        if (!(c.isLetterOrNumber() || c == u'_' || c == u'$' || c == u'#'))
            return false;
    }
    return true;
}

}  // namespace

QString translateOracle(const QString& sql, const std::vector<Token>& tokens) {
    return Translator(sql, tokens).run();
}

QString oracleHeading(sqlite3_stmt* stmt, int column) {
    const QString name = QString::fromUtf8(sqlite3_column_name(stmt, column));
    const char* origin = sqlite3_column_origin_name(stmt, column);
    if (!origin || name != QString::fromUtf8(origin) || name == name.toUpper() ||
        !isPlainName(name))
        return name;
    // Every name the statement gives a column is quoted (translateOracle makes sure); a table
    // column read through * is not.
    const QString sql = QString::fromUtf8(sqlite3_sql(stmt));
    for (const Token& t : tokenize(sql)) {
        if (t.kind == TokenKind::Quoted && unquoted(t) == name)
            return name;
    }
    return name.toUpper();
}

}  // namespace qv::embedded
