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

}  // namespace

bool Translator::isDateColumn(size_t first, size_t end) const {
    return columnOfType(first, end, [](const QString& type) {
        return type.trimmed().compare(u"DATE", Qt::CaseInsensitive) == 0;
    });
}

bool Translator::isTextColumn(size_t first, size_t end) const {
    return columnOfType(first, end, [](const QString& type) {
        const QString t = type.trimmed().toUpper();
        return t.startsWith(u"VARCHAR") || t.startsWith(u"NVARCHAR") || t.startsWith(u"CHAR") ||
               t.startsWith(u"NCHAR");
    });
}

bool Translator::columnOfType(size_t first, size_t end,
                              const std::function<bool(const QString&)>& typed) const {
    // [qualifier .] column, alone between its neighbours.
    QString qualifier;
    if (end == first + 3 && t_[first + 1].isOp(u'.') && sql::isName(t_[first]))
        qualifier = sql::unquoted(t_[first]);
    else if (end != first + 1)
        return false;
    const Token& name = t_[end - 1];
    if (!sql::isName(name) || sql::isKeyword(name))
        return false;
    if ((first > 0 && bindsOperand(t_[first - 1])) || (end < t_.size() && bindsOperand(t_[end])))
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
    if (aliases_.empty())
        return;
    // The column operand that ends just before `at`, or starts at it.
    auto columnBefore = [&](size_t at) {
        return (at >= 1 && isDateColumn(at - 1, at)) || (at >= 3 && isDateColumn(at - 3, at));
    };
    auto columnFrom = [&](size_t at) {
        return isDateColumn(at, at + 1) || (at + 3 <= t_.size() && isDateColumn(at, at + 3));
    };
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
