#include "support/embeddedfixture.h"

#include "support/checks.h"
#include "support/sqliteprobe.h"

#include <set>

namespace qv::test {

void fillCustomersAndOrders(const QString& path) {
    SqliteProbe probe(path);
    ASSERT_TRUE(probe.exec(
        "create table customers (customer_id integer primary key, name varchar2(40), "
        "city varchar2(20));"
        "create table orders (order_id integer primary key, customer_id number(10), "
        "order_date date, total_amount number(12));"
        "create index ix_orders_customer on orders (customer_id);"
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < 2000) "
        "insert into customers select i, 'customer ' || i, 'city ' || (i % 20) from n;"
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < 20000) "
        "insert into orders select i, 1 + i % 2000, date('2024-01-01', '+' || (i % 366) || "
        "' days'), i % 1000 from n;"
        "analyze"))
        << probe.error.toStdString();
}

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
