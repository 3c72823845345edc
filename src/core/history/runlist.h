#pragma once

#include "core/history/recordedrun.h"

#include <QHash>
#include <QList>
#include <QString>

#include <optional>

namespace qv {

// The runs of a history file as a long list shows them, newest first: where each run is, read
// at once in one pass, and the runs themselves a page at a time when they are first asked for.
// The pages used last are kept, so a list of any length costs the rows on the screen.
class RunList {
  public:
    static constexpr qsizetype kPageSize = 128;
    static constexpr qsizetype kPagesKept = 32;

    // Reads where the runs of `path` are whose statement contains `filter`
    // (statementContains()); none when there is no file. Throws DbError, and then holds none.
    void load(const QString& path, const QString& filter);
    // Reads the file again with the same filter. Gives how many runs came in at the top when the
    // others are still there in their order, none when the list changed otherwise. Throws
    // DbError.
    std::optional<qsizetype> refresh();

    const QString& path() const { return path_; }
    const QString& filter() const { return filter_; }
    qsizetype size() const { return refs_.size(); }
    int32_t numberAt(qsizetype row) const { return refs_.at(row).number; }
    // The run at `row`, its page read when it is not kept; none when the run has left the file
    // or its page cannot be read (pageError()).
    std::optional<RunSummary> at(qsizetype row);
    // Why the last page could not be read; empty when it could.
    const QString& pageError() const { return pageError_; }

  private:
    QList<std::optional<RunSummary>> readPage(qsizetype page);

    QString path_;
    QString filter_;
    QList<RunRef> refs_;
    QHash<qsizetype, QList<std::optional<RunSummary>>> pages_;
    QList<qsizetype> recent_;  // the pages kept, the one used last at the end
    QString pageError_;
};

}  // namespace qv
