// A statement that does all its work in its first step, measured against the same statement not
// measured: the sample's category report (350,000 ORDER_ITEMS joined to 1,000 PRODUCTS, grouped
// by category before the first row comes), hash-joined and by nested loops, its result step on
// a session that collects each plan line's figures (STATISTICS_LEVEL = ALL) and on one that
// does not. Prints the median processor times and the ratio figures on / off, which should
// stay at or below 1.15; and, from whole runs as the query window makes them, the statement
// line's A-Time next to the result step's elapsed time, which it should not exceed (each line's
// of the first run). Fails when a line's A-Time exceeds its parent's.
#include "benchsupport.h"
#include "core/embedded/service/embeddedengine.h"
#include "core/tuning/planstep.h"
#include "core/tuning/resultstep.h"
#include "core/tuning/tuningrun.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

using namespace qv;

namespace {

constexpr int kRuns = 9;

double resultStepMs(Database& db, const QString& sql) {
    bench::BenchWindow w(db, sql);
    const double started = bench::cpuMs();
    fillResultGrid(w, db, w.data, w.result);
    const double ms = bench::cpuMs() - started;
    if (w.result.rowCount <= 0 || !w.result.error.isEmpty()) {
        std::fprintf(stderr, "no result: %s\n", qPrintable(w.result.error));
        std::exit(1);
    }
    return ms;
}

// One whole run, its statement measured: each line's A-Time (printed when `print`), and the
// result step's elapsed time. Fails when the statement line has no A-Time, or a line's exceeds
// its parent's.
struct Timed {
    int64_t rootMicros = -1, elapsedMicros = -1;
};
Timed wholeRun(Database& db, Database& stats, const QString& sql, bool print) {
    struct Window : bench::BenchWindow {
        Window(Database& db, Database& stats, const QString& sql)
            : BenchWindow(db, sql), stats_(stats) {}
        Database& statsDatabase() override { return stats_; }
        Database& stats_;
    } w(db, stats, sql);
    const RunRecord record = runTuning(w);
    auto time = [](const PlanLine& l) {
        return l.actuals ? l.actuals->elapsedMicros : std::nullopt;
    };
    for (const PlanLine& l : record.plan) {
        const std::optional<int64_t> t = time(l);
        if (print)
            std::printf("  %2lld %-48s A-Time %8s us\n", (long long)l.id, qPrintable(l.text()),
                        t ? std::to_string(*t).c_str() : "-");
        for (const PlanLine& parent : record.plan)
            if (l.parentId && parent.id == *l.parentId && t && time(parent) && *t > *time(parent)) {
                std::fprintf(stderr, "line %lld's A-Time exceeds its parent's\n", (long long)l.id);
                std::exit(1);
            }
    }
    const std::optional<int64_t> root = record.plan.isEmpty() ? std::nullopt : time(record.plan[0]);
    if (!root) {
        std::fprintf(stderr, "no A-Time on the statement line\n");
        std::exit(1);
    }
    return {*root, record.result.elapsedMs * 1000};
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    auto db =
        openEmbeddedDatabase(QStringLiteral("sqlite:sample"), QStringLiteral("demo"), dir.path());
    db->execute(planTableCreateStatement(kDefaultPlanTable));
    // The figures of the run's statement are read from another session, as a run reads them.
    auto stats =
        openEmbeddedDatabase(QStringLiteral("sqlite:sample"), QStringLiteral("demo"), dir.path());
    const struct {
        const char* name;
        QString sql;
    } forms[] = {{"hash join", bench::kCategoryReport.arg(QString())},
                 {"nested loops", bench::kCategoryReport.arg(QStringLiteral("/*+ use_nl(p) */ "))}};
    bool plausible = true;
    for (const auto& f : forms) {
        db->execute(QStringLiteral("ALTER SESSION SET STATISTICS_LEVEL = ALL"));
        std::printf("%s, whole runs (lines of the first):\n", f.name);
        for (int run = 0; run < kRuns; ++run) {
            const Timed t = wholeRun(*db, *stats, f.sql, run == 0);
            std::printf("  statement line A-Time %8lld us, result step elapsed %8lld us\n",
                        (long long)t.rootMicros, (long long)t.elapsedMicros);
            plausible &= t.rootMicros <= t.elapsedMicros;
        }
        std::vector<double> on, off;
        for (int run = 0; run < kRuns; ++run) {
            db->execute(QStringLiteral("ALTER SESSION SET STATISTICS_LEVEL = ALL"));
            on.push_back(resultStepMs(*db, f.sql));
            db->execute(QStringLiteral("ALTER SESSION SET STATISTICS_LEVEL = TYPICAL"));
            off.push_back(resultStepMs(*db, f.sql));
        }
        const double m = bench::median(on);
        const double u = bench::median(off);
        std::printf("%s result step: figures on %.1f ms CPU, off %.1f ms CPU, ratio %.3f\n", f.name,
                    m, u, m / u);
        const std::string figure = std::string("category report, ") + f.name +
                                   ", result step CPU, per-line figures on / off";
        bench::report(figure.c_str(), bench::ms(m), bench::ms(u) + " figures off", m / u, 1.15);
    }
    if (!plausible) {
        std::fprintf(stderr, "a statement line's A-Time above its result step's elapsed time\n");
        return 1;
    }
    return 0;
}
