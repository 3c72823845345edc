#include "core/embedded/catalog/identity.h"

#include "core/embedded/catalog/schemacommands.h"
#include "core/embedded/catalog/sequencedefs.h"
#include "core/embedded/values/oracleerrors.h"
#include "core/sql/tokenlist.h"

namespace qv::embedded {

namespace {

const char* const kCreateIdentityTable =
    "CREATE TABLE IF NOT EXISTS \"QV$IDENTITY_COLS\" (TABLE_NAME TEXT NOT NULL, COLUMN_NAME TEXT "
    "NOT NULL, SEQUENCE_NAME TEXT NOT NULL UNIQUE, GENERATION_TYPE TEXT NOT NULL, "
    "DEFAULT_ON_NULL TEXT NOT NULL, START_WITH TEXT, PRIMARY KEY (TABLE_NAME, COLUMN_NAME))";

// The identity options of a column: a sequence's, and START WITH LIMIT VALUE.
struct IdentityOptions {
    SequenceDef sequence;
    bool limitValue = false;
};

IdentityOptions readOptions(const QString& text, const SequenceDef& from) {
    const std::vector<sql::Token> all = sql::tokenize(text);
    std::vector<sql::Token> t;
    IdentityOptions o;
    for (size_t i = 0; i < all.size(); ++i) {
        if (i + 3 < all.size() && all[i].is(u"START") && all[i + 1].is(u"WITH") &&
            all[i + 2].is(u"LIMIT") && all[i + 3].is(u"VALUE")) {
            o.limitValue = true;
            i += 3;
        } else if (all[i].kind != sql::TokenKind::Comment) {
            t.push_back(all[i]);
        }
    }
    o.sequence = sequenceOptions(t, 0, t.size(), from);
    return o;
}

const ColumnDef* identityColumn(const TableDef& def) {
    for (const ColumnDef& c : def.columns) {
        if (c.identity && !c.identity->drop)
            return &c;
    }
    return nullptr;
}

// ISEQ$$_n with n past every one the file has, and no other object's name.
QString newSequenceName(const Catalog& catalog) {
    qint64 n = 0;
    if (catalog.has(kSequencesTable)) {
        const auto top = catalog.rows(
            QStringLiteral("SELECT max(CAST(substr(NAME, 8) AS INTEGER)) FROM \"QV$SEQUENCES\" "
                           "WHERE substr(NAME, 1, 7) = 'ISEQ$$_'"));
        n = top.empty() ? 0 : top.front().front().toLongLong();
    }
    QString name;
    do {
        name = QStringLiteral("ISEQ$$_%1").arg(++n);
    } while (!catalog.objectType(name).isEmpty());
    return name;
}

QString generation(bool always) {
    return always ? QStringLiteral("ALWAYS") : QStringLiteral("BY DEFAULT");
}

QString yesNo(bool yes) {
    return yes ? QStringLiteral("YES") : QStringLiteral("NO");
}

// The value after the column's highest (lowest for a descending sequence); nullopt when the
// table has no value in it.
std::optional<WideValue> pastColumn(const Catalog& catalog, const QString& table,
                                    const QString& column, const SequenceDef& d) {
    const auto found =
        catalog.rows(QStringLiteral("SELECT CAST(%1(%2) AS INTEGER) FROM %3")
                         .arg(d.increment > 0 ? QStringLiteral("max") : QStringLiteral("min"),
                              sql::quotedName(column), sql::quotedName(catalog.spelled(table))));
    if (found.empty() || found.front().front().isEmpty())
        return std::nullopt;
    return WideValue(found.front().front().toLongLong()) + d.increment;
}

}  // namespace

std::optional<IdentityColumn> identityOf(const Catalog& catalog, const QString& table) {
    if (!catalog.has(kIdentityTable))
        return std::nullopt;
    const auto found =
        catalog.rows(QStringLiteral("SELECT TABLE_NAME, COLUMN_NAME, SEQUENCE_NAME, "
                                    "GENERATION_TYPE, DEFAULT_ON_NULL FROM \"QV$IDENTITY_COLS\" "
                                    "WHERE TABLE_NAME = upper(?)"),
                     {table});
    if (found.empty())
        return std::nullopt;
    const QStringList& r = found.front();
    return IdentityColumn{r[0], r[1], r[2], r[3] == u"ALWAYS", r[4] == u"YES"};
}

bool isIdentitySequence(const Catalog& catalog, const QString& name) {
    return catalog.has(kIdentityTable) &&
           !catalog
                .rows(QStringLiteral("SELECT 1 FROM \"QV$IDENTITY_COLS\" WHERE SEQUENCE_NAME = "
                                     "upper(?)"),
                      {name})
                .empty();
}

void checkIdentity(const TableDef& def, bool existing) {
    int count = existing ? 1 : 0;
    for (const ColumnDef& c : def.columns) {
        if (!c.identity || c.identity->drop)
            continue;
        if (++count > 1)
            throw oracleError(30669, QStringLiteral("ORA-30669: table can have only one identity "
                                                    "column"));
        if (datatypeOf(c.type) != u"NUMBER")
            throw oracleError(30675, QStringLiteral("ORA-30675: identity column must be a "
                                                    "numeric type"));
        if (!c.defaultText.isEmpty())
            throw oracleError(30674, QStringLiteral("ORA-30674: identity column cannot have a "
                                                    "default value"));
    }
}

void makeIdentity(const Catalog& catalog, const TableDef& def) {
    const ColumnDef* col = identityColumn(def);
    if (!col)
        return;
    IdentityOptions o = readOptions(col->identity->options, SequenceDef());
    SequenceDef& d = o.sequence;
    d.stamp = newSequenceStamp();
    const WideValue first = d.start.value_or(d.first());
    checkSequenceBounds(d, first);
    const QString name = newSequenceName(catalog);
    saveSequence(catalog, name, d, first);
    catalog.engineExec(QString::fromLatin1(kCreateIdentityTable));
    catalog.engineExec(
        QStringLiteral("INSERT INTO \"QV$IDENTITY_COLS\" VALUES (upper(?), upper(?), "
                       "?, ?, ?, ?)"),
        {def.name, col->name, name, generation(col->identity->always), yesNo(col->identity->onNull),
         wideText(first)});
}

void numberRows(const Catalog& catalog, const QString& table) {
    if (const std::optional<IdentityColumn> identity = identityOf(catalog, table))
        catalog.userExec(QStringLiteral("UPDATE %1 SET %2 = qv_nextval(%3)")
                             .arg(sql::quotedName(catalog.spelled(table)),
                                  sql::quotedName(identity->column),
                                  sql::quotedString(identity->sequence)));
}

void modifyIdentity(const Catalog& catalog, const TableDef& def, const ColumnDef& wanted) {
    const std::optional<IdentityColumn> current = identityOf(catalog, def.name);
    if (!current || current->column != wanted.name.toUpper())
        throw oracleError(30673, QStringLiteral("ORA-30673: column to be modified is not an "
                                                "identity column"));
    const IdentityClause& clause = *wanted.identity;
    if (clause.drop) {
        forgetIdentity(catalog, def.name, current->column);
        return;
    }
    std::optional<WideValue> startWith;
    if (!clause.options.trimmed().isEmpty()) {
        const auto found = storedSequence(catalog, current->sequence);
        if (!found)
            throw oracleError(2289, QStringLiteral("ORA-02289: sequence does not exist"));
        IdentityOptions o = readOptions(clause.options, found->first);
        SequenceDef& d = o.sequence;
        const WideValue next = forgetIssued(catalog.db(), current->sequence, found->first.stamp)
                                   .value_or(found->second);
        startWith = o.limitValue ? pastColumn(catalog, def.name, current->column, d) : d.start;
        if (startWith) {
            d.stamp = newSequenceStamp();
            checkSequenceBounds(d, *startWith);
            saveSequence(catalog, current->sequence, d, *startWith);
        } else {
            saveSequence(catalog, current->sequence, d,
                         next - found->first.increment + d.increment);
        }
    }
    catalog.engineExec(QStringLiteral("UPDATE \"QV$IDENTITY_COLS\" SET GENERATION_TYPE = ?2, "
                                      "DEFAULT_ON_NULL = ?3, START_WITH = coalesce(?4, START_WITH) "
                                      "WHERE SEQUENCE_NAME = ?1"),
                       {current->sequence, generation(clause.always), yesNo(clause.onNull),
                        startWith ? wideText(*startWith) : QString()});
}

void forgetIdentity(const Catalog& catalog, const QString& table, const QString& column) {
    if (!catalog.has(kIdentityTable))
        return;
    for (const QStringList& r :
         catalog.rows(QStringLiteral("SELECT SEQUENCE_NAME FROM \"QV$IDENTITY_COLS\" WHERE "
                                     "TABLE_NAME = upper(?1) AND (?2 = '' OR COLUMN_NAME = "
                                     "upper(?2))"),
                      {table, column.isNull() ? QStringLiteral("") : column})) {
        if (const auto found = storedSequence(catalog, r.front()))
            forgetIssued(catalog.db(), r.front(), found->first.stamp);
        catalog.engineExec(QStringLiteral("DELETE FROM \"QV$SEQUENCES\" WHERE NAME = ?"),
                           {r.front()});
        catalog.engineExec(
            QStringLiteral("DELETE FROM \"QV$IDENTITY_COLS\" WHERE SEQUENCE_NAME = ?"),
            {r.front()});
    }
}

void renameIdentity(const Catalog& catalog, const QString& table, const QString& newTable,
                    const QString& column, const QString& newColumn) {
    if (!catalog.has(kIdentityTable))
        return;
    if (column.isEmpty())
        catalog.engineExec(QStringLiteral("UPDATE \"QV$IDENTITY_COLS\" SET TABLE_NAME = upper(?2) "
                                          "WHERE TABLE_NAME = upper(?1)"),
                           {table, newTable});
    else
        catalog.engineExec(
            QStringLiteral("UPDATE \"QV$IDENTITY_COLS\" SET COLUMN_NAME = upper(?3) "
                           "WHERE TABLE_NAME = upper(?1) AND COLUMN_NAME = upper(?2)"),
            {table, column, newColumn});
}

}  // namespace qv::embedded
