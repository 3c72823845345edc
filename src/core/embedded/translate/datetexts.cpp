// Text that Oracle reads as a date, and text columns compared with numbers: a string literal
// compared with a DATE column (=, <>, <, ..., [NOT] BETWEEN ... AND ..., [NOT] IN (...)) is
// converted by the session's NLS_DATE_FORMAT before the comparison, or fails with Oracle's date
// errors. The engine keeps a date as text, so without the conversion '10-FEB-19' would be compared
// with '2019-02-10' as text and silently match nothing. The literals found are written as
// to_date('...') (primary()); a bind value (a PL/SQL block's variable too) or a text column
// compared with a DATE column as qv_date_of(...), which keeps a date and converts text. A text
// column compared with a number is TO_NUMBER(column) as in Oracle: '05' = 5, no index on the
// column, and ORA-01722 for a value that is no number.
#include "core/embedded/translate/translator.h"

#include <functional>
#include <map>

namespace qv::embedded {

namespace {

bool isComparison(const Token& t) {
    if (t.kind != TokenKind::Op)
        return false;
    for (const char16_t* op : {u"=", u"<>", u"!=", u"^=", u"<", u">", u"<=", u">="}) {
        if (t.text == QStringView(op))
            return true;
    }
    return false;
}

// Whether `t` joins the operand before or after it to more than a column (so that the column
// alone is not what is compared).
bool bindsOperand(const Token& t) {
    return t.kind == TokenKind::Op && (t.text == u"||" || t.text == u"+" || t.text == u"-" ||
                                       t.text == u"*" || t.text == u"/" || t.text == u".");
}

bool isText(const Token& t) {
    return t.kind == TokenKind::String && t.text.startsWith(u'\'');
}

// The '(' whose group closes at the ')' just before `end`; `end` - 1 when none does.
size_t openingBefore(const std::vector<Token>& t, size_t end) {
    int depth = 0;
    for (size_t k = end; k-- > 0;) {
        depth += t[k].isOp(u')') ? 1 : t[k].isOp(u'(') ? -1 : 0;
        if (depth == 0)
            return k;
    }
    return end - 1;
}

}  // namespace

bool Translator::isDateColumn(size_t first, size_t end, bool alone) const {
    return columnOfType(
        first, end,
        [](const QString& type) {
            return type.trimmed().compare(u"DATE", Qt::CaseInsensitive) == 0;
        },
        alone);
}

bool Translator::isTextColumn(size_t first, size_t end) const {
    return columnOfType(first, end, [](const QString& type) {
        const QString t = type.trimmed().toUpper();
        return t.startsWith(u"VARCHAR") || t.startsWith(u"NVARCHAR") || t.startsWith(u"CHAR") ||
               t.startsWith(u"NCHAR");
    });
}

bool Translator::columnOfType(size_t first, size_t end,
                              const std::function<bool(const QString&)>& typed, bool alone) const {
    // [qualifier .] column, alone between its neighbours.
    QString qualifier;
    if (end == first + 3 && t_[first + 1].isOp(u'.') && sql::isName(t_[first]))
        qualifier = sql::unquoted(t_[first]);
    else if (end != first + 1)
        return false;
    const Token& name = t_[end - 1];
    if (!sql::isName(name) || sql::isKeyword(name))
        return false;
    if (alone &&
        ((first > 0 && bindsOperand(t_[first - 1])) || (end < t_.size() && bindsOperand(t_[end]))))
        return false;
    const QString column = sql::unquoted(name);
    auto dateIn = [&](const TableFacts* facts) -> std::optional<bool> {
        const ColumnFacts* c = facts ? facts->column(column) : nullptr;
        if (!c)
            return std::nullopt;
        return typed(c->type);
    };
    if (!qualifier.isEmpty()) {
        const auto alias = aliases_.find(qualifier.toUpper());
        const std::optional<bool> date =
            dateIn(table(alias != aliases_.end() ? alias->second : qualifier));
        return date.value_or(false);
    }
    // Unqualified: the statement's tables that have the column must agree that it is a DATE.
    bool found = false;
    for (const auto& [alias, tableName] : aliases_) {
        if (const std::optional<bool> date = dateIn(table(tableName))) {
            if (!*date)
                return false;
            found = true;
        }
    }
    return found;
}

bool Translator::isDateExpression(size_t first, size_t end) const {
    if (end <= first || end > t_.size())
        return false;
    const Token& k = t_[first];
    if (end == first + 1 && (k.is(u"SYSDATE") || k.is(u"CURRENT_DATE")))
        return true;
    if (end == first + 2 && k.is(u"DATE") && isText(t_[first + 1]))
        return true;
    // Its neighbours are the caller's to judge.
    if (isDateColumn(first, end, false))
        return true;
    // A date plus or minus a number.
    if (end >= first + 3 && t_[end - 1].kind == TokenKind::Number &&
        (t_[end - 2].isOp(u'+') || t_[end - 2].isOp(u'-')))
        return isDateExpression(first, end - 2);
    if (!(k.kind == TokenKind::Word && first + 1 < end && t_[first + 1].isOp(u'(') &&
          groups_.closing(first + 1, end) == end - 1))
        return false;
    if (sql::isOneOf(k, {u"TO_DATE", u"ADD_MONTHS", u"LAST_DAY", u"NEXT_DAY", u"NEW_TIME"}))
        return true;
    if (k.is(u"CAST"))
        return end >= first + 5 && t_[end - 2].is(u"DATE") && t_[end - 3].is(u"AS");
    if (k.is(u"TRUNC") || k.is(u"ROUND")) {
        // Of a date: its first argument is one.
        const size_t comma = groups_.findTopLevel(first + 2, end - 1, u",");
        return isDateExpression(first + 2, std::min(comma, end - 1));
    }
    return false;
}

size_t Translator::dateOperandBefore(size_t at) const {
    if (at == 0 || at > t_.size())
        return kNone;
    std::vector<size_t> starts{at - 1};
    if (at >= 3)
        starts.push_back(at - 3);
    if (at >= 2)
        starts.push_back(at - 2);
    if (t_[at - 1].isOp(u')')) {
        // Back to the call's name: its '(' is the one whose group closes at `at` - 1.
        if (const size_t open = openingBefore(t_, at); open > 0 && t_[open].isOp(u'('))
            starts.push_back(open - 1);
    } else if (at >= 2 && t_[at - 1].kind == TokenKind::Number &&
               (t_[at - 2].isOp(u'+') || t_[at - 2].isOp(u'-'))) {
        const size_t start = dateOperandBefore(at - 2);
        if (start != kNone)
            return start;
    }
    for (const size_t start : starts) {
        if ((start == 0 || !bindsOperand(t_[start - 1])) && isDateExpression(start, at))
            return start;
    }
    return kNone;
}

size_t Translator::dateOperandFrom(size_t at) const {
    if (at >= t_.size())
        return kNone;
    std::vector<size_t> ends{at + 1, at + 2, at + 3};
    if (at + 1 < t_.size() && t_[at + 1].isOp(u'(') && t_[at].kind == TokenKind::Word)
        ends.push_back(groups_.closing(at + 1, t_.size()) + 1);
    for (size_t end : ends) {
        if (!isDateExpression(at, end))
            continue;
        while (end + 1 < t_.size() && (t_[end].isOp(u'+') || t_[end].isOp(u'-')) &&
               t_[end + 1].kind == TokenKind::Number)
            end += 2;
        if (end >= t_.size() || !bindsOperand(t_[end]))
            return end;
    }
    return kNone;
}

bool Translator::isNumberCall(size_t first, size_t end) const {
    const Token& k = t_[first];
    if (!(k.kind == TokenKind::Word && first + 1 < end && t_[first + 1].isOp(u'(') &&
          groups_.closing(first + 1, end) == end - 1))
        return false;
    if (sql::isOneOf(
            k, {u"ABS", u"MOD", u"REMAINDER", u"LENGTH", u"LENGTHB", u"INSTR", u"FLOOR", u"CEIL",
                u"SIGN", u"POWER", u"SQRT", u"TO_NUMBER", u"COUNT", u"SUM", u"AVG", u"ASCII"}))
        return true;
    if (k.is(u"TRUNC") || k.is(u"ROUND")) {
        // Of a number: its first argument is no date.
        const size_t comma = groups_.findTopLevel(first + 2, end - 1, u",");
        return !isDateExpression(first + 2, std::min(comma, end - 1));
    }
    return false;
}

namespace {

bool isArithmetic(const Token& t) {
    return t.kind == TokenKind::Op &&
           (t.text == u"+" || t.text == u"-" || t.text == u"*" || t.text == u"/");
}

}  // namespace

// One term of an arithmetic chain [first, end): a number, a column, a bind, a call or a
// parenthesised expression. A number or a call that yields one is numeric alone (`*numeric`).
bool Translator::isArithmeticTerm(size_t first, size_t end, bool& numeric) const {
    numeric = false;
    const Token& k = t_[first];
    if (end == first + 1 && k.kind == TokenKind::Number)
        return numeric = true;
    if (end == first + 1 && k.kind == TokenKind::Param)
        return true;
    if (isDateExpression(first, end))
        return false;
    if ((end == first + 1 || (end == first + 3 && t_[first + 1].isOp(u'.'))) &&
        sql::isName(t_[end - 1]) && !sql::isKeyword(t_[end - 1]))
        return true;
    if (k.isOp(u'(') && groups_.closing(first, end) == end - 1)
        return true;
    return numeric = isNumberCall(first, end);
}

// Whether the operand ending just before `at` is a number: a number or a call that yields one,
// or an arithmetic chain of terms (`qty * 2`, `2 * 3`) none of which is a date. A chain joined by
// + and - alone counts only with a number in it, since a bind or a column might hold a date.
bool Translator::numberOperandBefore(size_t at) const {
    bool numeric = false;
    bool product = false;
    int terms = 0;
    size_t end = at;
    while (end > 0) {
        size_t first = end - 1;
        if (t_[first].isOp(u')')) {
            first = openingBefore(t_, end);
            if (first > 0 && t_[first - 1].kind == TokenKind::Word &&
                !sql::isKeyword(t_[first - 1]))
                --first;
        } else if (first >= 2 && t_[first - 1].isOp(u'.')) {
            first -= 2;
        }
        bool termNumeric = false;
        if (!isArithmeticTerm(first, end, termNumeric))
            return false;
        numeric = numeric || termNumeric;
        ++terms;
        if (first < 2 || !isArithmetic(t_[first - 1]) || isComparison(t_[first - 2]) ||
            t_[first - 2].isOp(u'(') || t_[first - 2].isOp(u','))
            return (first == 0 || !bindsOperand(t_[first - 1]) || isArithmetic(t_[first - 1])) &&
                   (terms == 1 ? termNumeric : numeric || product);
        product = product || t_[first - 1].isOp(u'*') || t_[first - 1].isOp(u'/');
        end = first - 1;
    }
    return false;
}

// The same for the operand that starts at `at`.
bool Translator::numberOperandFrom(size_t at) const {
    bool numeric = false;
    bool product = false;
    int terms = 0;
    size_t first = at;
    if (first < t_.size() && (t_[first].isOp(u'-') || t_[first].isOp(u'+')))
        ++first;
    while (first < t_.size()) {
        size_t end = first + 1;
        if (t_[first].isOp(u'('))
            end = groups_.closing(first, t_.size()) + 1;
        else if (first + 1 < t_.size() && t_[first + 1].isOp(u'(') &&
                 t_[first].kind == TokenKind::Word)
            end = groups_.closing(first + 1, t_.size()) + 1;
        else if (first + 2 < t_.size() && t_[first + 1].isOp(u'.'))
            end = first + 3;
        bool termNumeric = false;
        if (end > t_.size() || !isArithmeticTerm(first, end, termNumeric))
            return false;
        numeric = numeric || termNumeric;
        ++terms;
        if (end >= t_.size() || !isArithmetic(t_[end]))
            return (end >= t_.size() || !bindsOperand(t_[end])) &&
                   (terms == 1 ? termNumeric : numeric || product);
        product = product || t_[end].isOp(u'*') || t_[end].isOp(u'/');
        first = end + 1;
    }
    return false;
}

void Translator::findDateTexts() {
    // Only a statement with text next to a comparison needs its tables known.
    bool candidates = false;
    for (size_t i = 0; i < t_.size() && !candidates; ++i) {
        candidates =
            (isText(t_[i]) || t_[i].kind == TokenKind::Number || t_[i].kind == TokenKind::Param ||
             (sql::isName(t_[i]) && i + 1 < t_.size() && isComparison(t_[i + 1]))) &&
            ((i > 0 && (isComparison(t_[i - 1]) || t_[i - 1].is(u"BETWEEN") ||
                        t_[i - 1].is(u"AND") || t_[i - 1].isOp(u'(') || t_[i - 1].isOp(u','))) ||
             (i + 1 < t_.size() && isComparison(t_[i + 1])));
    }
    if (!candidates)
        return;
    // The statement's tables by their names and aliases: a known table's name, and the name
    // after it that is no keyword.
    for (size_t i = 0; i < t_.size(); ++i) {
        if (!sql::isName(t_[i]) || sql::isKeyword(t_[i]) || (i > 0 && t_[i - 1].isOp(u'.')) ||
            (i + 1 < t_.size() && (t_[i + 1].isOp(u'(') || t_[i + 1].isOp(u'.'))))
            continue;
        const QString name = sql::unquoted(t_[i]);
        if (!table(name))
            continue;
        aliases_.emplace(name.toUpper(), name);
        size_t next = i + 1;
        if (next < t_.size() && t_[next].is(u"AS"))
            ++next;
        if (next < t_.size() && sql::isName(t_[next]) && !sql::isKeyword(t_[next]))
            aliases_.emplace(sql::unquoted(t_[next]).toUpper(), name);
    }
    // The DATE operand (a column, or an expression that is a date) that ends just before `at`,
    // or starts at it.
    auto columnBefore = [&](size_t at) { return dateOperandBefore(at) != kNone; };
    auto columnFrom = [&](size_t at) { return dateOperandFrom(at) != kNone; };
    // The text column operand ending before the operator at `at` (`before`) or starting at it.
    auto numberColumn = [&](size_t at, bool before) {
        for (size_t width : {size_t(1), size_t(3)}) {
            const size_t first = before ? at - std::min(at, width) : at;
            const size_t end = before ? at : at + width;
            if (end <= t_.size() && end - first == width && isTextColumn(first, end))
                numberColumns_[first] = end;
        }
    };
    auto isParam = [&](size_t at) { return at < t_.size() && t_[at].kind == TokenKind::Param; };
    // A bind value, or a text column that ends before `at` (`before`) or starts at it, compared
    // with a DATE column.
    auto dateOperand = [&](size_t at, bool before) {
        if (before ? at >= 1 && isParam(at - 1) : isParam(at)) {
            const size_t p = before ? at - 1 : at;
            dateOperands_[p] = p + 1;
            return;
        }
        for (size_t width : {size_t(1), size_t(3)}) {
            const size_t first = before ? at - std::min(at, width) : at;
            const size_t end = before ? at : at + width;
            if (end <= t_.size() && end - first == width && isTextColumn(first, end))
                dateOperands_[first] = end;
        }
    };
    for (size_t i = 0; i < t_.size(); ++i) {
        const Token& k = t_[i];
        if (isComparison(k)) {
            if (i + 1 < t_.size() && isText(t_[i + 1]) && columnBefore(i))
                dateTexts_.insert(i + 1);
            if (i > 0 && isText(t_[i - 1]) && i + 1 < t_.size() && columnFrom(i + 1))
                dateTexts_.insert(i - 1);
            if (i + 1 < t_.size() && isText(t_[i + 1]) && numberOperandBefore(i) &&
                (i + 2 >= t_.size() || !bindsOperand(t_[i + 2])))
                numberTexts_.insert(i + 1);
            if (i > 0 && isText(t_[i - 1]) && numberOperandFrom(i + 1) &&
                (i < 2 || !bindsOperand(t_[i - 2])))
                numberTexts_.insert(i - 1);
            if (i + 1 < t_.size() && columnBefore(i))
                dateOperand(i + 1, false);
            if (i > 0 && i + 1 < t_.size() && columnFrom(i + 1))
                dateOperand(i, true);
            // A text column compared with a number is converted, as Oracle converts it.
            const size_t number =
                i + 1 < t_.size() && (t_[i + 1].isOp(u'-') || t_[i + 1].isOp(u'+')) ? i + 2 : i + 1;
            if (number < t_.size() && t_[number].kind == TokenKind::Number)
                numberColumn(i, true);
            if (i > 0 && t_[i - 1].kind == TokenKind::Number)
                numberColumn(i + 1, false);
        } else if (k.is(u"BETWEEN") && i + 3 < t_.size() && t_[i + 2].is(u"AND")) {
            const size_t column = i > 0 && t_[i - 1].is(u"NOT") ? i - 1 : i;
            if (t_[i + 1].kind == TokenKind::Number && t_[i + 3].kind == TokenKind::Number)
                numberColumn(column, true);
            if (!columnBefore(column))
                continue;
            for (const size_t bound : {i + 1, i + 3}) {
                if (isText(t_[bound]))
                    dateTexts_.insert(bound);
                else if (isParam(bound))
                    dateOperands_[bound] = bound + 1;
            }
        } else if (k.is(u"IN") && i + 1 < t_.size() && t_[i + 1].isOp(u'(')) {
            const size_t column = i > 0 && t_[i - 1].is(u"NOT") ? i - 1 : i;
            const size_t close = groups_.closing(i + 1, t_.size());
            if (i + 2 < close && t_[i + 2].kind == TokenKind::Number)
                numberColumn(column, true);
            if (!columnBefore(column))
                continue;
            for (const auto& [a, b] : groups_.splitTopLevel(i + 2, close)) {
                if (b == a + 1 && isText(t_[a]))
                    dateTexts_.insert(a);
                else if (b == a + 1 && isParam(a))
                    dateOperands_[a] = b;
            }
        }
    }
}

}  // namespace qv::embedded
