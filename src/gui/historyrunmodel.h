#pragma once

#include "core/history/runlist.h"

#include <QAbstractTableModel>

namespace qv {

// The history window's list: the runs of a RunList, one row each, read as the rows are shown.
// Columns: No., 時刻, サービス, ユーザ, SQL (the statement on one line; the whole of it in the
// tooltip), 行数, 経過時間, 結果.
class HistoryRunModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { Number, Time, Service, User, Sql, Rows, Elapsed, End, ColumnCount };

    explicit HistoryRunModel(QObject* parent = nullptr);

    // Shows the runs of `path` whose statement contains `filter`. Throws DbError, and then shows
    // none.
    void load(const QString& path, const QString& filter);
    // Reads the file again: runs recorded since come in at the top, the rows already there stay
    // (with their selection). Throws DbError.
    void refresh();

    const RunList& runs() const { return runs_; }
    int32_t numberAt(int row) const { return runs_.numberAt(row); }
    // The whole statement of the run at `row`.
    QString statementAt(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    mutable RunList runs_;
};

}  // namespace qv
