#include "core/history/recordedrun.h"

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

QString RunSummary::firstLine() const {
    for (const QString& line : sql.split(u'\n')) {
        const QString t = line.trimmed();
        if (!t.isEmpty())
            return t;
    }
    return QString();
}

RunFacts runFactsOf(const RunRecord& run) {
    RunFacts f;
    f.service = run.service;
    f.user = run.user;
    f.driver = run.driver;
    f.optimizer = run.settings.overrideOptimizer ? run.settings.optimizerGoal : QString();
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
