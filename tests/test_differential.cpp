// The embedded engine against plain SQLite: generated queries over one schema and its rows
// (support/querygenerator.h) run through both, in Oracle's SQL and in SQLite's, and must give
// the same answers. CI runs 2,000 queries from seed 1. Other seeds and longer runs, by hand:
//   QUERVIN_DIFF_SEED=7 QUERVIN_DIFF_QUERIES=50000 build/tests/test_differential
// A failure names the seed and the query's number: that seed with QUERVIN_DIFF_QUERIES set to
// the number runs up to it again.
#include "core/sqlite/sqlite.h"
#include "support/embeddedfixture.h"
#include "support/querygenerator.h"

#include <algorithm>
#include <cmath>
#include <sstream>

using namespace qv;
using namespace qv::test;

namespace {

using Rows = std::vector<QString>;

struct Answer {
    Rows rows;
    QString error;
};

// A cell as both engines must give it: a number to 15 significant digits whatever its form
// (the engine hands a REAL back as Oracle's text, ".5"), text as it is, NULL as null.
QString cell(const QVariant& v, ResultColumn column) {
    if (v.isNull())
        return QStringLiteral("null");
    if (column.type == ValueType::Text)
        return v.typeId() == QMetaType::QString ? u'\'' + v.toString() + u'\''
                                                : "number " + v.toString();
    bool ok = false;
    const double d = v.toString().toDouble(&ok);
    if (!ok)
        return "text '" + v.toString() + u'\'';
    // To its places while they fit in the 15 digits the engine keeps (oraclevalues.h).
    if (column.places >= 0 && std::log10(std::abs(d) + 1) + column.places < 15) {
        const double unit = std::pow(10.0, column.places);
        const double rounded = std::round(d * unit) / unit;  // no "-0.00" for a binary residue
        return QString::number(rounded == 0 ? 0.0 : rounded, 'f', column.places);
    }
    return QString::number(d == 0 ? 0.0 : d, 'g', 15);
}

void addRow(Answer& a, const std::vector<QVariant>& values, const GeneratedQuery& q) {
    if (values.size() != q.columns.size()) {
        a.error = QStringLiteral("%1 columns").arg(values.size());
        return;
    }
    QStringList row;
    for (size_t i = 0; i < values.size(); ++i)
        row << cell(values[i], q.columns[i]);
    a.rows.push_back(row.join(QStringLiteral(" | ")));
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
            out << "  " << a->rows[i].toStdString() << '\n';
    }
    return out.str();
}

class Differential : public EmbeddedTest {
  protected:
    void SetUp() override {
        EmbeddedTest::SetUp();
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

}  // namespace
