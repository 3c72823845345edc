// What measuring a change and rolling it back (実行後にロールバック) costs: a whole run of an
// UPDATE of 100,000 rows on the embedded engine, once committed and once inside SAVEPOINT
// QUERVIN_MEASURE and rolled back to it, in turn. Prints the median times and their ratio,
// which should stay at or below 1.10.
#include "benchsupport.h"
#include "core/embedded/service/embeddeddatabase.h"
#include "core/tuning/tuningrun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

using namespace qv;

namespace {

constexpr int kRows = 100'000;
constexpr int kRuns = 7;

double runMs(Database& db, bool rollBack) {
    bench::BenchWindow w(db, QStringLiteral("UPDATE items SET amount = amount + 1"));
    w.options.set(&Settings::showPlan, false);
    w.options.set(&Settings::rollbackAfterRun, rollBack);
    QElapsedTimer timer;
    timer.start();
    const RunRecord record = runTuning(w);
    const double ms = timer.nsecsElapsed() / 1e6;
    if (record.result.rowCount != kRows || record.rolledBack != rollBack) {
        std::fprintf(stderr, "changed %lld rows, rolled back %d\n",
                     (long long)record.result.rowCount, int(record.rolledBack));
        std::exit(1);
    }
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.db"));
    bench::fillItems(path, kRows);
    embedded::EmbeddedDatabase db(path, QStringLiteral("BENCH"));
    runMs(db, false);  // untimed: a warm file cache for both
    runMs(db, true);
    std::vector<double> committed, undone;
    for (int run = 0; run < kRuns; ++run) {
        committed.push_back(runMs(db, false));
        undone.push_back(runMs(db, true));
    }
    const double c = bench::median(committed);
    const double u = bench::median(undone);
    std::printf("update %d rows, committed:    %8.1f ms (median of %d)\n", kRows, c, kRuns);
    std::printf("measured and rolled back:     %8.1f ms (median of %d)\n", u, kRuns);
    std::printf("ratio rolled back / committed: %7.3f (target <= 1.10)\n", u / c);
    bench::report("update 100,000 rows, measured and rolled back", bench::ms(u),
                  bench::ms(c) + " committed", u / c, 1.10);
    return 0;
}
