#include "support/embeddedfixture.h"

namespace qv::test {

std::unique_ptr<embedded::EmbeddedDatabase> EmbeddedTest::connect(const QString& user) {
    return std::make_unique<embedded::EmbeddedDatabase>(path(), user);
}

std::vector<QVariantList> readAll(Database& db, const QString& sql) {
    std::vector<QVariantList> rows;
    auto rs = db.openRecordset(sql);
    while (!rs->eof()) {
        QVariantList row;
        for (int i = 0; i < rs->fieldCount(); ++i)
            row.append(rs->value(i));
        rows.push_back(row);
        rs->moveNext();
    }
    rs->close();
    return rows;
}

QVariant scalar(Database& db, const QString& sql) {
    auto rs = db.openRecordset(sql);
    const QVariant v = rs->eof() ? QVariant() : rs->value(0);
    rs->close();
    return v;
}

std::map<QString, qlonglong> readStatistics(Database& reader, int64_t sid) {
    std::map<QString, qlonglong> stats;
    std::set<qlonglong> numbers;
    auto rs = reader.openRecordset(statisticsQuery(QString::number(sid)));
    while (!rs->eof()) {
        const qlonglong number = rs->value(QStringLiteral("STATISTIC#")).toLongLong();
        EXPECT_TRUE(numbers.insert(number).second) << "statistic " << number << " repeats";
        stats[rs->value(QStringLiteral("NAME")).toString()] =
            rs->value(QStringLiteral("VALUE")).toLongLong();
        rs->moveNext();
    }
    rs->close();
    return stats;
}

}  // namespace qv::test
