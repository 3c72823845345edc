// OR expansion, as Oracle 19c draws it over SQLite's MULTI-INDEX OR (see translatePlan()): each
// condition of the OR finds its rows by its own index in a branch of a UNION-ALL, and each
// branch after the first drops the rows an earlier one found (LNNVL of its condition), all in
// the view VW_ORE_ the transformation makes. SQLite runs the same: one index search per
// condition, a row found again skipped by its rowid.
#include "core/embedded/plan/plansteps.h"

#include <QCryptographicHash>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace qv::embedded::plan {

namespace {

const QLatin1StringView kViewPrefix("VW_ORE_");

// The parts of a condition in Oracle's notation cut at `separator` (" AND ", " OR ") outside
// parentheses and quotes.
QStringList splitTopLevel(const QString& text, QStringView separator) {
    QStringList parts;
    int depth = 0;
    QChar quote;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'\'' || c == u'"') {
            quote = c;
        } else if (c == u'(') {
            ++depth;
        } else if (c == u')') {
            --depth;
        } else if (depth == 0 && QStringView(text).mid(i).startsWith(separator)) {
            parts << text.mid(start, i - start);
            i += separator.size() - 1;
            start = i + 1;
        }
    }
    parts << text.mid(start);
    return parts;
}

// `text` without the parentheses around all of it, however many.
QString unwrapped(const QString& text) {
    if (!text.startsWith(u'(') || !text.endsWith(u')'))
        return text;
    int depth = 0;
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        depth += text[i] == u'(' ? 1 : text[i] == u')' ? -1 : 0;
        if (depth == 0)
            return text;  // closed before the end: "(a) OR (b)"
    }
    return unwrapped(text.mid(1, text.size() - 2));
}

// What keeps a row an earlier branch found out of a later one: LNNVL of each of its conditions.
QString notFoundBefore(const QString& condition) {
    QStringList tests;
    for (const QString& c : splitTopLevel(condition, u" AND "))
        tests << QStringLiteral("LNNVL(%1)").arg(c);
    return tests.size() == 1 ? tests.front() : u'(' + tests.join(QStringLiteral(" OR ")) + u')';
}

QString joinedAnd(const QString& before, const QStringList& more) {
    QStringList all = more;
    if (!before.isEmpty())
        all.prepend(before);
    return all.join(QStringLiteral(" AND "));
}

// The line a branch finds its rows by: its INDEX line, or the branch itself when it finds them
// by rowid.
PlanRow* indexOf(std::vector<PlanRow>& rows, PlanRow& branch) {
    for (PlanRow* line = &branch;;) {
        if (line->operation == u"INDEX")
            return line;
        const auto child = std::find_if(rows.begin() + line->id + 1, rows.end(),
                                        [&](const PlanRow& r) { return r.parentId == line->id; });
        if (child == rows.end())
            return &branch;
        line = &*child;
    }
}

void settle(std::vector<PlanRow>& rows, PlanRow& view) {
    const int unionId = view.id + 1;
    if (size_t(unionId) >= rows.size() || rows[size_t(unionId)].operation != u"UNION-ALL")
        return;
    rows[size_t(unionId)].starts = view.starts;
    rows[size_t(unionId)].rows = view.rows;
    std::vector<PlanRow*> branches;
    for (PlanRow& r : rows) {
        if (r.parentId == unionId)
            branches.push_back(&r);
    }
    // The statement's conditions on the table were placed on the view: the OR goes into the
    // branches, the others into each of them.
    // The OR is the one whose every condition names a column its branch's index finds by.
    auto searchedBy = [&](const QStringList& parts) {
        for (size_t k = 0; k < branches.size(); ++k) {
            const QStringList keys = indexOf(rows, *branches[k])->keys;
            if (!std::any_of(keys.begin(), keys.end(), [&](const QString& key) {
                    return parts[qsizetype(k)].contains(u'"' + key.toUpper() + u'"') ||
                           key == u"<expr>";
                }))
                return false;
        }
        return true;
    };
    QStringList others = splitTopLevel(view.filterPredicates, u" AND ");
    QStringList conditions;
    for (qsizetype i = 0; i < others.size(); ++i) {
        const QStringList parts = splitTopLevel(unwrapped(others[i]), u" OR ");
        if (parts.size() == qsizetype(branches.size()) && searchedBy(parts)) {
            conditions = parts;
            others.removeAt(i);
            break;
        }
    }
    if (conditions.isEmpty() || view.filterPredicates.isEmpty())
        return;
    view.filterPredicates.clear();
    // An OR among the others keeps one pair of parentheses, and only beside another condition.
    for (QString& other : others) {
        other = unwrapped(other);
        if (splitTopLevel(other, u" OR ").size() > 1)
            other = u'(' + other + u')';
    }
    PlanRow* first = nullptr;
    for (size_t k = 0; k < branches.size(); ++k) {
        PlanRow& branch = *branches[k];
        PlanRow* index = indexOf(rows, branch);
        index->accessPredicates = joinedAnd(index->accessPredicates, {conditions[qsizetype(k)]});
        QStringList filters;
        for (size_t j = 0; j < k; ++j)
            filters << notFoundBefore(conditions[qsizetype(j)]);
        filters << others;
        branch.filterPredicates = joinedAnd(branch.filterPredicates, filters);
        if (filters.size() == 1 && branch.filterPredicates == filters.front())
            branch.filterPredicates = unwrapped(filters.front());
        // With no other condition, the first branch hands on every row its index finds, and
        // the last of two what the view hands on besides.
        if (!others.isEmpty())
            continue;
        if (index == &branch) {
            first = nullptr;  // what it visits is not what it hands on
        } else if (k == 0) {
            first = index;
            branch.rows = Measure::visits(index->loop);
        } else if (branches.size() == 2 && first && view.rows.kind != Measure::None &&
                   view.rows.less < 0) {
            branch.rows = view.rows;
            branch.rows.less = first->loop;
        }
    }
}

}  // namespace

