// The embedded engine against plain SQLite: generated queries over one schema and its rows
// (support/querygenerator.h) run through both, in Oracle's SQL and in SQLite's, and must give
// the same answers. CI runs 2,000 queries from seed 1. Other seeds and longer runs, by hand:
//   QUERVIN_DIFF_SEED=7 QUERVIN_DIFF_QUERIES=50000 build/tests/test_differential
// A failure names the seed and the query's number: that seed with QUERVIN_DIFF_QUERIES set to
// the number runs up to it again.
#include "core/sql/sqlformatter.h"
#include "core/sqlite/sqlite.h"
#include "support/embeddedfixture.h"
#include "support/querygenerator.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <sstream>

using namespace qv;
using namespace qv::test;

namespace {

// A cell as both engines must give it: its text (a number as a decimal whatever its form: the
// engine hands a REAL back as Oracle's text, ".5"; text as it is; NULL as null) and, for a value
// that went through decimal arithmetic past what its places can say, the number itself.
struct Cell {
    QString text;
    std::optional<double> approximate;

    // Such numbers agree within what rounding each step to 15 digits (the engine) or to binary
    // (SQLite) can make of them; a fault is off by far more.
    bool operator==(const Cell& o) const {
        if (approximate && o.approximate)
            return std::abs(*approximate - *o.approximate) <=
                   1e-12 * std::max({std::abs(*approximate), std::abs(*o.approximate), 1.0});
        return text == o.text;
    }
    // Rows of a multiset are sorted before they are compared: such a number by its first ten
    // digits, so that its last ones cannot put the rows in another order.
    QString key() const { return approximate ? QString::number(*approximate, 'g', 10) : text; }
    bool operator<(const Cell& o) const { return key() < o.key(); }
};
using Row = std::vector<Cell>;

struct Answer {
    std::vector<Row> rows;
    QString error;
};

Cell cell(const QVariant& v, ResultColumn column) {
    if (v.isNull())
        return {QStringLiteral("null"), {}};
    if (column.type == ValueType::Text)
        return {v.typeId() == QMetaType::QString ? u'\'' + v.toString() + u'\''
                                                 : "number " + v.toString(),
                {}};
    bool ok = false;
    const double d = v.toString().toDouble(&ok);
    if (!ok)
        return {"text '" + v.toString() + u'\'', {}};
    // A computed decimal to its places, while they fit in the 15 digits the engine keeps.
    if (column.approximate && std::log10(std::abs(d) + 1) + column.places < 15) {
        const double unit = std::pow(10.0, column.places);
        const double rounded = std::round(d * unit) / unit;  // no "-0.00" for a binary residue
        return {QString::number(rounded == 0 ? 0.0 : rounded, 'f', column.places), {}};
    }
    const QString text = QString::number(d == 0 ? 0.0 : d, 'g', 15);
    return {text, column.approximate ? std::optional(d) : std::nullopt};
}

QString shown(const Row& row) {
    QStringList cells;
    for (const Cell& c : row)
        cells << c.text;
    return cells.join(QStringLiteral(" | "));
}

void addRow(Answer& a, const std::vector<QVariant>& values, const GeneratedQuery& q) {
    if (values.size() != q.columns.size()) {
        a.error = QStringLiteral("%1 columns").arg(values.size());
        return;
    }
    Row row;
    for (size_t i = 0; i < values.size(); ++i)
        row.push_back(cell(values[i], q.columns[i]));
    a.rows.push_back(std::move(row));
}

Answer engineAnswer(Database& db, const GeneratedQuery& q) {
    Answer a;
    try {
        for (auto rs = db.openRecordset(q.oracle()); !rs->eof() && a.error.isEmpty();
             rs->moveNext()) {
            std::vector<QVariant> values;
            for (int i = 0; i < rs->fieldCount(); ++i)
                values.push_back(rs->value(i));
            addRow(a, values, q);
        }
    } catch (const DbError& e) {
        a.error = e.description();
    }
    return a;
}

Answer referenceAnswer(sqlite3* db, const GeneratedQuery& q) {
    Answer a;
    try {
        sqlite::Statement stmt(db, q.sqlite().toUtf8());
        while (stmt.step() && a.error.isEmpty()) {
            std::vector<QVariant> values;
            for (int i = 0; i < stmt.columnCount(); ++i)
                values.push_back(stmt.isNull(i) ? QVariant()
                                 : stmt.type(i) == SQLITE_INTEGER
                                     ? QVariant(qlonglong(stmt.integer(i)))
                                 : stmt.type(i) == SQLITE_FLOAT ? QVariant(stmt.real(i))
                                                                : QVariant(stmt.text(i)));
            addRow(a, values, q);
        }
    } catch (const DbError& e) {
        a.error = e.description();
    }
    return a;
}

// Both answers from their first difference on, a few rows each.
std::string difference(const GeneratedQuery& q, const Answer& engine, const Answer& reference) {
    std::ostringstream out;
    out << "Oracle: " << q.oracle().toStdString() << "\nSQLite: " << q.sqlite().toStdString()
        << "\ncompared as " << (q.ordered ? "a sequence" : "a multiset") << '\n';
    size_t first = 0;
    while (first < engine.rows.size() && first < reference.rows.size() &&
           engine.rows[first] == reference.rows[first])
        ++first;
    for (const auto& [name, a] : {std::pair("engine", &engine), std::pair("SQLite", &reference)}) {
        out << name << ": ";
        if (!a->error.isEmpty()) {
            out << "error " << a->error.toStdString() << '\n';
            continue;
        }
        out << a->rows.size() << " rows; from row " << first + 1 << ":\n";
        for (size_t i = first; i < std::min(a->rows.size(), first + 5); ++i)
            out << "  " << shown(a->rows[i]).toStdString() << '\n';
    }
    return out.str();
}

class Differential : public EmbeddedTest {
  protected:
    void SetUp() override {
        EmbeddedTest::SetUp();
        sqlite::turnOffUnsoundRewrites(reference_.handle());
        for (const QString& statement : schemaStatements(Dialect::Oracle))
            db_->execute(statement);
        for (const QString& statement : schemaStatements(Dialect::Sqlite))
            reference_.exec(statement.toUtf8().constData());
    }

