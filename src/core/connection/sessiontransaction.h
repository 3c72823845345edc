#pragma once

#include <QString>

namespace qv {

// What the program knows of a query session's transaction, kept with the connection from one
// run to the next; a new login starts afresh.
struct SessionTransaction {
    // As the connection stands: the driver's default until a run sets the mode the options ask
    // for.
    bool autoCommit = true;
    // A change, a lock or a PL/SQL block ran since the last COMMIT, ROLLBACK or DDL, in manual
    // commit: it waits for the user to commit it or roll it back.
    bool pending = false;
    // The last run measured the change it made, then rolled it back.
    bool undone = false;
};

// The texts of the commit mode (the label beside the status bar's panels).
inline const QString kModeAutoCommit = QStringLiteral("自動コミット");
inline const QString kModeManualCommit = QStringLiteral("手動コミット");
inline const QString kModePending = QStringLiteral("未コミット");
inline const QString kModeUndone = QStringLiteral("計測後ロールバック");

// The mode a window shows: what is pending first, then what the last run did, else the mode
// its runs work in (`autoCommit`, the option's). Cannot fail.
inline QString commitModeText(const SessionTransaction& t, bool autoCommit) {
    if (t.pending)
        return kModePending;
    if (t.undone)
        return kModeUndone;
    return autoCommit ? kModeAutoCommit : kModeManualCommit;
}

}  // namespace qv
