#include "core/settings/settings.h"

#include "core/settings/settingsstore.h"

#include <QRegularExpression>

#include <limits>
#include <optional>

namespace qv {

bool isValidPlanTableName(const QString& name) {
    static const QRegularExpression identifier(QStringLiteral(
        R"(^(?:[\p{L}][\p{L}\p{N}_$#]*|"[^"]+")(?:\.(?:[\p{L}][\p{L}\p{N}_$#]*|"[^"]+"))?$)"));
    return name.size() <= 261 && identifier.match(name).hasMatch();
}

bool parseStoredInt(const QString& text, int64_t lo, int64_t hi, int64_t& out) {
    const QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    int start = (t[0] == u'-' || t[0] == u'+') ? 1 : 0;
    if (start == t.size())
        return false;
    for (int i = start; i < t.size(); ++i) {
        if (t[i] < u'0' || t[i] > u'9')
            return false;
    }
    bool ok = false;
    const qlonglong v = t.toLongLong(&ok);
    if (!ok || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

namespace {

// Setting names as the store has always held them.
const QString kShowPlan = QStringLiteral("f_explan");
const QString kRunQuery = QStringLiteral("f_query");
const QString kMaxDisplayRows = QStringLiteral("i_maxdisprows");
const QString kPlanTable = QStringLiteral("s_plantablename");
const QString kOverrideOptimizer = QStringLiteral("i_optimizer");
const QString kOptimizerGoal = QStringLiteral("s_optimizer");
const QString kOdbcDriver = QStringLiteral("s_oracle_driver");
const QString kCollectActuals = QStringLiteral("f_allstats");
const QString kAutoCommit = QStringLiteral("f_autocommit");
const QString kRollbackAfterRun = QStringLiteral("f_rollback_after");

// A hand-edited value that is not a decimal integer in the field's range leaves the field as
// it was (its default at creation), rather than turning into 0 or a truncated number.
std::optional<int64_t> loadInt(SettingsStore& store, const QString& name, int64_t lo, int64_t hi) {
    QString text;
    int64_t v = 0;
    if (store.read(name, text) == StoreStatus::Ok && parseStoredInt(text, lo, hi, v))
        return v;
    return std::nullopt;
}

// Switches were stored as 16-bit numbers; only 1 ever meant on.
void loadSwitch(SettingsStore& store, const QString& name, bool& field) {
    if (const auto v = loadInt(store, name, std::numeric_limits<int16_t>::min(),
                               std::numeric_limits<int16_t>::max()))
        field = *v == 1;
}

void loadText(SettingsStore& store, const QString& name, QString& field) {
    QString text;
    if (store.read(name, text) == StoreStatus::Ok)
        field = text;
}

QString switchText(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

}  // namespace

void Settings::load(SettingsStore& store) {
    loadSwitch(store, kShowPlan, showPlan);
    loadSwitch(store, kRunQuery, runQuery);
    if (const auto v = loadInt(store, kMaxDisplayRows, std::numeric_limits<int32_t>::min(),
                               std::numeric_limits<int32_t>::max()))
        maxDisplayRows = static_cast<int32_t>(*v);
    QString table = planTable;
    loadText(store, kPlanTable, table);
    if (isValidPlanTableName(table))
        planTable = table;
    loadSwitch(store, kOverrideOptimizer, overrideOptimizer);
    loadText(store, kOptimizerGoal, optimizerGoal);
    loadText(store, kOdbcDriver, odbcDriver);
    loadSwitch(store, kCollectActuals, collectActuals);
    loadSwitch(store, kAutoCommit, autoCommit);
    loadSwitch(store, kRollbackAfterRun, rollbackAfterRun);
}

void Settings::save(SettingsStore& store) const {
    store.beginBatch();
    store.write(kShowPlan, switchText(showPlan));
    store.write(kRunQuery, switchText(runQuery));
    store.write(kMaxDisplayRows, QString::number(maxDisplayRows));
    store.write(kPlanTable, planTable);
    store.write(kOverrideOptimizer, switchText(overrideOptimizer));
    store.write(kOptimizerGoal, optimizerGoal);
    store.write(kOdbcDriver, odbcDriver);
    store.write(kCollectActuals, switchText(collectActuals));
    store.write(kAutoCommit, switchText(autoCommit));
    store.write(kRollbackAfterRun, switchText(rollbackAfterRun));
    store.endBatch();
}

}  // namespace qv
