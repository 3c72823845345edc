// SQL/JSON in SQLite's terms (the functions are oraclejson.h's):
//   x IS [NOT] JSON                  x [NOT] MATCH 'json'
//   JSON_VALUE(x, 'path' clauses)    qv_json_value(x, 'path', type, on error, default, on empty,
//                                    default): RETURNING, NULL | ERROR | DEFAULT v ON ERROR|EMPTY
//   JSON_QUERY(x, 'path' clauses)    qv_json_query(x, 'path', wrapper, on error, default), or
//                                    for an object or array a plain path finds, SQLite's
//                                    json_extract, which keeps the members' order
//   JSON_EXISTS(x, 'path')           qv_json_exists(x, 'path')
//   JSON_TABLE(x, 'path' COLUMNS (...)) alias, a FROM item
//                                    a subquery over SQLite's json_each of the distinct documents
//                                    of the FROM item x reads, joined to that item by the
//                                    document: SQLite has no lateral join, so the rows of one
//                                    document are found once and met again through it; NESTED
//                                    PATHs as LEFT JOINs of their json_each, side by side ones
//                                    taking turns (jsonLevels())
#include "core/embedded/translate/translator.h"

#include <QRegularExpression>

#include <algorithm>

namespace qv::embedded {

namespace {

const QString kDocColumn = QStringLiteral("\"qv$doc\"");

// SQLite's JSON functions take a BLOB as its own binary JSON; Oracle's BLOB holds JSON text.
QString asText(const QString& x) {
    return QStringLiteral("CAST(%1 AS TEXT)").arg(x);
}

// The rows of `path` in the JSON text `x` as json_each's argument: an array's items, any other
// value as one item, nothing where the path finds nothing (Oracle's lax [*] on a non-array).
QString itemsOf(const QString& x, const QString& path) {
    const QString p = sql::quotedString(path);
    return QStringLiteral(
               "CASE WHEN json_type(%1, %2) IS NULL THEN NULL WHEN json_type(%1, %2) = 'array' "
               "THEN json_extract(%1, %2) ELSE '[' || json_quote(json_extract(%1, %2)) || ']' END")
        .arg(x, p);
}

// The JSON text of a json_each row's value.
QString itemText(const QString& j) {
    return QStringLiteral(
               "CASE WHEN %1.type IN ('object', 'array') THEN %1.value ELSE "
               "json_quote(%1.value) END")
        .arg(j);
}

// The RETURNING type at `at` as qv_json_value() takes it: 'N', 'D', 'T', or 'V' with the text's
// length in bytes when it has one (VARCHAR2(20) is 'V20').
QString returningCode(const std::vector<Token>& t, size_t at, size_t last) {
    const Token& type = t[at];
    if (sql::isOneOf(type, {u"NUMBER", u"INTEGER", u"INT", u"FLOAT", u"BINARY_DOUBLE",
                            u"BINARY_FLOAT", u"DECIMAL"}))
        return QStringLiteral("'N'");
    if (type.is(u"DATE"))
        return QStringLiteral("'D'");
    if (type.is(u"TIMESTAMP"))
        return QStringLiteral("'T'");
    if (sql::isOneOf(type, {u"VARCHAR2", u"VARCHAR", u"CHAR", u"NVARCHAR2"}) && at + 2 < last &&
        t[at + 1].isOp(u'(') && t[at + 2].kind == TokenKind::Number)
        return QStringLiteral("'V%1'").arg(t[at + 2].text.toString());
    return QStringLiteral("'V'");
}

// Whether SQLite's JSON functions read `path` as Oracle does: $ and .name and [n] steps alone.
bool plainPath(const QString& path) {
    static const QRegularExpression kPlain(
        QStringLiteral(R"(^\$(?:\.[A-Za-z_][A-Za-z0-9_$]*|\[\d+\])*$)"));
    return kPlain.match(path.trimmed()).hasMatch();
}

// JSON_QUERY: an object or an array that a plain path finds as SQLite writes it, its members in
// the document's order (the engine's own function, on Qt's JSON, sorts them by name); anything
// else as qv_json_query() answers.
QString jsonQuery(const QString& x, const QString& path, bool wrapper, const QString& onError) {
    const QString p = sql::quotedString(path);
    const QString call =
        QStringLiteral("qv_json_query(%1, %2, %3, %4)")
            .arg(x, p, wrapper ? QStringLiteral("1") : QStringLiteral("0"), onError);
    if (wrapper || !plainPath(path))
        return call;
    return QStringLiteral(
               "CASE WHEN json_valid(%1) AND json_type(%1, %2) IN ('object', 'array') "
               "THEN json_extract(%1, %2) ELSE %3 END")
        .arg(asText(x), p, call);
}

}  // namespace

size_t Translator::isJson(size_t i, size_t last) {
    // IS [NOT] JSON [STRICT | LAX] [WITH UNIQUE KEYS]: SQLite's MATCH calls match('json', x).
    size_t k = i + 1;
    const bool negated = k < last && t_[k].is(u"NOT");
    if (negated)
        ++k;
    if (!(k < last && t_[k].is(u"JSON")))
        return kNone;
    ++k;
    if (k < last && (t_[k].is(u"STRICT") || t_[k].is(u"LAX")))
        ++k;
    if (k + 2 < last && t_[k].is(u"WITH") && t_[k + 1].is(u"UNIQUE") && t_[k + 2].is(u"KEYS"))
        k += 3;
    write(negated ? QStringLiteral("NOT MATCH 'json'") : QStringLiteral("MATCH 'json'"));
    return k;
}

Translator::JsonClauses Translator::jsonClauses(size_t first, size_t last, const Scope& scope) {
    JsonClauses c;
    auto mode = [&](size_t k, QString& value) -> QString {
        if (t_[k].is(u"ERROR"))
            return QStringLiteral("1");
        if (t_[k].is(u"NULL"))
            return QStringLiteral("0");
        // DEFAULT literal ON ...: the literal is at k + 1.
        const QString saved = out_;
        out_.clear();
        render(k + 1, k + 2, scope);
        value = out_;
        out_ = saved;
        return QStringLiteral("2");
    };
    for (size_t k = first; k < last; ++k) {
        if (t_[k].is(u"RETURNING") && k + 1 < last) {
            c.type = returningCode(t_, k + 1, last);
        } else if (t_[k].is(u"WRAPPER")) {
            c.wrapper = !t_[k - 1].is(u"WITHOUT") && !(k >= 2 && t_[k - 2].is(u"WITHOUT"));
        } else if (t_[k].is(u"ON") && k + 1 < last && k > first &&
                   (t_[k + 1].is(u"ERROR") || t_[k + 1].is(u"EMPTY"))) {
            const size_t at = k >= first + 2 && t_[k - 2].is(u"DEFAULT") ? k - 2 : k - 1;
            QString value = QStringLiteral("NULL");
            const QString m = mode(at, value);
            (t_[k + 1].is(u"ERROR") ? c.onError : c.onEmpty) = m + QStringLiteral(", ") + value;
        }
    }
    return c;
}

bool Translator::jsonCall(const Token& name, size_t close, const std::vector<Range>& args,
                          const Scope& scope) {
    if (!(name.is(u"JSON_VALUE") || name.is(u"JSON_QUERY") || name.is(u"JSON_EXISTS")) ||
        args.size() < 2 || t_[args[1].first].kind != TokenKind::String)
        return false;
    const JsonClauses c = jsonClauses(args[1].first + 1, close, scope);
    if (name.is(u"JSON_QUERY")) {
        write(jsonQuery(rendered(args[0], scope), sql::stringValue(t_[args[1].first]), c.wrapper,
                        c.onError));
        return true;
    }
    write(QStringLiteral("qv_") + name.text.toString().toLower() + u'(');
    render(args[0].first, args[0].last, scope);
    write(u", ");
    write(t_[args[1].first].text);
    if (name.is(u"JSON_VALUE"))
        write(QStringLiteral(", %1, %2, %3").arg(c.type, c.onError, c.onEmpty));
    write(u")");
    return true;
}

std::vector<Translator::FromItem> Translator::fromItems(size_t body, size_t end) const {
    std::vector<FromItem> items;
    auto joinStart = [](const Token& t) {
        return sql::isOneOf(
            t, {u"JOIN", u"LEFT", u"RIGHT", u"FULL", u"INNER", u"CROSS", u"NATURAL", u"OUTER"});
    };
    size_t i = body;
    while (i < end) {
        while (i < end && (t_[i].isOp(u',') || joinStart(t_[i])))
            ++i;
        if (i >= end)
            break;
        FromItem item;
        item.range.first = i;
        if (t_[i].isOp(u'(')) {
            i = closing(i, end) + 1;
        } else {
            item.table = sql::unquoted(t_[i++]);
            while (i + 1 < end && t_[i].isOp(u'.') && sql::isName(t_[i + 1])) {
                item.table = sql::unquoted(t_[i + 1]);
                i += 2;
            }
            if (i < end && t_[i].isOp(u'(')) {  // a table function
                item.function = true;
                i = closing(i, end) + 1;
            }
        }
        if (i < end && t_[i].is(u"AS"))
            ++i;
        if (i < end && sql::isName(t_[i]) && !sql::isKeyword(t_[i]) && !joinStart(t_[i]) &&
            !t_[i].is(u"ON") && !t_[i].is(u"USING"))
            item.alias = sql::unquoted(t_[i++]);
        item.range.last = i;
        items.push_back(item);
        while (i < end && !t_[i].isOp(u',') && !joinStart(t_[i])) {
            if (t_[i].isOp(u'(') || t_[i].is(u"CASE"))
                i = closing(i, end);
            ++i;
        }
    }
    return items;
}

// The COLUMNS list in (open, close) of level `level`, its NESTED PATH levels after it.
void Translator::jsonColumns(size_t open, size_t close, int level, JsonTable& jt) const {
    for (const auto& [a, e] : groups_.splitTopLevel(open + 1, close)) {
        if (a >= e)
            continue;
        if (t_[a].is(u"NESTED")) {
            const size_t path = t_[a + 1].is(u"PATH") ? a + 2 : a + 1;
            const size_t columns = groups_.findTopLevel(path, e, u"COLUMNS");
            if (path >= e || t_[path].kind != TokenKind::String || columns + 1 >= e ||
                !t_[columns + 1].isOp(u'('))
                refuse(
                    QStringLiteral("NESTED PATH 'path' COLUMNS (...) is expected in JSON_TABLE"));
            jt.paths.push_back(sql::stringValue(t_[path]));
            jt.parents.push_back(level);
            jsonColumns(columns + 1, closing(columns + 1, e), int(jt.paths.size()) - 1, jt);
            continue;
        }
        JsonColumn c;
        c.name = t_[a].kind == TokenKind::Quoted ? sql::unquoted(t_[a]) : t_[a].text.toString();
        c.heading = t_[a].kind == TokenKind::Quoted ? c.name : c.name.toUpper();
        c.level = level;
        c.path = QStringLiteral("$.") + c.name;
        c.type = QStringLiteral("'V'");
        for (size_t k = a + 1; k < e; ++k) {
            const Token& w = t_[k];
            if (w.is(u"ORDINALITY"))
                c.kind = JsonColumn::Ordinality;
            else if (w.is(u"EXISTS"))
                c.kind = JsonColumn::Exists;
            else if (w.is(u"FORMAT") && c.kind == JsonColumn::Value)
                c.kind = JsonColumn::Query;
            else if (w.is(u"WRAPPER"))
                c.wrapper = !t_[k - 1].is(u"WITHOUT");
            else if (w.is(u"PATH") && k + 1 < e && t_[k + 1].kind == TokenKind::String)
                c.path = sql::stringValue(t_[++k]);
            else if (k == a + 1 && sql::isName(w))
                c.type = returningCode(t_, k, e);
        }
        jt.columns.push_back(c);
    }
}

// JSON_TABLE(doc [FORMAT JSON], 'path' [clauses] COLUMNS (...)) [AS] alias at `at`.
Translator::JsonTable Translator::jsonTable(const FromItem& item) const {
    JsonTable jt;
    const size_t open = item.range.first + 1;
    const size_t close = closing(open, item.range.last);
    jt.item = item;
    const size_t columns = groups_.findTopLevel(open + 1, close, u"COLUMNS");
    if (columns + 1 >= close || !t_[columns + 1].isOp(u'('))
        refuse(QStringLiteral("JSON_TABLE without COLUMNS"));
    const std::vector<Range> args = groups_.splitTopLevel(open + 1, columns);
    jt.doc = args.front();
    if (const size_t format = groups_.findTopLevel(jt.doc.first, jt.doc.last, u"FORMAT");
        format < jt.doc.last)
        jt.doc.last = format;
    QString path = QStringLiteral("$");
    if (args.size() > 1 && !args[1].empty() && t_[args[1].first].kind == TokenKind::String)
        path = sql::stringValue(t_[args[1].first]);
    jt.paths.push_back(path);
    jt.parents.push_back(-1);
    jsonColumns(columns + 1, closing(columns + 1, close), 0, jt);
    return jt;
}

QString Translator::rendered(Range r, const Scope& scope) {
    QString saved;
    std::swap(saved, out_);
    render(r.first, r.last, scope);
    std::swap(saved, out_);
    return saved;
}

void Translator::jsonLevels(const JsonTable& jt, const QString& doc, std::vector<QString>& value,
                            std::vector<QStringList>& ids, QString& joins, QString& filter) const {
    // Each level's rows: the items of its path's [*] steps, then what the rest of it finds.
    value.assign(jt.paths.size(), QString());
    ids.assign(jt.paths.size(), QStringList());
    // NESTED PATHs side by side take turns (Oracle's union join): a branch row per sibling, each
    // reading its own items only; a parent row whose siblings find nothing stays once.
    std::vector<std::vector<size_t>> children(jt.paths.size());
    for (size_t level = 1; level < jt.paths.size(); ++level)
        children[size_t(jt.parents[level])].push_back(level);
    std::vector<QStringList> firstIds(jt.paths.size()), empties(jt.paths.size());
    int n = 0;
    for (size_t level = 0; level < jt.paths.size(); ++level) {
        const int parent = jt.parents[level];
        QString x = parent < 0 ? doc : value[size_t(parent)];
        const QString join = parent < 0 ? QStringLiteral(" JOIN ") : QStringLiteral(" LEFT JOIN ");
        const QString on = parent < 0 ? QString() : QStringLiteral(" ON 1");
        QString branch;
        if (parent >= 0 && children[size_t(parent)].size() > 1) {
            const std::vector<size_t>& siblings = children[size_t(parent)];
            const auto turn = std::find(siblings.begin(), siblings.end(), level) - siblings.begin();
            branch = QStringLiteral("qv_branch_%1").arg(parent);
            if (turn == 0) {
                QStringList rows;
                for (size_t k = 1; k <= siblings.size(); ++k)
                    rows << QStringLiteral("SELECT %1 AS b").arg(k);
                joins += QStringLiteral(" JOIN (%1) %2").arg(rows.join(u" UNION ALL "), branch);
            }
            branch = QStringLiteral("%1.b = %2").arg(branch).arg(turn + 1);
        }
        const QStringList steps = jt.paths[level].trimmed().split(QStringLiteral("[*]"));
        for (qsizetype k = 0; k < steps.size(); ++k) {
            const bool last = k + 1 == steps.size();
            const QString step = (k == 0 ? QString() : QStringLiteral("$")) + steps[k].trimmed();
            if (last && step == u"$")
                break;
            const QString j = QStringLiteral("qv_json_%1").arg(++n);
            QString items = last ? QStringLiteral(
                                       "CASE WHEN json_type(%1, %2) IS NOT NULL THEN '[' || "
                                       "json_quote(json_extract(%1, %2)) || ']' END")
                                       .arg(x, sql::quotedString(step))
                                 : itemsOf(x, step);
            if (firstIds[level].isEmpty()) {
                firstIds[level] << j + QStringLiteral(".id");
                empties[level]
                    << QStringLiteral("coalesce(json_array_length(%1), 0) = 0").arg(items);
                if (!branch.isEmpty())
                    items = QStringLiteral("CASE WHEN %1 THEN %2 END").arg(branch, items);
            }
            joins += join + QStringLiteral("json_each(%1) %2").arg(items, j) + on;
            x = itemText(j);
            ids[level] << j + QStringLiteral(".id");
        }
        value[level] = x;
        if (parent >= 0)
            ids[level] = ids[size_t(parent)] + ids[level];
    }
    for (size_t parent = 0; parent < jt.paths.size(); ++parent) {
        const std::vector<size_t>& siblings = children[parent];
        if (siblings.size() < 2)
            continue;
        QStringList none, turns;
        for (const size_t child : siblings)
            none << (empties[child].isEmpty() ? QStringLiteral("0") : empties[child].first());
        for (size_t k = 0; k < siblings.size(); ++k) {
            const QStringList& found = firstIds[siblings[k]];
            QString kept = found.isEmpty() ? QStringLiteral("1")
                                           : found.first() + QStringLiteral(" IS NOT NULL");
            if (k == 0)
                kept = QStringLiteral("(%1 OR (%2))").arg(kept, none.join(u" AND "));
            turns
                << QStringLiteral("(qv_branch_%1.b = %2 AND %3)").arg(parent).arg(k + 1).arg(kept);
        }
        filter += QStringLiteral(" AND (") + turns.join(u" OR ") + u')';
    }
}

// One JSON_TABLE of the FROM items `items` (the `index`th), as a subquery and its join condition.
void Translator::jsonTableItem(const JsonTable& jt, const std::vector<FromItem>& items,
                               size_t index, const Scope& scope) {
    // The FROM item the document is read from: the one it names, else the only one before it.
    const FromItem* source = nullptr;
    bool names = false;
    for (size_t k = jt.doc.first; k < jt.doc.last; ++k) {
        names = names || (t_[k].kind == TokenKind::Word && !sql::isKeyword(t_[k]) &&
                          !(k + 1 < jt.doc.last && t_[k + 1].isOp(u'(')));
        if (!(k + 1 < jt.doc.last && sql::isName(t_[k]) && t_[k + 1].isOp(u'.')))
            continue;
        for (size_t m = 0; m < index; ++m) {
            if (items[m].name().compare(sql::unquoted(t_[k]), Qt::CaseInsensitive) != 0)
                continue;
            if (source && source != &items[m])
                refuse(
                    QStringLiteral("JSON_TABLE over the columns of two FROM items is not "
                                   "supported"));
            source = &items[m];
        }
    }
    if (!source && names && index == 1)
        source = &items[0];
    else if (!source && names)
        refuse(index == 0 ? QStringLiteral("JSON_TABLE over a column of an enclosing query is not "
                                           "supported")
                          : QStringLiteral("JSON_TABLE's document must name its table's alias "
                                           "here"));
    if (source && t_[source->range.first].is(u"JSON_TABLE"))
        refuse(QStringLiteral("JSON_TABLE over another JSON_TABLE is not supported"));

    const QString doc = QStringLiteral("q.") + kDocColumn;
    std::vector<QString> value;
    std::vector<QStringList> ids;
    QString joins, filter;
    jsonLevels(jt, doc, value, ids, joins, filter);

    const QString alias =
        jt.item.alias.isEmpty() ? QStringLiteral("\"qv$jt\"") : sql::quotedName(jt.item.alias);
    const QString docText = asText(rendered(jt.doc, scope));
    write(QStringLiteral("(SELECT ") + doc + u' ' + kDocColumn);
    for (const JsonColumn& c : jt.columns) {
        const QString& v = value[size_t(c.level)];
        const QStringList& own = ids[size_t(c.level)];
        const QString found = own.isEmpty() ? QStringLiteral("1") : own.last();
        QString e;
        if (c.kind == JsonColumn::Ordinality) {
            const int parent = jt.parents[size_t(c.level)];
            const QStringList above = parent < 0 ? QStringList() : ids[size_t(parent)];
            e = own.isEmpty() ? QStringLiteral("1")
                              : QStringLiteral(
                                    "CASE WHEN %1 IS NOT NULL THEN dense_rank() OVER "
                                    "(PARTITION BY %2 ORDER BY %3) END")
                                    .arg(found,
                                         (QStringList{doc} + above +
                                          QStringList{found + QStringLiteral(" IS NULL")})
                                             .join(u", "),
                                         own.mid(above.size()).join(u", "));
        } else if (c.kind == JsonColumn::Exists) {
            const bool number = c.type == u"'N'";
            e = QStringLiteral(
                    "CASE WHEN %1 IS NULL THEN NULL WHEN qv_json_exists(%2, %3) = 1 "
                    "THEN %4 ELSE %5 END")
                    .arg(found, v, sql::quotedString(c.path),
                         number ? QStringLiteral("1") : QStringLiteral("'true'"),
                         number ? QStringLiteral("0") : QStringLiteral("'false'"));
        } else if (c.kind == JsonColumn::Query) {
            e = jsonQuery(v, c.path, c.wrapper, QStringLiteral("0, NULL"));
        } else {
            e = QStringLiteral("qv_json_value(%1, %2, %3)")
                    .arg(v, sql::quotedString(c.path), c.type);
        }
        write(QStringLiteral(", ") + e + QStringLiteral(" AS ") + sql::quotedName(c.heading));
    }
    write(QStringLiteral(" FROM (SELECT DISTINCT ") + docText + u' ' + kDocColumn);
    if (source) {
        write(u" FROM ");
        render(source->range.first, source->range.last, scope);
    }
    write(QStringLiteral(") q") + joins + QStringLiteral(" WHERE json_valid(") + doc +
          QStringLiteral(")") + filter + QStringLiteral(") ") + alias);
    // The first FROM item is joined to nothing.
    if (index > 0)
        write(QStringLiteral(" ON ") + alias + u'.' + kDocColumn + QStringLiteral(" = ") + docText);
}

std::vector<Translator::JsonTable> Translator::jsonTables(const Clause& c) {
    std::vector<JsonTable> tables;
    jsonStars_.clear();
    if (groups_.findTopLevel(c.body, c.end, u"JSON_TABLE") >= c.end)
        return tables;
    const std::vector<FromItem> items = fromItems(c.body, c.end);
    for (const FromItem& item : items) {
        if (item.function && t_[item.range.first].is(u"JSON_TABLE"))
            tables.push_back(jsonTable(item));
    }
    // The select list's * and alias.*: every column but the document each table is joined by.
    for (const FromItem& item : items) {
        JsonStar star{item.name(), {}};
        for (const JsonTable& jt : tables) {
            if (jt.item.range.first == item.range.first) {
                star.name = jt.item.alias.isEmpty() ? QStringLiteral("qv$jt") : jt.item.alias;
                for (const JsonColumn& column : jt.columns)
                    star.columns << sql::quotedName(column.heading);
            }
        }
        jsonStars_.push_back(star);
    }
    return tables;
}

void Translator::jsonFrom(const Clause& c, const std::vector<JsonTable>& tables,
                          const Scope& scope) {
    const std::vector<FromItem> items = fromItems(c.body, c.end);
    write(t_[c.at].text);
    size_t pos = c.body;
    for (size_t index = 0, k = 0; index < items.size(); ++index) {
        if (!(items[index].function && t_[items[index].range.first].is(u"JSON_TABLE")))
            continue;
        if (pos < items[index].range.first) {
            write(u" ");
            render(pos, items[index].range.first, scope);
        }
        write(u" ");
        jsonTableItem(tables[k++], items, index, scope);
        pos = items[index].range.last;
        // JOIN JSON_TABLE(...) ON cond: both conditions.
        if (index > 0 && pos < c.end && t_[pos].is(u"ON")) {
            write(u" AND");
            ++pos;
        }
    }
    if (pos < c.end) {
        write(u" ");
        render(pos, c.end, scope);
    }
}

bool Translator::jsonStar(size_t first, size_t last) {
    if (jsonStars_.empty())
        return false;
    const bool all = last - first == 1;
    const QString named = all ? QString() : sql::unquoted(t_[last - 3]);
    QStringList out;
    for (const JsonStar& s : jsonStars_) {
        if (!all && s.name.compare(named, Qt::CaseInsensitive) != 0)
            continue;
        if (s.name.isEmpty())
            return false;  // a subquery without an alias: * as SQLite reads it
        const QString table = sql::quotedName(s.name);
        if (s.columns.isEmpty())
            out << table + QStringLiteral(".*");
        for (const QString& column : s.columns)
            out << table + u'.' + column;
    }
    if (out.isEmpty())
        return false;
    write(out.join(QStringLiteral(", ")));
    return true;
}

}  // namespace qv::embedded
