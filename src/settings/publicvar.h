#pragma once

#include <QString>

#include <cstdint>

namespace qv {

// The seven options that steer a tuning run. One instance per process, gPublicVar(); query
// windows and the options dialog change its fields directly.
class clsPublicVar {
  public:
    int16_t flgExplan = 1;
    int16_t flgQuery = 1;
    int32_t maxDispRows = 500;
    QString gPlanTable = QStringLiteral("QUERVIN$PLAN_TABLE");
    int16_t flgOptimizerModify = 0;
    QString strOptimizer = QStringLiteral("CHOOSE");
    QString strOracleDriver;

    // Reads every field that the settings store holds; a field whose value is missing, or is
    // not a decimal integer in the field's range, keeps its current value.
    void load();
    // Writes all seven values; failures are not reported.
    void save() const;
};

inline const QString kDefaultPlanTable = QStringLiteral("QUERVIN$PLAN_TABLE");

// The process-wide settings object, created and loaded from the settings store at first use.
clsPublicVar& gPublicVar();
bool publicVarExists();
// Saves and drops the settings object (program end).
void releasePublicVar();
// Drops the settings object without saving, so a test starts from a fresh load.
void resetPublicVar();

// The integer a stored text denotes when it is a plain decimal number (optional sign, blanks
// around it allowed) within [lo, hi].
bool parseStoredInt(const QString& text, int64_t lo, int64_t hi, int64_t& out);

}  // namespace qv
