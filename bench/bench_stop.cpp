// A run that does not block its window: how fast a stop ends a run on both engines (from the
// request to the end of the run, target under 200 ms embedded and 500 ms on PostgreSQL), and the
// largest pause of the window's event loop while a run counts 1,000,000 rows (target under
// 100 ms). Everything goes through a real query window, offscreen.
#include "benchsupport.h"
#include "core/embedded/service/embeddeddatabase.h"
#include "core/settings/settings.h"
#include "core/settings/settingsstore.h"
#include "core/window/programstate.h"
#include "gui/querywindow.h"
#include "pgserver.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <optional>
#include <vector>

using namespace qv;

namespace {

constexpr int kRows = 1'000'000;
constexpr int kStops = 5;

const QString kEndless = QStringLiteral(
    "with recursive r(n) as (select 1 union all select n + 1 from r) select count(*) from r");

void turnUntil(const std::function<bool()>& done) {
    while (!done())
        QApplication::processEvents(QEventLoop::AllEvents, 1);
}

// Median milliseconds from the stop request to the end of the run, the statement having run
// for a while first.
double stopLatency(QueryWindow& w, const QString& sql) {
    std::vector<double> times;
    for (int i = 0; i < kStops; ++i) {
        w.sqlEdit()->setText(sql);
        w.model().execute();
        QElapsedTimer running;
        running.start();
        turnUntil([&] { return running.elapsed() > 300; });
        QElapsedTimer t;
        t.start();
        w.model().stop();
        turnUntil([&] { return !w.model().isRunning(); });
        times.push_back(t.nsecsElapsed() / 1e6);
    }
    return bench::median(times);
}

bool connect(QueryWindow& w, const QString& service, const QString& user) {
    w.model().connection().setLogin({service, user, QString()});
    w.model().connection().connectToService();
    // The login runs on a worker: wait for its outcome (the login's own timeout bounds it).
    w.model().connection().waitForAttempt(60000);
    return w.model().connection().isConnected();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    ProgramState program(std::make_unique<SettingsStore>(dir.filePath(QStringLiteral("q.ini"))));
    program.settings().set(&Settings::showPlan, false);
    const QString path = dir.filePath(QStringLiteral("items.db"));
    bench::fillItems(path, kRows);

    QueryWindow w(program);
    w.resize(800, 600);
    w.show();
    if (!connect(w, QStringLiteral("sqlite:") + path, QStringLiteral("bench"))) {
        std::fprintf(stderr, "cannot open the embedded database\n");
        return 1;
    }

    // The event loop's largest pause while a run counts the rows.
    double maxGap = 0;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        maxGap = std::max(maxGap, sinceTick.nsecsElapsed() / 1e6);
        sinceTick.restart();
    });
    w.sqlEdit()->setText(QStringLiteral("SELECT id, name, amount FROM items"));
    QElapsedTimer count;
    count.start();
    w.model().execute();
    sinceTick.start();
    ticker.start();
    turnUntil([&] { return !w.model().isRunning(); });
    ticker.stop();
    const double countMs = count.nsecsElapsed() / 1e6;
    std::printf("count of %d rows (1,000 shown): %.1f ms, %lld rows\n", kRows, countMs,
                (long long)w.model().resultState().rowCount);
    std::printf("largest event-loop pause:       %.1f ms (target < 100 ms)\n", maxGap);
    bench::report("largest UI pause while counting 1,000,000 rows", bench::ms(maxGap),
                  "target 100 ms", maxGap / 100.0, 1.0);

    const double embedded = stopLatency(w, kEndless);
    std::printf("stop to end, embedded engine:   %.1f ms (target < 200 ms)\n", embedded);
    bench::report("stop to end of run, embedded engine", bench::ms(embedded), "target 200 ms",
                  embedded / 200.0, 1.0);

#ifdef QUERVIN_PSQLODBC
    std::optional<bench::OwnServer> server;
    if (!bench::useServer(server))
        return 1;
    program.settings().set(&Settings::odbcDriver, QStringLiteral(QUERVIN_PSQLODBC));
    QueryWindow pg(program);
    pg.show();
    if (!connect(pg, QStringLiteral("pg"), QStringLiteral("quervin"))) {
        std::fprintf(stderr, "cannot connect to PostgreSQL\n");
        return 1;
    }
    const double postgres = stopLatency(pg, QStringLiteral("select pg_sleep(60)"));
    std::printf("stop to end, PostgreSQL:        %.1f ms (target < 500 ms)\n", postgres);
    bench::report("stop to end of run, ODBC (PostgreSQL)", bench::ms(postgres), "target 500 ms",
                  postgres / 500.0, 1.0);
#endif
    return 0;
}
