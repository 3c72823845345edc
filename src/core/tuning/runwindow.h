#pragma once

#include "core/connection/sessionmemory.h"
#include "core/connection/sessiontransaction.h"
#include "core/db/database.h"
#include "core/settings/sharedsettings.h"
#include "core/tuning/gridmodel.h"
#include "core/tuning/planlock.h"
#include "core/tuning/runcontrol.h"
#include "core/tuning/runrecord.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace qv {

// The answer to a Yes/No/Cancel question.
enum class Answer { Yes, No, Cancel };

// Everything a tuning run reads from and writes to its window. The query window implements it,
// and so do the headless runner and the tests, so one run drives all three the same way.
class RunWindow {
  public:
    virtual ~RunWindow() = default;

    // The SQL box's text exactly as typed.
    virtual QString sqlText() const = 0;
    // The values given for the statement's bind variables before the run started; a window
    // that asks for none gives none, and a statement with variables is then refused.
    virtual BindList binds() const { return {}; }
    // The message lines under the plan, result and statistics grids.
    virtual void setPlanMessage(const QString& text) = 0;
    virtual void setResultMessage(const QString& text) = 0;
    virtual void setStatsMessage(const QString& text) = 0;
    virtual void setCountLabel(const QString& text) = 0;
    virtual GridModel& planGrid() = 0;
    virtual GridModel& resultGrid() = 0;
    virtual GridModel& statsGrid() = 0;

    // Modal Yes/No/Cancel question (Yes the default) and OK message box, both titled with the
    // application's name.
    virtual Answer ask(const QString& text) = 0;
    virtual void showMessage(const QString& text) = 0;
    // A passing note in the status bar, for what the run could not do that no message line
    // would show.
    virtual void showNote(const QString& text) = 0;
    // Width in twips of `count` blanks in the window's font.
    virtual int blankWidthTwips(int count) const = 0;

    // The STATISTICS_LEVEL that a run last set on the query connection's session, kept with
    // the connection for its next run; empty before the first.
    virtual QString& sessionStatisticsLevel() = 0;
    // What the program knows of the query connection's transaction, kept with the connection.
    virtual SessionTransaction& transaction() = 0;
    // What the runs learnt of both sessions and set on them, kept with the connections.
    virtual SessionMemory& sessionMemory() = 0;

    // The program's settings. The run reads each value here at the moment it uses it, never
    // from a copy of its own, so a change made while it runs counts from its next use.
    virtual const SharedSettings& settings() const = 0;
    virtual Database& queryDatabase() = 0;
    virtual Database& statsDatabase() = 0;
    virtual QString userName() const = 0;
    virtual QString serviceName() const = 0;
    // The ODBC driver the connections went through, as the record names it; the option's unless
    // the window knows better (a driver found for a login without one chosen).
    virtual QString driverName() const { return settings().odbcDriver(); }

    // The statement ring's stage: remembers the executed text.
    virtual void addToRing(const QString& sql) = 0;

    // The stop request and the fetch progress, shared with whoever started the run.
    virtual RunControl& control() = 0;
    // The program's turn for the plan step, which its windows take one at a time; none where no
    // other run of the program explains at the same time (the command line).
    virtual PlanStepLock* planStepLock() { return nullptr; }
};

// `line` with the warnings `db` gave since they were last taken, each on a line of its own.
QString withWarnings(const QString& line, Database& db);

// State of one run that its steps share: the pending error, the session id, whether the
// statistics can be read, and the record the steps fill.
struct RunState {
    std::optional<DbError> pending;
    QString sid;
    bool statsUsable = true;
    RunRecord record;

    // The statistics cannot be shown for this run: `text` says why, in the statistics line.
    void statisticsFailed(RunWindow& w, const QString& text) {
        statsUsable = false;
        record.statisticsStep = {StepOutcome::Failed, text};
        w.setStatsMessage(text);
    }

    // Runs one database step; a failure becomes the pending error instead of ending the run.
    template <class F>
    bool step(F&& f) {
        try {
            f();
            return true;
        } catch (const DbError& e) {
            pending = e;
            return false;
        }
    }
};

}  // namespace qv
