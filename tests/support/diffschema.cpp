#include "support/diffschema.h"

namespace qv::test {

namespace {

const QString kNull = QStringLiteral("NULL");

QString text(const QString& s) {
    return u'\'' + QString(s).replace(u'\'', QStringLiteral("''")) + u'\'';
}

ColumnDef number(const QString& name, bool nullable, bool key = false) {
    return {name, ValueType::Number, 0, nullable, key};
}
ColumnDef decimal(const QString& name, bool nullable) {
    return {name, ValueType::Number, 2, nullable};
}
ColumnDef varchar(const QString& name, bool nullable) {
    return {name, ValueType::Text, 0, nullable};
}

QString declaredType(const ColumnDef& c, Dialect dialect) {
    const bool oracle = dialect == Dialect::Oracle;
    if (c.type == ValueType::Text)
        return oracle ? QStringLiteral("varchar2(20)") : QStringLiteral("text");
    if (c.scale > 0)
        return oracle ? QStringLiteral("number(10,2)") : QStringLiteral("real");
    return oracle ? QStringLiteral("number(9)") : QStringLiteral("integer");
}

// Skew everywhere: one value holds most rows (department 1, job 'clerk', employee 1's sales,
// channel 'web'), many distinct values share the rest, and some rows hold NULL or name a row
// that does not exist (department 99, employee 999).
TableDef departments(Random& r) {
    TableDef t{QStringLiteral("dept"),
               {number("dept_id", false, true), varchar("dept_name", false),
                varchar("region", true), decimal("budget", true)},
               {}};
    const char* names[] = {"Sales", "sales", "R&D", "Ops",        "Support",
                           "HR",    "Legal", "IT",  "O'Brien Co", "Admin"};
    const char* regions[] = {"north", "north", "north", "north", "north",
                             "north", "south", "South", nullptr, nullptr};
    for (int i = 0; i < 10; ++i) {
        const QString budget =
            i == 4 ? kNull : fixed(i == 7 ? 5000000 : 100000 + r.below(900000), 2);
        t.rows.push_back({QString::number(i + 1), text(names[i]),
                          regions[i] ? text(regions[i]) : kNull, budget});
    }
    return t;
}

TableDef employees(Random& r) {
    TableDef t{QStringLiteral("emp"),
               {number("emp_id", false, true), number("dept_id", true), varchar("emp_name", false),
                varchar("job", true), decimal("salary", true), decimal("bonus", true),
                number("grade", false), number("manager_id", true)},
               {}};
    const char* names[] = {"Ann",  "ann",   "Bob",  "Carl", "Dana", "Eve", "Frank", "Gus",
                           "Hana", "Ivan",  "Jo",   "Kai",  "Lee",  "Mia", "Ned",   "Ola",
                           "Pat",  "Quinn", "Ravi", "Sue",  "Tom",  "Uma", "Vic",   "Zoe"};
    const char* jobs[] = {"Clerk", "analyst", "manager", "sales rep"};
    for (int i = 1; i <= 80; ++i) {
        const int d = r.below(100);
        const QString dept = d < 50   ? QStringLiteral("1")
                             : d < 85 ? QString::number(2 + r.below(7))
                             : d < 92 ? kNull
                                      : QStringLiteral("99");
        const int j = r.below(100);
        const QString job = j < 60 ? text("clerk") : j < 90 ? text(jobs[r.below(4)]) : kNull;
        const int s = r.below(100);
        const QString salary = s < 5    ? kNull
                               : s < 35 ? QStringLiteral("1500.00")
                                        : fixed(80000 + 100 * r.below(8000) + 25 * r.below(4), 2);
        const QString bonus = r.percent(75) ? kNull : fixed(r.below(100000), 2);
        const QString grade = QString::number(r.percent(40) ? 1 : 1 + r.below(5));
        const QString manager = i <= 5 ? kNull : QString::number(1 + r.below(10));
        t.rows.push_back({QString::number(i), dept, text(names[r.below(24)]), job, salary, bonus,
                          grade, manager});
    }
    return t;
}

TableDef sales(Random& r) {
    TableDef t{QStringLiteral("sales"),
               {number("sale_id", false, true), number("emp_id", true), number("product_id", false),
                number("qty", false), decimal("amount", true), varchar("channel", true)},
               {}};
    const char* channels[] = {"store", "phone", "Web"};
    for (int i = 1; i <= 160; ++i) {
        const int e = r.below(100);
        const QString emp = e < 40   ? QStringLiteral("1")
                            : e < 90 ? QString::number(2 + r.below(79))
                            : e < 96 ? kNull
                                     : QStringLiteral("999");
        const QString product = QString::number(r.percent(30) ? 3 : 1 + r.below(16));
        const QString qty = QString::number(r.percent(30) ? 12 : 1 + r.below(20));
        const int a = r.below(100);
        const QString amount = a < 8    ? kNull
                               : a < 13 ? fixed(-100 * r.below(50), 2)
                               : a < 30 ? QStringLiteral("99.99")
                                        : fixed(100 + r.below(99900), 2);
        const int c = r.below(100);
        const QString channel = c < 65 ? text("web") : c < 90 ? text(channels[r.below(3)]) : kNull;
        t.rows.push_back({QString::number(i), emp, product, qty, amount, channel});
    }
    return t;
}

TableDef products(Random& r) {
    TableDef t{QStringLiteral("product"),
               {number("product_id", false, true), varchar("product_name", false),
                varchar("category", true), decimal("price", false)},
               {}};
    const char* kinds[] = {"gadget", "Gadget", "tool", "toy"};
    const char* categories[] = {"toys", "Tools", "garden"};
    for (int i = 1; i <= 16; ++i) {
        const int c = r.below(100);
        const QString category = c < 55   ? text("tools")
                                 : c < 85 ? text(categories[r.below(3)])
                                          : kNull;
        const QString price = i % 5 == 0 ? QStringLiteral("9.99") : fixed(99 + r.below(9900), 2);
        t.rows.push_back({QString::number(i),
                          text(QStringLiteral("%1-%2").arg(kinds[i % 4]).arg(i % 7)), category,
                          price});
    }
    // Names repeat across kinds' cycles; the key stays unique.
    return t;
}

}  // namespace

QString fixed(int64_t m, int places) {
    const uint64_t magnitude = m < 0 ? uint64_t(-m) : uint64_t(m);
    uint64_t unit = 1;
    for (int i = 0; i < places; ++i)
        unit *= 10;
    QString s = (m < 0 ? QStringLiteral("-") : QString()) + QString::number(magnitude / unit);
    if (places > 0)
        s += u'.' + QStringLiteral("%1").arg(magnitude % unit, places, 10, QChar(u'0'));
    return s;
}

const ColumnDef& TableDef::keyColumn() const {
    for (const ColumnDef& c : columns)
        if (c.key)
            return c;
    return columns.front();
}

const std::vector<TableDef>& differentialTables() {
    static const std::vector<TableDef> tables = [] {
        Random r(20240517);  // the rows' own sequence: they never change between runs
        return std::vector<TableDef>{departments(r), employees(r), sales(r), products(r)};
    }();
    return tables;
}

const std::vector<JoinPath>& differentialJoins() {
    static const std::vector<JoinPath> joins = {
        {"emp", "dept_id", "dept", "dept_id"},
        {"sales", "emp_id", "emp", "emp_id"},
        {"sales", "product_id", "product", "product_id"},
        {"emp", "manager_id", "emp", "emp_id"},
        {"emp", "grade", "sales", "qty", true},
    };
    return joins;
}

QStringList schemaStatements(Dialect dialect) {
    QStringList statements;
    for (const TableDef& t : differentialTables()) {
        QStringList columns;
        for (const ColumnDef& c : t.columns)
            columns << c.name + u' ' + declaredType(c, dialect) +
                           (c.key        ? QStringLiteral(" primary key")
                            : c.nullable ? QString()
                                         : QStringLiteral(" not null"));
        statements << QStringLiteral("create table %1 (%2)").arg(t.name, columns.join(", "));
        // One statement of many rows (SQLite's form, which the engine also takes): the rows go
        // in as one transaction.
        QStringList rows;
        for (const QStringList& row : t.rows)
            rows << u'(' + row.join(", ") + u')';
        statements << QStringLiteral("insert into %1 values %2").arg(t.name, rows.join(", "));
    }
    statements << QStringLiteral("create index ix_emp_dept on emp (dept_id)")
               << QStringLiteral("create index ix_emp_job on emp (job)")
               << QStringLiteral("create index ix_sales_emp on sales (emp_id)");
    return statements;
}

}  // namespace qv::test
