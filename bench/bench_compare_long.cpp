// Comparing two runs of very long statements: 50,000 lines that differ in 1% of them, and
// 50,000 lines that differ almost everywhere (every line its own, and lines drawn at random
// from 12 short ones, where the search for the shortest difference is cut off); and 4,000
// lines that differ in 1%, the longest that are still matched through the full table.
// Target: each under 1 s and under 100 MB at its peak.
#include "benchsupport.h"
#include "core/history/linediff.h"
#include "core/history/runcomparison.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <climits>
#include <fstream>
#include <random>

using namespace qv;

namespace {

constexpr int kLines = 50'000;

// The most this process has been resident since the last reset, in megabytes.
double peakMb() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmHWM:") {
            double kb = 0;
            status >> kb;
            return kb / 1024.0;
        }
    }
    return 0;
}

// Starts the peak over from what is resident now (Linux 4.0 and later).
void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

RecordedRun runOf(int number, const QStringList& lines) {
    RecordedRun r;
    r.summary.number = number;
    r.summary.sql = lines.join(u'\n');
    return r;
}

struct Figures {
    double ms = 0, peak = 0, growth = 0;
    qsizetype changed = 0;
};

Figures measure(const QStringList& a, const QStringList& b) {
    RecordedRun ra = runOf(1, a), rb = runOf(2, b);
    resetPeak();
    const double before = peakMb();
    QElapsedTimer t;
    t.start();
    const RunComparison c = compareRuns(std::move(ra), std::move(rb));
    Figures f;
    f.ms = t.nsecsElapsed() / 1e6;
    f.peak = peakMb();
    f.growth = f.peak - before;
    for (const TextLineChange& line : c.sql)
        f.changed += line.kind != TextLineChange::Kind::Same;
    return f;
}

void print(const char* name, const Figures& f) {
    std::printf("%-44s %8.1f ms  peak %6.1f MB (+%.1f MB)  %lld lines marked\n", name, f.ms, f.peak,
                f.growth, static_cast<long long>(f.changed));
    char what[160];
    std::snprintf(what, sizeof what, "compare %s: time", name);
    bench::report(what, bench::ms(f.ms), "target 1000 ms", f.ms / 1000.0, 1.0);
    char memory[32];
    std::snprintf(memory, sizeof memory, "%.1f MB", f.peak);
    std::snprintf(what, sizeof what, "compare %s: peak memory", name);
    bench::report(what, memory, "target 100 MB", f.peak / 100.0, 1.0);
}

// `a` with 1% of its lines changed: a third replaced, a third dropped, a third added.
QStringList edited(QStringList a, std::mt19937& random) {
    const qsizetype changes = a.size() / 100;
    for (int k = 0; k < changes; ++k) {
        const int at = int(random() % quint32(a.size()));
        if (k % 3 == 0)
            a[at] = QStringLiteral("   OR changed_%1 IS NULL").arg(k);
        else if (k % 3 == 1)
            a.removeAt(at);
        else
            a.insert(at, QStringLiteral("   AND added_%1 > 0").arg(k));
    }
    return a;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::mt19937 random(27);
    QStringList a;
    for (int i = 0; i < kLines; ++i)
        a << QStringLiteral("   AND t%1.col_%2 = 0").arg(i % 7).arg(i % 1013);  // 7 of each

    const QStringList b = edited(a, random);
    const QStringList shorter = a.mid(0, 4000);
    print("4,000 lines, 1% different", measure(shorter, edited(shorter, random)));
    print("50,000 lines, 1% different", measure(a, b));

    // What no cut-off at all would mark: the fewest lines possible.
    const auto [idsA, idsB] = lineIds(a, b);
    const qsizetype common = qsizetype(commonLinesInLinearSpace(idsA, idsB, INT_MAX).size());
    std::printf("%-44s %lld lines\n", "  the fewest possible",
                static_cast<long long>(a.size() + b.size() - 2 * common));

    QStringList other;
    for (int i = 0; i < kLines; ++i)
        other << QStringLiteral("   AND u.other_%1 = %2").arg(i).arg(i * 7);
    print("50,000 lines, every line different", measure(a, other));

    // Few distinct lines in random order: most lines have many equals on the other side.
    static const char* const kWords[] = {"SELECT",   "FROM",     "WHERE", "AND",
                                         "OR",       "(",        ")",     "UNION ALL",
                                         "GROUP BY", "ORDER BY", "JOIN",  "ON"};
    QStringList x, y;
    for (int i = 0; i < kLines; ++i) {
        x << QString::fromLatin1(kWords[random() % std::size(kWords)]);
        y << QString::fromLatin1(kWords[random() % std::size(kWords)]);
    }
    print("50,000 lines, random from 12 short ones", measure(x, y));
    return 0;
}
