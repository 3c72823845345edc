#include "core/embedded/session/cursors.h"

#include "core/sql/sqltokens.h"

#ifndef QUERVIN_SYSTEM_SQLITE
#include "core/sqlite/sqliterows.h"
#endif
#include "core/sqlite/sqlite.h"

#include <QCryptographicHash>

#include <algorithm>
#include <cstring>
#include <map>

namespace qv::embedded {

namespace {

// Oracle's alphabet for SQL_IDs.
constexpr char kBase32[] = "0123456789abcdfghjkmnpqrstuvwxyz";

uint64_t leadingBits(const QByteArray& digest, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = (v << 8) | uint8_t(digest[i]);
    return v;
}

const ScanLine* scanLine(const ExecutedCursor& cursor, int id) {
    const auto line = std::find_if(cursor.plan.begin(), cursor.plan.end(),
                                   [&](const ScanLine& l) { return l.id == id; });
    return line == cursor.plan.end() ? nullptr : &*line;
}

bool isLoop(const ScanLine& l) {
    return l.detail.startsWith(u"SCAN ") || l.detail.startsWith(u"SEARCH ");
}

// The rows SQLite loop `id` handed on after its conditions, when it is the last loop of its
// query (no loop of the same query runs inside it); empty otherwise.
std::optional<int64_t> loopOutput(const ExecutedCursor& cursor, int id) {
    const ScanLine* line = scanLine(cursor, id);
    if (!line || line->output < 0 || !isLoop(*line))
        return std::nullopt;
    const bool inner = std::any_of(cursor.plan.begin(), cursor.plan.end(), [&](const ScanLine& l) {
        return l.parent == line->parent && l.id > line->id && isLoop(l);
    });
    return inner ? std::nullopt : std::optional<int64_t>(line->output);
}

// The figure `m` stands for in `cursor`'s run; empty when it cannot be told.
std::optional<int64_t> resolve(const Measure& m, const ExecutedCursor& cursor) {
    auto counter = [&](int64_t ScanLine::*field) -> std::optional<int64_t> {
        const auto line = std::find_if(cursor.plan.begin(), cursor.plan.end(),
                                       [&](const ScanLine& l) { return l.id == m.line; });
        if (line == cursor.plan.end())
            return std::nullopt;
        const int64_t v = (*line).*field;
        return v < 0 ? std::nullopt : std::optional<int64_t>(v);
    };
    if (m.plus != 0 || m.plusUpTo >= 0) {
        Measure base = m;
        base.plus = 0;
        base.plusUpTo = -1;
        const std::optional<int64_t> whole = resolve(base, cursor);
        const std::optional<int64_t> cap =
            m.plusUpTo >= 0 ? resolve(Measure::visits(m.plusUpTo), cursor) : m.plus;
        if (!whole || !cap)
            return std::nullopt;
        return *whole + std::min(m.plus, *cap);
    }
    if (m.per >= 0) {
        Measure base = m;
        base.per = -1;
        const std::optional<int64_t> whole = resolve(base, cursor);
        const std::optional<int64_t> runs = resolve(Measure::loops(m.per), cursor);
        // Runs that did not all do the same tell nothing of one of them.
        if (!whole || !runs || (*runs == 0 ? *whole != 0 : *whole % *runs != 0))
            return std::nullopt;
        return *runs == 0 ? 0 : *whole / *runs;
    }
    if (m.less >= 0) {
        Measure base = m;
        base.less = -1;
        const std::optional<int64_t> whole = resolve(base, cursor);
        const std::optional<int64_t> taken = resolve(Measure::visits(m.less), cursor);
        if (!whole || !taken || *taken > *whole)
            return std::nullopt;
        return *whole - *taken;
    }
    switch (m.kind) {
        case Measure::Loops:
            return counter(&ScanLine::loops);
        case Measure::Visits:
            return counter(&ScanLine::visits);
        case Measure::Keys:
            return counter(&ScanLine::keys);
        case Measure::Probes:
            return counter(&ScanLine::probes);
        case Measure::Groups:
            return counter(&ScanLine::groups);
        case Measure::Sorted:
            return counter(&ScanLine::sorted);
        case Measure::Matched:
            return counter(&ScanLine::matched);
        case Measure::Distinct:
            return counter(&ScanLine::distinct);
        case Measure::Output:
            return loopOutput(cursor, m.line);
        case Measure::StatementRows:
            return cursor.rows;
        case Measure::Constant:
            return m.value;
        case Measure::None:
            break;
    }
    return std::nullopt;
}

// SQLite's plan of the statement, compiled again: for a statement whose run reported no line.
std::vector<EqpLine> explainAgain(sqlite3* db, const QString& sqliteText) {
    std::vector<EqpLine> lines;
    sqlite::Statement eqp(db, "EXPLAIN QUERY PLAN " + sqliteText.toUtf8());
    while (eqp.step())
        lines.push_back({int(eqp.integer(0)), int(eqp.integer(1)), eqp.text(3)});
    return lines;
}

}  // namespace

QString sqlIdOf(const QString& text) {
    const QByteArray digest = QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256);
    uint64_t v = leadingBits(digest, 8);
    // 13 characters of 5 bits hold 65: the first holds the top 4.
    QString id(13, u'0');
    for (int i = 12; i >= 0; --i) {
        id[i] = QLatin1Char(kBase32[v & 31]);
        v >>= 5;
    }
    return id;
}

