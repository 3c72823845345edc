// Showing 100,000 rows of 10 columns: from the first fetched row to a visible, scrollable grid
// (the result step filling the grid, then the grid widget taking the rows and painting), and
// the resident memory it adds. Targets: under 1 s and under 150 MB.
#include "benchsupport.h"
#include "core/embedded/service/embeddeddatabase.h"
#include "core/tuning/resultstep.h"
#include "gui/gridview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTemporaryDir>

using namespace qv;

namespace {

constexpr int kRows = 100'000;

// Opens the statement, so the timing starts with the first row fetched.
class TimedDatabase : public Database {
  public:
    explicit TimedDatabase(Database& db, QElapsedTimer& t) : db_(db), t_(t) {}
    bool isOpen() const override { return db_.isOpen(); }
    void execute(const QString& sql) override { db_.execute(sql); }
    std::unique_ptr<Recordset> openRecordset(const QString& sql) override {
        auto rs = db_.openRecordset(sql);
        t_.start();
        return rs;
    }
    int64_t recordsAffected() const override { return db_.recordsAffected(); }
    void close() override { db_.close(); }
    void cancel() override { db_.cancel(); }

  private:
    Database& db_;
    QElapsedTimer& t_;
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    embedded::EmbeddedDatabase db(dir.filePath(QStringLiteral("grid.db")), QStringLiteral("BENCH"),
                                  embedded::EmbeddedDatabase::OpenMode::CreateIfMissing);
    db.execute(QStringLiteral(
        "CREATE TABLE t (c1 number(10), c2 varchar2(20), c3 varchar2(20), c4 number(10), "
        "c5 varchar2(30), c6 date, c7 number(12), c8 varchar2(10), c9 number(8), c10 "
        "varchar2(16))"));
    db.execute(
        QStringLiteral(
            "INSERT INTO t WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s "
            "WHERE i < %1) SELECT i, 'name ' || i, 'city ' || (i % 97), i * 3, 'mail' || i || "
            "'@example.jp', '2026-12-06', i * 1000, 'OPEN', i % 1000, 'code-' || i FROM s")
            .arg(kRows));

    const double rssBefore = bench::residentMb();
    QElapsedTimer timer;
    TimedDatabase timed(db, timer);
    bench::BenchWindow w(timed, QStringLiteral("select * from t"));
    w.options.set(&Settings::maxDisplayRows, kRows);
    w.data.setVisible(false);
    GridView view(w.data);
    view.resize(900, 600);
    view.show();
    QApplication::processEvents();

    fillResultGrid(w, timed, w.data, w.result);
    view.tableModel()->refresh();
    view.repaint();
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());  // scroll to the end
    view.repaint();
    QApplication::processEvents();
    const double elapsed = timer.nsecsElapsed() / 1e6;
    const double added = bench::residentMb() - rssBefore;

    if (w.result.rowCount != kRows || view.model()->rowCount() != kRows || !view.isVisible()) {
        std::fprintf(stderr, "grid shows %d rows of %lld\n", view.model()->rowCount(),
                     (long long)w.result.rowCount);
        return 1;
    }
    std::printf("rows shown:              %d of 10 columns\n", kRows);
    std::printf("first row to scrollable: %.1f ms (target < 1000 ms)\n", elapsed);
    std::printf("resident memory added:   %.1f MB (target < 150 MB)\n", added);
    std::printf("grid cell storage:       %.1f MB\n", w.data.memoryUsage() / 1048576.0);
    bench::report("show 100,000 rows x 10 columns", bench::ms(elapsed), "target 1000 ms",
                  elapsed / 1000.0, 1.0);
    char mb[32];
    std::snprintf(mb, sizeof mb, "%.1f MB", added);
    bench::report("memory for 100,000 rows x 10 columns", mb, "target 150 MB", added / 150.0, 1.0);
    return 0;
}
