// Recording one run with 2,000 statistics rows and 100 plan rows into the history file, as the
// recording stage does (check, open, one transaction, close). Target: median under 50 ms.
#include "benchsupport.h"
#include "core/history/historyfile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

using namespace qv;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quervhst.mdb"));

    RunRecord run;
    run.sql = QStringLiteral("select * from orders where customer_id = 42");
    run.outcome = RunOutcome::CarriedOut;
    run.statisticsStep.outcome = StepOutcome::Done;
    run.planStep.outcome = StepOutcome::Done;
    for (int r = 1; r <= 2000; ++r)
        run.statistics.append({r, QStringLiteral("statistic %1").arg(r), qlonglong(0),
                               qlonglong(r * 37), qlonglong(r * 37)});
    for (int r = 1; r <= 100; ++r) {
        PlanLine line;
        line.id = r - 1;
        line.depth = r % 8;
        line.operation = QStringLiteral("TABLE ACCESS");
        line.options = QStringLiteral("FULL");
        line.objectOwner = QStringLiteral("APP");
        line.objectName = QStringLiteral("T");
        line.cardinality = qlonglong(r * 10);
        run.plan.append(line);
    }

    constexpr int kRuns = 21;
    std::vector<double> times;
    const HistoryFile file(path);
    file.record(run);  // creates the file
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer t;
        t.start();
        file.record(run);
        times.push_back(t.nsecsElapsed() / 1e6);
    }
    const double m = bench::median(times);
    std::printf("runs recorded:   %d (2,000 statistics rows and 100 plan rows each)\n", kRuns + 1);
    std::printf("median per run:  %.1f ms (target < 50 ms)\n", m);
    bench::report("record a run (2,000 + 100 rows)", bench::ms(m), "target 50 ms", m / 50.0, 1.0);
    return 0;
}
