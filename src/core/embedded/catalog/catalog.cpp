#include "core/embedded/catalog/catalog.h"

#include "core/embedded/base/sandbox.h"
#include "core/embedded/values/oracleerrors.h"
#include "core/sql/tokenlist.h"

#include <QRegularExpression>

namespace qv::embedded {

namespace {

QString joined(const QStringList& names) {
    return names.join(u',');
}

QStringList split(const QString& names) {
    return names.isEmpty() ? QStringList() : names.split(u',');
}

sqlite::Statement prepared(sqlite3* db, const QString& sql, const QStringList& binds) {
    sqlite::Statement stmt(db, sql.toUtf8());
    for (int k = 0; k < binds.size(); ++k) {
        if (binds[k].isNull())
            stmt.bindNull(k + 1);
        else
            stmt.bind(k + 1, binds[k]);
    }
    return stmt;
}

const char* const kCreateCatalog[] = {
    "CREATE TABLE IF NOT EXISTS \"QV$CONSTRAINTS\" (NAME TEXT PRIMARY KEY, TABLE_NAME TEXT NOT "
    "NULL, TYPE TEXT NOT NULL, COLUMNS TEXT, R_TABLE TEXT, R_COLUMNS TEXT, DELETE_RULE TEXT, "
    "STATUS TEXT, VALIDATED TEXT, SEARCH_CONDITION TEXT, GENERATED TEXT)",
    "CREATE TABLE IF NOT EXISTS \"QV$SEQUENCES\" (NAME TEXT PRIMARY KEY, MIN_VALUE INTEGER, "
    "MAX_VALUE INTEGER, INCREMENT_BY INTEGER, CYCLE_FLAG TEXT, ORDER_FLAG TEXT, CACHE_SIZE "
    "INTEGER, LAST_NUMBER INTEGER, STAMP INTEGER)",
    "CREATE TABLE IF NOT EXISTS \"QV$COMMENTS\" (TABLE_NAME TEXT NOT NULL, COLUMN_NAME TEXT NOT "
    "NULL, COMMENTS TEXT, PRIMARY KEY (TABLE_NAME, COLUMN_NAME))",
};

}  // namespace

bool isEngineName(QStringView name) {
    return name.startsWith(u"qv$", Qt::CaseInsensitive);
}

void Catalog::userExec(const QString& sql) const {
    sqlite::Statement(db_, sql.toUtf8()).run();
}

void Catalog::engineExec(const QString& sql, const QStringList& binds) const {
    const EngineRights engine(sandbox_);
    prepared(db_, sql, binds).run();
}

std::vector<QStringList> Catalog::rows(const QString& sql, const QStringList& binds) const {
    const EngineRights engine(sandbox_);
    sqlite::Statement stmt = prepared(db_, sql, binds);
    std::vector<QStringList> result;
    while (stmt.step()) {
        QStringList row;
        for (int c = 0; c < stmt.columnCount(); ++c)
            row << stmt.text(c);
        result.push_back(row);
    }
    return result;
}

void Catalog::ensure() const {
    for (const char* sql : kCreateCatalog)
        engineExec(QString::fromLatin1(sql));
}

bool Catalog::has(const QString& table) const {
    return !rows(QStringLiteral(
                     "SELECT 1 FROM main.sqlite_schema WHERE type = 'table' AND name = ?"),
                 {table})
                .empty();
}

QString Catalog::objectType(const QString& name) const {
    const auto found = rows(
        QStringLiteral("SELECT type FROM main.sqlite_schema WHERE upper(name) = upper(?)"), {name});
    return found.empty() ? QString() : found.front().front();
}

bool Catalog::isTemporary(const QString& name) const {
    return objectType(name).isEmpty() &&
           !rows(QStringLiteral("SELECT 1 FROM temp.sqlite_schema WHERE upper(name) = upper(?)"),
                 {name})
                .empty();
}

QString Catalog::spelled(const QString& name) const {
    const auto found = rows(
        QStringLiteral("SELECT name FROM main.sqlite_schema WHERE upper(name) = upper(?)"), {name});
    return found.empty() ? name : found.front().front();
}

void Catalog::checkFreeName(const QString& name) const {
    bool taken = !objectType(name).isEmpty();
    if (!taken && has(kSequencesTable))
        taken =
            !rows(QStringLiteral("SELECT 1 FROM \"QV$SEQUENCES\" WHERE NAME = upper(?)"), {name})
                 .empty();
    if (taken)
        throw oracleError(955, QStringLiteral("ORA-00955: name is already used by an existing "
                                              "object"));
}

std::vector<ConstraintRow> Catalog::constraints(const QString& where,
                                                const QStringList& binds) const {
    std::vector<ConstraintRow> result;
    if (!has(kConstraintsTable))
        return result;
    for (const QStringList& r :
         rows(QStringLiteral("SELECT NAME, TABLE_NAME, TYPE, COLUMNS, R_TABLE, R_COLUMNS, "
                             "DELETE_RULE, STATUS, VALIDATED, SEARCH_CONDITION, GENERATED FROM "
                             "\"QV$CONSTRAINTS\" WHERE ") +
                  where + QStringLiteral(" ORDER BY rowid"),
              binds)) {
        ConstraintRow c;
        c.name = r[0];
        c.table = r[1];
        c.type = r[2].isEmpty() ? 'C' : char(r[2][0].unicode());
        c.columns = split(r[3]);
        c.refTable = r[4];
        c.refColumns = split(r[5]);
        c.deleteRule = r[6];
        c.enabled = r[7] == u"ENABLED";
        c.validated = r[8] == u"VALIDATED";
        c.condition = r[9];
        c.generated = r[10] == u"GENERATED NAME";
        result.push_back(c);
    }
    return result;
}

std::optional<ConstraintRow> Catalog::constraint(const QString& name) const {
    auto found = constraints(QStringLiteral("NAME = upper(?)"), {name});
    if (found.empty())
        return std::nullopt;
    return found.front();
}

std::vector<ConstraintRow> Catalog::constraintsOf(const QString& table) const {
    return constraints(QStringLiteral("TABLE_NAME = upper(?)"), {table});
}

std::vector<ConstraintRow> Catalog::referencing(const QString& table) const {
    return constraints(QStringLiteral("TYPE = 'R' AND R_TABLE = upper(?)"), {table});
}

void Catalog::store(const ConstraintRow& c) const {
    ensure();
    engineExec(
        QStringLiteral("INSERT OR REPLACE INTO \"QV$CONSTRAINTS\" VALUES (upper(?), "
                       "upper(?), ?, upper(?), upper(?), upper(?), ?, ?, ?, ?, ?)"),
        {c.name, c.table, QString(QChar(c.type)), joined(c.columns), c.refTable,
         joined(c.refColumns), c.type == 'R' ? c.deleteRule : QString(),
         c.enabled ? QStringLiteral("ENABLED") : QStringLiteral("DISABLED"),
         c.validated ? QStringLiteral("VALIDATED") : QStringLiteral("NOT VALIDATED"), c.condition,
         c.generated ? QStringLiteral("GENERATED NAME") : QStringLiteral("USER NAME")});
}

void Catalog::forget(const QString& constraintName) const {
    if (has(kConstraintsTable))
        engineExec(QStringLiteral("DELETE FROM \"QV$CONSTRAINTS\" WHERE NAME = upper(?)"),
                   {constraintName});
}

QString Catalog::systemName() const {
    qint64 next = 10001;
    if (has(kConstraintsTable)) {
        const auto r = rows(QStringLiteral(
            "SELECT max(CAST(substr(NAME, 6) AS INTEGER)) FROM \"QV$CONSTRAINTS\" WHERE NAME "
            "GLOB 'SYS_C[0-9]*'"));
        if (!r.empty() && !r.front().front().isEmpty())
            next = qMax(next, r.front().front().toLongLong() + 1);
    }
    return QStringLiteral("SYS_C%1").arg(next, 7, 10, QChar(u'0'));
}

namespace {

// The constraint or unique index whose columns SQLite names in "UNIQUE constraint failed:
// t.a, t.b" (or "index 'name'").
QString uniqueName(const Catalog& catalog, const QString& detail) {
    static const QRegularExpression kIndex(QStringLiteral(R"(^index '(.+)'$)"));
    if (const auto m = kIndex.match(detail); m.hasMatch())
        return m.captured(1).toUpper();
    QString table;
    QStringList columns;
    for (const QString& piece : detail.split(u',')) {
        table = piece.trimmed().section(u'.', 0, 0);
        columns << piece.trimmed().section(u'.', 1).toUpper();
    }
    for (const ConstraintRow& c : catalog.constraintsOf(table)) {
        if ((c.type == 'P' || c.type == 'U') && c.columns == columns)
            return c.name;
    }
    // A unique index of the user's own, or SQLite's for a key of a table the engine did not make.
    for (const QStringList& index :
         catalog.rows(QStringLiteral("SELECT name FROM pragma_index_list(?) WHERE \"unique\" "
                                     "ORDER BY origin = 'c' DESC"),
                      {table})) {
        QStringList indexed;
        for (const QStringList& col :
             catalog.rows(QStringLiteral("SELECT upper(name) FROM pragma_index_info(?) ORDER BY "
                                         "seqno"),
                          {index.front()}))
            indexed << col.front();
        if (indexed == columns)
            return index.front().toUpper();
    }
    // A rowid key (INTEGER PRIMARY KEY) of a table the engine did not make has no name.
    return {};
}

}  // namespace

std::optional<DbError> constraintFailure(sqlite3* db, Sandbox& sandbox, const QString& user,
                                         const sqlite::Error& error) {
    try {
        const Catalog catalog(db, sandbox, user);
        const QString schema = catalog.schema();
        const QString message = error.description();
        const QString detail = message.section(u':', 1).trimmed();
        auto failure = [&](int code, const QString& words) {
            return oracleError(
                code, QStringLiteral("ORA-%1: %2").arg(code, 5, 10, QChar(u'0')).arg(words));
        };
        switch (error.extendedCode()) {
            case SQLITE_CONSTRAINT_UNIQUE:
            case SQLITE_CONSTRAINT_PRIMARYKEY: {
                const QString name = uniqueName(catalog, detail);
                if (name.isEmpty())
                    return std::nullopt;
                return failure(
                    1, QStringLiteral("unique constraint (%1.%2) violated").arg(schema, name));
            }
            case SQLITE_CONSTRAINT_NOTNULL:
                return failure(1400,
                               QStringLiteral("cannot insert NULL into (\"%1\".\"%2\".\"%3\")")
                                   .arg(schema, detail.section(u'.', 0, 0).toUpper(),
                                        detail.section(u'.', 1).toUpper()));
            case SQLITE_CONSTRAINT_CHECK:
                return failure(2290, QStringLiteral("check constraint (%1.%2) violated")
                                         .arg(schema, detail.toUpper()));
            case SQLITE_CONSTRAINT_TRIGGER:
                // The foreign keys' triggers name their constraint; the schema is the session's.
                if (message.startsWith(u"ORA-0229"))
                    return oracleError(
                        message.mid(4, 5).toInt(),
                        QString(message).replace(QStringLiteral("constraint ("),
                                                 QStringLiteral("constraint (") + schema + u'.'));
                return std::nullopt;
            default:
                break;
        }
        static const QRegularExpression kView(
            QStringLiteral(R"(^cannot modify (.+) because it is a view$)"));
        if (const auto m = kView.match(message); m.hasMatch()) {
            const auto readOnly = catalog.constraints(
                QStringLiteral("TABLE_NAME = upper(?) AND TYPE = 'O'"), {m.captured(1)});
            if (!readOnly.empty())
                return failure(42399, QStringLiteral("cannot perform a DML operation on a "
                                                     "read-only view"));
        }
    } catch (...) {
        // The catalog could not be read: SQLite's failure is reported as it is.
    }
    return std::nullopt;
}

}  // namespace qv::embedded