    sqlite::Connection reference_{dir_.filePath(QStringLiteral("reference.db")),
                                  sqlite::Connection::Mode::ReadWriteCreate, 0};
};

TEST_F(Differential, GeneratedQueriesAnswerAsPlainSqliteDoes) {
    const uint64_t seed = qEnvironmentVariableIsSet("QUERVIN_DIFF_SEED")
                              ? qgetenv("QUERVIN_DIFF_SEED").toULongLong()
                              : 1;
    const int count = qEnvironmentVariableIsSet("QUERVIN_DIFF_QUERIES")
                          ? qEnvironmentVariableIntValue("QUERVIN_DIFF_QUERIES")
                          : 2000;
    QueryGenerator generator(seed);
    int failures = 0;
    for (int n = 1; n <= count; ++n) {
        const GeneratedQuery q = generator.next();
        Answer engine = engineAnswer(*db_, q);
        Answer reference = referenceAnswer(reference_.handle(), q);
        if (!q.ordered) {
            std::sort(engine.rows.begin(), engine.rows.end());
            std::sort(reference.rows.begin(), reference.rows.end());
        }
        if (engine.error.isEmpty() && reference.error.isEmpty() && engine.rows == reference.rows)
            continue;
        if (++failures <= 10)
            ADD_FAILURE() << "seed " << seed << ", query " << n << '\n'
                          << difference(q, engine, reference);
    }
    EXPECT_EQ(failures, 0) << "of " << count << " queries from seed " << seed;
}

// 整形 changes nothing the engine reads: each query laid out gives the rows, the columns and the
// plan (lines, estimates, predicates) it gives as typed.
TEST_F(Differential, LaidOutQueriesAnswerAndPlanAsTyped) {
    db_->execute(planTableCreateStatement(kPlanTable));
    auto answer = [&](const QString& sql) {
        db_->execute(QStringLiteral("delete from ") + kPlanTable);
        QStringList seen;
        try {
            seen << fieldNames(*db_->openRecordset(sql)) << rowsOf(*db_, sql);
            db_->execute(explainPlanStatement(kPlanTable, sql));
            seen << rowsOf(*db_, QStringLiteral("select id, parent_id, operation, options, "
                                                "object_name, cardinality, cost, bytes, "
                                                "access_predicates, filter_predicates from ") +
                                     kPlanTable + QStringLiteral(" order by id"));
        } catch (const DbError& e) {
            seen << e.description();
        }
        return seen;
    };
    QueryGenerator generator(1);
    int changed = 0;
    for (int n = 1; n <= 400; ++n) {
        const QString typed = generator.next().oracle();
        const QString laidOut = sql::formatSql(typed);
        changed += laidOut != typed;
        EXPECT_EQ(answer(laidOut), answer(typed)) << "query " << n << ":\n"
                                                  << typed.toStdString() << "\nlaid out:\n"
                                                  << laidOut.toStdString();
    }
    EXPECT_EQ(changed, 400) << "every query is laid out";
}

}  // namespace
