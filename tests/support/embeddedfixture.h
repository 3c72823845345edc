#pragma once

#include "core/embedded/service/embeddeddatabase.h"
#include "core/tuning/planstep.h"
#include "core/tuning/statistics.h"
#include "support/checks.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace qv::test {

// The statements the tuning run sends, exactly as it builds them.
inline const QString kPlanTable = QStringLiteral("QUERVIN$PLAN_TABLE");
inline const QString kSessionIdQuery =
    QStringLiteral("select SID from v$session where audsid = userenv('SESSIONID')");

// A fresh folder with a SQLite file in it, and a connection `db_` to that file.
class EmbeddedTest : public ::testing::Test {
  protected:
    void SetUp() override { db_ = connect(); }
    QString path() const { return dir_.filePath(QStringLiteral("test.db")); }
    std::unique_ptr<embedded::EmbeddedDatabase> connect(
        const QString& user = QStringLiteral("SCOTT")) {
        return std::make_unique<embedded::EmbeddedDatabase>(
            path(), user, embedded::EmbeddedDatabase::OpenMode::CreateIfMissing);
    }

    QTemporaryDir dir_;
    std::unique_ptr<embedded::EmbeddedDatabase> db_;
};

// Fills the SQLite file `path` with 2,000 customers in 20 cities ('city 0' to 'city 19'), ten
// orders each (customer 1 + i % 2000 for order i, amount i % 1000), an index on the orders'
// customer and gathered statistics.
void fillCustomersAndOrders(const QString& path);

// Every row of a result, its values joined by '|' and NULL written as "null".
QStringList rowsOf(Database& db, const QString& sql);
// The names of the result's fields.
QStringList fieldNames(const Recordset& rs);
// Success when `action` throws a DbError numbered `number` whose description contains `text`.
::testing::AssertionResult failsWith(const std::function<void()>& action, int32_t number,
                                     const QString& text = {});
// NAME -> VALUE of every statistic of session `sid`, read through `reader` with the run's
// statistics query; fails the test when a STATISTIC# repeats.
std::map<QString, qlonglong> readStatistics(Database& reader, int64_t sid);

}  // namespace qv::test
