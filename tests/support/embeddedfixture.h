#pragma once

#include "embedded/embeddeddatabase.h"
#include "tuning/plan.h"
#include "tuning/stats.h"

#include <QString>
#include <QTemporaryDir>
#include <QVariantList>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>

namespace qv::test {

// The statements the tuning run sends, exactly as it builds them.
inline const QString kPlanTable = QStringLiteral("QUERVIN$PLAN_TABLE");
inline const QString kSessionIdQuery =
    QStringLiteral("select SID from v$session where audsid = userenv('SESSIONID')");
inline QString statisticsQuery(const QString& sid) {
    return statsQuery(sid);
}
inline QString explainPlanStatement(const QString& statement) {
    return qv::explainPlanStatement(kPlanTable, statement);
}
inline QString createPlanTableStatement() {
    return planTableCreateStatement(kPlanTable);
}
inline QString planQuery() {
    return planQueryStatement(kPlanTable);
}
inline QString deletePlanStatement() {
    return planDeleteStatement(kPlanTable);
}

// A fresh folder with a SQLite file in it, and connections to that file.
class EmbeddedTest : public ::testing::Test {
  protected:
    QString path() const { return dir_.filePath(QStringLiteral("test.db")); }
    std::unique_ptr<embedded::EmbeddedDatabase> connect(
        const QString& user = QStringLiteral("SCOTT"));

    QTemporaryDir dir_;
};

// Every row of a result, read through the Recordset interface.
std::vector<QVariantList> readAll(Database& db, const QString& sql);
// The first value of the first row.
QVariant scalar(Database& db, const QString& sql);
// NAME -> VALUE of every statistic of session `sid`, read through `reader` with the
// statistics query; fails the test when a STATISTIC# repeats.
std::map<QString, qlonglong> readStatistics(Database& reader, int64_t sid);

}  // namespace qv::test
