#include "core/history/historylayout.h"

#include "core/privatefile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <iterator>

#ifdef Q_OS_UNIX
#include <unistd.h>

#include <cerrno>
#endif

namespace qv::historylayout {

using sqlite::Connection;
using sqlite::Statement;
using sqlite::Transaction;

namespace {

// Whole numbers of 32 bits, as the fields were defined for the history file.
#define INT32_FIELD(name)                                         \
    name " INTEGER CHECK (typeof(" name ") = 'integer' AND " name \
         " BETWEEN -2147483648 AND 2147483647)"

// The three tables of the first version, in the order of kTables.
const char* const kCreateTables[] = {
    "CREATE TABLE SQL_HIST (" INT32_FIELD("NUM") ", TIMESTAMP TEXT, SQL TEXT)",
    "CREATE TABLE STATS_HIST (" INT32_FIELD("NUM") ", " INT32_FIELD("STATS") ", VALUE TEXT)",
    "CREATE TABLE EXPLAN_HIST (" INT32_FIELD("NUM") ", " INT32_FIELD("EXPLAN_NUM")
    ", OPERATION TEXT CHECK (OPERATION <> ''), CARDINALITY TEXT, COST TEXT, BYTE TEXT)",
};

// From version 1 to 2: only additions, so older readers of the three tables keep working.
const char* const kVersion2[] = {
    "ALTER TABLE STATS_HIST ADD COLUMN NAME TEXT",
    "ALTER TABLE STATS_HIST ADD COLUMN NUM_VALUE NUMERIC",
    "CREATE TABLE RUN_HIST (NUM INTEGER PRIMARY KEY, SERVICE TEXT, USERNAME TEXT, DRIVER TEXT, "
    "OPTIMIZER TEXT, ROW_COUNT INTEGER, ROWS_OVER_MAX INTEGER, ELAPSED_MS INTEGER, "
    "OUTCOME TEXT, ERROR TEXT)",
    "CREATE INDEX IF NOT EXISTS IX_STATS_HIST_NUM ON STATS_HIST (NUM)",
    "CREATE INDEX IF NOT EXISTS IX_EXPLAN_HIST_NUM ON EXPLAN_HIST (NUM)",
    "PRAGMA user_version = 2",
};

// From version 2 to 3: the binds of a run, and for each plan line its id, predicates and what
// it did; again only additions.
const char* const kVersion3[] = {
    "CREATE TABLE BIND_HIST (NUM INTEGER, POSITION INTEGER, NAME TEXT, TYPE TEXT, VALUE TEXT)",
    "CREATE INDEX IF NOT EXISTS IX_BIND_HIST_NUM ON BIND_HIST (NUM)",
    "ALTER TABLE EXPLAN_HIST ADD COLUMN LINE_ID INTEGER",
    "ALTER TABLE EXPLAN_HIST ADD COLUMN PARENT_ID INTEGER",
    "ALTER TABLE EXPLAN_HIST ADD COLUMN ACCESS_PREDICATES TEXT",
    "ALTER TABLE EXPLAN_HIST ADD COLUMN FILTER_PREDICATES TEXT",
    "ALTER TABLE EXPLAN_HIST ADD COLUMN STARTS INTEGER",
    "ALTER TABLE EXPLAN_HIST ADD COLUMN A_ROWS INTEGER",
    "ALTER TABLE EXPLAN_HIST ADD COLUMN BUFFERS INTEGER",
    "ALTER TABLE EXPLAN_HIST ADD COLUMN READS INTEGER",
    "ALTER TABLE EXPLAN_HIST ADD COLUMN A_TIME_US INTEGER",
    "ALTER TABLE RUN_HIST ADD COLUMN PLAN_HASH INTEGER",
    "ALTER TABLE RUN_HIST ADD COLUMN PLAN_DIFFERS INTEGER",
    "PRAGMA user_version = 3",
};

// From version 3 to 4: whether the run counted each plan line's figures, its CPU and times
// weighed by that; NULL in a run recorded before, which nobody knows.
const char* const kVersion4[] = {
    "ALTER TABLE RUN_HIST ADD COLUMN ROW_SOURCE_STATS INTEGER",
    "PRAGMA user_version = 4",
};

const char* const kTables[] = {"SQL_HIST", "STATS_HIST", "EXPLAN_HIST"};

// The fields the first version gave each table, in the order of kTables.
const QStringList& fieldsOf(int table) {
    static const QStringList fields[] = {
        {QStringLiteral("NUM"), QStringLiteral("TIMESTAMP"), QStringLiteral("SQL")},
        {QStringLiteral("NUM"), QStringLiteral("STATS"), QStringLiteral("VALUE")},
        {QStringLiteral("NUM"), QStringLiteral("EXPLAN_NUM"), QStringLiteral("OPERATION"),
         QStringLiteral("CARDINALITY"), QStringLiteral("COST"), QStringLiteral("BYTE")},
    };
    return fields[table];
}

QStringList namesFrom(Statement& st) {
    QStringList names;
    while (st.step())
        names << st.text(0);
    return names;
}

QStringList tableNames(Connection& db) {
    Statement st(db.handle(),
                 "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE "
                 "'sqlite\\_%' ESCAPE '\\'");
    return namesFrom(st);
}

bool hasAllFields(Connection& db, int table) {
    Statement st(db.handle(), "SELECT name FROM pragma_table_info(?)");
    st.bind(1, QString::fromLatin1(kTables[table]));
    const QStringList present = namesFrom(st);
    for (const QString& field : fieldsOf(table)) {
        if (!present.contains(field))  // case-sensitive, as the names were created
            return false;
    }
    return true;
}

void upgrade(Connection& db) {
    try {
        if (versionOf(db) < 2) {
            for (const char* sql : kVersion2)
                db.exec(sql);
        }
        if (versionOf(db) < 3) {
            for (const char* sql : kVersion3)
                db.exec(sql);
        }
        for (const char* sql : kVersion4)
            db.exec(sql);
    } catch (const DbError& e) {
        if (isBusy(e))
            throw;
        throw DbError(e.number(), QStringLiteral("履歴ファイルを新しい形式にできません（ファイル"
                                                 "は変更していません）: ") +
                                      e.description());
    }
}

void removeWithJournal(const QString& path) {
    QFile::remove(path + QStringLiteral("-journal"));
    QFile::remove(path);
}

// Puts the finished file `from` in place as `to` unless a file is there. False when one is.
bool putInPlace(const QString& from, const QString& to) {
#ifdef Q_OS_UNIX
    // A hard link is made only where no file is: nothing another program put there is replaced.
    const QByteArray source = QFile::encodeName(from);
    if (::link(source.constData(), QFile::encodeName(to).constData()) == 0) {
        ::unlink(source.constData());
        return true;
    }
    if (errno == EEXIST)
        return false;
        // A file system without hard links: a rename, which does not replace a file either.
#endif
    QFile file(from);
    if (file.rename(to))
        return true;
    if (QFileInfo::exists(to))
        return false;
    throw DbError(kErrOdbcCall, file.errorString());
}

// Builds a new file of the current version under a name of its own next to `path` and puts
// it in place. False when another program put a file there first.
bool makeWhole(const QString& path, const history::Limits& limits) {
    const QString building =
        path + QStringLiteral(".new-") + QString::number(QCoreApplication::applicationPid()) +
        QLatin1Char('-') + QString::number(QRandomGenerator::global()->generate(), 16);
    bool placed = false;
    try {
        {
            // Made first by the program, 0600 whatever the umask; its journal takes its mode.
            if (!createPrivateFile(building))
                throw DbError(kErrOdbcCall, QStringLiteral("履歴ファイル ") + path +
                                                QStringLiteral(" を作成できません。"));
            history::Connection db(building, Connection::Mode::ReadWrite, limits);
            Transaction tx(db.handle());
            for (const char* sql : kCreateTables)
                db.exec(sql);
            upgrade(db);
            tx.commit();
        }
        placed = putInPlace(building, path);
    } catch (const DbError&) {
        removeWithJournal(building);
        throw;
    }
    removeWithJournal(building);
    return placed;
}

}  // namespace

int versionOf(Connection& db) {
    Statement st(db.handle(), "PRAGMA user_version");
    return st.step() ? static_cast<int>(st.integer(0)) : 0;
}

HistoryFileState inspect(Connection& db) {
    if (versionOf(db) > kHistorySchemaVersion)
        return HistoryFileState::LaterVersion;
    const QStringList tables = tableNames(db);
    int present = 0;
    bool whole = true;
    for (int t = 0; t < 3; ++t) {
        if (tables.contains(QString::fromLatin1(kTables[t]))) {
            ++present;
            whole = whole && hasAllFields(db, t);
        }
    }
    if (present == 3)
        return whole ? HistoryFileState::Ready : HistoryFileState::FieldMissing;
    // Empty (a file of 0 bytes), or some of the first tables whole and nothing else, never
    // upgraded: a file whose making was cut short, as the first versions made one table after
    // another. Anything else in it is someone else's.
    const bool onlyOurs = std::all_of(tables.cbegin(), tables.cend(), [](const QString& name) {
        return std::any_of(std::begin(kTables), std::end(kTables),
                           [&](const char* ours) { return name == QLatin1String(ours); });
    });
    if (whole && onlyOurs && versionOf(db) == 0)
        return HistoryFileState::Incomplete;
    return HistoryFileState::TableMissing;
}

void bringUpToDate(Connection& db, const QString& path) {
    if (const auto refused = history::ownerRefusal(path))
        throw *refused;
    if (const auto refused = history::recordingRefusal(db, path))
        throw *refused;
    const HistoryFileState state = inspect(db);
    if (state == HistoryFileState::LaterVersion)
        throw laterVersionError(path);
    if (state == HistoryFileState::Incomplete) {
        const QStringList tables = tableNames(db);
        for (int t = 0; t < 3; ++t) {
            if (!tables.contains(QString::fromLatin1(kTables[t])))
                db.exec(kCreateTables[t]);
        }
    }
    if (versionOf(db) < kHistorySchemaVersion)
        upgrade(db);
}

void make(const QString& path, const history::Limits& limits) {
    if (!QFileInfo::exists(path) && makeWhole(path, limits))
        return;
    history::Connection db(path, Connection::Mode::ReadWrite, limits);
    Transaction tx(db.handle());
    bringUpToDate(db, path);
    tx.commit();
}

DbError laterVersionError(const QString& path) {
    return DbError(kErrOdbcCall, QStringLiteral("履歴ファイル ") + path +
                                     QStringLiteral(" はこのプログラムより新しい版の形式のため、"
                                                    "記録に使用できません（ファイルは変更して"
                                                    "いません）。"));
}

bool isBusy(const DbError& e) {
    const auto* s = dynamic_cast<const sqlite::Error*>(&e);
    return s && (s->resultCode() == SQLITE_BUSY || s->resultCode() == SQLITE_LOCKED);
}

}  // namespace qv::historylayout
