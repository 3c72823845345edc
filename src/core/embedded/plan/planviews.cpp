// The conditions of the views the database keeps, on the lines of the tables they read: see
// attachViewPredicates() (planpredicates.h).
#include "core/embedded/parse/statementfacts.h"
#include "core/embedded/plan/planpredicates.h"
#include "core/sqlite/sqlite.h"

#include <QMap>
#include <QSet>

#include <algorithm>

namespace qv::embedded {

namespace {

using sql::isName;
using sql::Token;
using sql::unquoted;

// A kept view the statement reads under `alias`: its query's text (as SQLite keeps it) and
// tokens, and the aliases of the tables it reads.
struct KeptView {
    QString alias;
    QString text;
    std::vector<Token> tokens;
    QHash<QString, QString> aliases;
    bool passesColumns = false;  // selects its one table's columns under their own names
};

// Whether the query `t` is one Oracle merges into the query that reads it: its select list
// gives plain columns under their own names (or *), and it neither groups, numbers, limits nor
// combines its rows.
bool passesColumns(const std::vector<Token>& t) {
    const size_t from = sql::findTopLevel(t, 1, t.size(), u"FROM");
    if (t.empty() || !t[0].is(u"SELECT") || from >= t.size())
        return false;
    for (const Token& k : t) {
        if (sql::isOneOf(k, {u"GROUP", u"DISTINCT", u"UNIQUE", u"ROWNUM", u"FETCH", u"LIMIT",
                             u"UNION", u"MINUS", u"INTERSECT", u"EXCEPT", u"CONNECT", u"OVER"}))
            return false;
    }
    for (sql::Range item : sql::splitTopLevel(t, 1, from)) {
        if (item.size() > 2 && isName(t[item.first]) && t[item.first + 1].isOp(u'.'))
            item.first += 2;  // alias.column, alias.*
        const size_t n = item.size();
        const Token& first = t[item.first];
        if (n == 1 && (first.isOp(u'*') || isName(first)))
            continue;
        if (n == 3 && isName(first) && t[item.first + 1].is(u"AS") &&
            unquoted(first).compare(unquoted(t[item.first + 2]), Qt::CaseInsensitive) == 0)
            continue;
        return false;
    }
    return true;
}

std::vector<KeptView> keptViews(sqlite3* db, const QHash<QString, QString>& aliases) {
    std::vector<KeptView> views;
    try {
        sqlite::Statement st(db, "SELECT name, sql FROM sqlite_master WHERE type = 'view'");
        while (st.step()) {
            for (auto it = aliases.begin(); it != aliases.end(); ++it) {
                if (it.value().compare(st.text(0), Qt::CaseInsensitive) != 0)
                    continue;
                KeptView v;
                v.alias = it.key();
                v.text = st.text(1);
                // CREATE VIEW name AS <query>
                const std::vector<Token> all = sql::tokenize(v.text);
                const size_t as = sql::findTopLevel(all, 0, all.size(), u"AS");
                if (as + 1 >= all.size())
                    continue;
                v.text = v.text.mid(all[as + 1].begin);
                v.tokens = sql::tokenize(v.text);
                v.aliases = tableAliases(v.tokens);
                v.passesColumns = v.aliases.size() == 1 && passesColumns(v.tokens);
                views.push_back(std::move(v));
            }
        }
    } catch (const sqlite::Error&) {
        return {};
    }
    return views;
}

// The views of the statement's own text that a merged query reads as their one table: each
// `FROM | JOIN | , (SELECT ...) alias`, and each WITH query `name AS (SELECT ...)` under the
// aliases the statement reads it by, that selects one table's columns under their own names.
// Their own conditions are the statement's: `aliases` are only those of the view's table.
std::vector<KeptView> writtenViews(const std::vector<Token>& t,
                                   const QHash<QString, QString>& statementAliases) {
    std::vector<KeptView> views;
    auto add = [&](size_t open, const QStringList& names) {
        const size_t close = sql::closing(t, open, t.size());
        KeptView v;
        v.tokens.assign(t.begin() + long(open + 1), t.begin() + long(close));
        v.aliases = tableAliases(v.tokens);
        if (v.aliases.size() != 1 || !passesColumns(v.tokens))
            return;
        v.passesColumns = true;
        for (const QString& name : names) {
            v.alias = name;
            views.push_back(v);
        }
    };
    for (size_t i = 1; i + 3 < t.size(); ++i) {
        if (!t[i].isOp(u'(') || !t[i + 1].is(u"SELECT"))
            continue;
        const size_t close = sql::closing(t, i, t.size());
        const Token& before = t[i - 1];
        if ((before.is(u"FROM") || before.is(u"JOIN") || before.isOp(u',')) &&
            close + 1 < t.size() && isName(t[close + 1]) && !sql::isKeyword(t[close + 1]))
            add(i, {unquoted(t[close + 1]).toLower()});
        // WITH name AS (...), name AS (...)
        if (before.is(u"AS") && i >= 2 && isName(t[i - 2]) &&
            (i < 3 || t[i - 3].is(u"WITH") || t[i - 3].isOp(u','))) {
            QStringList readers;
            for (auto it = statementAliases.begin(); it != statementAliases.end(); ++it) {
                if (it.value().compare(unquoted(t[i - 2]), Qt::CaseInsensitive) == 0)
                    readers << it.key();
            }
            if (readers.size() == 1)  // read more than once, it is no merged view
                add(i, readers);
        }
    }
    return views;
}

}  // namespace

QList<Predicate> mergedViewConditions(sqlite3* db, const std::vector<Token>& t,
                                      const QHash<QString, QString>& aliases,
                                      QList<Predicate> conditions) {
    // The statement's conditions on a view it writes: its table's, under the view's alias.
    for (const KeptView& v : writtenViews(t, aliases)) {
        for (Predicate& p : conditions) {
            if (p.alias == v.alias)
                p.alias = v.aliases.begin().key();
            if (p.otherAlias == v.alias)
                p.otherAlias = v.aliases.begin().key();
        }
    }
    for (const KeptView& v : keptViews(db, aliases)) {
        const QString inner = v.aliases.begin().key();
        if (v.aliases.size() != 1 || aliases.contains(inner))
            continue;  // its table's lines could not be told from the statement's own
        if (v.passesColumns) {
            for (Predicate& p : conditions) {
                if (p.alias == v.alias || (p.alias.isEmpty() && aliases.size() == 1))
                    p.alias = inner;
                if (p.otherAlias == v.alias)
                    p.otherAlias = inner;
            }
        }
        for (Predicate p : readPredicates(v.tokens)) {
            if (p.isJoin() || p.subquery || !(p.alias.isEmpty() || p.alias == inner))
                continue;
            p.alias = inner;
            p.usingColumn = false;
            conditions << p;
        }
    }
    return conditions;
}

void attachViewPredicates(sqlite3* db, const std::vector<Token>& t,
                          const QHash<QString, QString>& aliases, PlanEstimates& estimates,
                          std::vector<PlanRow>& rows) {
    std::vector<KeptView> views = keptViews(db, aliases);
    // A view's tables must be told apart from the statement's own, and from each other's.
    QSet<QString> seen;
    for (auto it = aliases.begin(); it != aliases.end(); ++it)
        seen.insert(it.key());
    std::erase_if(views, [&](const KeptView& v) {
        for (auto it = v.aliases.begin(); it != v.aliases.end(); ++it) {
            if (seen.contains(it.key()))
                return true;
        }
        for (auto it = v.aliases.begin(); it != v.aliases.end(); ++it)
            seen.insert(it.key());
        return false;
    });
    // The statement's conditions on a view of one table's own columns are that table's, the
    // view merged into the query: its lines stand under the view's alias meanwhile.
    QHash<QString, QString> merged = aliases;
    QMap<int, QString> renamed;  // line id -> its own alias
    for (const KeptView& v : views) {
        if (!v.passesColumns)
            continue;
        merged[v.alias] = v.aliases.begin().value();
        for (PlanRow& r : rows) {
            if (r.alias == v.aliases.begin().key()) {
                renamed[r.id] = r.alias;
                r.alias = v.alias;
            }
        }
    }
    attachPredicates(t, merged, estimates, rows);
    for (auto it = renamed.begin(); it != renamed.end(); ++it)
        rows[size_t(it.key())].alias = it.value();
    auto add = [](QString& to, const QString& more) {
        if (!more.isEmpty())
            to = to.isEmpty() ? more : to + QStringLiteral(" AND ") + more;
    };
    // The statement's conditions on the columns of a view of its own text, the view's table's
    // lines standing under the view's alias meanwhile.
    const bool loaded = std::any_of(rows.begin(), rows.end(), [](const PlanRow& r) {
        return r.objectName.startsWith(u"SYS_TEMP_");
    });
    for (const KeptView& v : loaded ? std::vector<KeptView>{} : writtenViews(t, aliases)) {
        const QString table = v.aliases.begin().value(), inner = v.aliases.begin().key();
        if (aliases.contains(v.alias) && aliases.value(v.alias).compare(table) == 0)
            continue;
        std::vector<PlanRow> own = rows;
        bool read = false;
        for (PlanRow& r : own) {
            r.accessPredicates = r.filterPredicates = QString();
            if (r.alias == inner) {
                r.alias = v.alias;
                read = true;
            }
        }
        QHash<QString, QString> named = aliases;
        named[v.alias] = table;
        if (!read)
            continue;
        attachPredicates(t, named, estimates, own, v.alias);
        for (size_t i = 0; i < rows.size(); ++i) {
            add(rows[i].accessPredicates, own[i].accessPredicates);
            add(rows[i].filterPredicates, own[i].filterPredicates);
        }
    }
    // Each view's own conditions, after those of the statement on the same lines.
    for (const KeptView& v : views) {
        std::vector<PlanRow> own = rows;
        for (PlanRow& r : own)
            r.accessPredicates = r.filterPredicates = QString();
        attachPredicates(v.tokens, v.aliases, estimates, own);
        for (size_t i = 0; i < rows.size(); ++i) {
            add(rows[i].accessPredicates, own[i].accessPredicates);
            add(rows[i].filterPredicates, own[i].filterPredicates);
        }
    }
}

}  // namespace qv::embedded
