#pragma once

// What the benchmarks share: a run's window without a screen, medians, resident memory and
// the one line per figure that bench/run_all reads.

#include "core/embedded/service/embeddeddatabase.h"
#include "core/tuning/runwindow.h"

#include <QString>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

namespace qv::bench {

// The window of a result step: grids, settings and one connection for both roles.
class BenchWindow : public RunWindow {
  public:
    BenchWindow(Database& db, QString sql) : db_(db), sql_(std::move(sql)) {
        options.set(&Settings::maxDisplayRows, 1000);
    }
    SharedSettings options{Settings{}};
    GridModel explan, data, statGrid;
    ResultState result;  // what the result step found

    QString sqlText() const override { return sql_; }
    void setPlanMessage(const QString&) override {}
    void setResultMessage(const QString&) override {}
    void setStatsMessage(const QString&) override {}
    void setCountLabel(const QString&) override {}
    GridModel& planGrid() override { return explan; }
    GridModel& resultGrid() override { return data; }
    GridModel& statsGrid() override { return statGrid; }
    Answer ask(const QString&) override { return Answer::No; }
    void showMessage(const QString&) override {}
    void showNote(const QString&) override {}
    QString& sessionStatisticsLevel() override { return statisticsLevel_; }
    SessionTransaction& transaction() override { return transaction_; }
    SessionMemory& sessionMemory() override { return memory_; }
    int blankWidthTwips(int n) const override { return n * 100; }
    const SharedSettings& settings() const override { return options; }
    Database& queryDatabase() override { return db_; }
    Database& statsDatabase() override { return db_; }
    QString userName() const override { return QStringLiteral("bench"); }
    QString serviceName() const override { return QStringLiteral("bench"); }
    void addToRing(const QString&) override {}
    RunControl& control() override { return runControl; }
    RunControl runControl;

  private:
    Database& db_;
    QString statisticsLevel_;
    SessionTransaction transaction_;
    SessionMemory memory_;
    QString sql_;
};

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Processor time of this process, all threads, in milliseconds.
inline double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// The sample's category report, a 350,000 × 1,000 join; %1 takes a hint ("/*+ use_nl(p) */ ")
// or nothing.
inline const QString kCategoryReport = QStringLiteral(
    "select %1p.category, count(*) cnt, sum(oi.quantity*oi.unit_price) amount from order_items "
    "oi join products p on p.product_id = oi.product_id group by p.category order by amount desc");

// Resident memory of this process in megabytes.
inline double residentMb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * 4096.0 / (1024.0 * 1024.0);
}

// One figure for the summary table: what is measured, this project's number, what it is judged
// against (a plain loop's number or a target), their ratio and the limit the ratio must keep.
inline void report(const char* figure, const std::string& ours, const std::string& reference,
                   double ratio, double limit) {
    std::printf("RESULT|%s|%s|%s|%.3f|%.2f|%s\n", figure, ours.c_str(), reference.c_str(), ratio,
                limit, ratio <= limit ? "ok" : "OVER");
}

inline std::string ms(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f ms", v);
    return buf;
}

// A new SQLite file at `path` with a table items (id, name, amount) of `rows` rows.
inline void fillItems(const QString& path, int rows) {
    embedded::EmbeddedDatabase db(path, QStringLiteral("BENCH"),
                                  embedded::EmbeddedDatabase::OpenMode::CreateIfMissing);
    db.execute(
        QStringLiteral("CREATE TABLE items (id INTEGER PRIMARY KEY, name varchar2(20), "
                       "amount number(10,2))"));
    db.execute(QStringLiteral("INSERT INTO items WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL "
                              "SELECT i + 1 FROM s WHERE i < %1) SELECT i, 'item ' || i, i * 0.5 "
                              "FROM s")
                   .arg(rows));
}

}  // namespace qv::bench
