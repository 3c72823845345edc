#include "support/embeddedfixture.h"

#include "support/checks.h"

#include <set>

namespace qv::test {

QStringList rowsOf(Database& db, const QString& sql) {
    QStringList rows;
    for (auto rs = db.openRecordset(sql); !rs->eof(); rs->moveNext()) {
        QStringList row;
        for (int i = 0; i < rs->fieldCount(); ++i)
            row << (rs->value(i).isNull() ? QStringLiteral("null") : rs->value(i).toString());
        rows << row.join(u'|');
    }
    return rows;
}

QStringList fieldNames(const Recordset& rs) {
    QStringList names;
    for (int i = 0; i < rs.fieldCount(); ++i)
        names << rs.field(i).name;
    return names;
}

::testing::AssertionResult failsWith(const std::function<void()>& action, int32_t number,
                                     const QString& text) {
    const DbError e = errorOf(action);
    if (e.number() == number && e.description().contains(text))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "error " << e.number() << ": " << e.what();
}

std::map<QString, qlonglong> readStatistics(Database& reader, int64_t sid) {
    std::map<QString, qlonglong> stats;
    std::set<qlonglong> numbers;
    for (auto rs = reader.openRecordset(statsQuery(QString::number(sid))); !rs->eof();
         rs->moveNext()) {
        const qlonglong number = rs->value(QStringLiteral("STATISTIC#")).toLongLong();
        EXPECT_TRUE(numbers.insert(number).second) << "statistic " << number << " repeats";
        stats[rs->value(QStringLiteral("NAME")).toString()] =
            rs->value(QStringLiteral("VALUE")).toLongLong();
    }
    return stats;
}

}  // namespace qv::test
