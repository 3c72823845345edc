// Gathering optimizer statistics (DBMS_STATS.GATHER_TABLE_STATS) on a 1,000,000-row table with
// an index, against the same on 100,000 rows times ten. Prints both times and the ratio, which
// stays at or below 1.5 when the time grows with the table's size (the sorts of the distinct
// counts add their logarithm).
#include "benchsupport.h"
#include "core/embedded/service/embeddeddatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

using namespace qv;

namespace {

constexpr int kLarge = 1'000'000;
constexpr int kSmall = 100'000;
constexpr int kRuns = 3;

double gatherMs(const QString& path, int rows) {
    bench::fillItems(path, rows);
    embedded::EmbeddedDatabase db(path, QStringLiteral("BENCH"));
    db.execute(QStringLiteral("CREATE INDEX items_name ON items (name)"));
    std::vector<double> times;
    QElapsedTimer timer;
    for (int run = 0; run < kRuns; ++run) {
        timer.start();
        db.execute(QStringLiteral("BEGIN DBMS_STATS.GATHER_TABLE_STATS('BENCH', 'ITEMS'); END;"));
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    return bench::median(times);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const double small = gatherMs(dir.filePath(QStringLiteral("small.db")), kSmall);
    const double large = gatherMs(dir.filePath(QStringLiteral("large.db")), kLarge);
    const double ratio = large / (small * (kLarge / kSmall));
    std::printf("gather 100,000 rows:      %8.1f ms (median of %d)\n", small, kRuns);
    std::printf("gather 1,000,000 rows:    %8.1f ms (median of %d)\n", large, kRuns);
    std::printf("ratio 1,000,000 / 10 x 100,000: %6.3f (target <= 1.5)\n", ratio);
    bench::report("gather statistics of 1,000,000 rows and an index", bench::ms(large),
                  bench::ms(small * (kLarge / kSmall)) + " 10 x 100,000 rows", ratio, 1.5);
    return 0;
}
