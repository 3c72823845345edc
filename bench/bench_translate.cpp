// Translating statements as the engine does before SQLite sees them (tokens, then sqliteText):
// one nested 10,000 parentheses deep, which is refused with ORA-03095, and two of 5 MB, a long
// IN list and many UNION ALL members. Prints the median times against the target of 200 ms
// each; the time should grow with the statement's length alone, never with its nesting.
#include "benchsupport.h"
#include "core/db/dberror.h"
#include "core/embedded/translate/oracledialect.h"
#include "core/sql/sqltokens.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <vector>

using namespace qv;

namespace {

constexpr int kRuns = 5;
constexpr double kTargetMs = 200;
constexpr qsizetype kBytes = 5 * 1024 * 1024;

QString nestedParentheses(int depth) {
    return QStringLiteral("select ") + QString(depth, u'(') + u'1' + QString(depth, u')') +
           QStringLiteral(" x from dual");
}

QString longInList() {
    QString sql = QStringLiteral(
        "select o.order_id, o.total_amount + 1 amount from orders o where o.customer_id in (");
    for (int i = 0; sql.size() < kBytes; ++i)
        sql += QString::number(i) + QStringLiteral(", ");
    return sql + QStringLiteral("0) order by 1");
}

QString manyUnionMembers() {
    QString sql;
    for (int i = 0; sql.size() < kBytes; ++i) {
        if (i > 0)
            sql += QStringLiteral(" union all ");
        sql += QStringLiteral("select %1 id, 'name %1' || 'x' name, %1 + 1 total from dual").arg(i);
    }
    return sql;
}

// The median time to translate `sql`, and what came of it: its length, or the error.
std::pair<double, QString> translate(const QString& sql) {
    std::vector<double> times;
    QString outcome;
    QElapsedTimer timer;
    for (int run = 0; run < kRuns; ++run) {
        timer.start();
        try {
            outcome = QString::number(embedded::sqliteText(embedded::ParsedStatement(sql)).size() /
                                          1024 / 1024.0,
                                      'f', 1) +
                      QStringLiteral(" MB written");
        } catch (const DbError& e) {
            outcome = e.description();
        }
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    return {bench::median(times), outcome};
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::pair<const char*, QString> statements[] = {
        {"translate 10,000 nested parentheses", nestedParentheses(10000)},
        {"translate a 5 MB IN list", longInList()},
        {"translate 5 MB of UNION ALL members", manyUnionMembers()},
    };
    for (const auto& [figure, sql] : statements) {
        const auto [ms, outcome] = translate(sql);
        std::printf("%-40s %8.1f ms (median of %d; %.1f MB read; %s)\n", figure, ms, kRuns,
                    sql.size() / 1024 / 1024.0, qPrintable(outcome.left(60)));
        bench::report(figure, bench::ms(ms), bench::ms(kTargetMs) + " target", ms / kTargetMs, 1.0);
    }
    return 0;
}
