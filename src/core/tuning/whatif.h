#pragma once

#include "core/connection/sessiontransaction.h"
#include "core/db/database.h"
#include "core/tuning/indexcandidates.h"
#include "core/tuning/runwindow.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

namespace qv {

// The statement id of a what-if's plan rows, apart from the window's own (QUERVIN).
inline const QString kWhatIfStatementId = QStringLiteral("QUERVIN_WI");
// The prefix of the program's virtual indexes: QVWI_<SID>_<SERIAL#>_<n>.
inline const QString kVirtualIndexPrefix = QStringLiteral("QVWI_");

// What the clustering factor of an index that does not exist is taken to be: the table's rows
// in index order (BLOCKS) or scattered over it (NUM_ROWS).
enum class ClusteringAssumption { Best, Worst };

struct ColumnStatistics {
    int64_t numDistinct = 0;
    double avgColLen = 0;
};

// What the dictionary says of a table: USER_TABLES (ALL_TABLES) and its columns' statistics.
struct TableStatistics {
    int64_t numRows = 0;
    int64_t blocks = 0;
    QHash<QString, ColumnStatistics> columns;  // by upper-case column name
};

// The statistics given to a virtual index (DBMS_STATS.SET_INDEX_STATS's arguments).
struct VirtualIndexStatistics {
    int64_t numRows = 0;
    int64_t leafBlocks = 0;
    int64_t distinctKeys = 0;
    int64_t avgLeafBlocksPerKey = 0;
    int64_t avgDataBlocksPerKey = 0;
    int64_t clusteringFactor = 0;
    int64_t blevel = 0;
};

// The statistics of an index on `key` (column names; an expression counts as a column of
// kExpressionColumnBytes with as many distinct values as the table has rows) of a table with
// `table`'s statistics, at `blockSize` bytes a block: the formulas the README gives.
VirtualIndexStatistics virtualIndexStatistics(const TableStatistics& table, const QStringList& key,
                                              int blockSize, ClusteringAssumption clustering);
inline constexpr double kExpressionColumnBytes = 10;

// The what-if's own statements.
QString virtualIndexName(int64_t sid, int64_t serial, int n);
QString nosegmentIndexStatement(const IndexDefinition& index, const QString& name);
QString setIndexStatsStatement(const QString& owner, const QString& name,
                               const VirtualIndexStatistics& s);
inline const QString kNosegmentOn =
    QStringLiteral("ALTER SESSION SET \"_use_nosegment_indexes\" = TRUE");
inline const QString kNosegmentOff =
    QStringLiteral("ALTER SESSION SET \"_use_nosegment_indexes\" = FALSE");
inline const QString kOwnSessionQuery =
    QStringLiteral("SELECT SID, SERIAL# FROM V$SESSION WHERE SID = SYS_CONTEXT('USERENV','SID')");
inline const QString kBlockSizeQuery =
    QStringLiteral("SELECT VALUE FROM V$PARAMETER WHERE NAME = 'db_block_size'");
inline const QString kLeftoversQuery = QStringLiteral(
    "SELECT OBJECT_NAME FROM USER_OBJECTS WHERE OBJECT_TYPE = 'INDEX' AND OBJECT_NAME LIKE "
    "'QVWI\\_%' ESCAPE '\\'");

// Texts the what-if shows.
inline const QString kMsgWhatIfPending = QStringLiteral(
    "確定していない変更があります。コミットまたはロールバックしてから索引を試してください。");
inline const QString kMsgWhatIfDdl = QStringLiteral(
    "索引を試すには仮想索引を作成して削除します。これは DDL のため、保留中の作業を"
    "確定し、表の共有カーソルを無効にします。続けますか？");
inline const QString kMsgNoIndexPrivilege =
    QStringLiteral("索引を作成する権限がないため、索引を試せません。");
inline const QString kMsgNoParameterPrivilege =
    QStringLiteral("パラメータ \"_use_nosegment_indexes\" を設定できないため、索引を試せません。");
inline const QString kMsgNotCreateIndex = QStringLiteral("CREATE INDEX 文ではありません: ");

// How a what-if ended.
enum class WhatIfOutcome {
    Done,
    Refused,               // changes were pending, or the user declined; nothing was sent
    NoIndexPrivilege,      // CREATE INDEX was refused: only a real index can be tried
    NoParameterPrivilege,  // the parameter could not be set
    Failed,                // another failure, told in `message`
};

struct WhatIfResult {
    WhatIfOutcome outcome = WhatIfOutcome::Failed;
    QString message;          // what failed (the ORA text first) or why it was refused
    QList<PlanLine> current;  // the plan without the indexes
    QList<PlanLine> whatIf;   // the plan as if they existed
    QList<VirtualIndexStatistics> statistics;  // given to each index, in order
    bool done() const { return outcome == WhatIfOutcome::Done; }
};

// Total cost of a plan: its first line's; null when it has none.
QVariant planCost(const QList<PlanLine>& plan);

// What-ifs on one run session. It holds the session's virtual-index counter, whether the user
// agreed to DDL on it, and the names of indexes it could not drop yet; a new login starts a new
// one.
class WhatIf {
  public:
    // `user` is the login's user name; `planTable` the plan table the window explains into.
    WhatIf(Database& db, QString user, QString planTable)
        : db_(db), user_(std::move(user).toUpper()), planTable_(std::move(planTable)) {}

    // Explains `sql` as it stands (under QUERVIN_WI, its rows deleted after) and proposes the
    // indexes worth trying for it (indexCandidates()). Throws DbError.
    QList<IndexCandidate> candidates(const QString& sql, QList<PlanLine>* current = nullptr);

    // Explains `sql` as it stands and as if `indexes` existed, without building them. Refused
    // while `transaction` has changes pending; the first what-if asks `ask` first. Whatever
    // happens, the indexes are dropped and the parameter set back to FALSE before it returns.
    WhatIfResult run(const QString& sql, const QList<IndexDefinition>& indexes,
                     ClusteringAssumption clustering, const SessionTransaction& transaction,
                     const std::function<Answer(const QString&)>& ask);

    // Drops what a what-if could not drop (the dialog or the window closes, the user logs out).
    void dropAll();
    const QStringList& undropped() const { return undropped_; }

    // At login: drops the program's virtual indexes of the user whose session is gone from
    // (G)V$SESSION, never one of a live session; the names dropped. Cannot fail.
    static QStringList dropLeftovers(Database& db);

  private:
    QList<PlanLine> explain(const QString& sql);
    TableStatistics tableStatistics(const QString& owner, const QString& table);
    int blockSize();
    QString nextName();
    void tryWhatIf(const QString& sql, const QList<IndexDefinition>& indexes,
                   ClusteringAssumption clustering, WhatIfResult& result, QStringList& created,
                   bool& parameterSet);

    Database& db_;
    QString user_;
    QString planTable_;
    bool agreed_ = false;
    int counter_ = 0;
    QString sessionTag_;  // "<SID>_<SERIAL#>", read once
    QStringList undropped_;
};

}  // namespace qv
