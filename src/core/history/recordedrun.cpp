#include "core/history/recordedrun.h"

#include <string>
#include <string_view>

namespace qv {

QString runEndName(RunEnd end) {
    switch (end) {
        case RunEnd::Failed:
            return QStringLiteral("failed");
        case RunEnd::Stopped:
            return QStringLiteral("stopped");
        case RunEnd::Done:
            break;
    }
    return QStringLiteral("done");
}

RunEnd runEndFromName(const QString& name) {
    if (name == u"failed")
        return RunEnd::Failed;
    if (name == u"stopped")
        return RunEnd::Stopped;
    return RunEnd::Done;
}

QString RunSummary::oneLine() const {
    return sql.simplified();
}

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// `text` with ASCII letters in lower case and each run of blanks made one blank, none at the
// ends; into `out`, which is reused.
void foldInto(QByteArrayView text, std::string& out) {
    out.clear();
    out.reserve(size_t(text.size()));
    bool blank = false;
    for (const char c : text) {
        if (isBlank(c)) {
            blank = !out.empty();
            continue;
        }
        if (blank)
            out.push_back(' ');
        blank = false;
        out.push_back(c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c);
    }
}

}  // namespace

bool statementContains(QByteArrayView sql, QByteArrayView text) {
    // Called once per statement of the file while a filter is read: the buffers are kept.
    thread_local std::string foldedSql, foldedText;
    foldInto(text, foldedText);
    if (foldedText.empty())
        return true;
    foldInto(sql, foldedSql);
    return std::string_view(foldedSql).find(foldedText) != std::string_view::npos;
}

RunFacts runFactsOf(const RunRecord& run) {
    RunFacts f;
    f.service = run.service;
    f.user = run.user;
    f.driver = run.driver;
    f.optimizer = run.optimizerGoal;
    const ResultState& result = run.result;
    const bool ran = result.elapsedMs >= 0;
    f.end = result.stopped            ? RunEnd::Stopped
            : !result.error.isEmpty() ? RunEnd::Failed
                                      : RunEnd::Done;
    f.error = result.error;
    if (ran && f.end != RunEnd::Failed) {
        f.rowCount = result.rowCount;
        f.rowsOverMax = result.rowsOverMax;
    }
    if (ran)
        f.elapsedMs = result.elapsedMs;
    return f;
}

QVariant numberFromText(const QString& text) {
    bool ok = false;
    const qlonglong whole = text.trimmed().toLongLong(&ok);
    if (ok)
        return whole;
    const double real = text.trimmed().toDouble(&ok);
    return ok ? QVariant(real) : QVariant();
}

}  // namespace qv
