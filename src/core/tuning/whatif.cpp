// Virtual indexes tried on the run session (whatif.h).
#include "core/tuning/whatif.h"

#include "core/sql/tokenlist.h"
#include "core/tuning/planstep.h"
#include "core/tuning/tuningrun.h"

#include <QRegularExpression>

#include <cmath>

namespace qv {

namespace {

// An Oracle block's fixed header and the space PCTFREE 10 leaves free in a leaf.
constexpr double kBlockHeaderBytes = 192;
constexpr double kUsedFraction = 0.9;
// A leaf entry besides its key: the rowid (6), the row header (2) and its slot in the block (2).
constexpr double kLeafEntryOverhead = 10;
// A branch entry besides its key: the child's block address (4), header and slot (4).
constexpr double kBranchEntryOverhead = 8;
constexpr int kDefaultBlockSize = 8192;

QString idText(const QString& statement) {
    QString s = statement;
    return s.replace(QStringLiteral("'QUERVIN'"), u'\'' + kWhatIfStatementId + u'\'');
}

QString deleteStatement(const QString& table) {
    return idText(planDeleteStatement(table));
}

QString explainStatement(const QString& table, const QString& sql) {
    return idText(explainPlanStatement(table, sql));
}

QString predicatesQuery(const QString& table, bool alias) {
    return QStringLiteral("SELECT ID, ACCESS_PREDICATES, FILTER_PREDICATES") +
           (alias ? QStringLiteral(", OBJECT_ALIAS") : QString()) + QStringLiteral(" FROM ") +
           table + QStringLiteral(" WHERE STATEMENT_ID = '") + kWhatIfStatementId +
           QStringLiteral("' ORDER BY ID");
}

// The plan rows as the plan query gives them; each line's parent is the nearest line above it
// one level up.
QList<PlanLine> readPlan(Recordset& rs) {
    QList<PlanLine> lines = readPlanLines(rs);
    for (qsizetype k = 0; k < lines.size(); ++k) {
        for (qsizetype i = k - 1; i >= 0; --i) {
            if (lines[i].depth == lines[k].depth - 1) {
                lines[k].parentId = lines[i].id;
                break;
            }
        }
    }
    return lines;
}

bool isPrivilegeError(const DbError& e) {
    return e.description().contains(QStringLiteral("ORA-01031"));
}

// A name as SQL writes it: plain when it reads the same unquoted.
QString identifier(const QString& name) {
    static const QRegularExpression plain(QStringLiteral("^[A-Z][A-Z0-9_$#]*$"));
    return plain.match(name).hasMatch() ? name : sql::quotedName(name);
}

QString sqlString(const QString& text) {
    return sql::quotedString(text);
}

}  // namespace

VirtualIndexStatistics virtualIndexStatistics(const TableStatistics& table, const QStringList& key,
                                              int blockSize, ClusteringAssumption clustering) {
    VirtualIndexStatistics s;
    s.numRows = std::max<int64_t>(0, table.numRows);
    double keyBytes = 0;
    double distinct = 1;
    for (const QString& column : key) {
        const auto found = table.columns.constFind(column.toUpper());
        if (found == table.columns.cend()) {
            keyBytes += kExpressionColumnBytes;
            distinct *= double(std::max<int64_t>(1, s.numRows));
        } else {
            keyBytes += found->avgColLen;
            distinct *= double(std::max<int64_t>(1, found->numDistinct));
        }
    }
    s.distinctKeys = int64_t(std::min(double(s.numRows), distinct));
    const double usable = (double(std::max(blockSize, 1024)) - kBlockHeaderBytes) * kUsedFraction;
    s.leafBlocks = std::max<int64_t>(
        1, int64_t(std::ceil(double(s.numRows) * (keyBytes + kLeafEntryOverhead) / usable)));
    const double fanOut = std::max(2.0, std::floor(usable / (keyBytes + kBranchEntryOverhead)));
    s.blevel = s.leafBlocks <= 1
                   ? 0
                   : int64_t(std::ceil(std::log(double(s.leafBlocks)) / std::log(fanOut) - 1e-9));
    s.clusteringFactor = clustering == ClusteringAssumption::Best
                             ? std::max<int64_t>(1, table.blocks)
                             : std::max<int64_t>(1, s.numRows);
    const double keys = double(std::max<int64_t>(1, s.distinctKeys));
    s.avgLeafBlocksPerKey = std::max<int64_t>(1, llround(double(s.leafBlocks) / keys));
    s.avgDataBlocksPerKey = std::max<int64_t>(1, llround(double(s.clusteringFactor) / keys));
    return s;
}

QString virtualIndexName(int64_t sid, int64_t serial, int n) {
    return kVirtualIndexPrefix + QString::number(sid) + u'_' + QString::number(serial) + u'_' +
           QString::number(n);
}

QString nosegmentIndexStatement(const IndexDefinition& index, const QString& name) {
    QString s = QStringLiteral("CREATE ");
    if (index.unique)
        s += QStringLiteral("UNIQUE ");
    if (index.bitmap)
        s += QStringLiteral("BITMAP ");
    const QString table = index.owner.isEmpty()
                              ? identifier(index.table)
                              : identifier(index.owner) + u'.' + identifier(index.table);
    return s + QStringLiteral("INDEX ") + name + QStringLiteral(" ON ") + table +
           QStringLiteral(" (") + index.columns.join(QStringLiteral(", ")) +
           QStringLiteral(") NOSEGMENT");
}

QString setIndexStatsStatement(const QString& owner, const QString& name,
                               const VirtualIndexStatistics& s) {
    return QStringLiteral("BEGIN DBMS_STATS.SET_INDEX_STATS(ownname => ") + sqlString(owner) +
           QStringLiteral(", indname => ") + sqlString(name) +
           QStringLiteral(
               ", numrows => %1, numlblks => %2, numdist => %3, avglblk => %4, "
               "avgdblk => %5, clstfct => %6, indlevel => %7); END;")
               .arg(s.numRows)
               .arg(s.leafBlocks)
               .arg(s.distinctKeys)
               .arg(s.avgLeafBlocksPerKey)
               .arg(s.avgDataBlocksPerKey)
               .arg(s.clusteringFactor)
               .arg(s.blevel);
}

QVariant planCost(const QList<PlanLine>& plan) {
    return plan.isEmpty() ? QVariant() : plan.first().cost;
}

QList<PlanLine> WhatIf::explain(const QString& sql) {
    if (!isValidPlanTableName(planTable_))
        throw DbError(kErrOdbcCall, QStringLiteral("ORA-00903: invalid table name"));
    QList<PlanLine> lines;
    try {
        db_.openRecordset(explainStatement(planTable_, sqlToSend(sql)))->close();
        lines = readPlan(*db_.openRecordset(idText(planQueryStatement(planTable_))));
        for (bool alias : {true, false}) {
            try {
                std::unique_ptr<Recordset> rs =
                    db_.openRecordset(predicatesQuery(planTable_, alias));
                while (!rs->eof()) {
                    const int64_t id = rs->value(QStringLiteral("ID")).toLongLong();
                    for (PlanLine& line : lines) {
                        if (line.id != id)
                            continue;
                        line.accessPredicates =
                            textOrEmpty(rs->value(QStringLiteral("ACCESS_PREDICATES")));
                        line.filterPredicates =
                            textOrEmpty(rs->value(QStringLiteral("FILTER_PREDICATES")));
                        if (alias)
                            line.objectAlias =
                                textOrEmpty(rs->value(QStringLiteral("OBJECT_ALIAS")));
                    }
                    rs->moveNext();
                }
                rs->close();
                break;
            } catch (const DbError&) {
                // A plan table without these columns: the plan is read without them.
            }
        }
    } catch (const DbError& e) {
        // Whatever of the explain's rows there are go with the failure.
        try {
            db_.openRecordset(deleteStatement(planTable_))->close();
        } catch (const DbError&) {
        }
        if (e.number() == kErrOdbcCall && e.description().contains(QStringLiteral("ORA-02404")))
            throw DbError(e.number(), e.description() + QStringLiteral("実行計画表 ") + planTable_ +
                                          QStringLiteral(" が存在しません。"));
        throw;
    } catch (...) {
        try {
            db_.openRecordset(deleteStatement(planTable_))->close();
        } catch (const DbError&) {
        }
        throw;
    }
    db_.openRecordset(deleteStatement(planTable_))->close();
    db_.takeWarnings();
    return lines;
}

QList<IndexCandidate> WhatIf::candidates(const QString& sql, QList<PlanLine>* current) {
    const QList<PlanLine> plan = explain(sql);
    if (current)
        *current = plan;
    ExistingIndexes existing;
    for (const PlanLine& line : plan) {
        if (line.operation != u"TABLE ACCESS" || !line.objectName ||
            existing.contains(*line.objectName))
            continue;
        const QString& table = *line.objectName;
        const bool own = line.objectOwner.isEmpty() || line.objectOwner.toUpper() == user_;
        const QString query =
            own ? QStringLiteral(
                      "SELECT INDEX_NAME, COLUMN_NAME FROM USER_IND_COLUMNS WHERE "
                      "TABLE_NAME = ") +
                      sqlString(table)
                : QStringLiteral(
                      "SELECT INDEX_NAME, COLUMN_NAME FROM ALL_IND_COLUMNS WHERE "
                      "TABLE_OWNER = ") +
                      sqlString(line.objectOwner) + QStringLiteral(" AND TABLE_NAME = ") +
                      sqlString(table);
        QList<QStringList>& indexes = existing[table];
        QString last;
        std::unique_ptr<Recordset> rs =
            db_.openRecordset(query + QStringLiteral(" ORDER BY INDEX_NAME, COLUMN_POSITION"));
        while (!rs->eof()) {
            const QString index = textOrEmpty(rs->value(QStringLiteral("INDEX_NAME")));
            // Another window's virtual index is not there for the statement to use.
            if (index.startsWith(kVirtualIndexPrefix)) {
                rs->moveNext();
                continue;
            }
            if (index != last || indexes.isEmpty())
                indexes.append(QStringList());
            last = index;
            indexes.last().append(textOrEmpty(rs->value(QStringLiteral("COLUMN_NAME"))));
            rs->moveNext();
        }
        rs->close();
    }
    return indexCandidates(plan, sql, existing);
}

TableStatistics WhatIf::tableStatistics(const QString& owner, const QString& table) {
    const bool own = owner.isEmpty() || owner == user_;
    const QString where = own ? QStringLiteral(" WHERE TABLE_NAME = ") + sqlString(table)
                              : QStringLiteral(" WHERE OWNER = ") + sqlString(owner) +
                                    QStringLiteral(" AND TABLE_NAME = ") + sqlString(table);
    const QString prefix = own ? QStringLiteral("USER_") : QStringLiteral("ALL_");
    TableStatistics s;
    std::unique_ptr<Recordset> rs =
        db_.openRecordset(QStringLiteral("SELECT NUM_ROWS, BLOCKS FROM ") + prefix +
                          QStringLiteral("TABLES") + where);
    if (!rs->eof()) {
        s.numRows = rs->value(QStringLiteral("NUM_ROWS")).toLongLong();
        s.blocks = rs->value(QStringLiteral("BLOCKS")).toLongLong();
    }
    rs->close();
    rs = db_.openRecordset(QStringLiteral("SELECT COLUMN_NAME, NUM_DISTINCT, AVG_COL_LEN FROM ") +
                           prefix + QStringLiteral("TAB_COLUMNS") + where);
    while (!rs->eof()) {
        s.columns.insert(textOrEmpty(rs->value(QStringLiteral("COLUMN_NAME"))).toUpper(),
                         {rs->value(QStringLiteral("NUM_DISTINCT")).toLongLong(),
                          rs->value(QStringLiteral("AVG_COL_LEN")).toDouble()});
        rs->moveNext();
    }
    rs->close();
    return s;
}

int WhatIf::blockSize() {
    try {
        std::unique_ptr<Recordset> rs = db_.openRecordset(kBlockSizeQuery);
        const int size = rs->eof() ? 0 : rs->value(0).toInt();
        rs->close();
        if (size > 0)
            return size;
    } catch (const DbError&) {
        // V$PARAMETER not granted: Oracle's default block size.
    }
    return kDefaultBlockSize;
}

QString WhatIf::nextName() {
    if (sessionTag_.isEmpty()) {
        std::unique_ptr<Recordset> rs = db_.openRecordset(kOwnSessionQuery);
        if (rs->eof())
            throw DbError(kErrOdbcCall, QStringLiteral("V$SESSION does not show this session."));
        sessionTag_ = QString::number(rs->value(0).toLongLong()) + u'_' +
                      QString::number(rs->value(1).toLongLong());
        rs->close();
    }
    const QString name = kVirtualIndexPrefix + sessionTag_ + u'_' + QString::number(++counter_);
    if (name.toUtf8().size() > 30)
        throw DbError(kErrOdbcCall, QStringLiteral("ORA-00972: identifier is too long"));
    return name;
}

void WhatIf::tryWhatIf(const QString& sql, const QList<IndexDefinition>& indexes,
                       ClusteringAssumption clustering, WhatIfResult& result, QStringList& created,
                       bool& parameterSet) {
    // Everything read first, so that a failure here leaves nothing to drop.
    const int block = blockSize();
    QList<VirtualIndexStatistics> statistics;
    QHash<QString, TableStatistics> tables;
    for (const IndexDefinition& index : indexes) {
        const QString key = index.owner + u'.' + index.table;
        if (!tables.contains(key))
            tables.insert(key, tableStatistics(index.owner, index.table));
        statistics.append(
            virtualIndexStatistics(tables[key], index.columnNames, block, clustering));
    }
    QStringList names;
    for (int i = 0; i < indexes.size(); ++i) {
        names.append(nextName());
        try {
            db_.execute(nosegmentIndexStatement(indexes[i], names.last()));
        } catch (const DbError& e) {
            if (isPrivilegeError(e)) {
                result.outcome = WhatIfOutcome::NoIndexPrivilege;
                result.message = e.description() + kMsgNoIndexPrivilege;
            }
            throw;
        }
        created.append(names.last());
    }
    parameterSet = true;
    try {
        db_.execute(kNosegmentOn);
    } catch (const DbError& e) {
        result.outcome = WhatIfOutcome::NoParameterPrivilege;
        result.message = e.description() + kMsgNoParameterPrivilege;
        throw;
    }
    for (int i = 0; i < indexes.size(); ++i)
        db_.execute(setIndexStatsStatement(user_, names[i], statistics[i]));
    result.statistics = statistics;
    result.whatIf = explain(sql);
}

WhatIfResult WhatIf::run(const QString& sql, const QList<IndexDefinition>& indexes,
                         ClusteringAssumption clustering, const SessionTransaction& transaction,
                         const std::function<Answer(const QString&)>& ask) {
    WhatIfResult result;
    if (transaction.pending) {
        result.outcome = WhatIfOutcome::Refused;
        result.message = kMsgWhatIfPending;
        return result;
    }
    if (!agreed_) {
        if (ask(kMsgWhatIfDdl) != Answer::Yes) {
            result.outcome = WhatIfOutcome::Refused;
            return result;
        }
        agreed_ = true;
    }
    QStringList created;
    bool parameterSet = false;
    try {
        result.current = explain(sql);
        tryWhatIf(sql, indexes, clustering, result, created, parameterSet);
        result.outcome = WhatIfOutcome::Done;
    } catch (const DbError& e) {
        if (result.message.isEmpty())
            result.message = e.description();
        result.whatIf.clear();
    }
    for (const QString& name : created) {
        try {
            db_.execute(QStringLiteral("DROP INDEX ") + name);
        } catch (const DbError&) {
            undropped_.append(name);
        }
    }
    if (parameterSet) {
        try {
            db_.execute(kNosegmentOff);
        } catch (const DbError&) {
            // It could not be set either; nothing is left on.
        }
    }
    db_.takeWarnings();
    return result;
}

void WhatIf::dropAll() {
    QStringList left;
    for (const QString& name : std::as_const(undropped_)) {
        try {
            db_.execute(QStringLiteral("DROP INDEX ") + name);
        } catch (const DbError&) {
            left.append(name);
        }
    }
    undropped_ = left;
}

QStringList WhatIf::dropLeftovers(Database& db) {
    QStringList names, dropped;
    try {
        std::unique_ptr<Recordset> rs = db.openRecordset(kLeftoversQuery);
        while (!rs->eof()) {
            names.append(textOrEmpty(rs->value(0)));
            rs->moveNext();
        }
        rs->close();
    } catch (const DbError&) {
        return dropped;
    }
    static const QRegularExpression ours(QStringLiteral("^QVWI_(\\d+)_(\\d+)_\\d+$"));
    for (const QString& name : std::as_const(names)) {
        const QRegularExpressionMatch m = ours.match(name);
        if (!m.hasMatch())
            continue;
        // A session on another instance of a cluster is only in GV$SESSION; a session the views
        // cannot be asked about counts as alive.
        bool alive = true;
        for (const char* view : {"GV$SESSION", "V$SESSION"}) {
            try {
                std::unique_ptr<Recordset> rs =
                    db.openRecordset(QStringLiteral("SELECT COUNT(*) FROM ") + QLatin1String(view) +
                                     QStringLiteral(" WHERE SID = ") + m.captured(1) +
                                     QStringLiteral(" AND SERIAL# = ") + m.captured(2));
                alive = !rs->eof() && rs->value(0).toLongLong() > 0;
                rs->close();
                break;
            } catch (const DbError&) {
            }
        }
        if (alive)
            continue;
        try {
            db.execute(QStringLiteral("DROP INDEX ") + name);
            dropped.append(name);
        } catch (const DbError&) {
            // Someone else dropped it meanwhile, or it cannot be: the next login tries again.
        }
    }
    db.takeWarnings();
    return dropped;
}

}  // namespace qv
