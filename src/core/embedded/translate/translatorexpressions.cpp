// Expressions of Oracle's SQL in SQLite's terms: operands, Oracle's functions, literals and
// pseudo-columns (operators: translatorchains.cpp). See translateOracle() in oracledialect.h.
// Each function that writes an operand has a twin ending in End that only finds where the
// operand ends, for an operator chain that must know its operators before it writes.
#include "core/embedded/translate/sequenceplaces.h"
#include "core/embedded/translate/translator.h"
#include "core/embedded/values/oraclefunctions.h"
#include "core/embedded/values/oraclevalues.h"

#include <QDate>
#include <QRegularExpression>

#include <cmath>

namespace qv::embedded {

namespace {

const QString kSysdate = QStringLiteral("(replace(datetime('now', 'localtime'), ' 00:00:00', ''))");
const QString kSystimestamp = QStringLiteral("(strftime('%Y-%m-%d %H:%M:%f', 'now', 'localtime'))");
const QString kDual = QStringLiteral("(SELECT 'X' AS DUMMY)");

bool isTypeName(const Token& t) {
    return sql::isOneOf(
        t, {u"VARCHAR2", u"NVARCHAR2", u"VARCHAR", u"CHAR", u"NCHAR", u"CHARACTER", u"NUMBER",
            u"NUMERIC", u"DECIMAL", u"DEC", u"FLOAT", u"TIMESTAMP", u"RAW"});
}

[[noreturn]] void dateError(int code, const char* words) {
    throw oracleError(
        code,
        QStringLiteral("ORA-%1: %2").arg(code, 5, 10, QChar(u'0')).arg(QLatin1StringView(words)));
}

// DATE 'YYYY-MM-DD' or TIMESTAMP 'YYYY-MM-DD HH24:MI:SS[.FF]' as the stored text. Not inlined:
// its frame would weigh on every level of a nested expression.
Q_NEVER_INLINE QString dateLiteral(bool timestamp, const QString& value) {
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

std::optional<QString> special(const Token& t, const Scope& scope) {
    if (t.is(u"SYSDATE") || t.is(u"CURRENT_DATE"))
        return kSysdate;
    if (t.is(u"SYSTIMESTAMP") || t.is(u"CURRENT_TIMESTAMP") || t.is(u"LOCALTIMESTAMP"))
        return kSystimestamp;
    if (t.is(u"ROWNUM")) {
        if (scope.rownum.isEmpty())
            refuse(kRownumForms);
        return scope.rownum;
    }
    if (t.is(u"LEVEL") && !scope.level.isEmpty())
        return scope.level;
    return std::nullopt;
}

// Past a name at `i` and its qualifiers (schema.table.column, t.*).
size_t nameEnd(const std::vector<Token>& t, size_t i, size_t last) {
    size_t j = i + 1;
    while (j + 1 < last && t[j].isOp(u'.') && (sql::isName(t[j + 1]) || t[j + 1].isOp(u'*'))) {
        j += 2;
        if (t[j - 1].isOp(u'*'))
            break;
    }
    return j;
}

// A DECODE value cheap enough to write once per search: a name, perhaps qualified, a literal or
// a bind variable.
bool isSmallValue(const std::vector<Token>& t, Range r) {
    constexpr size_t kMaxTokens = 7;
    constexpr int kMaxLength = 256;
    if (r.empty() || r.size() > kMaxTokens || t[r.last - 1].end - t[r.first].begin > kMaxLength)
        return false;
    for (size_t k = r.first; k < r.last; ++k) {
        const bool name = (k - r.first) % 2 == 0;
        if (name ? !(sql::isName(t[k]) || t[k].kind == TokenKind::Number ||
                     t[k].kind == TokenKind::String || t[k].kind == TokenKind::Param)
                 : !t[k].isOp(u'.'))
            return false;
    }
    return r.size() % 2 == 1;
}

// A DECODE search value that can never be NULL: a number or a date, or text other than ''
// (NULL in Oracle).
bool isNonNullLiteral(const std::vector<Token>& t, Range r) {
    if (r.size() == 1)
        return t[r.first].kind == TokenKind::Number ||
               (t[r.first].kind == TokenKind::String && !sql::stringValue(t[r.first]).isEmpty());
    return r.size() == 2 && ((t[r.first].isOp(u'-') && t[r.first + 1].kind == TokenKind::Number) ||
                             ((t[r.first].is(u"DATE") || t[r.first].is(u"TIMESTAMP")) &&
                              t[r.first + 1].kind == TokenKind::String));
}

// Whether a number literal may stand for 1E126 or more: only a long one or one with an exponent,
// so that the many short literals of a long list are not read as numbers here.
bool mayOverflow(QStringView literal) {
    return literal.size() > 100 || literal.contains(u'e') || literal.contains(u'E');
}

}  // namespace

void Translator::render(size_t first, size_t last, const Scope& scope) {
    size_t i = first;
    while (i < last) {
        checkStop();
        if (i > first)
            writeGap(i - 1, i);
        // A parenthesised query is a query only where the caller expects one (see run()).
        if (!t_[i].isOp(u'(') && startsQuery(i, last)) {
            query(i, last, scope);
            break;
        }
        if (const auto dual = duals_.find(i); dual != duals_.end()) {
            const size_t end = dual->second;
            const bool aliased = end < last && sql::isName(t_[end]) && !sql::isKeyword(t_[end]);
            write(kDual);
            if (!aliased)
                write(u" DUAL");
            i = end;
            continue;
        }
        const Token& k = t_[i];
        if (k.is(u"ORDER") && i + 1 < last && t_[i + 1].is(u"BY")) {
            i = orderBy(i, last, scope);
            continue;
        }
        // SQLite takes an expression after DEFAULT only in parentheses.
        if (k.is(u"DEFAULT") && startsOperand(i + 1, last)) {
            write(k.text);
            writeGap(i, i + 1);
            write(u"(");
            i = chain(i + 1, last, scope);
            write(u")");
            continue;
        }
        if (const size_t json = k.is(u"IS") ? isJson(i, last) : kNone; json != kNone) {
            i = json;
            continue;
        }
        if (startsOperand(i, last)) {
            const size_t quantifiedEnd = quantified(i, last, scope);
            i = quantifiedEnd != kNone ? quantifiedEnd : chain(i, last, scope);
            continue;
        }
        // Prefix operators before no operand stand as written, all at once: asking from each of
        // them again would read the rest of the run again.
        const size_t end = qMax(pastPrefixes(i, last), i + 1);
        write(k.isOp(u"^=") ? QStringView(u"<>") : k.text);  // SQLite has no ^=
        for (size_t j = i + 1; j < end; ++j) {
            writeGap(j - 1, j);
            write(t_[j].text);
        }
        i = end;
    }
}

// Signs, ~, PRIOR and CONNECT_BY_ROOT before an operand belong to it.
size_t Translator::operand(size_t i, size_t last, const Scope& scope) {
    const size_t start = pastPrefixes(i, last);
    size_t j = i;
    // A minus before what may be an interval: SQLite's would read its text as a number.
    if (start == i + 1 && t_[i].isOp(u'-') && t_[start].kind != TokenKind::Number &&
        startsOperand(start, last)) {
        write(u"qv_negate(");
        size_t next = operand(start, last, scope);
        write(u")");
        return next;
    }
    if (start > i && startsOperand(start, last)) {
        for (; j < start; ++j) {
            write(t_[j].text);
            writeGap(j, j + 1);
        }
    }
    size_t next = primary(j, last, scope);
    while (next + 1 < last && t_[next].is(u"COLLATE")) {
        writeGap(next - 1, next);
        write(t_[next].text);
        writeGap(next, next + 1);
        write(t_[next + 1].text);
        next += 2;
    }
    return next;
}

size_t Translator::operandEnd(size_t i, size_t last) const {
    const size_t start = pastPrefixes(i, last);
    size_t next = primaryEnd(start > i && startsOperand(start, last) ? start : i, last);
    while (next + 1 < last && t_[next].is(u"COLLATE"))
        next += 2;
    return next;
}

size_t Translator::primary(size_t i, size_t last, const Scope& scope) {
    const Token& k = t_[i];
    // A literal beyond NUMBER's range (1E126), which SQLite would read as an infinity.
    if (k.kind == TokenKind::Number && mayOverflow(k.text) &&
        !(std::fabs(k.text.toDouble()) < 1e126))
        throw oracleError(1426, QStringLiteral("ORA-01426: numeric overflow"));
    if (k.isOp(u'(') || k.is(u"CASE")) {
        const size_t close = closing(i, last);
        if (close >= last) {
            writeOriginal(i, last);  // unbalanced: SQLite says where
            return last;
        }
        write(k.text);
        if (close > i + 1) {
            writeGap(i, i + 1);
            if (k.isOp(u'(') && startsQuery(i + 1, close)) {
                if (isScalarPlace(i, scope))
                    scalarQuery(i + 1, close, scope);
                else
                    query(i + 1, close, scope);
            } else {
                render(i + 1, close, scope);
            }
            writeGap(close - 1, close);
        }
        write(t_[close].text);
        return close + 1;
    }
    if ((k.is(u"DATE") || k.is(u"TIMESTAMP")) && i + 1 < last &&
        t_[i + 1].kind == TokenKind::String) {
        write(dateLiteral(k.is(u"TIMESTAMP"), sql::stringValue(t_[i + 1])));
        return i + 2;
    }
    if (sql::isName(k)) {
        if (const size_t end = intervalEnd(i, last); end != kNone) {
            intervalLiteral(i, end);
            return end;
        }
        if (const size_t end = ddl_ ? intervalType(i, last) : kNone; end != kNone)
            return end;
        const size_t j = nameEnd(t_, i, last);
        if (j < last && t_[j].isOp(u'(') && t_[j - 1].kind == TokenKind::Word)
            return call(i, j, last, scope);
        if (j >= i + 3 && t_[j - 2].isOp(u'.') &&
            (t_[j - 1].is(u"NEXTVAL") || t_[j - 1].is(u"CURRVAL"))) {
            write(sequenceCall(t_[j - 3], t_[j - 1].is(u"NEXTVAL")));
            return j;
        }
        // A CHAR column without a length (CHAR(1)) compares blank-padded too.
        if (ddl_ && j == i + 1 && i > 0 && sql::isName(t_[i - 1]) &&
            sql::isOneOf(k, {u"CHAR", u"NCHAR", u"CHARACTER"}) &&
            !(j < last && (t_[j].is(u"COLLATE") || t_[j].is(u"VARYING")))) {
            write(k.text.toString() + QStringLiteral(" COLLATE ") + kBlankPaddedCollation);
            return j;
        }
        if (j == i + 1 && k.kind == TokenKind::Word) {
            if (const auto text = special(k, scope)) {
                write(*text);
                return i + 1;
            }
        }
        const auto n = numberColumns_.find(i);
        const auto d = dateOperands_.find(i);
        const bool number = n != numberColumns_.end() && n->second == j;
        const bool date = d != dateOperands_.end() && d->second == j;
        write(number ? u"to_number(" : date ? u"qv_date_of(" : u"");
        writeOriginal(i, j);
        if (number || date)
            write(u")");
        return j;
    }
    // Oracle has no empty string: '' is NULL.
    if (k.kind == TokenKind::String && k.text.size() <= 5 && sql::stringValue(k).isEmpty())
        write(u"NULL");
    else if (dateTexts_.count(i) || numberTexts_.count(i))
        write(QLatin1String(dateTexts_.count(i) ? "to_date(" : "to_number(") +
              sql::quotedString(sql::stringValue(k)) + u')');
    else if (k.kind == TokenKind::Param && dateOperands_.count(i))
        write(QStringLiteral("qv_date_of(") + k.text.toString() + u')');
    // N'text' and q'[text]' are Oracle's alone.
    else if (k.kind == TokenKind::String && !k.text.startsWith(u'\''))
        write(sql::quotedString(sql::stringValue(k)));
    else
        write(k.text);
    return i + 1;
}

size_t Translator::primaryEnd(size_t i, size_t last) const {
    const Token& k = t_[i];
    if (k.isOp(u'(') || k.is(u"CASE")) {
        const size_t close = closing(i, last);
        return close >= last ? last : close + 1;
    }
    if ((k.is(u"DATE") || k.is(u"TIMESTAMP")) && i + 1 < last &&
        t_[i + 1].kind == TokenKind::String)
        return i + 2;
    if (sql::isName(k)) {
        if (const size_t end = intervalEnd(i, last); end != kNone)
            return end;
        const size_t j = nameEnd(t_, i, last);
        if (j < last && t_[j].isOp(u'(') && t_[j - 1].kind == TokenKind::Word)
            return callEnd(i, j, last);
        return j;
    }
    return i + 1;
}

size_t Translator::call(size_t nameFirst, size_t open, size_t last, const Scope& scope) {
    const size_t close = closing(open, last);
    if (close >= last) {
        writeOriginal(nameFirst, last);
        return last;
    }
    const Token& name = t_[open - 1];
    const bool qualified = open - 1 > nameFirst;
    std::vector<Range> args;
    if (close > open + 1)
        args = groups_.splitTopLevel(open + 1, close);
    auto arg = [&](size_t k) { render(args[k].first, args[k].last, scope); };
    // An argument used as an operand of IS keeps its grouping.
    auto grouped = [&](size_t k) {
        if (args[k].size() > 1) {
            write(u"(");
            arg(k);
            write(u")");
        } else {
            arg(k);
        }
    };
    auto arguments = [&](size_t least, size_t most) {
        if (args.size() < least || args.size() > most)
            throw oracleError(909, QStringLiteral("ORA-00909: invalid number of arguments"));
    };
    if (!qualified && name.is(u"NVL")) {
        arguments(2, 2);
        write(u"ifnull(");
        arg(0);
        write(u", ");
        arg(1);
        write(u")");
    } else if (!qualified && name.is(u"NVL2")) {
        arguments(3, 3);
        write(u"CASE WHEN ");
        grouped(0);
        write(u" IS NOT NULL THEN ");
        arg(1);
        write(u" ELSE ");
        arg(2);
        write(u" END");
    } else if (!qualified && (name.is(u"LISTAGG") || isStatistic(open, close, last))) {
        return name.is(u"LISTAGG") ? listagg(open, close, last, scope)
                                   : statistic(open, close, last, scope);
    } else if (!qualified && name.is(u"DECODE")) {
        decode(args, scope);
    } else if (!qualified && (name.is(u"GREATEST") || name.is(u"LEAST"))) {
        arguments(1, 255);
        // One argument would make MAX and MIN aggregates.
        write(args.size() == 1 ? u"(" : name.is(u"GREATEST") ? u"max(" : u"min(");
        for (size_t k = 0; k < args.size(); ++k) {
            if (k > 0)
                write(u", ");
            arg(k);
        }
        write(u")");
    } else if (!qualified && name.is(u"CAST") && args.size() == 1) {
        cast(args[0], scope);
    } else if (!qualified && name.is(u"EXTRACT") && args.size() == 1) {
        extract(args[0], scope);
    } else if (!qualified && name.is(u"TRIM") && args.size() == 1 &&
               groups_.findTopLevel(args[0].first, args[0].last, u"FROM") < args[0].last) {
        trim(args[0], scope);
    } else if (oracleCall(nameFirst, open, close, args, scope)) {
    } else if (!qualified && ddl_ && isTypeName(name)) {
        const std::optional<TypeName> type = oracleType(open - 1, last);
        if (type)
            write(type->text);
        else
            writeOriginal(nameFirst, close + 1);
        const size_t next = type ? type->next : close + 1;
        // CHAR values compare blank-padded (oraclevalues.h).
        if (sql::isOneOf(name, {u"CHAR", u"NCHAR", u"CHARACTER"}) &&
            !(next < last && t_[next].is(u"COLLATE")))
            write(QStringLiteral(" COLLATE ") + kBlankPaddedCollation);
        return next;
    } else {
        writeOriginal(nameFirst, open);
        writeGap(open - 1, open);
        write(u"(");
        if (close > open + 1) {
            writeGap(open, open + 1);
            render(open + 1, close, scope);
            writeGap(close - 1, close);
        }
        write(u")");
    }
    return callTail(close + 1, last, scope);
}

size_t Translator::callEnd(size_t nameFirst, size_t open, size_t last) const {
    const size_t close = closing(open, last);
    if (close >= last)
        return last;
    if (open - 1 == nameFirst && ddl_ && isTypeName(t_[nameFirst])) {
        if (const auto type = oracleType(nameFirst, last))
            return type->next;
    }
    return callTailEnd(close + 1, last);
}

// OVER, FILTER, KEEP and WITHIN GROUP after a call, which belong to it: past the one at `next`,
// with `open` at its '(' (kNone for OVER name); kNone when none stands there.
size_t Translator::callTailPart(size_t next, size_t last, size_t& open) const {
    open = kNone;
    if (next + 1 >= last)
        return kNone;
    const Token& w = t_[next];
    if ((w.is(u"OVER") || w.is(u"FILTER") || w.is(u"KEEP")) && t_[next + 1].isOp(u'('))
        open = next + 1;
    else if (w.is(u"WITHIN") && next + 2 < last && t_[next + 1].is(u"GROUP") &&
             t_[next + 2].isOp(u'('))
        open = next + 2;
    if (open == kNone)
        return w.is(u"OVER") && sql::isName(t_[next + 1]) ? next + 2 : kNone;
    const size_t close = closing(open, last);
    return close >= last ? kNone : close + 1;
}

size_t Translator::callTail(size_t next, size_t last, const Scope& scope) {
    size_t open = kNone;
    for (size_t end; (end = callTailPart(next, last, open)) != kNone; next = end) {
        writeGap(next - 1, next);
        if (open == kNone) {
            writeOriginal(next, end);
            continue;
        }
        writeOriginal(next, open);
        writeGap(open - 1, open);
        write(u"(");
        render(open + 1, end - 1, scope);
        write(u")");
    }
    return next;
}

size_t Translator::callTailEnd(size_t next, size_t last) const {
    size_t open = kNone;
    for (size_t end; (end = callTailPart(next, last, open)) != kNone;)
        next = end;
    return next;
}

// DECODE(value, search, result, ..., default), matching NULL with NULL and reading the value
// once, whatever its size: a value written once per search would make a DECODE nested in
// another's value grow with the product of their searches.
//   a small value (a name, a literal):  CASE WHEN value IS search THEN result ... ELSE ... END
//   searches that are never NULL:       CASE value WHEN search THEN result ... END, which
//                                       compares as IS does then
//   else:                               CASE qv_decode(value, search, ...) WHEN 1 THEN result
//                                       ... END; qv_decode compares without the columns'
//                                       affinities and reads every search
void Translator::decode(const std::vector<Range>& args, const Scope& scope) {
    if (args.size() < 3)
        throw oracleError(938, QStringLiteral("ORA-00938: not enough arguments for function"));
    // Oracle's limit, which also keeps qv_decode within SQLite's.
    if (args.size() > 255)
        throw oracleError(939, QStringLiteral("ORA-00939: too many arguments for function"));
    auto arg = [&](size_t k) { render(args[k].first, args[k].last, scope); };
    auto grouped = [&](size_t k) {
        if (args[k].size() > 1)
            write(u"(");
        arg(k);
        if (args[k].size() > 1)
            write(u")");
    };
    const size_t pairsEnd = args.size() - (args.size() % 2 == 0 ? 1 : 0);
    bool literalSearches = true;
    for (size_t k = 1; k < pairsEnd; k += 2)
        literalSearches = literalSearches && isNonNullLiteral(t_, args[k]);
    const bool small = isSmallValue(t_, args[0]);
    if (small) {
        write(u"CASE");
    } else if (literalSearches) {
        write(u"CASE ");
        grouped(0);
    } else {
        write(u"CASE qv_decode(");
        arg(0);
        for (size_t k = 1; k < pairsEnd; k += 2) {
            write(u", ");
            arg(k);
        }
        write(u")");
    }
    for (size_t k = 1; k < pairsEnd; k += 2) {
        checkStop();
        write(u" WHEN ");
        if (small) {
            grouped(0);
            write(u" IS ");
            grouped(k);
        } else if (literalSearches) {
            arg(k);
        } else {
            write(QString::number(k / 2 + 1));
        }
        write(u" THEN ");
        arg(k + 1);
    }
    if (pairsEnd < args.size()) {
        write(u" ELSE ");
        arg(pairsEnd);
    }
    write(u" END");
}

// A type with a size SQLite cannot parse (VARCHAR2(10 BYTE), NUMBER(*,2), TIMESTAMP(6) WITH
// TIME ZONE) in a form it can, the words that name the type kept for the field types.
std::optional<Translator::TypeName> Translator::oracleType(size_t nameAt, size_t last) const {
    const size_t open = nameAt + 1;
    const size_t close = closing(open, last);
    if (close >= last || close == open + 1)
        return std::nullopt;
    QString sizes;
    bool changed = false;
    bool characters = false;  // a length in characters, kept as a word of the type's name
    for (const auto& [a, b] : groups_.splitTopLevel(open + 1, close)) {
        if (!sizes.isEmpty())
            sizes += u',';
        if (b - a == 1 && t_[a].kind == TokenKind::Number) {
            sizes += t_[a].text;
        } else if (b - a == 2 && t_[a].kind == TokenKind::Number &&
                   (t_[a + 1].is(u"BYTE") || t_[a + 1].is(u"CHAR"))) {
            sizes += t_[a].text;
            characters = t_[a + 1].is(u"CHAR");
            changed = true;
        } else if (b - a == 1 && t_[a].isOp(u'*')) {
            sizes += u"38";
            changed = true;
        } else if (b - a == 2 && t_[a].isOp(u'-') && t_[a + 1].kind == TokenKind::Number) {
            sizes += u'-' + t_[a + 1].text.toString();
        } else {
            return std::nullopt;
        }
    }
    QString text = t_[nameAt].text.toString() +
                   (characters ? QStringLiteral(" CHAR(") : QStringLiteral("(")) + sizes + u')';
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
    return TypeName{text, next};
}

// CAST(x AS DATE) would give SQLite's NUMERIC affinity (2024 from '2024-01-31'), CAST('abc' AS
// NUMBER) SQLite's 0 and CAST(0.5 AS VARCHAR2(9)) '0.5': dates, numbers and texts are converted
// by the engine's functions, as Oracle converts them (oraclevalues.h).
void Translator::cast(Range argument, const Scope& scope) {
    const auto [first, last] = argument;
    const size_t as = groups_.findTopLevel(first, last, u"AS");
    if (as + 1 >= last) {
        write(u"CAST(");
        render(first, last, scope);
        write(u")");
        return;
    }
    if (intervalCast(first, as, last, scope))
        return;
    const Token& type = t_[as + 1];
    const bool sized = as + 2 < last && t_[as + 2].isOp(u'(');
    std::vector<Range> sizes;
    if (sized && closing(as + 2, last) == last - 1)
        sizes = groups_.splitTopLevel(as + 3, last - 1);
    auto number = [&](const Range& r) {
        return r.size() == 1 && t_[r.first].kind == TokenKind::Number;
    };
    const bool date = type.is(u"DATE");
    const bool timestamp = type.is(u"TIMESTAMP");
    const bool text = sql::isOneOf(type, {u"VARCHAR2", u"VARCHAR", u"NVARCHAR2", u"CLOB"});
    const bool whole = sql::isOneOf(type, {u"INTEGER", u"INT", u"SMALLINT"});
    const bool decimal = sql::isOneOf(type, {u"NUMBER", u"NUMERIC", u"DECIMAL", u"DEC"});
    const bool binary =
        sql::isOneOf(type, {u"FLOAT", u"REAL", u"BINARY_DOUBLE", u"BINARY_FLOAT", u"DOUBLE"});
    if (date || timestamp || text || whole || binary || (decimal && !sized)) {
        write(date        ? u"to_date("
              : timestamp ? u"to_timestamp("
              : text      ? u"qv_text("
                          : u"qv_number(");
        render(first, as, scope);
        write(whole ? u", 38, 0)" : u")");
        return;
    }
    // NUMBER(p), NUMBER(p, s), NUMBER(*, s): rounded to s places, p digits at most.
    if (decimal && !sizes.empty() && sizes.size() <= 2 &&
        (number(sizes[0]) || (sizes[0].size() == 1 && t_[sizes[0].first].isOp(u'*')))) {
        const Range scale = sizes.size() == 2 ? sizes[1] : Range{};
        const bool negative = scale.size() == 2 && t_[scale.first].isOp(u'-') &&
                              t_[scale.first + 1].kind == TokenKind::Number;
        if (scale.empty() || number(scale) || negative) {
            write(u"qv_number(");
            render(first, as, scope);
            write(u", ");
            write(number(sizes[0]) ? t_[sizes[0].first].text : u"38");
            write(u", ");
            if (scale.empty())
                write(u"0");
            else
                writeOriginal(scale.first, scale.last);
            write(u")");
            return;
        }
    }
    write(u"CAST(");
    render(first, as, scope);
    write(u" AS ");
    std::optional<TypeName> fixed;
    if (sized && isTypeName(type))
        fixed = oracleType(as + 1, last);
    if (fixed)
        write(fixed->text);
    else
        writeOriginal(as + 1, last);
    write(u")");
}

}  // namespace qv::embedded

namespace qv::embedded {

QString Translator::sequenceCall(const Token& name, bool next) {
    if (!nextvals_) {
        checkSequencePlaces(t_);
        nextvals_.emplace();
        for (size_t k = 2; k < t_.size(); ++k) {
            if (t_[k].is(u"NEXTVAL") && t_[k - 1].isOp(u'.') && sql::isName(t_[k - 2]))
                nextvals_->insert(sql::unquoted(t_[k - 2]).toUpper());
        }
    }
    // One NEXTVAL per row, as Oracle: the first mention moves the sequence, the others read it.
    const QString key = sql::unquoted(name).toUpper();
    const bool moves = (next || nextvals_->contains(key)) && sequencesMoved_.insert(key).second;
    return QStringLiteral("%1(%2)").arg(
        moves ? QStringLiteral("qv_nextval") : QStringLiteral("qv_currval"),
        sql::quotedString(key));
}

}  // namespace qv::embedded
