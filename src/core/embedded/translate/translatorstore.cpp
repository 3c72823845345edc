// Writing into a table as Oracle stores values (oraclevalues.h): every value an INSERT or an
// UPDATE gives a column whose declared type Oracle checks (NUMBER, INTEGER, VARCHAR2(n),
// CHAR(n), ...) passes through qv_store(value, rule, size, scale, column), which converts it to
// the column's type, rounds a number to the column's scale, pads a CHAR and raises ORA-01438,
// ORA-12899 or ORA-01722 where Oracle does. See translateOracle() in oracledialect.h.
#include "core/embedded/base/sqlitenames.h"
#include "core/embedded/translate/translator.h"
#include "core/embedded/values/oraclevalues.h"

#include <QRegularExpression>

namespace qv::embedded {

namespace {

// The arguments that follow the value in qv_store(value, ...) for `column`; empty when Oracle
// stores its values as they come.
QString storeArguments(const TableFacts& facts, const ColumnFacts& column) {
    const std::optional<StoreCheck> check = storeCheck(column.type);
    if (!check)
        return {};
    const QString name = QStringLiteral("\"%1\".\"%2\".\"%3\"")
                             .arg(dictionaryName(facts.owner), dictionaryName(facts.name),
                                  dictionaryName(column.name));
    return QStringLiteral(", %1, %2, %3, %4")
        .arg(int(check->rule))
        .arg(check->size)
        .arg(check->scale)
        .arg(sql::quotedString(name));
}

[[noreturn]] void generatedAlways() {
    throw oracleError(32795, QStringLiteral("ORA-32795: cannot insert into a generated always "
                                            "identity column"));
}

// Whether qv_store() arguments are a DATE column's, whose text literal is read as a date.
bool storesDate(const QString& arguments) {
    return arguments.startsWith(QStringLiteral(", %1,").arg(int(StoreRule::Date)));
}

}  // namespace

const ColumnFacts* TableFacts::column(const QString& wanted) const {
    for (const ColumnFacts& c : columns) {
        if (c.name.compare(wanted, Qt::CaseInsensitive) == 0)
            return &c;
    }
    return nullptr;
}

// INSERT INTO table [alias] [(columns)] VALUES (...) [, (...)] | query [RETURNING ...]
void Translator::insertStatement(size_t last) {
    const Scope statement;
    size_t i = 2;
    if (last < 4 || !t_[1].is(u"INTO") || !sql::isName(t_[i]))
        return render(0, last, statement);
    QString name = sql::unquoted(t_[i]);
    while (i + 2 < last && t_[i + 1].isOp(u'.') && sql::isName(t_[i + 2])) {
        i += 2;
        name = sql::unquoted(t_[i]);
    }
    ++i;
    if (i < last && sql::isName(t_[i]) && !sql::isKeyword(t_[i]) && !t_[i].is(u"VALUES"))
        ++i;  // an alias
    const TableFacts* facts = table(name);
    if (!facts)
        return render(0, last, statement);
    // What follows the value in qv_store() for each column written, read once for all rows.
    std::vector<QString> stores;
    const ColumnFacts* identity = facts->identityColumn();
    identity_ = IdentityWrite{};
    auto add = [&](const ColumnFacts* c) {
        if (c && c == identity)
            identity_.at = stores.size();
        stores.push_back(c ? storeArguments(*facts, *c) : QString());
    };
    size_t listClose = kNone;
    if (i < last && t_[i].isOp(u'(') && !startsQuery(i, last)) {
        listClose = closing(i, last);
        for (const auto& [a, b] : groups_.splitTopLevel(i + 1, listClose))
            add(b == a + 1 && sql::isName(t_[a]) ? facts->column(sql::unquoted(t_[a])) : nullptr);
        i = listClose + 1;
    } else {
        for (const ColumnFacts& c : facts->columns)
            add(&c);
    }
    if (identity) {
        identity_.next =
            QStringLiteral("qv_nextval(%1)").arg(sql::quotedString(identity->identity));
        identity_.always = identity->generatedAlways;
        identity_.onNull = identity->defaultOnNull;
    }
    const bool checked = identity || std::any_of(stores.begin(), stores.end(),
                                                 [](const QString& s) { return !s.isEmpty(); });
    if (!checked || i >= last)
        return render(0, last, statement);
    if (identity && identity_.at == kNone && listClose != kNone) {
        // Left out of the list: added to it, and its value to every row.
        writeOriginal(0, listClose);
        write(QStringLiteral(", ") + sql::quotedName(identity->name));
        writeOriginal(listClose, i);
    } else {
        writeOriginal(0, i);
    }
    writeGap(i - 1, i);
    if (t_[i].is(u"VALUES"))
        storedValues(i, last, stores);
    else
        storedRows(i, last, stores);
}

// A value given to the column at `identity`: refused for GENERATED ALWAYS, the next value in
// place of NULL for BY DEFAULT ON NULL.
void Translator::identityValue(size_t first, size_t last, bool identity, const Scope& scope) {
    if (identity && identity_.always)
        generatedAlways();
    if (identity && identity_.onNull)
        write(u"coalesce(");
    render(first, last, scope);
    if (identity && identity_.onNull)
        write(QStringLiteral(", ") + identity_.next + u')');
}

// VALUES (...) [, (...)] and what follows (RETURNING ...).
void Translator::storedValues(size_t first, size_t last, const std::vector<QString>& stores) {
    const Scope statement;
    write(t_[first].text);
    size_t i = first + 1;
    while (i < last && t_[i].isOp(u'(')) {
        writeGap(i - 1, i);
        const size_t close = closing(i, last);
        write(u"(");
        size_t k = 0;
        size_t previous = i;
        for (const auto& [a, b] : groups_.splitTopLevel(i + 1, close)) {
            if (k > 0)
                write(u",");
            if (a < b)
                writeGap(previous, a);
            const QString arguments = k < stores.size() ? stores[k] : QString();
            const bool identity = k == identity_.at;
            if (identity && b == a + 1 && t_[a].is(u"DEFAULT")) {
                write(identity_.next);
            } else if (!arguments.isEmpty() && a < b) {
                if (b == a + 1 && t_[a].kind == TokenKind::String && storesDate(arguments))
                    dateTexts_.insert(a);
                write(u"qv_store(");
                identityValue(a, b, identity, statement);
                write(arguments + u')');
            } else {
                identityValue(a, b, identity, statement);
            }
            previous = b;
            ++k;
        }
        if (identity_.at == kNone && !identity_.next.isEmpty())
            write(QStringLiteral(", ") + identity_.next);
        write(u")");
        i = close + 1;
        if (i + 1 < last && t_[i].isOp(u',') && t_[i + 1].isOp(u'(')) {
            write(u",");
            ++i;
        }
    }
    if (i < last) {
        writeGap(i - 1, i);
        render(i, last, statement);
    }
}

// A query's rows, each value passed through qv_store() by its place: the query becomes a named
// subquery with numbered columns, whose count SQLite checks against the columns written.
void Translator::storedRows(size_t first, size_t last, const std::vector<QString>& stores) {
    const Scope statement;
    size_t end = first;
    if (t_[first].isOp(u'(')) {
        end = closing(first, last) + 1;
    } else {
        const size_t returning = groups_.findTopLevel(first, last, u"RETURNING");
        end = returning;
    }
    QString names;
    QString values;
    for (size_t k = 0; k < stores.size(); ++k) {
        const QString name = QStringLiteral("qv_c%1").arg(k + 1);
        names += (k ? QStringLiteral(", ") : QString()) + name;
        QString value = name;
        if (k == identity_.at && identity_.always)
            generatedAlways();
        if (k == identity_.at && identity_.onNull)
            value = QStringLiteral("coalesce(%1, %2)").arg(name, identity_.next);
        values +=
            (k ? QStringLiteral(", ") : QString()) +
            (stores[k].isEmpty() ? value : QStringLiteral("qv_store(") + value + stores[k] + u')');
    }
    if (identity_.at == kNone && !identity_.next.isEmpty())
        values += QStringLiteral(", ") + identity_.next;
    write(QStringLiteral("WITH qv_stored(") + names + QStringLiteral(") AS ("));
    if (startsQuery(first, end))
        query(first, end, statement);
    else
        render(first, end, statement);
    write(QStringLiteral(") SELECT ") + values + QStringLiteral(" FROM qv_stored"));
    if (end < last) {
        write(u" ");
        render(end, last, statement);
    }
}

// UPDATE table [alias] SET column = value, ... [WHERE ...]: a value given to a column by name
// passes through qv_store(); (columns) = (query) is stored as it comes.
void Translator::updateStatement(size_t last) {
    const Scope statement;
    size_t i = 1;
    if (last < 5 || !sql::isName(t_[i]))
        return render(0, last, statement);
    QString name = sql::unquoted(t_[i]);
    while (i + 2 < last && t_[i + 1].isOp(u'.') && sql::isName(t_[i + 2])) {
        i += 2;
        name = sql::unquoted(t_[i]);
    }
    const size_t set = groups_.findTopLevel(i, last, u"SET");
    const TableFacts* facts = table(name);
    if (!facts || set >= last)
        return render(0, last, statement);
    size_t end = last;
    for (const char16_t* word : {u"WHERE", u"RETURNING", u"LOG"})
        end = std::min(end, groups_.findTopLevel(set + 1, last, word));
    writeOriginal(0, set + 1);
    size_t previous = set;
    bool firstAssignment = true;
    for (const auto& [a, b] : groups_.splitTopLevel(set + 1, end)) {
        if (!firstAssignment)
            write(u",");
        firstAssignment = false;
        if (a >= b)
            continue;
        writeGap(previous, a);
        previous = b - 1;
        size_t column = a;
        if (a + 2 < b && t_[a + 1].isOp(u'.'))
            column = a + 2;  // alias.column
        const ColumnFacts* c =
            column + 1 < b && t_[column + 1].isOp(u'=') && sql::isName(t_[column])
                ? facts->column(sql::unquoted(t_[column]))
                : nullptr;
        const QString arguments = c ? storeArguments(*facts, *c) : QString();
        // SQLite's SET names the column alone: alias.column loses its alias.
        if (arguments.isEmpty() || column + 2 >= b) {
            render(column, b, statement);
            continue;
        }
        writeOriginal(column, column + 2);
        writeGap(column + 1, column + 2);
        if (b == column + 3 && t_[column + 2].kind == TokenKind::String && storesDate(arguments))
            dateTexts_.insert(column + 2);
        write(u"qv_store(");
        render(column + 2, b, statement);
        write(arguments + u')');
    }
    if (end < last) {
        writeGap(previous, end);
        render(end, last, statement);
    }
}

}  // namespace qv::embedded
