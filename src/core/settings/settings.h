#pragma once

#include <QString>

#include <cstdint>

namespace qv {

class SettingsStore;

inline const QString kDefaultPlanTable = QStringLiteral("QUERVIN$PLAN_TABLE");
// The row limit every new query window sets, and the command line's default.
inline constexpr int32_t kNewWindowMaxDisplayRows = 1000;

// The values of the options that steer a tuning run, as the settings store keeps them. The
// program holds them in its one SharedSettings, which every window, the options dialog and the
// runs share; a run reads each value there at the moment of use.
struct Settings {
    bool showPlan = true;  // obtain the execution plan
    bool runQuery = true;  // run the statement and read its statistics
    int32_t maxDisplayRows = 500;
    QString planTable = kDefaultPlanTable;  // always a valid name (isValidPlanTableName)
    bool overrideOptimizer = false;         // set optimizerGoal on the session before the run
    QString optimizerGoal = QStringLiteral("CHOOSE");
    QString odbcDriver;  // empty: the default Oracle driver
    // Have the server count what each plan line did (rows, starts, buffers) while the
    // statement runs, and show it next to the estimates.
    bool collectActuals = true;
    // Each statement's changes are committed as it ends (the connection's own default); off,
    // they wait for COMMIT or ROLLBACK. Applied at a window's next run.
    bool autoCommit = true;
    // A run that changes data measures the change, then rolls it back.
    bool rollbackAfterRun = false;

    // Reads every value `store` holds; a value that is missing, is not a decimal integer in
    // the field's range, or is not a valid plan table name, leaves the field as it is. A switch
    // is on when it reads 1.
    void load(SettingsStore& store);
    // Writes every value (switches as 1 or 0); failures are not reported.
    void save(SettingsStore& store) const;
};

// Whether `name` can stand as a table name in SQL: an Oracle identifier (a letter, then
// letters, digits, _, $ or #) or a double-quoted name without " inside, optionally qualified by
// an owner of the same form. Nothing else may be pasted into the plan step's statements.
bool isValidPlanTableName(const QString& name);

// The integer a stored text denotes when it is a plain decimal number (optional sign, blanks
// around it allowed) within [lo, hi].
bool parseStoredInt(const QString& text, int64_t lo, int64_t hi, int64_t& out);

}  // namespace qv
