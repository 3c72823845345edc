// The BUFFER SORT of a cartesian join (see Builder::joined()): Oracle reads the table or view
// joined to none before it once into the buffer, which hands its rows to each outer row. Where
// SQLite reads that table, or runs that view's co-routine, again for each outer row, its counters
// add up every run: the lines below the buffer show one run, which is the buffer's filling.
#include "core/embedded/plan/plansteps.h"

namespace qv::embedded::plan {

namespace {

void collectLines(const QHash<int, EqpNode>& nodes, int id, std::set<int>& lines) {
    lines.insert(id);
    for (int child : nodes.value(id).children)
        collectLines(nodes, child, lines);
}

// The statement's rows, where the join hands them on, are each outer row paired with each of one
// run's rows.
void sharePerRun(Measure& m, int runs, const std::set<int>& rerun) {
    if (m.kind == Measure::StatementRows ||
        (m.kind != Measure::None && m.kind != Measure::Constant && rerun.count(m.line)))
        m.per = runs;
}

void sharePerRun(Step& s, int runs, const std::set<int>& rerun) {
    sharePerRun(s.starts, runs, rerun);
    sharePerRun(s.rows, runs, rerun);
    for (Step& child : s.children)
        sharePerRun(child, runs, rerun);
}

}  // namespace

void Builder::bufferReadAgain(Step& buffer, const Measure& handedOn) const {
    Step& inner = buffer.children.front();
    const int runs = inner.loop;
    if (runs < 0)
        return;
    // It hands each of its rows on once for each outer row: the join's rows.
    buffer.rows = handedOn;
    // SQLite's loop reads it again each time; a view's co-routine (coded before the loop that
    // reads it) runs again with it, a view loaded once into a table does not.
    std::set<int> rerun{runs};
    const QString coroutine = QStringLiteral("CO-ROUTINE ") + loopName(nodes_.value(runs).detail);
    int at = -1;
    for (auto n = nodes_.begin(); n != nodes_.end(); ++n)
        if (n.key() < runs && n.key() > at && n.value().detail == coroutine)
            at = n.key();
    if (inner.operation == u"VIEW" && at >= 0)
        collectLines(nodes_, at, rerun);
    sharePerRun(inner, runs, rerun);
}

}  // namespace qv::embedded::plan
