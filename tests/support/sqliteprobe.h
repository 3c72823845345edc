#pragma once

#include <QString>
#include <QStringList>

struct sqlite3;

namespace qv::test {

// Another program's connection to an SQLite file: runs statements and reads rows as text.
class SqliteProbe {
  public:
    explicit SqliteProbe(const QString& path);
    ~SqliteProbe();
    // Runs `sql`; false (and the message in `error`) when it fails.
    bool exec(const char* sql);
    // Every row of `sql`, its columns joined by "|".
    QStringList rows(const char* sql);
    QString error;

  private:
    sqlite3* db_ = nullptr;
};

}  // namespace qv::test
