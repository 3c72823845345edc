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

    GridModel stats;
    stats.setCols(3);
    stats.setRows(2001);
    for (int r = 1; r <= 2000; ++r) {
        stats.setText(r, 0, QString::number(r));
        stats.setText(r, 1, QString::number(r * 37));
        stats.setText(r, 2, QStringLiteral("statistic %1").arg(r));
    }
    GridModel plan;
    plan.setCols(4);
    plan.setRows(101);
    for (int r = 1; r <= 100; ++r) {
        plan.setText(
            r, 0, QString(r % 8, QLatin1Char(' ')) + QStringLiteral("TABLE ACCESS FULL (APP.T)"));
        plan.setText(r, 1, QString::number(r * 10));
    }
    const QString sql = QStringLiteral("select * from orders where customer_id = 42");

    constexpr int kRuns = 21;
    std::vector<double> times;
    const HistoryFile file(path);
    file.record(sql, stats, plan);  // creates the file
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer t;
        t.start();
        file.record(sql, stats, plan);
        times.push_back(t.nsecsElapsed() / 1e6);
    }
    const double m = bench::median(times);
    std::printf("runs recorded:   %d (2,000 statistics rows and 100 plan rows each)\n", kRuns + 1);
    std::printf("median per run:  %.1f ms (target < 50 ms)\n", m);
    bench::report("record a run (2,000 + 100 rows)", bench::ms(m), "target 50 ms", m / 50.0, 1.0);
    return 0;
}
