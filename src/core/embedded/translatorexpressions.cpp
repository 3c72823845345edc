// Expressions of Oracle's SQL in SQLite's terms: operators grouped by Oracle's precedence,
// Oracle's functions, literals and pseudo-columns. See translateOracle() in oracledialect.h.
#include "core/embedded/oraclefunctions.h"
#include "core/embedded/translator.h"

#include <QDate>
#include <QRegularExpression>
#include <QStringList>

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

bool isArithmetic(const Token& t) {
    if (t.kind != TokenKind::Op)
        return false;
    return t.text == u"+" || t.text == u"-" || t.text == u"*" || t.text == u"/" || t.text == u"%" ||
           t.text == u"||";
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

}  // namespace

QString Translator::render(size_t first, size_t last, const Scope& scope) {
    QString out;
    size_t i = first;
    while (i < last) {
        if (i > first)
            out += gap(i - 1, i);
        // A parenthesised query is a query only where the caller expects one (see run()).
        if (!t_[i].isOp(u'(') && startsQuery(i, last)) {
            out += query(i, last, scope);
            break;
        }
        if (const auto dual = duals_.find(i); dual != duals_.end()) {
            const size_t end = dual->second;
            const bool aliased = end < last && sql::isName(t_[end]) && !sql::isKeyword(t_[end]);
            out += aliased ? kDual : kDual + QStringLiteral(" DUAL");
            i = end;
            continue;
        }
        const Token& k = t_[i];
        // SQLite takes an expression after DEFAULT only in parentheses.
        if (k.is(u"DEFAULT") && startsOperand(i + 1, last)) {
            const Piece p = chain(i + 1, last, scope);
            out += k.text.toString() + gap(i, i + 1) + u'(' + p.text + u')';
            i = p.next;
            continue;
        }
        if (startsOperand(i, last)) {
            const Piece p = chain(i, last, scope);
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
Translator::Piece Translator::chain(size_t i, size_t last, const Scope& scope) {
    std::vector<Piece> operands{operand(i, last, scope)};
    std::vector<size_t> ops;
    size_t j = operands.back().next;
    while (j < last && isArithmetic(t_[j]) && startsOperand(j + 1, last)) {
        ops.push_back(j);
        operands.push_back(operand(j + 1, last, scope));
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

Translator::Piece Translator::operand(size_t i, size_t last, const Scope& scope) {
    QString prefix;
    size_t j = i;
    while ((t_[j].isOp(u'-') || t_[j].isOp(u'+') || t_[j].isOp(u'~') || t_[j].is(u"PRIOR") ||
            t_[j].is(u"CONNECT_BY_ROOT")) &&
           startsOperand(j + 1, last)) {
        prefix += t_[j].text.toString() + gap(j, j + 1);
        ++j;
    }
    Piece p = primary(j, last, scope);
    while (p.next + 1 < last && t_[p.next].is(u"COLLATE")) {
        p.text += gap(p.next - 1, p.next) + t_[p.next].text.toString() + gap(p.next, p.next + 1) +
                  t_[p.next + 1].text.toString();
        p.next += 2;
    }
    return {prefix + p.text, p.next};
}

Translator::Piece Translator::primary(size_t i, size_t last, const Scope& scope) {
    const Token& k = t_[i];
    if (k.isOp(u'(') || k.is(u"CASE")) {
        const size_t close = sql::closing(t_, i, last);
        if (close >= last)
            return {original(i, last), last};  // unbalanced: SQLite says where
        QString inner;
        if (close > i + 1) {
            const bool query = k.isOp(u'(') && startsQuery(i + 1, close);
            inner = gap(i, i + 1) +
                    (query ? this->query(i + 1, close, scope) : render(i + 1, close, scope)) +
                    gap(close - 1, close);
        }
        return {k.text.toString() + inner + t_[close].text.toString(), close + 1};
    }
    if ((k.is(u"DATE") || k.is(u"TIMESTAMP")) && i + 1 < last &&
        t_[i + 1].kind == TokenKind::String)
        return {dateLiteral(k.is(u"TIMESTAMP"), sql::stringValue(t_[i + 1])), i + 2};
    if (sql::isName(k)) {
        size_t j = i + 1;
        while (j + 1 < last && t_[j].isOp(u'.') &&
               (sql::isName(t_[j + 1]) || t_[j + 1].isOp(u'*'))) {
            j += 2;
            if (t_[j - 1].isOp(u'*'))
                break;
        }
        if (j < last && t_[j].isOp(u'(') && t_[j - 1].kind == TokenKind::Word)
            return call(i, j, last, scope);
        if (j == i + 1 && k.kind == TokenKind::Word) {
            if (const auto text = special(k, scope))
                return {*text, i + 1};
        }
        return {original(i, j), j};
    }
    // N'text' and q'[text]' are Oracle's alone.
    if (k.kind == TokenKind::String && !k.text.startsWith(u'\''))
        return {sql::quotedString(sql::stringValue(k)), i + 1};
    return {k.text.toString(), i + 1};
}

Translator::Piece Translator::call(size_t nameFirst, size_t open, size_t last, const Scope& scope) {
    const size_t close = sql::closing(t_, open, last);
    if (close >= last)
        return {original(nameFirst, last), last};
    const Token& name = t_[open - 1];
    const bool qualified = open - 1 > nameFirst;
    std::vector<Range> args;
    if (close > open + 1)
        args = sql::splitTopLevel(t_, open + 1, close);
    auto arg = [&](size_t k) { return render(args[k].first, args[k].last, scope); };
    // An argument used as an operand of IS keeps its grouping.
    auto grouped = [&](size_t k) {
        const QString text = arg(k);
        return args[k].size() > 1 ? u'(' + text + u')' : text;
    };
    auto arguments = [&](size_t least, size_t most) {
        if (args.size() < least || args.size() > most)
            throw oracleError(909, QStringLiteral("ORA-00909: invalid number of arguments"));
    };
    QString text;
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
            text = cast(args[0], scope);
        } else if (name.is(u"EXTRACT") && args.size() == 1) {
            text = extract(args[0], scope);
        } else if (ddl_ && isTypeName(name)) {
            if (const auto type = oracleType(open - 1, last))
                return *type;
        }
    }
    if (text.isEmpty()) {
        const QString inner =
            close > open + 1
                ? gap(open, open + 1) + render(open + 1, close, scope) + gap(close - 1, close)
                : QString();
        text = original(nameFirst, open) + gap(open - 1, open) + u'(' + inner + u')';
    }
    return callTail(text, close + 1, last, scope);
}

// OVER, FILTER and WITHIN GROUP after a call, which belong to it.
Translator::Piece Translator::callTail(QString text, size_t next, size_t last, const Scope& scope) {
    while (next + 1 < last) {
        const Token& w = t_[next];
        size_t open = kNone;
        if ((w.is(u"OVER") || w.is(u"FILTER")) && t_[next + 1].isOp(u'('))
            open = next + 1;
        else if (w.is(u"WITHIN") && next + 2 < last && t_[next + 1].is(u"GROUP") &&
                 t_[next + 2].isOp(u'('))
            open = next + 2;
        if (open == kNone) {
            if (w.is(u"OVER") && sql::isName(t_[next + 1])) {
                text += gap(next - 1, next) + original(next, next + 2);
                next += 2;
                continue;
            }
            break;
        }
        const size_t close = sql::closing(t_, open, last);
        if (close >= last)
            break;
        text += gap(next - 1, next) + original(next, open) + gap(open - 1, open) + u'(' +
                render(open + 1, close, scope) + u')';
        next = close + 1;
    }
    return {text, next};
}

// A type with a size SQLite cannot parse (VARCHAR2(10 BYTE), NUMBER(*,2), TIMESTAMP(6) WITH
// TIME ZONE) in a form it can, the words that name the type kept for the field types.
std::optional<Translator::Piece> Translator::oracleType(size_t nameAt, size_t last) const {
    const size_t open = nameAt + 1;
    const size_t close = sql::closing(t_, open, last);
    if (close >= last || close == open + 1)
        return std::nullopt;
    QStringList sizes;
    bool changed = false;
    for (const auto& [a, b] : sql::splitTopLevel(t_, open + 1, close)) {
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
QString Translator::cast(Range argument, const Scope& scope) {
    const auto [first, last] = argument;
    const size_t as = sql::findTopLevel(t_, first, last, u"AS");
    if (as + 1 >= last)
        return QStringLiteral("CAST(") + render(first, last, scope) + u')';
    const QString value = render(first, as, scope);
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

QString Translator::extract(Range argument, const Scope& scope) {
    static const std::pair<const char16_t*, const char*> kParts[] = {
        {u"YEAR", "CAST(strftime('%Y', %1) AS INTEGER)"},
        {u"MONTH", "CAST(strftime('%m', %1) AS INTEGER)"},
        {u"DAY", "CAST(strftime('%d', %1) AS INTEGER)"},
        {u"HOUR", "CAST(strftime('%H', %1) AS INTEGER)"},
        {u"MINUTE", "CAST(strftime('%M', %1) AS INTEGER)"},
        {u"SECOND", "CAST(strftime('%f', %1) AS REAL)"}};
    if (argument.size() >= 3 && t_[argument.first + 1].is(u"FROM")) {
        for (const auto& [part, pattern] : kParts) {
            if (t_[argument.first].is(QStringView(part)))
                return QString::fromLatin1(pattern).arg(
                    render(argument.first + 2, argument.last, scope));
        }
    }
    refuse(QStringLiteral("EXTRACT is understood for YEAR, MONTH, DAY, HOUR, MINUTE and SECOND"));
}

}  // namespace qv::embedded
