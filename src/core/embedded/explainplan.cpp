#include "core/embedded/explainplan.h"

#include "core/embedded/sqlitecall.h"

#include <QDateTime>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

namespace qv::embedded {

namespace {

const QString kOwner = QStringLiteral("MAIN");

struct Node {
    QString operation;
    QString options;
    QString owner;
    QString object;
    std::vector<size_t> children;
};

bool isName(const Token& t) {
    return t.kind == TokenKind::Word || t.kind == TokenKind::Quoted;
}

QString unquoted(const Token& t) {
    if (t.kind == TokenKind::Quoted)
        return t.text.mid(1, t.text.size() - 2).toString();
    return t.text.toString();
}

// Words that can follow a table in a FROM clause and so are not its alias.
bool endsTableReference(const Token& t) {
    static const char16_t* const kWords[] = {
        u"WHERE",  u"JOIN",      u"INNER",   u"LEFT",   u"RIGHT",     u"FULL",    u"OUTER",
        u"CROSS",  u"NATURAL",   u"ON",      u"USING",  u"GROUP",     u"ORDER",   u"LIMIT",
        u"HAVING", u"WINDOW",    u"UNION",   u"EXCEPT", u"INTERSECT", u"SET",     u"VALUES",
        u"SELECT", u"RETURNING", u"INDEXED", u"NOT",    u"START",     u"CONNECT", u"FROM"};
    for (const char16_t* w : kWords) {
        if (t.is(QStringView(w)))
            return true;
    }
    return false;
}

// alias (lower case) -> table, from "FROM|JOIN|, table [AS] alias" in the statement.
QHash<QString, QString> tableAliases(const std::vector<Token>& t) {
    QHash<QString, QString> aliases;
    for (size_t i = 1; i < t.size(); ++i) {
        const Token& before = t[i - 1];
        if (!isName(t[i]) || !(before.is(u"FROM") || before.is(u"JOIN") || before.isOp(u',')))
            continue;
        size_t j = i;
        if (j + 2 < t.size() && t[j + 1].isOp(u'.') && isName(t[j + 2]))
            j += 2;
        const QString table = unquoted(t[j]);
        ++j;
        if (j < t.size() && t[j].is(u"AS"))
            ++j;
        if (j < t.size() && isName(t[j]) && !endsTableReference(t[j]))
            aliases.insert(unquoted(t[j]).toLower(), table);
    }
    return aliases;
}

QString statementKind(const std::vector<Token>& t) {
    if (t.empty())
        return QStringLiteral("SELECT");
    const Token& first = t.front();
    if (first.is(u"WITH")) {
        for (const char16_t* verb : {u"INSERT", u"UPDATE", u"DELETE", u"REPLACE"}) {
            if (findTopLevel(t, 1, t.size(), QStringView(verb)) != t.size())
                return QStringView(verb) == u"REPLACE" ? QStringLiteral("INSERT")
                                                       : QString::fromUtf16(verb);
        }
        return QStringLiteral("SELECT");
    }
    if (first.is(u"VALUES"))
        return QStringLiteral("SELECT");
    if (first.is(u"REPLACE"))
        return QStringLiteral("INSERT");
    return first.text.toString().toUpper();
}

class Translator {
  public:
    explicit Translator(const QString& statement) : tokens_(tokenize(statement)) {
        aliases_ = tableAliases(tokens_);
        nodes_.push_back({statementKind(tokens_) + QStringLiteral(" STATEMENT"), {}, {}, {}, {}});
    }

    void add(const EqpLine& line);
    std::vector<PlanRow> rows() const;

  private:
    size_t addNode(size_t parent, Node node) {
        nodes_.push_back(std::move(node));
        nodes_[parent].children.push_back(nodes_.size() - 1);
        return nodes_.size() - 1;
    }
    QString table(const QString& name) const {
        return aliases_.value(name.toLower(), name).toUpper();
    }
    size_t addLoop(size_t parent, bool search, const QString& name, const QString& usingText);
    void walk(size_t node, int parentId, int position, std::vector<PlanRow>& out) const;

