#include "tuning/execdriver.h"

#include "settings/regstore.h"
#include "tuning/plan.h"
#include "tuning/resultgrid.h"
#include "tuning/stats.h"

#include <algorithm>

namespace qv {

namespace {
const QString kSidQuery =
    QStringLiteral("select SID from v$session where audsid = userenv('SESSIONID')");
const QString kTraceOff = QStringLiteral("ALTER SESSION SET SQL_TRACE=FALSE");
const QString kTimedStats = QStringLiteral("ALTER SESSION SET TIMED_STATISTICS=TRUE");

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

QString countLabelText(const ResultState& r, int32_t maxDispRows) {
    if (r.rowsOverMax)
        return QString::number(r.rowCount) + QStringLiteral("件中") + QString::number(maxDispRows) +
               QStringLiteral("件まで表示");
    return QString::number(r.rowCount) + QStringLiteral("件");
}

int16_t execProc(RunWindow& w) {
    if (trimmedForValidation(w.sqlText()).isEmpty()) {
        w.showMessage(kMsgEnterSql);
        return 1;
    }
    if (w.settings().flgQuery == 0 && w.settings().flgExplan == 0) {
        w.showMessage(kMsgChooseOption);
        return 1;
    }

    w.grdExplan().setVisible(false);
    w.grdData().setVisible(false);
    w.grdStats().setVisible(false);
    w.setCountLabel(QString());

    const QString progress =
        QStringLiteral("Oracle接続中...") + w.oraUser() + QStringLiteral("@") + w.oraDBQ();
    if (w.settings().flgQuery == 1) {
        w.setQMessage(progress);
        w.setSMessage(progress);
    } else {
        w.setQMessage(QString());
        w.setSMessage(QString());
    }
    w.setEMessage(w.settings().flgExplan == 1 ? progress : QString());

    RunState r;
    if (w.settings().flgQuery == 1)
        r.step([&] { w.dbStats().execute(kTraceOff); });
    if (w.settings().flgExplan == 1)
        r.step([&] { w.dbQuery().execute(kTraceOff); });
    if (w.settings().flgQuery == 1) {
        if (w.settings().flgOptimizerModify == 1) {
            const QString goal = w.settings().strOptimizer;
            // Current servers refuse the obsolete OPTIMIZER_GOAL (ORA-01986); the same goal
            // then goes through OPTIMIZER_MODE so the choice is not silently lost.
            if (!r.step([&] {
                    w.dbQuery().execute(QStringLiteral("ALTER SESSION SET OPTIMIZER_GOAL = ") +
                                        goal);
                }))
                r.step([&] {
                    w.dbQuery().execute(QStringLiteral("ALTER SESSION SET OPTIMIZER_MODE = ") +
                                        goal);
                });
        }
        r.step([&] { w.dbQuery().execute(kTimedStats); });
        r.pending.reset();  // session statements are never reported

        std::unique_ptr<Recordset> rs;
        r.step([&] { rs = w.dbQuery().openRecordset(kSidQuery); });
        if (r.pending && r.pending->number() == kErrOdbcCall) {
            w.setSMessage(r.pending->description() + kMsgNoVSession);
            r.statsUsable = false;
        }
        if (rs) {
            r.step([&] {
                r.sid = nullToEmpty(rs->value(QStringLiteral("SID")));
                rs->close();
            });
        }
    }
    r.pending.reset();

    if (w.settings().flgExplan == 1)
        planStage(w, r);
    if (w.settings().flgQuery != 1)
        return 0;

    w.setQMessage(kMsgExecuting);
    clsStats before;
    statsBeforeStage(w, r, before);
    r.pending.reset();

    r.step([&] { setGrid(3, w, w.dbQuery(), w.grdData()); });
    if (r.pending) {
        w.setQMessage(r.pending->description());
        w.setCountLabel(QString());
    } else {
        w.setQMessage(QString());
        w.setCountLabel(countLabelText(w.resultState(), w.settings().maxDispRows));
    }
    r.pending.reset();

    statsAfterStage(w, r, before);
    w.addToRing(w.sqlText());
    return 0;
}

}  // namespace qv
