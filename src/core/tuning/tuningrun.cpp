#include "core/tuning/tuningrun.h"

#include "core/sql/statementclass.h"
#include "core/tuning/actualsstep.h"
#include "core/tuning/planstep.h"
#include "core/tuning/resultstep.h"
#include "core/tuning/runbinds.h"
#include "core/tuning/sessionstage.h"
#include "core/tuning/statementfeedback.h"
#include "core/tuning/statistics.h"

#include "core/connection/databaseopener.h"

#include <QElapsedTimer>
#include <QLocale>

#include <algorithm>

namespace qv {

namespace {
bool isTrimmedBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QChar(0x3000);
}
}  // namespace

QString trimmedForValidation(const QString& text) {
    qsizetype b = 0;
    qsizetype e = text.size();
    while (b < e && isTrimmedBlank(text[b]))
        ++b;
    while (e > b && isTrimmedBlank(text[e - 1]))
        --e;
    QString t = text.mid(b, e - b);
    t.remove(QLatin1Char('\n'));
    // Blanks between line feeds ("  \n  \n") are no statement either.
    if (std::all_of(t.cbegin(), t.cend(), isTrimmedBlank))
        t.clear();
    return t;
}

QString countLabelText(const ResultState& r, int32_t maxDisplayRows) {
    if (r.rowsOverMax)
        return QString::number(r.rowCount) + QStringLiteral("件中") +
               QString::number(maxDisplayRows) + QStringLiteral("件まで表示");
    return QString::number(r.rowCount) + QStringLiteral("件");
}

QString groupedRowCount(int64_t rows) {
    return QLocale(QLocale::English).toString(qlonglong(rows));
}

QString stoppedCountText(int64_t rows) {
    return groupedRowCount(rows) + kMsgCountStopped;
}

QString withWarnings(const QString& line, Database& db) {
    QStringList parts = db.takeWarnings();
    if (!line.isEmpty())
        parts.prepend(line);
    return parts.join(u'\n');
}

QString sqlToSend(const QString& typed) {
    // Only within the blank run at each end, so blanks inside the statement and the ASCII
    // layout around it reach the server unchanged.
    auto isBlank = [](QChar c) { return c.isSpace() || c == QChar(0x3000); };
    qsizetype head = 0;
    while (head < typed.size() && isBlank(typed[head]))
        ++head;
    qsizetype tail = typed.size();
    while (tail > head && isBlank(typed[tail - 1]))
        --tail;
    QString sent;
    sent.reserve(typed.size());
    for (qsizetype i = 0; i < typed.size(); ++i) {
        if (typed[i] != QChar(0x3000) || (i >= head && i < tail))
            sent.append(typed[i]);
    }
    return sent;
}

qsizetype typedPosition(const QString& typed, qsizetype sent) {
    if (sent < 0)
        return -1;
    // Only full-width blanks at the start are dropped before the text that was sent.
    qsizetype dropped = 0;
    while (dropped < typed.size() && typed[dropped] == QChar(0x3000))
        ++dropped;
    return std::min(sent + dropped, typed.size());
}

std::optional<QString> controlCharacterRefusal(const QString& sql) {
    qsizetype line = 1;
    qsizetype column = 0;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const char16_t c = sql[i].unicode();
        if (c == u'\n' || c == u'\r') {
            if (c == u'\r' && i + 1 < sql.size() && sql[i + 1] == u'\n')
                ++i;
            ++line;
            column = 0;
            continue;
        }
        if (!QChar::isLowSurrogate(c))  // a character beyond U+FFFF counts once
            ++column;
        if (c < 0x20 && c != u'\t')
            return kMsgControlCharacter.arg(line).arg(column).arg(
                QStringLiteral("U+%1").arg(uint(c), 4, 16, QLatin1Char('0')).toUpper());
    }
    return std::nullopt;
}

std::optional<QString> refusalOf(const QString& sql, const SharedSettings& settings) {
    if (trimmedForValidation(sql).isEmpty())
        return kMsgEnterSql;
    if (auto refusal = controlCharacterRefusal(sql))
        return refusal;
    if (!settings.runQuery() && !settings.showPlan())
        return kMsgChooseOption;
    if (settings.runQuery() && settings.rollbackAfterRun() &&
        !sql::undoable(sql::classifyStatement(sqlToSend(sql))))
        return kMsgCannotUndo;
    return std::nullopt;
}

