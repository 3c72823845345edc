// The sample's category report (350,000 ORDER_ITEMS joined to 1,000 PRODUCTS, grouped by
// category) as the engine plans it, a HASH JOIN that reads PRODUCTS once, against the same
// statement with USE_NL, the nested loop that finds each item's product by its key. Each form
// runs as a whole run does (plan, result, statistics, each line's figures: the default run,
// whose statement is measured), and its result step alone on a session that measures nothing.
// Prints the median processor and wall-clock times of both, the session logical reads, and the
// ratios hash / nested loops: time at or below 1.00, buffers below 1.00. Processor time is the
// figure judged: on a machine shared with other work it varies less than wall-clock time.
#include "benchsupport.h"
#include "core/embedded/service/embeddedengine.h"
#include "core/tuning/planstep.h"
#include "core/tuning/resultstep.h"
#include "core/tuning/tuningrun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

using namespace qv;

namespace {

constexpr int kRuns = 7;

struct Times {
    std::vector<double> cpu, wall;
    void add(double cpuStart, const QElapsedTimer& timer) {
        cpu.push_back(bench::cpuMs() - cpuStart);
        wall.push_back(timer.nsecsElapsed() / 1e6);
    }
};

struct Form {
    Form(const char* n, QString s, QString j) : name(n), sql(std::move(s)), join(std::move(j)) {}
    const char* name;
    QString sql;
    QString join;  // the join line the plan must draw
    Times run, step;
    int64_t buffers = -1;
    QStringList rows;  // the result, as the grid shows it
};

QStringList gridRows(const GridModel& grid) {
    QStringList rows;
    for (int r = grid.fixedRows(); r < grid.rows(); ++r) {
        QStringList cells;
        for (int c = grid.fixedCols(); c < grid.cols(); ++c)
            cells << grid.text(r, c);
        rows << cells.join(u'|');
    }
    return rows;
}

// A whole run as the query window makes it. Fails when the plan does not join as `f` says, or
// the result differs from the first run's.
void wholeRun(Database& db, Form& f) {
    bench::BenchWindow w(db, f.sql);
    QElapsedTimer timer;
    timer.start();
    const double started = bench::cpuMs();
    const RunRecord record = runTuning(w);
    f.run.add(started, timer);
    bool joined = false;
    for (const PlanLine& l : record.plan)
        joined |= (l.operation + u' ' + l.options.value_or(QString())).trimmed() == f.join;
    for (const StatisticReading& s : record.statistics)
        if (s.name == u"session logical reads")
            f.buffers = s.delta.toLongLong();
    const QStringList rows = gridRows(w.data);
    if (!joined || f.buffers < 0 || rows.isEmpty() || (!f.rows.isEmpty() && rows != f.rows)) {
        std::fprintf(stderr, "%s: no %s in the plan, no logical reads, or another result\n", f.name,
                     qPrintable(f.join));
        std::exit(1);
    }
    f.rows = rows;
}

// The result step alone: the statement executed and every row fetched.
void resultStep(Database& db, Form& f) {
    bench::BenchWindow w(db, f.sql);
    QElapsedTimer timer;
    timer.start();
    const double started = bench::cpuMs();
    fillResultGrid(w, db, w.data, w.result);
    f.step.add(started, timer);
    if (gridRows(w.data) != f.rows) {
        std::fprintf(stderr, "%s: another result\n", f.name);
        std::exit(1);
    }
}

void print(const char* what, const Times& hash, const Times& nested) {
    using bench::median;
    std::printf(
        "%-38s hash %7.1f ms CPU %7.1f ms wall | nested loops %7.1f ms CPU %7.1f ms wall "
        "| CPU ratio %.3f\n",
        what, median(hash.cpu), median(hash.wall), median(nested.cpu), median(nested.wall),
        median(hash.cpu) / median(nested.cpu));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    auto db =
        openEmbeddedDatabase(QStringLiteral("sqlite:sample"), QStringLiteral("demo"), dir.path());
    db->execute(planTableCreateStatement(kDefaultPlanTable));
    Form hash{"hash join", bench::kCategoryReport.arg(QString()), QStringLiteral("HASH JOIN")};
    Form nested{"nested loops", bench::kCategoryReport.arg(QStringLiteral("/*+ use_nl(p) */ ")),
                QStringLiteral("NESTED LOOPS")};
    // Untimed: a warm file cache, and the result each later run must give.
    wholeRun(*db, hash);
    wholeRun(*db, nested);
    if (hash.rows != nested.rows) {
        std::fprintf(stderr, "the hash join and the nested loops give different results\n");
        return 1;
    }
    hash.run = nested.run = {};
    for (int run = 0; run < kRuns; ++run)
        for (Form* f : {&hash, &nested})
            wholeRun(*db, *f);
    db->execute(QStringLiteral("ALTER SESSION SET STATISTICS_LEVEL = TYPICAL"));
    for (int run = 0; run < kRuns; ++run)
        for (Form* f : {&hash, &nested})
            resultStep(*db, *f);

    std::printf("category report on the sample (%d rows), medians of %d:\n", int(hash.rows.size()),
                kRuns);
    print("whole run, lines measured (default)", hash.run, nested.run);
    print("result step, nothing measured", hash.step, nested.step);
    const double buffers = double(hash.buffers) / double(nested.buffers);
    std::printf("session logical reads: hash %lld, nested loops %lld, ratio %.4f\n",
                (long long)hash.buffers, (long long)nested.buffers, buffers);
    using bench::median;
    bench::report("category report, hash join / nested loops, whole run CPU",
                  bench::ms(median(hash.run.cpu)), bench::ms(median(nested.run.cpu)),
                  median(hash.run.cpu) / median(nested.run.cpu), 1.0);
    bench::report("category report, hash join / nested loops, result step CPU",
                  bench::ms(median(hash.step.cpu)), bench::ms(median(nested.step.cpu)),
                  median(hash.step.cpu) / median(nested.step.cpu), 1.0);
    bench::report("category report, hash join / nested loops, buffers",
                  std::to_string(hash.buffers), std::to_string(nested.buffers), buffers, 0.99);
    return 0;
}
