#include "core/history/historyfile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <sqlite3.h>

#include <memory>

namespace qv {

namespace {

QString gRecordingPath;

constexpr int kBusyTimeoutMs = 500;

DbError engineError(sqlite3* db, int rc) {
    const QString text =
        db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
    return DbError(rc, text);
}

// One open history file; closed when it goes out of scope.
class HistoryDb {
  public:
    HistoryDb(const QString& path, bool create) {
        const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
        const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db_, flags, nullptr);
        if (rc != SQLITE_OK) {
            DbError e = engineError(db_, rc);
            sqlite3_close(db_);
            db_ = nullptr;
            throw e;
        }
        sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    }
    ~HistoryDb() { sqlite3_close_v2(db_); }
    HistoryDb(const HistoryDb&) = delete;
    HistoryDb& operator=(const HistoryDb&) = delete;

    sqlite3* handle() const { return db_; }

    void exec(const char* sql) {
        char* msg = nullptr;
        const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &msg);
        if (rc != SQLITE_OK) {
            const QString text =
                msg ? QString::fromUtf8(msg) : QString::fromUtf8(sqlite3_errstr(rc));
            sqlite3_free(msg);
            throw DbError(rc, text);
        }
    }

  private:
    sqlite3* db_ = nullptr;
};

class Statement {
  public:
    Statement(HistoryDb& db, const char* sql) : db_(db.handle()) {
        const int rc = sqlite3_prepare_v2(db_, sql, -1, &stmt_, nullptr);
        if (rc != SQLITE_OK)
            throw engineError(db_, rc);
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int i, const QString& text) {
        const QByteArray u = text.toUtf8();
        check(sqlite3_bind_text(stmt_, i, u.constData(), static_cast<int>(u.size()),
                                SQLITE_TRANSIENT));
        return *this;
    }
    Statement& bind(int i, int64_t v) {
        check(sqlite3_bind_int64(stmt_, i, v));
        return *this;
    }
    // Steps once; true when a row is there.
    bool step() {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            throw engineError(db_, rc);
        return false;
    }
    void run() {
        step();
        sqlite3_reset(stmt_);
    }
    bool isNull(int col) const { return sqlite3_column_type(stmt_, col) == SQLITE_NULL; }
    int64_t integer(int col) const { return sqlite3_column_int64(stmt_, col); }
    QString text(int col) const {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col)));
    }

  private:
    void check(int rc) {
        if (rc != SQLITE_OK)
            throw engineError(db_, rc);
    }
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

