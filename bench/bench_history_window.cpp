// The history window on a file of 20,000 and of 100,000 recorded runs: how long it takes to
// open (made, shown and painted with its first rows) and to answer a filter keystroke (typing
// "copy 1999" one key at a time, then clearing it: the list read again and painted), beside
// reading the whole list as the CLI does. Targets: open < 300 ms, each keystroke < 100 ms. The
// filter's wait for the next keystroke (HistoryWindow::kFilterDelayMs) is not counted: it is
// idle time, the window answers during it.
#include "benchsupport.h"
#include "core/history/historyfile.h"
#include "core/history/historynotifier.h"
#include "gui/historywindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdlib>
#include <vector>

using namespace qv;

namespace {

// `runs` runs in bulk, statements of three lines that differ in their WHERE clause only.
void fill(const HistoryFile& file, int runs) {
    file.create();
    sqlite3* db = nullptr;
    sqlite3_open(file.path().toUtf8().constData(), &db);
    const QByteArray sql =
        QStringLiteral(
            "BEGIN; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
            "INSERT INTO SQL_HIST SELECT i, '2026-01-01 00:00:00', 'select c.name, o.total_amount "
            "from customers c' || char(10) || '  join orders o on o.customer_id = c.customer_id' "
            "|| "
            "char(10) || 'where o.order_id = ' || i || ' /* copy ' || (i % 3000) || ' */' FROM n; "
            "INSERT INTO RUN_HIST (NUM, SERVICE, USERNAME, ROW_COUNT, ELAPSED_MS, OUTCOME) SELECT "
            "NUM, 'sqlite:sample', 'demo', 1, 5, 'done' FROM SQL_HIST; COMMIT")
            .arg(runs)
            .toUtf8();
    sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

// Makes the window paint what it shows now, as the screen would.
void paint(HistoryWindow& window) {
    window.runList()->viewport()->grab();
}

struct Figures {
    double open = 0;
    double keyMedian = 0;
    double keyWorst = 0;
    double cli = 0;
};

Figures measure(int runs) {
    QTemporaryDir dir;
    const HistoryFile file(dir.filePath(QStringLiteral("quervhst.mdb")));
    fill(file, runs);
    Figures f;
    HistoryNotifier notifier;  // the program's, which no run signals here
    std::vector<double> opens, clis;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer t;
        t.start();
        HistoryWindow window(file.path(), notifier);
        window.show();
        paint(window);
        opens.push_back(t.nsecsElapsed() / 1e6);
        if (window.runList()->model()->rowCount() != runs)
            std::exit(1);
        t.restart();
        if (file.runs().size() != runs)
            std::exit(1);
        clis.push_back(t.nsecsElapsed() / 1e6);
    }
    HistoryWindow window(file.path(), notifier);
    window.show();
    paint(window);
    std::vector<double> keys;
    const QString typed = QStringLiteral("copy 1999");
    for (qsizetype n = 1; n <= typed.size() + 1; ++n) {
        // The last "keystroke" clears the filter.
        const QString text = n <= typed.size() ? typed.left(n) : QString();
        QElapsedTimer t;
        t.start();
        window.filterEdit()->setText(text);
        window.reload();
        paint(window);
        keys.push_back(t.nsecsElapsed() / 1e6);
    }
    if (window.runList()->model()->rowCount() != runs)
        std::exit(1);
    f.open = bench::median(opens);
    f.cli = bench::median(clis);
    f.keyMedian = bench::median(keys);
    f.keyWorst = *std::max_element(keys.begin(), keys.end());
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    for (const int runs : {20'000, 100'000}) {
        const Figures f = measure(runs);
        std::printf(
            "%d runs: open %.1f ms (target < 300 ms), filter keystroke median %.1f ms, "
            "worst %.1f ms (target < 100 ms); whole list read as the CLI does %.1f ms\n",
            runs, f.open, f.keyMedian, f.keyWorst, f.cli);
        const std::string n = runs == 20'000 ? "20,000" : "100,000";
        bench::report(("history window opens, " + n + " runs").c_str(), bench::ms(f.open),
                      "target 300 ms", f.open / 300.0, 1.0);
        bench::report(("history filter keystroke (worst), " + n + " runs").c_str(),
                      bench::ms(f.keyWorst), "target 100 ms", f.keyWorst / 100.0, 1.0);
    }
    return 0;
}
