#include "core/embedded/plan/explainplan.h"

#include "core/embedded/plan/planbuilder.h"
#include "core/embedded/plan/planstatements.h"
#include "core/embedded/translate/errorposition.h"
#include "core/embedded/translate/merge.h"
#include "core/embedded/values/oracleerrors.h"
#include "core/sql/tokenlist.h"

#include <QDateTime>
#include <QStringList>

#include <algorithm>

namespace qv::embedded {

namespace {

using sql::isName;
using sql::TokenKind;
using sql::unquoted;

[[noreturn]] void missingKeyword() {
    throw oracleError(905, QStringLiteral("ORA-00905: missing keyword"));
}

}  // namespace

bool isExplainPlan(const std::vector<Token>& tokens) {
    return tokens.size() >= 2 && tokens[0].is(u"EXPLAIN") && tokens[1].is(u"PLAN");
}

ExplainRequest parseExplainPlan(const std::vector<Token>& t) {
    ExplainRequest request;
    request.name = QStringLiteral("PLAN_TABLE");
    request.table = sql::quotedName(request.name);
    size_t i = 2;
    if (i < t.size() && t[i].is(u"SET")) {
        if (i + 3 >= t.size() || !t[i + 1].is(u"STATEMENT_ID") || !t[i + 2].isOp(u'=') ||
            t[i + 3].kind != TokenKind::String)
            missingKeyword();
        request.statementId = sql::stringValue(t[i + 3]);
        i += 4;
    }
    if (i < t.size() && t[i].is(u"INTO")) {
        // [schema.]table, which becomes part of the INSERT that writes the rows.
        QStringList parts;
        size_t j = i + 1;
        while (j < t.size() && isName(t[j]) && !t[j].is(u"FOR")) {
            parts << unquoted(t[j]);
            if (++j >= t.size() || !t[j].isOp(u'.'))
                break;
            ++j;
        }
        if (parts.isEmpty() || parts.size() > 2 || j >= t.size() || !t[j].is(u"FOR"))
            missingKeyword();
        request.name = parts.last();
        if (parts.size() == 2)
            request.schema = parts.first();
        request.table = sql::quotedName(request.name);
        if (parts.size() == 2)
            request.table.prepend(sql::quotedName(request.schema) + u'.');
        i = j;
    }
    if (i + 1 >= t.size() || !t[i].is(u"FOR"))
        missingKeyword();
    request.statementAt = t[i + 1].begin;
    return request;
}

std::unique_ptr<const ParsedStatement> explainedQuery(const ParsedStatement& statement) {
    const StatementFrame frame = statementFrame(statement.text(), statement.tokens());
    switch (frame.kind) {
        case StatementFrame::Kind::Plain:
            return nullptr;
        case StatementFrame::Kind::Unexplainable:
            throw oracleError(900, QStringLiteral("ORA-00900: invalid SQL statement"));
        case StatementFrame::Kind::Merge:
            if (frame.query.isEmpty())
                planMerge(statement.text(), statement.tokens());  // throws what is wrong with it
            break;
        case StatementFrame::Kind::CreateIndex:
            if (frame.query.isEmpty())
                missingKeyword();
            break;
        case StatementFrame::Kind::CreateTable:
            break;
    }
    return std::make_unique<const ParsedStatement>(frame.query);
}

namespace {

// SQLite's plan of `statement`, the translation of the client's `explained`, line by line.
std::vector<EqpLine> queryPlan(sqlite3* db, const QString& statement, const QString& explained) {
    const QByteArray sql = "EXPLAIN QUERY PLAN " + statement.toUtf8();
    sqlite::Statement eqp;
    try {
        eqp = sqlite::Statement::single(db, sql);
    } catch (const sqlite::Error& e) {
        throw placedFailure(e, sql, explained);
    }
    std::vector<EqpLine> lines;
    while (eqp.step())
        lines.push_back({int(eqp.integer(0)), int(eqp.integer(1)), eqp.text(3)});
    return lines;
}

bool hasTable(sqlite3* db, const char* schemaTable, const QString& name) {
    sqlite::Statement st(db, QByteArray("SELECT 1 FROM ") + schemaTable +
                                 " WHERE type = 'table' AND name = ? COLLATE NOCASE");
    st.bind(1, name);
    return st.step();
}

// The session's own rows of plan table `name`: a temporary table of the same name and columns,
// which the session's statements reach before the shared one (SQLite looks for an unqualified
// name among the temporary tables first). Oracle's plan table is a global temporary table for
// the same reason: what one session explains, no other sees or removes. False when there is no
// plan table of that name.
bool usePrivatePlanTable(sqlite3* db, const QString& name) {
    if (hasTable(db, "temp.sqlite_master", name))
        return true;
    if (!hasTable(db, "main.sqlite_master", name))
        return false;
    const QByteArray quoted = sql::quotedName(name).toUtf8();
    sqlite::Statement(
        db, "CREATE TEMP TABLE " + quoted + " AS SELECT * FROM main." + quoted + " WHERE 0")
        .run();
    return true;
}

// The columns of Oracle's PLAN_TABLE (10g and later), as utlxplan.sql makes it.
constexpr const char* kPlanTableColumns =
    "(statement_id varchar2(30), plan_id number, timestamp date, remarks varchar2(4000), "
    "operation varchar2(30), options varchar2(255), object_node varchar2(128), "
    "object_owner varchar2(30), object_name varchar2(30), object_alias varchar2(65), "
    "object_instance number(38), object_type varchar2(30), optimizer varchar2(255), "
    "search_columns number, id number(38), parent_id number(38), depth number(38), "
    "position number(38), cost number(38), cardinality number(38), bytes number(38), "
    "other_tag varchar2(255), partition_start varchar2(255), partition_stop varchar2(255), "
    "partition_id number(38), other long, other_xml clob, distribution varchar2(30), "
    "cpu_cost number(38), io_cost number(38), temp_space number(38), "
    "access_predicates varchar2(4000), filter_predicates varchar2(4000), "
    "projection varchar2(4000), time number(38), qblock_name varchar2(30))";

// Which of Oracle's columns of the PLAN_TABLE of 10g and later (ACCESS_PREDICATES,
// FILTER_PREDICATES, QBLOCK_NAME and OBJECT_ALIAS, OTHER_XML) the plan table has.
struct NewerColumns {
    bool first = false;   // access predicates
    bool second = false;  // filter predicates
    bool blocks = false;  // both QBLOCK_NAME and OBJECT_ALIAS
    bool otherXml = false;
    bool other = false;  // OTHER (LONG), which takes the hint usage where OTHER_XML is missing
};
NewerColumns predicateColumns(sqlite3* db, const ExplainRequest& request) {
    sqlite::Statement st(db, request.schema.isEmpty()
                                 ? "SELECT lower(name) FROM pragma_table_info(?1)"
                                 : "SELECT lower(name) FROM pragma_table_info(?1, ?2)");
    st.bind(1, request.name);
    if (!request.schema.isEmpty())
        st.bind(2, request.schema);
    NewerColumns found;
    int names = 0;
    while (st.step()) {
        const QString column = st.text(0);
        found.first |= column == u"access_predicates";
        found.second |= column == u"filter_predicates";
        found.otherXml |= column == u"other_xml";
        found.other |= column == u"other";
        names += column == u"qblock_name" || column == u"object_alias";
    }
    found.blocks = names == 2;
    return found;
}

// Whether the main schema's table `name` has the columns of a plan table.
bool isPlanTable(sqlite3* db, const QString& name) {
    sqlite::Statement columns(db,
                              "SELECT count(*) FROM pragma_table_info(?1) WHERE lower(name) IN "
                              "('statement_id', 'id', 'parent_id', 'operation', 'options')");
    columns.bind(1, name);
    return columns.step() && columns.integer(0) == 5;
}

}  // namespace

void providePlanTable(sqlite3* db, const std::vector<Token>& tokens) {
    // DELETE FROM a plan table, as a tuning tool sends before each EXPLAIN PLAN, removes the
    // session's own rows: their table is made first, so that the statement never waits for a
    // lock another session holds on the file.
    if (tokens.size() >= 3 && tokens[0].is(u"DELETE") && tokens[1].is(u"FROM") &&
        isName(tokens[2]) && !(tokens.size() > 3 && tokens[3].isOp(u'.'))) {
        const QString name = unquoted(tokens[2]);
        if (!hasTable(db, "temp.sqlite_master", name) && hasTable(db, "main.sqlite_master", name) &&
            isPlanTable(db, name))
            usePrivatePlanTable(db, name);
    }
    const bool named = std::any_of(tokens.begin(), tokens.end(), [](const Token& t) {
        return t.is(u"PLAN_TABLE") || t.is(u"DBMS_XPLAN");
    });
    const bool byDefault = isExplainPlan(tokens) &&
                           sql::findTopLevel(tokens, 0, tokens.size(), u"INTO") == tokens.size();
    const QString name = QStringLiteral("PLAN_TABLE");
    if ((!named && !byDefault) || hasTable(db, "temp.sqlite_master", name) ||
        hasTable(db, "main.sqlite_master", name))
        return;
    sqlite::Statement(db, QByteArray("CREATE TEMP TABLE plan_table ") + kPlanTableColumns).run();
}

void writePlan(sqlite3* db, const ExplainRequest& request, const ParsedStatement& explained,
               const Steering& steering, const QString& owner, const std::function<void()>& drawn) {
    QByteArray insertSql =
        "INSERT INTO " + request.table.toUtf8() +
        " (statement_id, timestamp, operation, options, object_owner, object_name, optimizer, id, "
        "parent_id, position, cardinality, cost, bytes";
    QByteArray values = ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?";
    sqlite::Statement insert;
    NewerColumns predicates;
    try {
        if (request.schema.isEmpty() && !usePrivatePlanTable(db, request.name))
            throw oracleError(2404, QStringLiteral("ORA-02404: specified plan table not found"));
        predicates = predicateColumns(db, request);
        if (predicates.first) {
            insertSql += ", access_predicates";
            values += ", ?";
        }
        if (predicates.second) {
            insertSql += ", filter_predicates";
            values += ", ?";
        }
        if (predicates.blocks) {
            insertSql += ", qblock_name, object_alias";
            values += ", ?, ?";
        }
        if (predicates.otherXml || predicates.other) {
            insertSql += predicates.otherXml ? ", other_xml" : ", other";
            values += ", ?";
        }
        insertSql += values + ')';
        insert = sqlite::Statement::single(db, insertSql);
    } catch (const sqlite::Error& e) {
        if (e.description().contains(u"no such table"))
            throw oracleError(2404, QStringLiteral("ORA-02404: specified plan table not found"));
        throw oracleFailure(e, insertSql);
    }
    try {
        // Read before the rows are written: an EXPLAIN of a change stays a busy writer until
        // it is finalized, and would block the savepoint.
        const QString& sqliteStatement = steering.sqliteText;
        const std::vector<EqpLine> lines = sqliteStatement.isEmpty()
                                               ? std::vector<EqpLine>()
                                               : queryPlan(db, sqliteStatement, explained.text());
        std::vector<PlanRow> rows = translatePlan(explained, lines, owner, db);
        if (drawn)
            drawn();
        nameQueryBlocks(rows, steering.hints);
        const QString hintUsage = sql::hintUsageXml(steering.hints);
        const QString timestamp =
            QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        // Empty texts and the root's parent and position are NULL.
        auto text = [&](int index, const QString& value) {
            if (value.isEmpty())
                insert.bindNull(index);
            else
                insert.bind(index, value);
        };
        auto number = [&](int index, int64_t value, bool null) {
            if (null)
                insert.bindNull(index);
            else
                insert.bind(index, value);
        };
        sqlite::Savepoint savepoint(db);
        for (const PlanRow& row : rows) {
            text(1, request.statementId);
            text(2, timestamp);
            text(3, row.operation);
            text(4, row.options);
            text(5, row.objectOwner);
            text(6, row.objectName);
            text(7, row.id == 0 ? steering.goal : QString());
            number(8, row.id, false);
            number(9, row.parentId, row.parentId < 0);
            number(10, row.position, row.id == 0);
            number(11, row.cardinality, steering.rule);
            number(12, row.cost, steering.rule);
            number(13, row.bytes, steering.rule);
            int next = 14;
            if (predicates.first)
                text(next++, row.accessPredicates);
            if (predicates.second)
                text(next++, row.filterPredicates);
            if (predicates.blocks) {
                text(next++, row.queryBlock);
                text(next++, row.objectAlias);
            }
            if (predicates.otherXml || predicates.other)
                text(next, row.id == 0 && !hintUsage.isEmpty()
                               ? QStringLiteral("<other_xml>") + hintUsage +
                                     QStringLiteral("</other_xml>")
                               : QString());
            insert.run();
        }
        savepoint.commit();
    } catch (const sqlite::Error& e) {
        throw oracleFailure(e);
    }
}

}  // namespace qv::embedded