namespace {

// Sets the commit mode the options ask for on the query session when the session is in the
// other: a default run sends nothing for it. False when the driver refused it: the statement
// is then not run, as its changes would not be kept as the options say.
bool commitModeStage(RunWindow& w, RunState& r) {
    SessionTransaction& t = w.transaction();
    const bool wanted = w.settings().autoCommit();
    if (t.autoCommit == wanted)
        return true;
    if (!r.step([&] { w.queryDatabase().setAutoCommit(wanted); }))
        return false;
    // Turning auto-commit on commits what waited, as ODBC has it.
    t.autoCommit = wanted;
    if (wanted)
        t.pending = false;
    return true;
}

// A run that measures a change and rolls it back: auto-commit off and a savepoint before the
// statistics are read, the rollback to it after the per-line figures.
struct Measurement {
    bool wanted = false;  // the options ask for it and the statement changes data
    bool begun = false;
    bool wasAutoCommit = false;
};

bool beginMeasurement(RunWindow& w, RunState& r, Measurement& m) {
    SessionTransaction& t = w.transaction();
    m.wasAutoCommit = t.autoCommit;
    if (t.autoCommit && !r.step([&] { w.queryDatabase().setAutoCommit(false); }))
        return false;
    t.autoCommit = false;
    if (!r.step([&] { w.queryDatabase().execute(kMeasureSavepoint); })) {
        if (m.wasAutoCommit && r.step([&] { w.queryDatabase().setAutoCommit(true); }))
            t.autoCommit = true;
        return false;
    }
    m.begun = true;
    return true;
}

void endMeasurement(RunWindow& w, RunState& r, Measurement& m) {
    SessionTransaction& t = w.transaction();
    std::optional<DbError> failed;
    try {
        w.queryDatabase().execute(kMeasureRollback);
    } catch (const DbError& e) {
        failed = e;
    }
    if (failed) {
        // Turning auto-commit on again would commit the change: it stays pending, and said so.
        t.pending = true;
        w.showMessage(kMsgUndoFailed + u'\n' + failed->description());
        return;
    }
    r.record.rolledBack = true;
    t.undone = true;
    if (m.wasAutoCommit) {
        try {
            w.queryDatabase().setAutoCommit(true);
            t.autoCommit = true;
        } catch (const DbError& e) {
            w.showNote(e.description());
        }
    }
}

// What the statement the run executed leaves for COMMIT or ROLLBACK, in manual commit.
void notePendingWork(RunWindow& w, const RunRecord& record) {
    SessionTransaction& t = w.transaction();
    if (t.autoCommit || record.rolledBack || record.resultStep.outcome != StepOutcome::Done)
        return;
    const sql::StatementClass c = sql::classifyStatement(sqlToSend(record.sql));
    if (sql::leavesPendingWork(c))
        t.pending = true;
    else if (c == sql::StatementClass::Commit || c == sql::StatementClass::Rollback ||
             c == sql::StatementClass::Definition)
        t.pending = false;
}

// What the result line says a statement without a result set did: SQL*Plus's words, but for
// COMMIT and ROLLBACK in auto-commit, which end nothing.
QString doneText(RunWindow& w, int64_t rows) {
    const QString sql = sqlToSend(w.sqlText());
    if (w.transaction().autoCommit) {
        const sql::StatementClass c = sql::classifyStatement(sql);
        if (c == sql::StatementClass::Commit)
            return kMsgNothingToCommit;
        if (c == sql::StatementClass::Rollback)
            return kMsgNothingToRollBack;
    }
    return statementFeedback(sql, rows);
}

void resultStage(RunWindow& w, RunState& r) {
    ResultState& result = r.record.result;
    r.step([&] { fillResultGrid(w, w.queryDatabase(), w.resultGrid(), result); });
    if (r.pending && result.stopped) {
        const QString text = r.pending->description() + kMsgStopped;
        r.record.resultStep = {StepOutcome::Stopped, text};
        w.setResultMessage(text);
        w.setCountLabel(stoppedCountText(result.rowCount));
    } else if (r.pending) {
        r.record.resultStep = {StepOutcome::Failed, r.pending->description()};
        if (r.pending->position() >= 0)
            r.record.errorPosition = typedPosition(r.record.sql, r.pending->position());
        w.setResultMessage(withWarnings(r.pending->description(), w.queryDatabase()));
        w.setCountLabel(QString());
    } else {
        r.record.resultStep = {StepOutcome::Done, QString()};
        // A statement without a result set says what it did, as SQL*Plus does; a query's line
        // stays empty. A warning (a notice, a truncation) shows without making it a failure.
        const QString done = result.columns.isEmpty() ? doneText(w, result.rowCount) : QString();
        w.setResultMessage(withWarnings(done, w.queryDatabase()));
        w.setCountLabel(countLabelText(result, result.rowLimit));
    }
    r.pending.reset();
}

}  // namespace