    std::vector<Token> tokens_;
    QHash<QString, QString> aliases_;
    QSet<QString> views_;  // subqueries and CTEs, lower case
    std::vector<Node> nodes_;
    QHash<int, size_t> attach_;  // SQLite's line id -> node its sub-lines hang under
};

void Translator::add(const EqpLine& line) {
    static const QRegularExpression kLoop(
        QStringLiteral(R"(^(SCAN|SEARCH) (\S+)(?: USING (.*))?$)"));
    static const QRegularExpression kVirtual(QStringLiteral(R"(^SCAN (\S+) VIRTUAL TABLE)"));
    static const QRegularExpression kSort(QStringLiteral(R"(^USE TEMP B-TREE FOR (.*)$)"));
    static const QRegularExpression kSub(QStringLiteral(R"(^(MATERIALIZE|CO-ROUTINE) (\S+)$)"));

    const size_t parent = attach_.value(line.parent, 0);
    const QString& d = line.detail;
    size_t node = 0;
    QRegularExpressionMatch m;
    if (d == u"SCAN CONSTANT ROW") {
        node = addNode(parent, {QStringLiteral("FAST DUAL"), {}, {}, {}, {}});
    } else if ((m = kVirtual.match(d)).hasMatch()) {
        node = addNode(parent, {QStringLiteral("FIXED TABLE"),
                                QStringLiteral("FULL"),
                                kOwner,
                                m.captured(1).toUpper(),
                                {}});
    } else if ((m = kLoop.match(d)).hasMatch()) {
        node = addLoop(parent, m.captured(1) == u"SEARCH", m.captured(2), m.captured(3));
    } else if ((m = kSort.match(d)).hasMatch()) {
        const QString what = m.captured(1);
        const QString options = what == u"DISTINCT"   ? QStringLiteral("UNIQUE")
                                : what == u"GROUP BY" ? QStringLiteral("GROUP BY")
                                                      : QStringLiteral("ORDER BY");
        node = addNode(parent, {QStringLiteral("SORT"), options, {}, {}, {}});
    } else if ((m = kSub.match(d)).hasMatch()) {
        views_.insert(m.captured(2).toLower());
        node = addNode(parent, {m.captured(1), {}, {}, m.captured(2).toUpper(), {}});
    } else {
        node = addNode(parent, {d, {}, {}, {}, {}});
    }
    attach_.insert(line.id, node);
}

size_t Translator::addLoop(size_t parent, bool search, const QString& name,
                           const QString& usingText) {
    static const QRegularExpression kIndex(
        QStringLiteral(R"(^(COVERING )?INDEX (\S+)(?: \((.*)\))?$)"));
    const QString object = table(name);
    const QString indexScan = search ? QStringLiteral("RANGE SCAN") : QStringLiteral("FULL SCAN");
    const QString access = QStringLiteral("TABLE ACCESS");
    if (usingText.isEmpty()) {
        if (!search && views_.contains(name.toLower()))
            return addNode(parent, {QStringLiteral("VIEW"), {}, {}, name.toUpper(), {}});
        return addNode(parent,
                       {access, search ? QString() : QStringLiteral("FULL"), kOwner, object, {}});
    }
    if (usingText.startsWith(u"INTEGER PRIMARY KEY")) {
        const QString options = usingText.endsWith(u"(rowid=?)") ? QStringLiteral("BY ROWID")
                                                                 : QStringLiteral("BY ROWID RANGE");
        return addNode(parent, {access, options, kOwner, object, {}});
    }
    if (usingText.startsWith(u"AUTOMATIC"))
        return addNode(parent, {access, QStringLiteral("BY AUTOMATIC INDEX"), kOwner, object, {}});
    if (usingText.startsWith(u"PRIMARY KEY"))
        return addNode(parent, {QStringLiteral("INDEX"), indexScan, kOwner, object, {}});
    const QRegularExpressionMatch m = kIndex.match(usingText);
    if (!m.hasMatch())
        return addNode(parent, {access, usingText, kOwner, object, {}});
    const QString index = m.captured(2).toUpper();
    if (!m.captured(1).isEmpty())
        return addNode(parent, {QStringLiteral("INDEX"), indexScan, kOwner, index, {}});
    // The index gives rowids and the table row is then fetched: Oracle shows the table access
    // above the index scan that feeds it.
    const size_t tableNode =
        addNode(parent, {access, QStringLiteral("BY INDEX ROWID"), kOwner, object, {}});
    addNode(tableNode, {QStringLiteral("INDEX"), indexScan, kOwner, index, {}});
    return tableNode;
}

void Translator::walk(size_t node, int parentId, int position, std::vector<PlanRow>& out) const {
    const Node& n = nodes_[node];
    const int id = int(out.size());
    out.push_back({id, parentId, position, n.operation, n.options, n.owner, n.object});
    int childPosition = 0;
    for (size_t child : n.children)
        walk(child, id, ++childPosition, out);
}

std::vector<PlanRow> Translator::rows() const {
    std::vector<PlanRow> out;
    walk(0, -1, 0, out);
    return out;
}

void bindText(sqlite3_stmt* stmt, int index, const QString& text) {
    if (text.isEmpty()) {
        sqlite3_bind_null(stmt, index);
        return;
    }
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

void bindNumber(sqlite3_stmt* stmt, int index, int value, bool null) {
    if (null)
        sqlite3_bind_null(stmt, index);
    else
        sqlite3_bind_int(stmt, index, value);
}

[[noreturn]] void missingKeyword() {
    throw oracleError(905, QStringLiteral("ORA-00905: missing keyword"));
}

}  // namespace

std::vector<PlanRow> translatePlan(const QString& statement, const std::vector<EqpLine>& eqp) {
    Translator translator(statement);
    for (const EqpLine& line : eqp)
        translator.add(line);
    return translator.rows();
}

bool isExplainPlan(const std::vector<Token>& tokens) {
    return tokens.size() >= 2 && tokens[0].is(u"EXPLAIN") && tokens[1].is(u"PLAN");
}

ExplainRequest parseExplainPlan(const QString& sql, const std::vector<Token>& t) {
    ExplainRequest request;
    request.table = QStringLiteral("PLAN_TABLE");
    size_t i = 2;
    if (i < t.size() && t[i].is(u"SET")) {
        if (i + 3 >= t.size() || !t[i + 1].is(u"STATEMENT_ID") || !t[i + 2].isOp(u'=') ||
            t[i + 3].kind != TokenKind::String)
            missingKeyword();
        const QStringView literal = t[i + 3].text;
        request.statementId = literal.mid(1, literal.size() - 2).toString();
        request.statementId.replace(QStringLiteral("''"), QStringLiteral("'"));
        i += 4;
    }
    if (i < t.size() && t[i].is(u"INTO")) {
        const size_t forAt = findTopLevel(t, i + 1, t.size(), u"FOR");
        if (forAt == i + 1 || forAt == t.size())
            missingKeyword();
        request.table = sliceText(sql, t, i + 1, forAt);
        i = forAt;
    }
    if (i + 1 >= t.size() || !t[i].is(u"FOR"))
        missingKeyword();
    request.statement = sql.mid(t[i + 1].begin);
    return request;
}

void writePlan(sqlite3* db, const ExplainRequest& request, const QString& sqliteStatement,
               const QString& optimizer) {
    StatementPtr insert;
    try {
        insert = prepareOne(db, QStringLiteral("INSERT INTO %1 (statement_id, timestamp, "
                                               "operation, options, object_owner, object_name, "
                                               "optimizer, id, parent_id, position) VALUES "
                                               "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                                    .arg(request.table)
                                    .toUtf8());
    } catch (const DbError& e) {
        if (e.description().startsWith(u"no such table"))
            throw oracleError(2404, QStringLiteral("ORA-02404: specified plan table not found"));
        throw;
    }

    std::vector<EqpLine> lines;
    {
        // Finalized before the rows are written: an EXPLAIN of a change stays a busy writer
        // even after its last row, and would block the savepoint.
        const StatementPtr eqp = prepareOne(db, "EXPLAIN QUERY PLAN " + sqliteStatement.toUtf8());
        int rc = SQLITE_ROW;
        while (eqp && (rc = sqlite3_step(eqp.get())) == SQLITE_ROW) {
            lines.push_back({sqlite3_column_int(eqp.get(), 0), sqlite3_column_int(eqp.get(), 1),
                             QString::fromUtf8(reinterpret_cast<const char*>(
                                 sqlite3_column_text(eqp.get(), 3)))});
        }
        if (eqp && rc != SQLITE_DONE)
            throw sqliteError(db);
    }

    const std::vector<PlanRow> rows = translatePlan(request.statement, lines);
    const QString timestamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    execInternal(db, "SAVEPOINT quervin_explain");
    sqlite3_stmt* s = insert.get();
    for (const PlanRow& row : rows) {
        bindText(s, 1, request.statementId);
        bindText(s, 2, timestamp);
        bindText(s, 3, row.operation);
        bindText(s, 4, row.options);
        bindText(s, 5, row.objectOwner);
        bindText(s, 6, row.objectName);
        bindText(s, 7, row.id == 0 ? optimizer : QString());
        bindNumber(s, 8, row.id, false);
        bindNumber(s, 9, row.parentId, row.parentId < 0);
        bindNumber(s, 10, row.position, row.id == 0);
        if (sqlite3_step(s) != SQLITE_DONE) {
            const DbError error = sqliteError(db);
            sqlite3_exec(db, "ROLLBACK TO quervin_explain; RELEASE quervin_explain", nullptr,
                         nullptr, nullptr);
            throw error;
        }
        sqlite3_reset(s);
    }
    execInternal(db, "RELEASE quervin_explain");
}

}  // namespace qv::embedded
