#include "gui/historyrunmodel.h"

#include "core/db/dberror.h"
#include "core/history/runcomparison.h"
#include "gui/plaintext.h"

namespace qv {

namespace {

QString endText(RunEnd end) {
    switch (end) {
        case RunEnd::Failed:
            return QStringLiteral("エラー");
        case RunEnd::Stopped:
            return QStringLiteral("中止");
        case RunEnd::Done:
            break;
    }
    return QStringLiteral("完了");
}

QString cellText(const RunSummary& r, int column) {
    const auto& f = r.facts;
    switch (column) {
        case HistoryRunModel::Number:
            return QString::number(r.number);
        case HistoryRunModel::Time:
            return r.timestamp;
        case HistoryRunModel::Service:
            return f ? f->service : QString();
        case HistoryRunModel::User:
            return f ? f->user : QString();
        case HistoryRunModel::Sql:
            return r.oneLine();
        case HistoryRunModel::Rows:
            return f && f->rowCount ? QString::number(*f->rowCount) : QString();
        case HistoryRunModel::Elapsed:
            return f ? elapsedText(f->elapsedMs) : QString();
        case HistoryRunModel::End:
            return f ? endText(f->end) : QString();
        default:
            return QString();
    }
}

}  // namespace

HistoryRunModel::HistoryRunModel(QObject* parent) : QAbstractTableModel(parent) {}

void HistoryRunModel::load(const QString& path, const QString& filter) {
    beginResetModel();
    try {
        runs_.load(path, filter);
    } catch (const DbError&) {
        endResetModel();
        throw;
    }
    endResetModel();
}

void HistoryRunModel::refresh() {
    RunList next = runs_;
    std::optional<qsizetype> added;
    try {
        added = next.refresh();
    } catch (const DbError&) {
        beginResetModel();
        runs_.load(QString(), runs_.filter());
        endResetModel();
        throw;
    }
    if (!added) {
        beginResetModel();
        runs_ = std::move(next);
        endResetModel();
    } else if (*added > 0) {
        beginInsertRows({}, 0, int(*added) - 1);
        runs_ = std::move(next);
        endInsertRows();
    } else {
        runs_ = std::move(next);
    }
}

QString HistoryRunModel::statementAt(int row) const {
    const std::optional<RunSummary> r = runs_.at(row);
    return r ? r->sql : QString();
}

int HistoryRunModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(runs_.size());
}

int HistoryRunModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant HistoryRunModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    const int column = index.column();
    if (role == Qt::TextAlignmentRole)
        return column == Number || column == Rows || column == Elapsed
                   ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                   : QVariant();
    if (role == Qt::DisplayRole && column == Number)
        return QString::number(runs_.numberAt(index.row()));
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const std::optional<RunSummary> r = runs_.at(index.row());
    if (!r)
        return {};
    if (role == Qt::ToolTipRole)
        return column == Sql ? QVariant(plainToolTip(r->sql)) : QVariant();
    return cellText(*r, column);
}

QVariant HistoryRunModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const QStringList kHeadings{QStringLiteral("No."),      QStringLiteral("時刻"),
                                       QStringLiteral("サービス"), QStringLiteral("ユーザ"),
                                       QStringLiteral("SQL"),      QStringLiteral("行数"),
                                       QStringLiteral("経過時間"), QStringLiteral("結果")};
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < kHeadings.size())
        return kHeadings[section];
    return QAbstractTableModel::headerData(section, orientation, role);
}

}  // namespace qv