// Rolls back unless committed.
class Transaction {
  public:
    explicit Transaction(HistoryDb& db) : db_(db) { db_.exec("BEGIN IMMEDIATE"); }
    ~Transaction() {
        if (!done_)
            sqlite3_exec(db_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
    void commit() {
        db_.exec("COMMIT");
        done_ = true;
    }

  private:
    HistoryDb& db_;
    bool done_ = false;
};

// Whole numbers of 32 bits, as the fields were defined for the history file.
#define INT32_FIELD(name)                                         \
    name " INTEGER CHECK (typeof(" name ") = 'integer' AND " name \
         " BETWEEN -2147483648 AND 2147483647)"

const char* const kCreateTables[] = {
    "CREATE TABLE SQL_HIST (" INT32_FIELD("NUM") ", TIMESTAMP TEXT, SQL TEXT)",
    "CREATE TABLE STATS_HIST (" INT32_FIELD("NUM") ", " INT32_FIELD("STATS") ", VALUE TEXT)",
    "CREATE TABLE EXPLAN_HIST (" INT32_FIELD("NUM") ", " INT32_FIELD("EXPLAN_NUM")
    ", OPERATION TEXT CHECK (OPERATION <> ''), CARDINALITY TEXT, COST TEXT, BYTE TEXT)",
};

bool fileExists(const QString& path) {
    return QFileInfo(path).isFile();
}

int countNamed(HistoryDb& db, const char* sql, const QStringList& names) {
    Statement st(db, sql);
    int n = 0;
    while (st.step()) {
        if (names.contains(st.text(0)))  // case-sensitive, as the names were created
            ++n;
    }
    return n;
}

int countFields(HistoryDb& db, const char* table, const QStringList& names) {
    const QByteArray sql = QByteArray("SELECT name FROM pragma_table_info('") + table + "')";
    return countNamed(db, sql.constData(), names);
}

}  // namespace

QString HistoryFile::defaultPath() {
    const QString dir = QCoreApplication::applicationDirPath();
    if (!dir.isEmpty() && QFileInfo(dir).isWritable())
        return QDir(dir).filePath(QStringLiteral("quervhst.mdb"));
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                         QStringLiteral("/QUERVIN");
    QDir().mkpath(data);
    return QDir(data).filePath(QStringLiteral("quervhst.mdb"));
}

QString recordingFilePath() {
    return gRecordingPath;
}

void setRecordingFilePath(const QString& path) {
    gRecordingPath = path;
}

HistoryFileState HistoryFile::check() const {
    if (!fileExists(path_))
        return HistoryFileState::Missing;
    HistoryDb db(path_, false);
    const QStringList tables = {QStringLiteral("SQL_HIST"), QStringLiteral("STATS_HIST"),
                                QStringLiteral("EXPLAN_HIST")};
    if (countNamed(db, "SELECT name FROM sqlite_master WHERE type = 'table'", tables) != 3)
        return HistoryFileState::TableMissing;
    if (countFields(db, "SQL_HIST",
                    {QStringLiteral("NUM"), QStringLiteral("TIMESTAMP"), QStringLiteral("SQL")}) !=
        3)
        return HistoryFileState::FieldMissing;
    if (countFields(db, "STATS_HIST",
                    {QStringLiteral("NUM"), QStringLiteral("STATS"), QStringLiteral("VALUE")}) != 3)
        return HistoryFileState::FieldMissing;
    if (countFields(
            db, "EXPLAN_HIST",
            {QStringLiteral("NUM"), QStringLiteral("EXPLAN_NUM"), QStringLiteral("OPERATION"),
             QStringLiteral("CARDINALITY"), QStringLiteral("COST"), QStringLiteral("BYTE")}) != 6)
        return HistoryFileState::FieldMissing;
    return HistoryFileState::Ready;
}

std::optional<DbError> HistoryFile::create() const {
    HistoryDb db(path_, true);
    std::optional<DbError> error;
    for (const char* sql : kCreateTables) {
        try {
            db.exec(sql);
        } catch (const DbError& e) {
            error = e;  // go on with the next table; the last failure is reported
        }
    }
    try {
        db.exec(("PRAGMA user_version = " + std::to_string(kHistorySchemaVersion)).c_str());
    } catch (const DbError& e) {
        error = e;
    }
    return error;
}

HistoryFile::Recorded HistoryFile::record(const QString& sql, const GridModel& stats,
                                          const GridModel& plan) const {
    std::optional<DbError> createError;
    if (check() == HistoryFileState::Missing)
        createError = create();

    HistoryDb db(path_, false);
    Transaction tx(db);

    int64_t num = 1;
    {
        Statement max(db, "select max(NUM) from SQL_HIST");
        if (max.step() && !max.isNull(0))
            num = max.integer(0) + 1;
    }
    // Date and time from one reading of the clock, in SQLite's own date form.
    const QString stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    Statement(db, "INSERT INTO SQL_HIST (NUM, TIMESTAMP, SQL) VALUES (?, ?, ?)")
        .bind(1, num)
        .bind(2, stamp)
        .bind(3, sql)
        .run();

    if (stats.visible()) {
        Statement ins(db, "INSERT INTO STATS_HIST (NUM, STATS, VALUE) VALUES (?, ?, ?)");
        for (int r = 1; r <= stats.rows() - 1; ++r)
            ins.bind(1, num).bind(2, stats.text(r, 0)).bind(3, stats.text(r, 1)).run();
    }
    if (plan.visible()) {
        Statement ins(
            db,
            "INSERT INTO EXPLAN_HIST (NUM, EXPLAN_NUM, OPERATION, CARDINALITY, COST, BYTE) "
            "VALUES (?, ?, ?, ?, ?, ?)");
        for (int r = 1; r <= plan.rows() - 1; ++r)
            ins.bind(1, num)
                .bind(2, int64_t{r})
                .bind(3, plan.text(r, 0))
                .bind(4, plan.text(r, 1))
                .bind(5, plan.text(r, 2))
                .bind(6, plan.text(r, 3))
                .run();
    }
    int64_t count = 0;
    {
        Statement c(db, "select count(NUM) from SQL_HIST");
        if (c.step())
            count = c.integer(0);
    }
    tx.commit();
    if (createError)
        throw *createError;
    return {static_cast<int32_t>(num), static_cast<int32_t>(count)};
}

}  // namespace qv