RunRecord runTuning(RunWindow& w) {
    RunState r;
    QElapsedTimer clock;
    clock.start();
    RunRecord& record = r.record;
    record.sql = w.sqlText();
    record.service = w.serviceName();
    record.user = w.userName();
    record.driver = driverLabel(record.service, w.driverName());
    record.started = QDateTime::currentDateTime();
    if (const auto refusal = refusalOf(w.sqlText(), w.settings())) {
        w.showMessage(*refusal);
        record.outcome = RunOutcome::Refused;
        return std::move(r.record);
    }
    if (w.settings().runQuery()) {
        // Never a run with a variable the server would take as null: its figures would
        // measure another statement. EXPLAIN PLAN alone needs no values.
        QString missing;
        record.binds = bindsForRun(sqlToSend(w.sqlText()), w.binds(), missing);
        if (!missing.isEmpty()) {
            w.showMessage(kMsgUnboundVariable.arg(u':' + missing));
            record.outcome = RunOutcome::Refused;
            return std::move(r.record);
        }
    }
    record.outcome = RunOutcome::CarriedOut;

    w.planGrid().setVisible(false);
    w.resultGrid().setVisible(false);
    w.statsGrid().setVisible(false);
    w.setCountLabel(QString());

    const QString progress =
        QStringLiteral("Oracle接続中...") + w.userName() + QStringLiteral("@") + w.serviceName();
    if (w.settings().runQuery()) {
        w.setResultMessage(progress);
        w.setStatsMessage(progress);
    } else {
        w.setResultMessage(QString());
        w.setStatsMessage(QString());
    }
    w.setPlanMessage(w.settings().showPlan() ? progress : QString());

    w.transaction().undone = false;
    const bool modeSet = commitModeStage(w, r);
    const std::optional<DbError> modeFailure = std::exchange(r.pending, std::nullopt);
    sessionStage(w, r);
    if (w.settings().showPlan())
        planStage(w, r);
    if (w.settings().runQuery()) {
        Measurement measure;
        measure.wanted = w.settings().rollbackAfterRun() &&
                         sql::leavesPendingWork(sql::classifyStatement(sqlToSend(w.sqlText())));
        if (!modeSet || (measure.wanted && !beginMeasurement(w, r, measure))) {
            // Not run at all: its changes would not be what the options say.
            const DbError failure = modeFailure ? *modeFailure : *r.pending;
            record.resultStep = {StepOutcome::Failed, failure.description()};
            w.setResultMessage(failure.description());
            w.setStatsMessage(QString());
            r.pending.reset();
        } else {
            w.setResultMessage(kMsgExecuting);
            StatisticSet before;
            statsBeforeStage(w, r, before);
            r.pending.reset();
            resultStage(w, r);
            statsAfterStage(w, r, before);
            r.pending.reset();
            // On another instance V$SESSION would name another session's cursor.
            if (w.sessionMemory().statsInstance != SessionMemory::Instance::Other)
                actualsStage(w, r);
            if (measure.begun)
                endMeasurement(w, r, measure);
            notePendingWork(w, record);
        }
        w.addToRing(w.sqlText());
    }
    record.totalMs = clock.elapsed();
    return std::move(r.record);
}

}  // namespace qv
