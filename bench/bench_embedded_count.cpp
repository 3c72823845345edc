// Counting a million-row result in the embedded engine: a plain C loop (sqlite3_prepare_v2 and
// sqlite3_step until done) against the result step of a run with 1,000 rows shown (the grid
// filled with the first 1,000, the rest counted). Prints the median times and the ratio
// engine / plain, which should stay at or below 1.1; and the same count on a session that
// collects each plan line's figures (STATISTICS_LEVEL = ALL) against one that does not, whose
// ratio should stay at or below 1.15.
#include "benchsupport.h"
#include "core/embedded/service/embeddeddatabase.h"
#include "core/tuning/resultstep.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace qv;

namespace {

constexpr int kRows = 1'000'000;
constexpr int kRuns = 7;
constexpr int kReadRows = 1'000;
const char* const kQuery = "SELECT id, name, amount FROM items";

int64_t plainCount(sqlite3* db) {
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, kQuery, -1, &stmt, nullptr);
    int64_t n = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW)
        ++n;
    sqlite3_finalize(stmt);
    return n;
}

int64_t engineCount(Database& db) {
    bench::BenchWindow w(db, QString::fromLatin1(kQuery));
    w.options.set(&Settings::maxDisplayRows, kReadRows);
    fillResultGrid(w, db, w.data, w.result);
    return w.result.rowCount;
}

using bench::median;

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.db"));
    bench::fillItems(path, kRows);

    sqlite3* plain = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &plain, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(path));
        return 1;
    }
    embedded::EmbeddedDatabase engine(path, QStringLiteral("BENCH"));
    embedded::EmbeddedDatabase measured(path, QStringLiteral("BENCH"));
    measured.execute(QStringLiteral("ALTER SESSION SET STATISTICS_LEVEL = ALL"));

    // One untimed round each so all read from a warm file cache.
    plainCount(plain);
    engineCount(engine);
    engineCount(measured);

    std::vector<double> plainMs;
    std::vector<double> engineMs;
    std::vector<double> measuredMs;
    QElapsedTimer timer;
    for (int run = 0; run < kRuns; ++run) {
        timer.start();
        const int64_t a = plainCount(plain);
        plainMs.push_back(timer.nsecsElapsed() / 1e6);
        timer.start();
        const int64_t b = engineCount(engine);
        engineMs.push_back(timer.nsecsElapsed() / 1e6);
        timer.start();
        const int64_t c = engineCount(measured);
        measuredMs.push_back(timer.nsecsElapsed() / 1e6);
        if (a != kRows || b != kRows || c != kRows) {
            std::fprintf(stderr, "counted %lld, %lld and %lld rows, expected %d\n", (long long)a,
                         (long long)b, (long long)c, kRows);
            return 1;
        }
    }
    sqlite3_close(plain);

    const double p = median(plainMs);
    const double e = median(engineMs);
    const double m = median(measuredMs);
    std::printf("rows counted:            %d (values read of the first %d)\n", kRows, kReadRows);
    std::printf("plain sqlite3_step loop: %8.1f ms (median of %d)\n", p, kRuns);
    std::printf("embedded engine:         %8.1f ms (median of %d)\n", e, kRuns);
    std::printf("  with per-line figures: %8.1f ms (median of %d)\n", m, kRuns);
    std::printf("ratio engine / plain:    %8.3f (target <= 1.1)\n", e / p);
    std::printf("ratio figures on / off:  %8.3f (target <= 1.15)\n", m / e);
    bench::report("count 1,000,000 rows, embedded engine", bench::ms(e),
                  bench::ms(p) + " plain sqlite3_step", e / p, 1.1);
    bench::report("count 1,000,000 rows, per-line figures on", bench::ms(m),
                  bench::ms(e) + " figures off", m / e, 1.15);
    return 0;
}
