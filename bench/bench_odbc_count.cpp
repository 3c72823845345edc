// Counting a million-row result on PostgreSQL: a plain ODBC loop with a 1,000-row rowset against
// the result step of a run with 1,000 rows shown (the grid filled with the first 1,000, the rest
// counted through our ODBC layer). Prints the median times and the ratio ours / plain, which
// should stay at or below 1.2.
//
// Uses the server that PGHOST/PGPORT (and PGUSER/PGDATABASE) name, or starts its own with the
// tests' fixture script.
#include "benchsupport.h"
#include "core/odbc/odbcdatabase.h"
#include "core/odbc/odbchandles.h"
#include "core/tuning/resultstep.h"
#include "pgserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <optional>
#include <vector>

using namespace qv;

namespace {

constexpr int kRows = 1000000;
constexpr int kRuns = 7;
constexpr SQLULEN kRowset = 1000;

const QString kQuery =
    QStringLiteral(
        "SELECT i, md5(i::text) AS t, i * 0.5 AS half FROM generate_series(1, %1) AS g(i)")
        .arg(kRows);

const QString kDriverString = QStringLiteral("Driver={%1};UID=quervin;PWD=;").arg(QUERVIN_PSQLODBC);

// The baseline: nothing but the calls a counting loop needs.
int64_t countPlain(const DbcHandle& dbc) {
    const StmtHandle stmt = StmtHandle::create(dbc);
    SQLULEN fetched = 0;
    stmt.check(SQLSetStmtAttr(stmt.get(), SQL_ATTR_ROW_ARRAY_SIZE,
                              reinterpret_cast<SQLPOINTER>(kRowset), 0));
    stmt.check(SQLSetStmtAttr(stmt.get(), SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
    stmt.check(SQLExecDirectW(stmt.get(), odbcText(kQuery), SQL_NTS));
    int64_t rows = 0;
    while (stmt.check(SQLFetch(stmt.get())) != SQL_NO_DATA)
        rows += static_cast<int64_t>(fetched);
    return rows;
}

// The result step: show the first rows, count the rest.
int64_t countOurs(Database& db) {
    bench::BenchWindow w(db, kQuery);
    fillResultGrid(w, db, w.data, w.result);
    return w.result.rowCount;
}

using bench::median;

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::optional<bench::OwnServer> server;
    if (!bench::useServer(server))
        return 1;
    try {
        const EnvHandle env = EnvHandle::create();
        DbcHandle dbc = DbcHandle::create(env);
        dbc.connect(kDriverString);
        OdbcDatabase db;
        db.open(QStringLiteral("ODBC;") + kDriverString);

        // Wall time, and this process's CPU time, which other work on the machine disturbs less.
        std::vector<double> plain, ours, plainCpu, oursCpu;
        countPlain(dbc);  // warm the server's caches for both
        for (int run = 0; run < kRuns; ++run) {
            // Alternate which goes first, so neither always meets a cold allocator or server.
            int64_t a = 0, b = 0;
            for (int turn = 0; turn < 2; ++turn) {
                QElapsedTimer t;
                t.start();
                const std::clock_t cpu = std::clock();
                const bool plainTurn = (run + turn) % 2 == 0;
                (plainTurn ? a : b) = plainTurn ? countPlain(dbc) : countOurs(db);
                (plainTurn ? plain : ours).push_back(t.nsecsElapsed() / 1e6);
                (plainTurn ? plainCpu : oursCpu)
                    .push_back(double(std::clock() - cpu) * 1000 / CLOCKS_PER_SEC);
            }
            if (a != kRows || b != kRows) {
                std::fprintf(stderr, "wrong count: plain %lld, ours %lld\n", (long long)a,
                             (long long)b);
                return 1;
            }
        }
        const double p = median(plain), o = median(ours);
        const double pc = median(plainCpu), oc = median(oursCpu);
        std::printf("rows counted:          %d (median of %d runs)\n", kRows, kRuns);
        std::printf("plain ODBC, rowset %llu: %.1f ms\n", (unsigned long long)kRowset, p);
        std::printf("our layer:             %.1f ms\n", o);
        std::printf("ratio ours/plain:      %.3f (target <= 1.2)\n", o / p);
        std::printf("client CPU: plain %.1f ms, ours %.1f ms, ratio %.3f\n", pc, oc, oc / pc);
        bench::report("count 1,000,000 rows, ODBC (PostgreSQL)", bench::ms(o),
                      bench::ms(p) + " plain ODBC loop", o / p, 1.2);
    } catch (const DbError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