uint32_t sqlHashValue(const QString& sqlId) {
    uint64_t v = 0;
    for (const QChar c : sqlId) {
        const char* at = c.unicode() < 128 ? std::strchr(kBase32, char(c.unicode())) : nullptr;
        if (!at || !*at)
            return 0;
        v = (v << 5) | uint64_t(at - kBase32);
    }
    return uint32_t(v & 0xffffffffu);
}

std::vector<ScanLine> scanLines(sqlite3_stmt* stmt, const CycleClock& clock) {
    std::vector<ScanLine> lines;
#ifdef SQLITE_ENABLE_STMT_SCANSTATUS
    for (int i = 0;; ++i) {
        const char* explain = nullptr;
        if (sqlite3_stmt_scanstatus_v2(stmt, i, SQLITE_SCANSTAT_EXPLAIN, SQLITE_SCANSTAT_COMPLEX,
                                       &explain) != 0)
            break;
        ScanLine line;
        sqlite3_stmt_scanstatus_v2(stmt, i, SQLITE_SCANSTAT_SELECTID, SQLITE_SCANSTAT_COMPLEX,
                                   &line.id);
        sqlite3_stmt_scanstatus_v2(stmt, i, SQLITE_SCANSTAT_PARENTID, SQLITE_SCANSTAT_COMPLEX,
                                   &line.parent);
        sqlite3_int64 n = -1;
        sqlite3_stmt_scanstatus_v2(stmt, i, SQLITE_SCANSTAT_NLOOP, SQLITE_SCANSTAT_COMPLEX, &n);
        line.loops = n;
        n = -1;
        sqlite3_stmt_scanstatus_v2(stmt, i, SQLITE_SCANSTAT_NVISIT, SQLITE_SCANSTAT_COMPLEX, &n);
        line.visits = n;
        line.cycles = clock.cycles(stmt, i);
#ifndef QUERVIN_SYSTEM_SQLITE
        line.output = quervin_loop_output(stmt, i);
        line.groups = quervin_groups(stmt, i);
        line.sorted = quervin_sorted_rows(stmt, i);
        line.distinct = quervin_distinct_rows(stmt, i);
        sqlite3_int64 keys = -1, probes = -1;
        if (quervin_loop_keys(stmt, i, &keys, &probes)) {
            line.keys = keys;
            line.probes = probes;
        }
        // The row of NULLs an outer row that met none is kept with may go through the visit
        // counter: it is no row the loop visited.
        sqlite3_int64 matched = -1, revisits = 0;
        if (quervin_outer_join_rows(stmt, i, &matched, &revisits)) {
            line.matched = matched;
            line.visits -= revisits;
        }
#endif
        line.detail = QString::fromUtf8(explain ? explain : "");
        // A line without an EXPLAIN text of its own is no line of the plan.
        if (explain)
            lines.push_back(std::move(line));
    }
    // The order EXPLAIN QUERY PLAN gives them in: by their place in the program.
    std::stable_sort(lines.begin(), lines.end(),
                     [](const ScanLine& a, const ScanLine& b) { return a.id < b.id; });
#else
    (void)stmt;
    (void)clock;
#endif
    return lines;
}

namespace {

// The text of line `at` of `lines` and of the lines above it, the line's own first; an outer
// join's inner line as the inner join's.
template <typename Line>
QStringList pathOf(const std::vector<Line>& lines, size_t at) {
    QStringList path;
    for (int id = lines[at].id, depth = 0; id != 0 && depth < 64; ++depth) {
        const auto line =
            std::find_if(lines.begin(), lines.end(), [&](const Line& l) { return l.id == id; });
        if (line == lines.end())
            break;
        QString detail = line->detail;
        if (detail.endsWith(u" LEFT-JOIN"))
            detail.chop(10);
        path << detail;
        id = line->parent;
    }
    return path;
}

}  // namespace

