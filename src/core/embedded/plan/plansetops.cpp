// Set operations as Oracle 19c draws them (see translatePlan()): UNION ALL is UNION-ALL over its
// members; UNION is SORT UNIQUE over UNION-ALL; MINUS and INTERSECT are MINUS and INTERSECTION
// over a SORT UNIQUE of each member. SQLite runs UNION ALL one member after the other and merges
// the sorted members of the others (MERGE (op) over LEFT and RIGHT).
#include "core/embedded/plan/plansteps.h"

#include <algorithm>
#include <optional>

namespace qv::embedded::plan {

bool setOperator(const QString& detail) {
    return detail == u"UNION ALL" || detail.startsWith(u"UNION USING ") ||
           detail.startsWith(u"EXCEPT USING ") || detail.startsWith(u"INTERSECT USING ");
}

namespace {

// The operator of a line: UNION ALL, UNION, EXCEPT or INTERSECT.
QString operatorOf(const QString& detail) {
    if (detail.startsWith(u"MERGE (") && detail.endsWith(u')'))
        return detail.mid(7).chopped(1);
    return detail == u"UNION ALL" ? detail : detail.section(u' ', 0, 0);
}

bool isSetOperation(const QString& detail) {
    return detail == u"COMPOUND QUERY" || detail.startsWith(u"MERGE (");
}

}  // namespace

void Builder::setMembers(int id, std::vector<Member>& members) {
    const EqpNode& node = nodes_[id];
    const QString& d = node.detail;
    if (d == u"COMPOUND QUERY") {
        for (int child : node.children)
            setMembers(child, members);
        return;
    }
    if (d == u"LEFT-MOST SUBQUERY") {
        members.push_back({QString(), node.children, false});
        return;
    }
    if (!d.startsWith(u"MERGE (")) {
        members.push_back({operatorOf(d), node.children, false});
        return;
    }
    const QString op = operatorOf(d);
    for (int side : node.children) {
        const EqpNode& part = nodes_[side];
        const bool right = part.detail == u"RIGHT";
        // The members before the last: a set operation of their own, which Oracle draws in
        // line with the last.
        if (!right && part.children.size() == 1 &&
            isSetOperation(nodes_[part.children.front()].detail)) {
            setMembers(part.children.front(), members);
            continue;
        }
        members.push_back({right ? op : QString(), part.children, true});
    }
}

Measure Builder::distinctRows(const Member& m) const {
    int group = -1, order = -1, loop = -1;
    for (int id : m.lines) {
        const QString& d = nodes_.value(id).detail;
        if (d == u"USE TEMP B-TREE FOR GROUP BY")
            group = id;
        else if (d == u"USE TEMP B-TREE FOR ORDER BY")
            order = id;
        else if (d.startsWith(u"SCAN ") || d.startsWith(u"SEARCH "))
            loop = id;
    }
    // SQLite keeps DISTINCT as a GROUP BY of a sorter (its groups), before a sort for the merge
    // (what went in), or comparing each row with the last in the order of an index (what the
    // last loop let through).
    return group >= 0   ? Measure::groups(group)
           : order >= 0 ? Measure::visits(order)
           : loop >= 0  ? Measure::output(loop)
                        : Measure{};
}

Step Builder::compound(const std::vector<Member>& members, Range text) {
    std::vector<Range> texts = compoundParts(tokens_, text);
    if (texts.size() != members.size())
        texts.assign(members.size(), Range{});
    // A member made distinct already (a UNION's SORT UNIQUE, a DISTINCT of its own) is sorted
    // once.
    auto sortedUnique = [this](const Step& s, const Measure& rows = {}) {
        const bool sorted = s.operation == u"SORT" && s.options == u"UNIQUE";
        Step u = sorted ? s : blockStep(QStringLiteral("SORT"), QStringLiteral("UNIQUE"), {s});
        if (!sorted)
            u.cost += sortCost(s.card);
        if (!sorted || rows.kind != Measure::None)
            u.rows = rows;
        return u;
    };
    std::optional<Step> acc;
    Measure accRows;  // what the SORT UNIQUE over `acc` hands on, when it is one member
    const QList<Predicate> all = predicates_;
    const QStringList outside = views_.keys();
    for (size_t p = 0; p < members.size(); ++p) {
        const Member& m = members[p];
        // Each member is drawn with its own conditions: another member's, on a table of the
        // same name, say nothing of the rows this one reads.
        predicates_.clear();
        for (const Predicate& c : all) {
            const bool another = std::any_of(texts.begin(), texts.end(), [&](const Range& r) {
                return &r != &texts[p] && r.first <= c.at && c.at < r.last;
            });
            if (!another)
                predicates_ << c;
        }
        // A member with a DISTINCT of its own hands SQLite's merge its distinct rows: the SORT
        // UNIQUE above it counts them. (Another one's duplicates go to the merge, which passes
        // over them uncounted: making every member distinct first cost a third more time on
        // members sorted for the merge.)
        const bool distinct = texts[p].size() > 1 &&
                              (tokens_[texts[p].first + 1].is(u"DISTINCT") ||
                               tokens_[texts[p].first + 1].is(u"UNIQUE")) &&
                              !queryShape(tokens_, texts[p]).groupBy;
        Step branch = nestedBlock(m.lines, texts[p], context_.starts, m.merged);
        const Measure unique = m.merged && distinct ? distinctRows(m) : Measure{};
        predicates_ = all;
        // The engine's subquery that limits a member's rows is named after its table: a later
        // member reading that table reads the table.
        views_.removeIf([&](const auto& view) {
            return !outside.contains(view.key()) && subqueryText(tokens_, view.key()).empty();
        });
        if (!acc) {
            acc = branch;
            accRows = unique;
            continue;
        }
        if (m.op.startsWith(u"UNION")) {
            const bool distinct = m.op != u"UNION ALL";
            Step base = *acc;
            // UNION after UNION: one SORT UNIQUE over all their members.
            if (distinct && base.operation == u"SORT" && base.options == u"UNIQUE" &&
                base.children.size() == 1 && base.children.front().operation == u"UNION-ALL")
                base = Step(base.children.front());
            // What the members hand on together is not counted.
            Step all = base.operation == u"UNION-ALL"
                           ? base
                           : blockStep(QStringLiteral("UNION-ALL"), QString(), {base});
            all.children.push_back(branch);
            all.card += branch.card;
            all.cost += branch.cost;
            all.width = std::max(all.width, branch.width);
            acc = distinct ? sortedUnique(all) : all;
            accRows = {};
            continue;
        }
        const bool minus = m.op == u"EXCEPT";
        Step set =
            blockStep(minus ? QStringLiteral("MINUS") : QStringLiteral("INTERSECTION"), QString(),
                      {sortedUnique(*acc, accRows), sortedUnique(branch, unique)});
        set.card = minus ? acc->card : std::min(acc->card, branch.card);
        set.cost = set.children[0].cost + set.children[1].cost;
        acc = set;
        accRows = {};
    }
    // SQLite merges the members of UNION ALL only for an ORDER BY: Oracle sorts what they give.
    if (acc && members.size() > 1 && members.back().merged && members.back().op == u"UNION ALL") {
        Step order = blockStep(QStringLiteral("SORT"), QStringLiteral("ORDER BY"), {*acc});
        order.cost += sortCost(acc->card);
        acc = order;
    }
    return acc.value_or(Step{});
}

}  // namespace qv::embedded::plan
