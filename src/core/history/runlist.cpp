#include "core/history/runlist.h"

#include "core/db/dberror.h"
#include "core/history/historyfile.h"

#include <QFileInfo>

namespace qv {

void RunList::load(const QString& path, const QString& filter) {
    path_ = path;
    filter_ = filter;
    refs_.clear();
    pages_.clear();
    recent_.clear();
    pageError_.clear();
    if (QFileInfo(path).isFile())
        refs_ = HistoryFile(path).runRefs(filter);
}

std::optional<qsizetype> RunList::refresh() {
    const QList<RunRef> before = refs_;
    load(path_, filter_);
    const qsizetype added = refs_.size() - before.size();
    if (added < 0 || !std::equal(before.begin(), before.end(), refs_.begin() + added))
        return std::nullopt;
    return added;
}

QList<std::optional<RunSummary>> RunList::readPage(qsizetype page) {
    const qsizetype first = page * kPageSize;
    const QList<RunRef> refs = refs_.mid(first, kPageSize);
    QList<std::optional<RunSummary>> rows(refs.size());
    pageError_.clear();
    try {
        const QList<RunSummary> found = HistoryFile(path_).summaries(refs);
        // A run no longer in the file leaves its row empty; the others keep their places.
        qsizetype next = 0;
        for (qsizetype i = 0; i < refs.size() && next < found.size(); ++i) {
            if (found[next].number == refs[i].number)
                rows[i] = found[next++];
        }
    } catch (const DbError& e) {
        pageError_ = e.description();
    }
    return rows;
}

std::optional<RunSummary> RunList::at(qsizetype row) {
    if (row < 0 || row >= refs_.size())
        return std::nullopt;
    const qsizetype page = row / kPageSize;
    auto it = pages_.find(page);
    if (it == pages_.end()) {
        if (recent_.size() == kPagesKept)
            pages_.remove(recent_.takeFirst());
        it = pages_.insert(page, readPage(page));
        recent_.append(page);
    } else if (recent_.constLast() != page) {
        recent_.removeOne(page);
        recent_.append(page);
    }
    return it->at(row - page * kPageSize);
}

}  // namespace qv