std::vector<ScanLine> linesRanFor(const std::vector<EqpLine>& drawn,
                                  const std::vector<ScanLine>& ran) {
    std::vector<QStringList> ranPaths;
    for (size_t k = 0; k < ran.size(); ++k)
        ranPaths.push_back(pathOf(ran, k));
    std::vector<ScanLine> lines;
    for (size_t k = 0; k < drawn.size(); ++k) {
        ScanLine line;
        line.id = drawn[k].id;
        line.parent = drawn[k].parent;
        line.detail = drawn[k].detail;
        const QStringList path = pathOf(drawn, k);
        const ScanLine* match = nullptr;
        int matches = 0;
        for (size_t r = 0; r < ran.size(); ++r) {
            if (ranPaths[r].size() >= path.size() && ranPaths[r].mid(0, path.size()) == path) {
                match = &ran[r];
                ++matches;
            }
        }
        if (matches == 1) {
            line.loops = match->loops;
            line.visits = match->visits;
            line.output = match->output;
            line.keys = match->keys;
            line.probes = match->probes;
            line.groups = match->groups;
            line.sorted = match->sorted;
            line.distinct = match->distinct;
            // An outer join's inner loop that ran as an inner join's: what met its conditions
            // is what it handed on, when it was the last loop.
            const bool last =
                isLoop(*match) && std::none_of(ran.begin(), ran.end(), [&](const ScanLine& l) {
                    return l.parent == match->parent && l.id > match->id && isLoop(l);
                });
            line.matched =
                !match->detail.endsWith(u" LEFT-JOIN") && last ? match->output : match->matched;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

bool asksPlanStatistics(const QString& sql) {
    static const QString kHint = QStringLiteral("GATHER_PLAN_STATISTICS");
    if (!sql.contains(kHint, Qt::CaseInsensitive))
        return false;
    for (const sql::Token& t : sql::lex(sql)) {
        if (t.kind == sql::TokenKind::Hint && t.text.contains(kHint, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

namespace {

// Whether `line` is the one line under its parent.
bool onlyChild(const std::vector<CursorPlanLine>& lines, const CursorPlanLine& line) {
    return std::none_of(lines.begin(), lines.end(), [&](const CursorPlanLine& c) {
        return c.row.parentId == line.row.parentId && c.row.id != line.row.id;
    });
}

// Whether SQLite loop `id` reads a co-routine: the rows it visited are those the co-routine
// yielded, each once.
bool coroutineRead(const ExecutedCursor& cursor, int id) {
    const ScanLine* loop = scanLine(cursor, id);
    if (!loop || !loop->detail.startsWith(u"SCAN "))
        return false;
    return std::any_of(cursor.plan.begin(), cursor.plan.end(), [&](const ScanLine& l) {
        if (!l.detail.startsWith(u"CO-ROUTINE "))
            return false;
        const QString read = QStringLiteral("SCAN ") + l.detail.mid(11);
        return loop->detail == read || loop->detail.startsWith(read + u' ');
    });
}

// Whether `line` finds one row at most each time it starts: by a ROWID, or by a unique index.
bool uniqueLookup(const std::vector<CursorPlanLine>& lines, const CursorPlanLine& line) {
    const PlanRow& r = line.row;
    if (r.operation == u"INDEX")
        return r.options == u"UNIQUE SCAN";
    if (r.operation != u"TABLE ACCESS")
        return false;
    if (r.options == u"BY USER ROWID")
        return true;
    const size_t below = size_t(r.id) + 1;
    return r.options == u"BY INDEX ROWID" && below < lines.size() &&
           lines[below].row.parentId == r.id && uniqueLookup(lines, lines[below]);
}

// The rows of the lines the plan builder could not count (Measure::None) that the run counted
// all the same: a table or index the last loop of its query reads hands on what met the loop's
// conditions; a NESTED LOOPS SEMI or ANTI hands on what its outer input's last loop did, the
// subquery being one of that loop's conditions; a UNION-ALL hands on all its inputs' rows; a
// NESTED LOOPS OUTER whose inner line finds a row at most hands on a row for each it looked up;
// MERGE's VIEW hands on what the join below it does; an inner join what its inner loop let
// through when it is the last loop of its query; the one line under a view without conditions
// what the view took.
void countUncounted(std::vector<CursorPlanLine>& lines, const ExecutedCursor& cursor) {
    for (size_t k = 0; k < lines.size(); ++k) {
        CursorPlanLine& l = lines[k];
        // What a temporary index of distinct values took is the values that were new, not the
        // rows that went in.
        const ScanLine* into =
            l.row.rows.kind == Measure::Visits ? scanLine(cursor, l.row.rows.line) : nullptr;
        const bool distinct = into && into->detail.startsWith(u"USE TEMP B-TREE FOR ") &&
                              into->detail.contains(u"DISTINCT");
        if (distinct)
            l.outputRows.reset();
        if (l.outputRows || (l.row.rows.kind != Measure::None && !distinct))
            continue;
        const bool reads = l.row.operation == u"TABLE ACCESS" || l.row.operation == u"INDEX" ||
                           l.row.operation == u"VIEW";
        // Only a line that started as often as the loop: one read once into a buffer that
        // the loop goes through again and again has not handed its rows on each time.
        const ScanLine* loop = scanLine(cursor, l.row.loop);
        if (l.row.role == PlanRole::Access && reads && loop && l.starts == loop->loops) {
            l.outputRows = loopOutput(cursor, l.row.loop);
        } else if (l.row.operation == u"NESTED LOOPS" && l.row.options.isEmpty()) {
            // An inner join hands on what its inner loop let through, when that is the last.
            const auto inner = std::find_if(lines.rbegin(), lines.rend(), [&](const auto& c) {
                return c.row.parentId == l.row.id;
            });
            if (inner != lines.rend() && inner->row.loop >= 0)
                l.outputRows = loopOutput(cursor, inner->row.loop);
        } else if (l.row.operation == u"NESTED LOOPS" &&
                   (l.row.options.startsWith(u"SEMI") || l.row.options.startsWith(u"ANTI")) &&
                   k + 1 < lines.size()) {
            // The outer input is the first child: its lines follow up to the next one no deeper.
            int last = -1;
            for (size_t c = k + 1; c < lines.size() && (c == k + 1 || lines[c].depth > l.depth + 1);
                 ++c)
                last = std::max(last, lines[c].row.loop);
            if (last >= 0)
                l.outputRows = loopOutput(cursor, last);
        }
    }
    for (size_t k = lines.size(); k-- > 0;) {
        CursorPlanLine& l = lines[k];
        if (l.outputRows)
            continue;
        std::vector<const CursorPlanLine*> children;
        for (const CursorPlanLine& c : lines)
            if (c.row.parentId == l.row.id)
                children.push_back(&c);
        if (l.row.operation == u"UNION-ALL") {
            std::optional<int64_t> sum = 0;
            for (const CursorPlanLine* c : children)
                sum = sum && c->outputRows ? std::optional<int64_t>(*sum + *c->outputRows)
                                           : std::nullopt;
            l.outputRows = sum;
        } else if (l.row.operation == u"NESTED LOOPS" && l.row.options == u"OUTER" &&
                   children.size() == 2 && uniqueLookup(lines, *children.back())) {
            // Each outer row looked up once finds one row or none, and is kept either way.
            l.outputRows = children.back()->starts;
        } else if (l.row.operation == u"VIEW" && children.size() == 1 && l.row.parentId >= 0 &&
                   lines[size_t(l.row.parentId)].row.operation == u"MERGE") {
            // The rows MERGE takes are those of the join it stands over.
            l.outputRows = children.front()->outputRows;
        }
    }
    // What the one input of a view without conditions of its own (none SQLite could have
    // pushed into it) gave it: the rows its co-routine yielded, which the loop reading it
    // visited, or what the view took.
    for (CursorPlanLine& l : lines) {
        const CursorPlanLine* view = l.row.parentId >= 0 ? &lines[size_t(l.row.parentId)] : nullptr;
        if (l.outputRows || !view || view->row.operation != u"VIEW" ||
            !view->row.filterPredicates.isEmpty() || !view->row.accessPredicates.isEmpty())
            continue;
        // A line with conditions of its own lets fewer through than the co-routine yielded.
        const bool filters = !l.row.filterPredicates.isEmpty();
        if (coroutineRead(cursor, view->row.loop) && onlyChild(lines, l) && !filters) {
            // As one of the view's runs when its figures are.
            Measure yielded = Measure::visits(view->row.loop);
            yielded.per = view->row.starts.per;
            l.outputRows = resolve(yielded, cursor);
        }
        if (l.outputRows || !view->outputRows)
            continue;
        if (onlyChild(lines, l))
            l.outputRows = view->outputRows;
    }
}

// Each line's time (lines in id order, each parent before its children): its own cycles, those
// of the SQLite lines it draws that no line below it draws too, and its children's; the
// statement line's no less than the whole run's.
void timeLines(std::vector<CursorPlanLine>& lines, const ExecutedCursor& cursor) {
    const double perMicro = cyclesPerMicrosecond();
    if (!cursor.measured || !cursor.cycles || perMicro <= 0 || lines.empty())
        return;
    std::map<int, int> owner;  // SQLite line -> the deepest plan line that draws it
    for (const CursorPlanLine& l : lines) {
        for (int sqliteLine : {l.row.loop, l.row.starts.line, l.row.rows.line}) {
            if (sqliteLine < 0)
                continue;
            const auto it = owner.find(sqliteLine);
            if (it == owner.end() || lines[size_t(it->second)].depth <= l.depth)
                owner[sqliteLine] = l.row.id;
        }
    }
    std::vector<std::optional<int64_t>> cycles(lines.size());
    for (const auto& [sqliteLine, id] : owner) {
        const auto line = std::find_if(cursor.plan.begin(), cursor.plan.end(),
                                       [&](const ScanLine& s) { return s.id == sqliteLine; });
        if (line != cursor.plan.end() && line->cycles)
            cycles[size_t(id)] = cycles[size_t(id)].value_or(0) + *line->cycles;
    }
    for (size_t k = lines.size(); k-- > 1;) {
        const int parent = lines[k].row.parentId;
        if (cycles[k] && parent >= 0)
            cycles[size_t(parent)] = cycles[size_t(parent)].value_or(0) + *cycles[k];
    }
    cycles[0] = std::max(cycles[0].value_or(0), *cursor.cycles);
    for (size_t k = 0; k < lines.size(); ++k) {
        if (cycles[k])
            lines[k].elapsedMicros = int64_t(double(*cycles[k]) / perMicro + 0.5);
    }
}

}  // namespace

std::vector<CursorPlanLine> cursorPlan(const ExecutedCursor& ran, sqlite3* db) {
    std::vector<EqpLine> eqp;
    for (const ScanLine& l : ran.plan)
        eqp.push_back({l.id, l.parent, l.detail});
    if (eqp.empty())
        eqp = explainAgain(db, ran.sqliteText);
    // The lines drawn, counted by what ran in their place.
    std::optional<ExecutedCursor> instead;
    if (ran.plan.empty() && !ran.ranInstead.empty()) {
        instead = ran;
        instead->plan = linesRanFor(eqp, ran.ranInstead);
    }
    const ExecutedCursor& cursor = instead ? *instead : ran;
    const std::vector<PlanRow> rows =
        translatePlan(*cursor.statement, eqp, cursor.owner, db, cursor.peeked);
    std::vector<CursorPlanLine> lines;
    lines.reserve(rows.size());
    for (const PlanRow& row : rows) {
        CursorPlanLine line;
        line.row = row;
        // DBMS_XPLAN's lines are read from the connection's own table of them: Oracle fetches
        // them from the function's collection.
        if (row.objectName.endsWith(u"QV$PLAN_OUTPUT", Qt::CaseInsensitive)) {
            const auto& tokens = cursor.statement->tokens();
            const bool display = std::none_of(tokens.begin(), tokens.end(), [](const auto& t) {
                return t.is(u"DISPLAY_CURSOR");
            });
            line.row.operation = QStringLiteral("COLLECTION ITERATOR");
            line.row.options = QStringLiteral("PICKLER FETCH");
            line.row.objectName =
                display ? QStringLiteral("DISPLAY") : QStringLiteral("DISPLAY_CURSOR");
            line.row.objectOwner.clear();
        }
        line.depth = row.parentId < 0 ? 0 : lines[size_t(row.parentId)].depth + 1;
        if (cursor.measured) {
            // A line of a plan compiled again (its run reported none) names no counter of the
            // run: it reads as not counted.
            line.starts = resolve(row.starts, cursor);
            line.outputRows = resolve(row.rows, cursor);
            if (row.id == 0) {
                // The pages belong to the statement as a whole: no line below can be told its
                // share.
                line.consistentGets = cursor.consistentGets;
                line.currentGets = cursor.currentGets;
                line.diskReads = cursor.diskReads;
            }
        }
        lines.push_back(std::move(line));
    }
    if (cursor.measured)
        countUncounted(lines, cursor);
    timeLines(lines, cursor);
    return lines;
}

}  // namespace qv::embedded
