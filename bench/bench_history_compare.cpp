// Reading the history back: listing a file of 10,000 recorded runs, and reading and comparing
// two runs of 2,000 statistics and 200 plan lines each (statistics paired by name, plans and
// statements matched line by line). Target: each well under 100 ms.
#include "benchsupport.h"
#include "core/history/historyfile.h"
#include "core/history/runcomparison.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <vector>

using namespace qv;

namespace {

constexpr int kRuns = 10'000;
constexpr int kStatistics = 2'000;
constexpr int kPlanLines = 200;

RunRecord runOf(const QString& sql, int variant) {
    RunRecord run;
    run.sql = sql;
    run.outcome = RunOutcome::CarriedOut;
    run.statisticsStep.outcome = StepOutcome::Done;
    run.planStep.outcome = StepOutcome::Done;
    for (int r = 1; r <= kStatistics; ++r) {
        const qlonglong value = r * 37 + (r % 7 == 0 ? variant * r : 0);
        run.statistics.append(
            {r, QStringLiteral("statistic %1").arg(r), qlonglong(0), value, value});
    }
    for (int r = 1; r <= kPlanLines; ++r) {
        const bool changed = variant && r % 10 == 0;
        PlanLine line;
        line.id = r - 1;
        line.depth = r % 8;
        line.operation = changed ? QStringLiteral("INDEX") : QStringLiteral("TABLE ACCESS");
        line.options = changed ? QStringLiteral("RANGE SCAN") : QStringLiteral("FULL");
        line.objectOwner = QStringLiteral("APP");
        line.objectName = (changed ? QStringLiteral("IX%1") : QStringLiteral("T%1")).arg(r);
        line.cardinality = qlonglong(r * 10);
        run.plan.append(line);
    }
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const HistoryFile file(dir.filePath(QStringLiteral("quervhst.mdb")));
    file.record(runOf(QStringLiteral("select * from orders where customer_id = 42"), 0));
    file.record(runOf(QStringLiteral("select * from orders\nwhere customer_id = 42"), 1));
    {
        // The other runs in bulk: the listing reads SQL_HIST and RUN_HIST only.
        sqlite3* db = nullptr;
        sqlite3_open(file.path().toUtf8().constData(), &db);
        sqlite3_exec(db,
                     "BEGIN; WITH RECURSIVE n(i) AS (SELECT 3 UNION ALL SELECT i + 1 FROM n "
                     "WHERE i < 10000) INSERT INTO SQL_HIST SELECT i, '2026-01-01 00:00:00', "
                     "'select ' || i || ' from dual' FROM n; INSERT INTO RUN_HIST (NUM, SERVICE, "
                     "USERNAME, ROW_COUNT, ELAPSED_MS, OUTCOME) SELECT NUM, 'ORCL', 'SCOTT', 1, 5, "
                     "'done' FROM SQL_HIST WHERE NUM > 2; COMMIT",
                     nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }

    std::vector<double> listing, comparing;
    for (int i = 0; i < 9; ++i) {
        QElapsedTimer t;
        t.start();
        const auto runs = file.runs();
        listing.push_back(t.nsecsElapsed() / 1e6);
        if (runs.size() != kRuns)
            return 1;
        t.restart();
        const RunComparison c = compareRuns(*file.run(1), *file.run(2));
        comparing.push_back(t.nsecsElapsed() / 1e6);
        if (c.statistics.size() != kStatistics || c.plan.size() != kPlanLines)
            return 1;
    }
    const double list = bench::median(listing), compare = bench::median(comparing);
    std::printf("list %d runs:                    %.1f ms (target < 100 ms)\n", kRuns, list);
    std::printf("read and compare two runs:        %.1f ms (target < 100 ms)\n", compare);
    bench::report("list 10,000 recorded runs", bench::ms(list), "target 100 ms", list / 100.0, 1.0);
    bench::report("compare two runs (2,000 statistics, 200 plan lines)", bench::ms(compare),
                  "target 100 ms", compare / 100.0, 1.0);
    return 0;
}
