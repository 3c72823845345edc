#include "core/embedded/plan/fromlist.h"

#include "core/sql/tokenlist.h"

#include <QHash>

namespace qv::embedded {

namespace {

using sql::Token;
using sql::TokenKind;

bool joinWord(const Token& t) {
    return sql::isOneOf(
        t, {u"JOIN", u"LEFT", u"RIGHT", u"FULL", u"INNER", u"CROSS", u"NATURAL", u"OUTER"});
}

// Where the first query block's FROM list begins and ends (token indexes); false when none.
bool listSpan(const std::vector<Token>& t, size_t& first, size_t& last) {
    const size_t n = t.size();
    if (n == 0)
        return false;
    if (t[0].is(u"SELECT")) {
        first = sql::findTopLevel(t, 0, n, u"FROM") + 1;
        if (first > n)
            return false;
        last = n;
        for (const char16_t* w : {u"WHERE", u"GROUP", u"ORDER", u"HAVING", u"LIMIT", u"WINDOW",
                                  u"UNION", u"EXCEPT", u"INTERSECT"})
            last = std::min(last, sql::findTopLevel(t, first, n, w));
        return first < last;
    }
    if (t[0].is(u"UPDATE")) {
        first = 1;
        if (first + 1 < n && t[first].is(u"OR"))
            first += 2;
        last = sql::findTopLevel(t, first, n, u"SET");
        return first < last && last < n;
    }
    if (t[0].is(u"DELETE") && n > 2 && t[1].is(u"FROM")) {
        first = 2;
        last = std::min(sql::findTopLevel(t, first, n, u"WHERE"),
                        sql::findTopLevel(t, first, n, u"RETURNING"));
        return first < last;
    }
    return false;
}

QString lowerName(const Token& t) {
    return sql::unquoted(t).toLower();
}

}  // namespace

FromList readFromList(const QString& sqliteText) {
    FromList from;
    // An INSERT, however long, is not read for it.
    const QStringView start = QStringView(sqliteText).trimmed().left(6);
    if (start.compare(u"SELECT", Qt::CaseInsensitive) != 0 &&
        start.compare(u"UPDATE", Qt::CaseInsensitive) != 0 &&
        start.compare(u"DELETE", Qt::CaseInsensitive) != 0)
        return from;
    const std::vector<Token> t = sql::tokenize(sqliteText);
    size_t i = 0, last = 0;
    if (!listSpan(t, i, last))
        return from;
    from.begin = t[i].begin;
    from.end = t[last - 1].end;
    from.commas = true;
    while (i < last) {
        FromTable item;
        item.begin = t[i].begin;
        if (t[i].isOp(u'(')) {
            i = sql::closing(t, i, last) + 1;
        } else if (sql::isName(t[i]) && !sql::isKeyword(t[i])) {
            item.table = lowerName(t[i++]);
            if (i + 1 < last && t[i].isOp(u'.') && sql::isName(t[i + 1])) {
                item.table = lowerName(t[i + 1]);
                i += 2;
            }
        } else {
            return {};
        }
        item.alias = item.table;
        item.after = t[i - 1].end;
        if (i < last && t[i].is(u"AS"))
            ++i;
        if (i < last && sql::isName(t[i]) && !sql::isKeyword(t[i])) {
            item.alias = lowerName(t[i]);
            item.after = t[i++].end;
        }
        if (i < last && (t[i].is(u"INDEXED") || t[i].is(u"NOT")))
            item.indexed = true;
        // The rest of the item: its INDEXED BY, its ON or USING condition.
        while (i < last && !t[i].isOp(u',') && !joinWord(t[i]))
            i = t[i].isOp(u'(') ? sql::closing(t, i, last) + 1 : i + 1;
        item.end = t[std::min(i, last) - 1].end;
        if (item.table.isEmpty() && item.alias.isEmpty())
            item.alias = QString();
        from.tables.push_back(item);
        if (i < last && t[i].isOp(u',')) {
            ++i;
            continue;
        }
        if (i < last) {
            from.commas = false;
            while (i < last && joinWord(t[i]))
                ++i;
        }
    }
    return from;
}

namespace {

// The ON condition of an item of an inner join, without its ON; empty when it has none.
QString onCondition(const QString& sqliteText, const FromTable& item) {
    const QString rest = sqliteText.mid(item.after, item.end - item.after).trimmed();
    return rest.left(3).compare(u"ON ", Qt::CaseInsensitive) == 0 ||
                   rest.left(3).compare(u"ON(", Qt::CaseInsensitive) == 0
               ? rest.mid(2).trimmed()
               : QString();
}

}  // namespace

bool innerJoinsOnly(const QString& sqliteText, const FromList& from) {
    for (size_t k = 0; k < from.tables.size(); ++k) {
        const FromTable& item = from.tables[k];
        if (item.indexed || item.table.isEmpty())
            return false;
        const QString rest = sqliteText.mid(item.after, item.end - item.after).trimmed();
        if (!rest.isEmpty() && onCondition(sqliteText, item).isEmpty())
            return false;
        if (k == 0)
            continue;
        const QString between =
            sqliteText.mid(from.tables[k - 1].end, item.begin - from.tables[k - 1].end)
                .simplified()
                .toUpper();
        if (between != u"," && between != u"JOIN" && between != u"INNER JOIN" &&
            between != u"CROSS JOIN")
            return false;
    }
    return true;
}

QString rewriteFrom(const QString& sqliteText, const FromList& from,
                    const std::vector<QString>& directive, const std::vector<size_t>& order,
                    const std::vector<QString>& copies) {
    auto headText = [&](size_t k) {
        const FromTable& item = from.tables[k];
        if (k < copies.size() && !copies[k].isEmpty())
            return copies[k];
        return sqliteText.mid(item.begin, item.after - item.begin) + directive[k];
    };
    auto itemText = [&](size_t k) {
        const FromTable& item = from.tables[k];
        return headText(k) + sqliteText.mid(item.after, item.end - item.after);
    };
    QString out;
    if (!order.empty()) {
        QStringList items, conditions;
        for (size_t k : order) {
            const QString on = from.commas ? QString() : onCondition(sqliteText, from.tables[k]);
            items << (on.isEmpty() ? itemText(k) : headText(k));
            if (!on.isEmpty())
                conditions << u'(' + on + u')';
        }
        out = items.join(QStringLiteral(" CROSS JOIN "));
        if (!conditions.isEmpty())
            out += QStringLiteral(" ON ") + conditions.join(QStringLiteral(" AND "));
    } else {
        int at = from.begin;
        for (size_t k = 0; k < from.tables.size(); ++k) {
            const FromTable& item = from.tables[k];
            out += sqliteText.mid(at, item.begin - at) + itemText(k);
            at = item.end;
        }
        out += sqliteText.mid(at, from.end - at);
    }
    return sqliteText.left(from.begin) + out + sqliteText.mid(from.end);
}

QString tableText(const QString& sqliteText, const FromTable& item) {
    const QString head = sqliteText.mid(item.begin, item.after - item.begin);
    if (item.alias == item.table)
        return head.trimmed();
    const std::vector<Token> t = sql::tokenize(head);
    size_t n = t.size();
    if (n >= 2 && !t[n - 2].isOp(u'.'))
        --n;  // the alias
    if (n >= 2 && t[n - 1].is(u"AS"))
        --n;
    return n == 0 ? head.trimmed() : head.left(t[n - 1].end).trimmed();
}

size_t whereEnd(const std::vector<Token>& t, size_t where) {
    size_t end = t.size();
    for (const char16_t* w : {u"GROUP", u"ORDER", u"HAVING", u"LIMIT", u"WINDOW", u"UNION",
                              u"EXCEPT", u"INTERSECT", u"RETURNING"})
        end = std::min(end, sql::findTopLevel(t, where + 1, t.size(), w));
    return end;
}

bool readsOnly(const std::vector<Token>& t, sql::Range r, const QString& alias) {
    for (size_t k = r.first; k < r.last; ++k) {
        if (t[k].is(u"SELECT"))
            return false;
        if (!sql::isName(t[k]) || (k > r.first && t[k - 1].isOp(u'.')))
            continue;
        const bool qualifies = k + 2 < r.last && t[k + 1].isOp(u'.');
        if (qualifies ? lowerName(t[k]) != alias
                      : (t[k].kind == TokenKind::Quoted ||
                         (!sql::isKeyword(t[k]) && !(k + 1 < r.last && t[k + 1].isOp(u'(')))))
            return false;
    }
    return true;
}

int rightJoined(const QString& sqliteText, const FromList& from) {
    int found = -1;
    for (size_t k = 1; k < from.tables.size(); ++k) {
        const int joined = from.tables[k - 1].end;
        const QString join = sqliteText.mid(joined, from.tables[k].begin - joined).toUpper();
        if (join.contains(u"RIGHT ") || join.contains(u"FULL ")) {
            if (found >= 0)
                return -2;
            found = int(k);
        }
    }
    return found;
}

QString ownConditions(const QString& sqliteText, const FromList& from, size_t k,
                      const QString& as) {
    const std::vector<Token> t = sql::tokenize(sqliteText);
    const size_t n = t.size();
    const FromTable& item = from.tables[k];
    QStringList kept;
    auto keep = [&](size_t first, size_t last) {
        for (const sql::Range& r : sql::conjuncts(t, first, last)) {
            if (r.empty() || !readsOnly(t, r, item.alias))
                continue;
            QString text;
            int at = t[r.first].begin;
            for (size_t q = r.first; q + 1 < r.last; ++q)
                if (sql::isName(t[q]) && t[q + 1].isOp(u'.') &&
                    (q == r.first || !t[q - 1].isOp(u'.'))) {
                    text += sqliteText.mid(at, t[q].begin - at) + sql::quotedName(as);
                    at = t[q].end;
                }
            kept << u'(' + text + sqliteText.mid(at, t[r.last - 1].end - at) + u')';
        }
    };
    // What may filter the table's rows before it is joined: its own ON condition (in an inner
    // join, or as the inner table of a left join), and the WHERE clause of inner joins, or when
    // a RIGHT JOIN keeps this table's rows.
    size_t where = 0;
    while (where < n && t[where].begin < from.end)
        ++where;
    const bool filtered = where < n && t[where].is(u"WHERE");
    const int keeps = rightJoined(sqliteText, from);
    if (keeps != -1 || sqliteText.mid(from.begin, from.end - from.begin)
                           .contains(u"NATURAL ", Qt::CaseInsensitive)) {
        const int joined = k > 0 ? from.tables[k - 1].end : from.begin;
        if (keeps == int(k) && filtered &&
            !sqliteText.mid(joined, item.begin - joined).contains(u"FULL ", Qt::CaseInsensitive))
            keep(where + 1, whereEnd(t, where));
        return kept.join(QStringLiteral(" AND "));
    }
    size_t first = 0;
    while (first < n && t[first].begin < item.after)
        ++first;
    size_t last = first;
    while (last < n && t[last].begin < item.end)
        ++last;
    if (first < last && t[first].is(u"ON"))
        keep(first + 1, last);
    // (Inner joins of views too: their order is no matter here.)
    const bool inner = std::all_of(from.tables.begin() + 1, from.tables.end(), [&](const auto& i) {
        const FromTable& before = *(&i - 1);
        const QString between =
            sqliteText.mid(before.end, i.begin - before.end).simplified().toUpper();
        return between == u"," || between == u"JOIN" || between == u"INNER JOIN" ||
               between == u"CROSS JOIN";
    });
    if (filtered && (from.commas || inner))
        keep(where + 1, whereEnd(t, where));
    return kept.join(QStringLiteral(" AND "));
}

std::vector<ColumnEquality> soleEqualities(const QString& sqliteText, const FromList& from,
                                           size_t k) {
    const std::vector<Token> t = sql::tokenize(sqliteText);
    const QString& alias = from.tables[k].alias;
    size_t first = 0;
    while (first < t.size() && t[first].begin < from.begin)
        ++first;
    size_t last = first;
    while (last < t.size() && t[last].begin < from.end)
        ++last;
    if (last < t.size() && t[last].is(u"WHERE"))
        last = whereEnd(t, last);
    auto qualified = [&](size_t i) {
        return i + 2 < last && sql::isName(t[i]) && t[i + 1].isOp(u'.') && sql::isName(t[i + 2]) &&
               (i == 0 || !t[i - 1].isOp(u'.'));
    };
    QHash<QString, int> named;
    for (size_t i = first; i < last; ++i)
        if (qualified(i) && lowerName(t[i]) == alias)
            ++named[lowerName(t[i + 2])];
    std::vector<ColumnEquality> found;
    for (size_t i = first; i + 6 < last; ++i) {
        if (!qualified(i) || !t[i + 3].isOp(u'=') || !qualified(i + 4) ||
            (i + 7 < last && t[i + 7].isOp(u'.')) || (i > 0 && t[i - 1].isOp(u'.')))
            continue;
        const bool mine = lowerName(t[i]) == alias;
        const size_t own = mine ? i : i + 4, other = mine ? i + 4 : i;
        const QString otherAlias = lowerName(t[other]);
        if (lowerName(t[own]) != alias || otherAlias == alias ||
            std::none_of(from.tables.begin(), from.tables.end(),
                         [&](const FromTable& f) { return f.alias == otherAlias; }))
            continue;
        const QString column = lowerName(t[own + 2]);
        if (named.value(column) == 1)
            found.push_back({column, otherAlias, lowerName(t[other + 2])});
    }
    return found;
}

QString withoutKeyAccess(const QString& sqliteText, const QString& alias, const QString& column,
                         bool alone) {
    const std::vector<Token> t = sql::tokenize(sqliteText);
    const size_t n = t.size();
    const size_t where = sql::findTopLevel(t, 0, n, u"WHERE");
    if (where >= n)
        return sqliteText;
    const size_t end = whereEnd(t, where);
    auto names = [&](size_t k, const QString& name) {
        return sql::isName(t[k]) && lowerName(t[k]) == name;
    };
    std::vector<int> at;
    for (size_t k = where + 1; k < end; ++k) {
        if (t[k].isOp(u'(')) {
            k = sql::closing(t, k, end);
            continue;
        }
        if (!names(k, column) || (k + 1 < end && t[k + 1].isOp(u'.')))
            continue;
        if (k >= 2 && t[k - 1].isOp(u'.')) {
            if (names(k - 2, alias))
                at.push_back(t[k - 2].begin);
        } else if (alone) {
            at.push_back(t[k].begin);
        }
    }
    QString out = sqliteText;
    for (auto i = at.rbegin(); i != at.rend(); ++i)
        out.insert(*i, u'+');
    return out;
}

}  // namespace qv::embedded
