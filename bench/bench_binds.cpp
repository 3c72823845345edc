// What ten bind variables add to a run: the same run (session, plan and result steps, the
// statistics) of one statement, once with ten placeholders bound through ODBC and once with
// the same ten values written as literals, through the SQLite ODBC driver on a file of 100,000
// rows. The bound run also does what the window does before the dialog (finding the variables,
// the values last used) and after it (remembering them). Prints the medians and the time added,
// which should stay under 5 ms.
#include "benchsupport.h"
#include "core/odbc/odbcdatabase.h"
#include "core/sql/tokenlist.h"
#include "core/tuning/tuningrun.h"
#include "core/window/bindmemory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

using namespace qv;

namespace {

constexpr int kRuns = 101;
constexpr double kTargetMs = 5.0;

// A run's window whose statement has bind variables.
class BoundWindow : public bench::BenchWindow {
  public:
    using BenchWindow::BenchWindow;
    BindList values;
    BindList binds() const override { return values; }
};

QString statement(const QStringList& items) {
    return QStringLiteral("SELECT id, name, amount FROM items WHERE id IN (") +
           items.join(QStringLiteral(", ")) + QStringLiteral(") OR amount > 49990");
}

// One run's time in milliseconds.
double timed(BoundWindow& w, BindMemory& memory) {
    QElapsedTimer clock;
    clock.start();
    if (!w.values.isEmpty()) {
        // The window's side of a bound run, with the dialog answered at once.
        memory.recall(sql::placeholders(sqlToSend(w.sqlText())).names);
        memory.remember(w.values);
    }
    const RunRecord record = runTuning(w);
    const double ms = clock.nsecsElapsed() / 1e6;
    if (record.result.rowCount != 30)
        std::fprintf(stderr, "unexpected count %lld: %s\n", qlonglong(record.result.rowCount),
                     qPrintable(record.result.error));
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("items.db"));
    bench::fillItems(file, 100000);
    OdbcDatabase db;
    db.open(
        QStringLiteral("Driver={%1};Database=%2;").arg(QStringLiteral(QUERVIN_SQLITEODBC), file));

    QStringList literals, placeholders;
    BindList values;
    for (int i = 1; i <= 10; ++i) {
        literals << QString::number(i * 997);
        placeholders << QStringLiteral(":b%1").arg(i);
        values.append({QStringLiteral("b%1").arg(i), BindType::Number, QString::number(i * 997)});
    }
    BoundWindow plain(db, statement(literals));
    BoundWindow bound(db, statement(placeholders));
    bound.values = values;
    std::vector<double> withoutBinds, withBinds;
    BindMemory memory;  // the program's, as the windows use it
    for (int i = 0; i < kRuns; ++i) {
        withoutBinds.push_back(timed(plain, memory));
        withBinds.push_back(timed(bound, memory));
    }
    const double a = bench::median(withoutBinds), b = bench::median(withBinds);
    std::printf("run without binds %.2f ms, with 10 binds %.2f ms (medians of %d)\n", a, b, kRuns);
    const double added = std::max(b - a, 0.0);
    char ours[64];
    std::snprintf(ours, sizeof ours, "%.2f ms added", added);
    bench::report("run with 10 bind variables (SQLite ODBC)", ours, "target 5 ms",
                  added / kTargetMs, 1.0);
    return 0;
}