Step Builder::multiIndexOr(int id, const QStringList& outer) {
    std::vector<Step> branches;
    QString alias;
    QString searches;  // SQLite's lines of the branches, which the view's name is made from
    for (int branch : nodes_[id].children) {
        bool hashed = false;
        for (int line : nodes_[branch].children) {
            branches.push_back(loop(line, outer, hashed));
            // Only the view stands for the table: the conditions on it are placed there and
            // shared out among the branches (settleOrExpansions()).
            branches.back().role = PlanRole::Other;
            alias = branches.back().alias;
            searches += nodes_[line].detail + u'|';
        }
    }
    estimateBranches(branches, alias, outer);
    Step all = blockStep(QStringLiteral("UNION-ALL"), QString(), branches);
    all.card = all.cost = 0;
    for (const Step& b : branches) {
        all.card += b.card;
        all.cost += b.cost;
    }
    Step view = blockStep(QStringLiteral("VIEW"), QString(), {all});
    // Named as Oracle names the views of its transformations: by a hash of what it stands for.
    const QByteArray digest =
        QCryptographicHash::hash((alias + u'|' + searches).toUtf8(), QCryptographicHash::Md5);
    view.object = kViewPrefix + QString::fromLatin1(digest.left(4).toHex().toUpper());
    view.alias = alias;
    view.loop = id;
    view.role = PlanRole::Access;
    // SQLite counts no start of its own for the OR: each branch begins once each time it does.
    const std::vector<int>& first = nodes_[nodes_[id].children.front()].children;
    view.starts = first.empty() ? Measure{} : Measure::loops(first.front());
    return view;
}

// Each branch finds the rows of its own condition, less those an earlier branch found, and
// keeps those the other conditions keep: rows x s(k) x (1 - s(j)) for each earlier j x s(others).
void Builder::estimateBranches(std::vector<Step>& branches, const QString& alias,
                               const QStringList& outer) {
    const QString table = tableName(alias);
    QList<Predicate> others = conditionsOn(alias, table);
    // The OR whose every condition is on a column its branch's index finds rows by.
    auto indexLine = [](Step& access) {
        Step* index = &access;
        while (index->operation != u"INDEX" && !index->children.empty())
            index = &index->children.front();
        return index;
    };
    const auto orAt = std::find_if(others.begin(), others.end(), [&](const Predicate& p) {
        if (p.op != u"OR" || p.branches.size() != branches.size())
            return false;
        for (size_t k = 0; k < branches.size(); ++k) {
            const QStringList& keys = indexLine(branches[k])->keys;
            if (!keys.contains(p.branches[k].column) && !keys.contains(u"<expr>"_s))
                return false;
        }
        return true;
    });
    const PlanEstimates::Table& t = estimates_.table(table);
    if (orAt == others.end() || t.rows <= 0)
        return;
    const std::vector<Predicate> conditions = orAt->branches;
    others.erase(orAt);
    const double kept = estimates_.selectivity(others, table, {}, outer);
    double notBefore = 1;
    for (size_t k = 0; k < branches.size(); ++k) {
        const double found = t.rows * estimates_.selectivity(conditions[k], table);
        Step& access = branches[k];
        Step* index = indexLine(access);
        // The index's figures were made for the whole OR: its costs scale with its rows.
        const double share = index->card > 0 ? std::min(1.0, found / index->card) : 1;
        for (Step* line = &access;; line = &line->children.front()) {
            line->cost = std::max(1.0, line->cost * share);
            if (line == index || line->children.empty())
                break;
        }
        index->card = std::max(1.0, found);
        access.card = std::max(1.0, found * notBefore * kept);
        notBefore *= 1 - std::min(1.0, found / t.rows);
    }
}

void settleOrExpansions(std::vector<PlanRow>& rows) {
    for (PlanRow& r : rows) {
        if (r.operation == u"VIEW" && r.objectName.startsWith(kViewPrefix))
            settle(rows, r);
    }
}

}  // namespace qv::embedded::plan
