#include "support/sqliteprobe.h"

#include <sqlite3.h>

namespace qv::test {

SqliteProbe::SqliteProbe(const QString& path) {
    sqlite3_open(path.toUtf8().constData(), &db_);
}

SqliteProbe::~SqliteProbe() {
    sqlite3_close(db_);
}

bool SqliteProbe::exec(const char* sql) {
    char* msg = nullptr;
    const bool ok = sqlite3_exec(db_, sql, nullptr, nullptr, &msg) == SQLITE_OK;
    error = QString::fromUtf8(msg ? msg : "");
    sqlite3_free(msg);
    return ok;
}

QStringList SqliteProbe::rows(const char* sql) {
    QStringList out;
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db_, sql, -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW) {
        QStringList cols;
        for (int i = 0; i < sqlite3_column_count(st); ++i)
            cols << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, i)));
        out << cols.join(QLatin1Char('|'));
    }
    sqlite3_finalize(st);
    return out;
}

}  // namespace qv::test
