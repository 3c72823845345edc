#include "core/history/historyfile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "core/history/historylayout.h"
#include "core/history/historyplace.h"
#include "core/privatefile.h"
#include "core/sql/secrettext.h"
#include "core/sqlite/sqlite.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

namespace qv {

using sqlite::Connection;
using sqlite::Statement;
using sqlite::Transaction;

namespace {

bool hasTable(Connection& db, const char* name) {
    Statement st(db.handle(), "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?");
    st.bind(1, QString::fromLatin1(name));
    return st.step();
}

bool fileExists(const QString& path) {
    return QFileInfo(path).isFile();
}

void bindNumber(Statement& st, int index, const QVariant& value) {
    if (value.typeId() == QMetaType::LongLong)
        st.bind(index, int64_t(value.toLongLong()));
    else if (value.typeId() == QMetaType::Double)
        st.bind(index, value.toDouble());
    else
        st.bindNull(index);
}

void insertStatistics(Connection& db, int64_t num, const QList<StatisticReading>& readings) {
    Statement ins(db.handle(),
                  "INSERT INTO STATS_HIST (NUM, STATS, VALUE, NAME, NUM_VALUE) "
                  "VALUES (?, ?, ?, ?, ?)");
    for (const StatisticReading& s : readings) {
        ins.bind(1, num).bind(2, int64_t{s.number}).bind(3, textOrEmpty(s.delta)).bind(4, s.name);
        bindNumber(ins, 5, numberOf(s.delta));
        ins.run();
    }
}

void bindOptional(Statement& st, int index, const std::optional<int64_t>& value) {
    if (value)
        st.bind(index, *value);
    else
        st.bindNull(index);
}

void bindText(Statement& st, int index, const QString& text) {
    if (text.isEmpty())
        st.bindNull(index);
    else
        st.bind(index, text);
}

void insertPlan(Connection& db, int64_t num, const QList<PlanLine>& plan) {
    Statement ins(
        db.handle(),
        "INSERT INTO EXPLAN_HIST (NUM, EXPLAN_NUM, OPERATION, CARDINALITY, COST, BYTE, "
        "LINE_ID, PARENT_ID, ACCESS_PREDICATES, FILTER_PREDICATES, STARTS, A_ROWS, "
        "BUFFERS, READS, A_TIME_US) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    int64_t n = 0;
    for (const PlanLine& line : plan) {
        const QStringList cells = planLineCells(line);
        ins.bind(1, num).bind(2, ++n).bind(3, cells[0]).bind(4, cells[1]).bind(5, cells[2]);
        ins.bind(6, cells[3]).bind(7, line.id);
        bindOptional(ins, 8, line.parentId);
        bindText(ins, 9, line.accessPredicates);
        bindText(ins, 10, line.filterPredicates);
        const PlanLineActuals a = line.actuals.value_or(PlanLineActuals{});
        bindOptional(ins, 11, a.starts);
        bindOptional(ins, 12, a.rows);
        bindOptional(ins, 13, a.buffers);
        bindOptional(ins, 14, a.reads);
        bindOptional(ins, 15, a.elapsedMicros);
        ins.run();
    }
}

void insertBinds(Connection& db, int64_t num, const BindList& binds) {
    Statement ins(
        db.handle(),
        "INSERT INTO BIND_HIST (NUM, POSITION, NAME, TYPE, VALUE) VALUES (?, ?, ?, ?, ?)");
    int64_t position = 0;
    for (const BindValue& b : binds) {
        ins.bind(1, num).bind(2, ++position).bind(3, b.name).bind(4, bindTypeName(b.type));
        if (b.type == BindType::Null)
            ins.bindNull(5);
        else
            ins.bind(5, b.value);
        ins.run();
    }
}

void insertFacts(Connection& db, int64_t num, const RunFacts& facts) {
    Statement ins(db.handle(),
                  "INSERT INTO RUN_HIST (NUM, SERVICE, USERNAME, DRIVER, OPTIMIZER, "
                  "ROW_COUNT, ROWS_OVER_MAX, ELAPSED_MS, OUTCOME, ERROR) "
                  "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    ins.bind(1, num).bind(2, facts.service).bind(3, facts.user).bind(4, facts.driver);
    ins.bind(5, facts.optimizer);
    if (facts.rowCount)
        ins.bind(6, *facts.rowCount);
    else
        ins.bindNull(6);
    ins.bind(7, int64_t{facts.rowsOverMax});
    if (facts.elapsedMs)
        ins.bind(8, *facts.elapsedMs);
    else
        ins.bindNull(8);
    ins.bind(9, runEndName(facts.end)).bind(10, facts.error).run();
}

void insertPlanFacts(Connection& db, int64_t num, const RunRecord& run) {
    Statement up(db.handle(),
                 "UPDATE RUN_HIST SET PLAN_HASH = ?, PLAN_DIFFERS = ?, ROW_SOURCE_STATS = ? "
                 "WHERE NUM = ?");
    bindOptional(up, 1, run.planHash);
    up.bind(2, int64_t{run.planDiffers}).bind(3, int64_t{run.rowSourceStatistics});
    up.bind(4, num).run();
}

}  // namespace

QString HistoryFile::defaultPath() {
    // In a folder that others can write to, another user could put a file (or a link) there
    // first and read what this user records.
    const QString dir = QCoreApplication::applicationDirPath();
    if (!dir.isEmpty() && !isPackageManagedFolder(dir) && QFileInfo(dir).isWritable() &&
        isPrivateFolder(dir))
        return QDir(dir).filePath(QStringLiteral("quervhst.mdb"));
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                         QStringLiteral("/QUERVIN");
    makePrivateFolder(data);
    return QDir(data).filePath(QStringLiteral("quervhst.mdb"));
}

namespace {

// Another user's file is opened for reading only: reading it never writes (not even the
// rollback of a journal left beside it).
Connection::Mode readingMode(const QString& path) {
    return foreignFileReason(path).isEmpty() ? Connection::Mode::ReadWrite
                                             : Connection::Mode::ReadOnly;
}

// A file is read only through the program's own plain tables.
void requirePlainTables(Connection& db, const QString& path) {
    const QStringList names = history::unplainTables(db);
    if (!names.isEmpty())
        throw DbError(kErrOdbcCall, QStringLiteral("履歴ファイル ") + path +
                                        QStringLiteral(" の履歴の表（") +
                                        names.join(QStringLiteral(", ")) +
                                        QStringLiteral("）が表でないため、読めません。"));
}

}  // namespace

HistoryFileState HistoryFile::check() const {
    if (const auto refused = history::ownerRefusal(path_))
        throw *refused;
    if (!fileExists(path_))
        return HistoryFileState::Missing;
    return history::bounded(path_, [&] {
        history::Connection db(path_, Connection::Mode::ReadWrite, limits_);
        if (const auto refused = history::recordingRefusal(db, path_))
            throw *refused;
        return historylayout::inspect(db);
    });
}

void HistoryFile::create() const {
    history::bounded(path_, [&] { historylayout::make(path_, limits_); });
}

QString HistoryFile::laterVersionMessage() const {
    return historylayout::laterVersionError(path_).description();
}

int HistoryFile::schemaVersion() const {
    return history::bounded(path_, [&] {
        history::Connection db(path_, Connection::Mode::ReadWrite, limits_);
        return historylayout::versionOf(db);
    });
}

namespace {

HistoryFile::Recorded writeRun(Connection& db, const QString& path, const RunRecord& run) {
    Transaction tx(db.handle());
    historylayout::bringUpToDate(db, path);  // refuses a file that is not to be written

    int64_t num = 1;
    {
        Statement max(db.handle(), "select max(NUM) from SQL_HIST");
        if (max.step() && !max.isNull(0))
            num = max.integer(0) + 1;
    }
    // Run numbers are 32-bit in every table; past the last one nothing is written.
    if (num > std::numeric_limits<int32_t>::max())
        throw DbError(
            kErrOverflow,
            QStringLiteral("履歴ファイルの実行番号が上限（%1）に達したため、記録できません。"
                           "別の履歴ファイルを使ってください。")
                .arg(std::numeric_limits<int32_t>::max()));
    // Rows another program left under this number when it deleted the run are not this run's.
    for (const char* sql :
         {"DELETE FROM STATS_HIST WHERE NUM = ?", "DELETE FROM EXPLAN_HIST WHERE NUM = ?",
          "DELETE FROM RUN_HIST WHERE NUM = ?", "DELETE FROM BIND_HIST WHERE NUM = ?"})
        Statement(db.handle(), sql).bind(1, num).run();
    // Date and time from one reading of the clock, in SQLite's own date form.
    const QString stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    Statement(db.handle(), "INSERT INTO SQL_HIST (NUM, TIMESTAMP, SQL) VALUES (?, ?, ?)")
        .bind(1, num)
        .bind(2, stamp)
        .bind(3, maskSecrets(run.sql))
        .run();

    if (run.statisticsStep.done())
        insertStatistics(db, num, run.statistics);
    if (run.planStep.done() || run.actualsStep.done())
        insertPlan(db, num, run.plan);
    insertFacts(db, num, runFactsOf(run));
    insertPlanFacts(db, num, run);
    insertBinds(db, num, run.binds);
    int64_t count = 0;
    {
        Statement c(db.handle(), "select count(NUM) from SQL_HIST");
        if (c.step())
            count = c.integer(0);
    }
    tx.commit();
    return {static_cast<int32_t>(num), static_cast<int32_t>(count)};
}

}  // namespace

HistoryFile::Recorded HistoryFile::record(const RunRecord& run) const {
    // SQLite gives up at once, without waiting, where waiting could deadlock two writers; the
    // whole run is then written again, as it is when the busy wait ran out while others kept
    // writing.
    const QDeadlineTimer deadline(std::min(2 * limits_.busyWaitMs, limits_.timeLimitMs));
    for (;;) {
        try {
            const HistoryFileState state = check();
            if (state == HistoryFileState::Missing || state == HistoryFileState::Incomplete)
                create();
            return history::bounded(path_, [&] {
                history::Connection db(path_, Connection::Mode::ReadWrite, limits_);
                return writeRun(db, path_, run);
            });
        } catch (const DbError& e) {
            if (historylayout::isBusy(e) && history::stopRequested())
                throw history::cutShortError(path_);
            if (!historylayout::isBusy(e) || deadline.hasExpired())
                throw;
        }
    }
}

namespace {

std::optional<int64_t> optionalInteger(const Statement& st, int col) {
    return st.isNull(col) ? std::nullopt : std::optional<int64_t>(st.integer(col));
}

// The run's facts from RUN_HIST, the columns that follow NUM, TIMESTAMP and SQL.
std::optional<RunFacts> factsAt(const Statement& st, int first) {
    if (st.isNull(first + 7))  // no OUTCOME: recorded before the file kept facts
        return std::nullopt;
    RunFacts f;
    f.service = st.text(first);
    f.user = st.text(first + 1);
    f.driver = st.text(first + 2);
    f.optimizer = st.text(first + 3);
    f.rowCount = optionalInteger(st, first + 4);
    f.rowsOverMax = st.integer(first + 5) != 0;
    f.elapsedMs = optionalInteger(st, first + 6);
    f.end = runEndFromName(st.text(first + 7));
    f.error = st.text(first + 8);
    return f;
}

QByteArray summarySelect(bool facts) {
    return facts ? QByteArray(
                       "SELECT s.NUM, s.TIMESTAMP, s.SQL, r.SERVICE, r.USERNAME, r.DRIVER, "
                       "r.OPTIMIZER, r.ROW_COUNT, r.ROWS_OVER_MAX, r.ELAPSED_MS, r.OUTCOME, "
                       "r.ERROR FROM SQL_HIST s LEFT JOIN RUN_HIST r ON r.NUM = s.NUM ")
                 : QByteArray(
                       "SELECT s.NUM, s.TIMESTAMP, s.SQL, NULL, NULL, NULL, NULL, NULL, NULL, "
                       "NULL, NULL, NULL FROM SQL_HIST s ");
}

RunSummary summaryAt(const Statement& st) {
    RunSummary s;
    s.number = static_cast<int32_t>(st.integer(0));
    s.timestamp = st.text(1);
    s.sql = st.text(2);
    s.facts = factsAt(st, 3);
    return s;
}

}  // namespace

namespace {

void containsFunction(sqlite3_context* context, int, sqlite3_value** values) {
    const auto text = [&](int i) {
        return QByteArrayView(reinterpret_cast<const char*>(sqlite3_value_text(values[i])),
                              sqlite3_value_bytes(values[i]));
    };
    sqlite3_result_int(context, statementContains(text(0), text(1)) ? 1 : 0);
}

// The filter's rule, statementContains(), as the function CONTAINS_TEXT(statement, text) of
// this connection.
void addContains(Connection& db) {
    const int rc = sqlite3_create_function_v2(
        db.handle(), "CONTAINS_TEXT", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_DIRECTONLY,
        nullptr, containsFunction, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw sqlite::Error::of(db.handle(), rc);
}

constexpr const char* kContaining = "WHERE ? = '' OR CONTAINS_TEXT(s.SQL, ?) ";

}  // namespace

QList<RunSummary> HistoryFile::runs(const QString& containing) const {
    return history::bounded(path_, [&]() -> QList<RunSummary> {
        history::Connection db(path_, readingMode(path_), limits_);
        requirePlainTables(db, path_);
        addContains(db);
        const QByteArray sql =
            summarySelect(hasTable(db, "RUN_HIST")) + kContaining + "ORDER BY s.NUM DESC";
        Statement st(db.handle(), sql.constData());
        st.bind(1, containing).bind(2, containing);
        QList<RunSummary> out;
        while (st.step())
            out.append(summaryAt(st));
        return out;
    });
}

QList<RunRef> HistoryFile::runRefs(const QString& containing) const {
    return history::bounded(path_, [&]() -> QList<RunRef> {
        history::Connection db(path_, readingMode(path_), limits_);
        requirePlainTables(db, path_);
        addContains(db);
        Statement st(db.handle(), QByteArray(QByteArray("SELECT s.NUM, s.rowid FROM SQL_HIST s ") +
                                             kContaining + "ORDER BY s.NUM DESC"));
        st.bind(1, containing).bind(2, containing);
        QList<RunRef> out;
        while (st.step())
            out.append({static_cast<int32_t>(st.integer(0)), st.integer(1)});
        return out;
    });
}

QList<RunSummary> HistoryFile::summaries(const QList<RunRef>& refs) const {
    if (refs.isEmpty())
        return {};
    return history::bounded(path_, [&]() -> QList<RunSummary> {
        history::Connection db(path_, readingMode(path_), limits_);
        requirePlainTables(db, path_);
        // Each row is found by its rowid, not by a search through the run numbers; a row that now
        // holds another run (the run was deleted and the row used again) is not taken for it.
        Statement st(db.handle(),
                     summarySelect(hasTable(db, "RUN_HIST")) + "WHERE s.rowid = ? AND s.NUM = ?");
        QList<RunSummary> out;
        out.reserve(refs.size());
        for (const RunRef& ref : refs) {
            st.bind(1, ref.rowId).bind(2, int64_t{ref.number});
            if (st.step())
                out.append(summaryAt(st));
            st.reset();
        }
        return out;
    });
}

namespace {

QList<RecordedStatistic> statisticsOf(Connection& db, int32_t number, bool v2) {
    Statement st(db.handle(), v2 ? "SELECT STATS, VALUE, NAME, NUM_VALUE FROM STATS_HIST "
                                   "WHERE NUM = ? ORDER BY rowid"
                                 : "SELECT STATS, VALUE, NULL, NULL FROM STATS_HIST WHERE NUM = ? "
                                   "ORDER BY rowid");
    st.bind(1, int64_t{number});
    QList<RecordedStatistic> out;
    while (st.step()) {
        RecordedStatistic s;
        s.number = static_cast<int32_t>(st.integer(0));
        s.name = st.isNull(2) ? QStringLiteral("#") + QString::number(s.number) : st.text(2);
        if (st.type(3) == SQLITE_INTEGER)
            s.value = qlonglong(st.integer(3));
        else if (st.type(3) == SQLITE_FLOAT)
            s.value = st.real(3);
        else
            s.value = numberFromText(st.text(1)).isValid() ? numberFromText(st.text(1))
                                                           : QVariant(st.text(1));
        out.append(s);
    }
    return out;
}

QList<RecordedPlanLine> planOf(Connection& db, int32_t number, bool v3) {
    Statement st(db.handle(),
                 v3 ? "SELECT OPERATION, CARDINALITY, COST, BYTE, LINE_ID, PARENT_ID, "
                      "ACCESS_PREDICATES, FILTER_PREDICATES, STARTS, A_ROWS, BUFFERS, READS, "
                      "A_TIME_US FROM EXPLAN_HIST WHERE NUM = ? ORDER BY EXPLAN_NUM"
                    : "SELECT OPERATION, CARDINALITY, COST, BYTE FROM EXPLAN_HIST WHERE NUM = ? "
                      "ORDER BY EXPLAN_NUM");
    st.bind(1, int64_t{number});
    QList<RecordedPlanLine> out;
    while (st.step()) {
        RecordedPlanLine line{st.text(0), st.text(1), st.text(2), st.text(3), {}, {}, {}, {}, {}};
        if (v3) {
            line.lineId = optionalInteger(st, 4);
            line.parentId = optionalInteger(st, 5);
            line.accessPredicates = st.text(6);
            line.filterPredicates = st.text(7);
            PlanLineActuals a{optionalInteger(st, 8), optionalInteger(st, 9),
                              optionalInteger(st, 10), optionalInteger(st, 11),
                              optionalInteger(st, 12)};
            if (a.starts || a.rows || a.buffers || a.reads || a.elapsedMicros)
                line.actuals = a;
        }
        out.append(line);
    }
    return out;
}

BindList bindsOf(Connection& db, int32_t number) {
    Statement st(db.handle(),
                 "SELECT NAME, TYPE, VALUE FROM BIND_HIST WHERE NUM = ? ORDER BY POSITION");
    st.bind(1, int64_t{number});
    BindList out;
    while (st.step()) {
        BindValue b{st.text(0), BindType::Varchar2, st.text(2)};
        bindTypeFromName(st.text(1), b.type);
        out.append(b);
    }
    return out;
}

}  // namespace

std::optional<RecordedRun> HistoryFile::run(int32_t number) const {
    return history::bounded(path_, [&]() -> std::optional<RecordedRun> {
        history::Connection db(path_, readingMode(path_), limits_);
        requirePlainTables(db, path_);
        const bool v2 = hasTable(db, "RUN_HIST");
        const bool v3 = hasTable(db, "BIND_HIST");
        RecordedRun run;
        {
            Statement st(db.handle(), (summarySelect(v2) + "WHERE s.NUM = ?").constData());
            st.bind(1, int64_t{number});
            if (!st.step())
                return std::nullopt;
            run.summary = summaryAt(st);
        }
        run.statistics = statisticsOf(db, number, v2);
        run.plan = planOf(db, number, v3);
        if (v3) {
            run.binds = bindsOf(db, number);
            const bool v4 = historylayout::versionOf(db) >= 4;
            Statement st(db.handle(), v4 ? "SELECT PLAN_HASH, PLAN_DIFFERS, ROW_SOURCE_STATS FROM "
                                           "RUN_HIST WHERE NUM = ?"
                                         : "SELECT PLAN_HASH, PLAN_DIFFERS, NULL FROM RUN_HIST "
                                           "WHERE NUM = ?");
            st.bind(1, int64_t{number});
            if (st.step()) {
                run.planHash = optionalInteger(st, 0);
                run.planDiffers = !st.isNull(1) && st.integer(1) != 0;
                if (!st.isNull(2))
                    run.rowSourceStatistics = st.integer(2) != 0;
            }
        }
        return run;
    });
}

std::optional<int32_t> HistoryFile::previousRunOf(int32_t number) const {
    return history::bounded(path_, [&]() -> std::optional<int32_t> {
        history::Connection db(path_, readingMode(path_), limits_);
        requirePlainTables(db, path_);
        Statement st(db.handle(),
                     "SELECT max(p.NUM) FROM SQL_HIST p JOIN SQL_HIST s ON s.NUM = ? "
                     "WHERE p.NUM < s.NUM AND p.SQL = s.SQL");
        st.bind(1, int64_t{number});
        if (st.step() && !st.isNull(0))
            return static_cast<int32_t>(st.integer(0));
        return std::nullopt;
    });
}

int HistoryFile::deleteRuns(const QList<int32_t>& numbers) const {
    if (const auto refused = history::ownerRefusal(path_))
        throw *refused;
    return history::bounded(path_, [&] {
        history::Connection db(path_, Connection::Mode::ReadWrite, limits_);
        Transaction tx(db.handle());
        if (const auto refused = history::recordingRefusal(db, path_))
            throw *refused;
        if (historylayout::versionOf(db) > kHistorySchemaVersion)
            throw historylayout::laterVersionError(path_);
        std::vector<Statement> deletes;
        for (const char* table :
             {"SQL_HIST", "STATS_HIST", "EXPLAN_HIST", "RUN_HIST", "BIND_HIST"}) {
            if (hasTable(db, table))
                deletes.emplace_back(db.handle(),
                                     QByteArray("DELETE FROM ") + table + " WHERE NUM = ?");
        }
        int deleted = 0;
        for (const int32_t number : numbers) {
            for (Statement& st : deletes) {
                st.bind(1, int64_t{number}).run();
                // The first statement is SQL_HIST's: whether the run was there.
                if (&st == &deletes.front())
                    deleted += sqlite3_changes(db.handle()) > 0 ? 1 : 0;
            }
        }
        tx.commit();
        return deleted;
    });
}

}  // namespace qv
