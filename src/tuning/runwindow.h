#pragma once

#include "app/windowport.h"
#include "oracle/database.h"
#include "settings/publicvar.h"
#include "tuning/gridmodel.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace qv {

// What the result step leaves in its window for the count label and the recording.
struct ResultState {
    int64_t rowCount = 0;  // wide: a result of any size is counted
    bool rowsOverMax = false;
};

// Everything a tuning run reads from and writes to its window. The query window implements it,
// and so do the headless runner and the tests, so one run drives all three the same way.
class RunWindow {
  public:
    virtual ~RunWindow() = default;

    // The SQL box's text exactly as typed.
    virtual QString sqlText() const = 0;
    virtual void setEMessage(const QString& mes) = 0;  // plan pane's line
    virtual void setQMessage(const QString& mes) = 0;  // result pane's line
    virtual void setSMessage(const QString& mes) = 0;  // statistics pane's line
    virtual void setCountLabel(const QString& text) = 0;
    virtual GridModel& grdExplan() = 0;
    virtual GridModel& grdData() = 0;
    virtual GridModel& grdStats() = 0;
    virtual ResultState& resultState() = 0;

    // Modal Yes/No/Cancel question (Yes the default) and OK message box, both titled with the
    // application's name.
    virtual Answer ask(const QString& text) = 0;
    virtual void showMessage(const QString& text) = 0;
    // Width in twips of `count` blanks in the window's font.
    virtual int blankWidthTwips(int count) const = 0;

    // The settings in force, read afresh wherever the run uses them.
    virtual clsPublicVar& settings() = 0;
    virtual Database& dbQuery() = 0;
    virtual Database& dbStats() = 0;
    virtual QString oraUser() const = 0;
    virtual QString oraDBQ() const = 0;

    // The statement ring's stage: remembers the executed text.
    virtual void addToRing(const QString& sql) = 0;
};

// State of one run that its steps share: the pending error, the session id and whether the
// statistics can be read.
struct RunState {
    std::optional<DbError> pending;
    QString sid;
    bool statsUsable = true;

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
