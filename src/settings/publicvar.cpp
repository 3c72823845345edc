#include "settings/publicvar.h"

#include "settings/regstore.h"

#include <limits>
#include <memory>

namespace qv {

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

// A hand-edited value that is not a decimal integer in the field's range leaves the field as
// it was (its default at creation), rather than turning into 0 or a truncated number.
void loadInt16(const char* name, int16_t& field) {
    QString text;
    int64_t v = 0;
    if (getRegValue(QString::fromLatin1(name), text) == 0 &&
        parseStoredInt(text, std::numeric_limits<int16_t>::min(),
                       std::numeric_limits<int16_t>::max(), v))
        field = static_cast<int16_t>(v);
}

void loadInt32(const char* name, int32_t& field) {
    QString text;
    int64_t v = 0;
    if (getRegValue(QString::fromLatin1(name), text) == 0 &&
        parseStoredInt(text, std::numeric_limits<int32_t>::min(),
                       std::numeric_limits<int32_t>::max(), v))
        field = static_cast<int32_t>(v);
}

void loadText(const char* name, QString& field) {
    QString text;
    if (getRegValue(QString::fromLatin1(name), text) == 0)
        field = text;
}

std::unique_ptr<clsPublicVar>& instance() {
    static std::unique_ptr<clsPublicVar> p;
    return p;
}

}  // namespace

void clsPublicVar::load() {
    loadInt16("f_explan", flgExplan);
    loadInt16("f_query", flgQuery);
    loadInt32("i_maxdisprows", maxDispRows);
    loadText("s_plantablename", gPlanTable);
    loadInt16("i_optimizer", flgOptimizerModify);
    loadText("s_optimizer", strOptimizer);
    loadText("s_oracle_driver", strOracleDriver);
}

void clsPublicVar::save() const {
    RegStore& store = regStore();
    store.beginBatch();
    setRegValue(QStringLiteral("f_explan"), QString::number(flgExplan));
    setRegValue(QStringLiteral("f_query"), QString::number(flgQuery));
    setRegValue(QStringLiteral("i_maxdisprows"), QString::number(maxDispRows));
    setRegValue(QStringLiteral("s_plantablename"), gPlanTable);
    setRegValue(QStringLiteral("i_optimizer"), QString::number(flgOptimizerModify));
    setRegValue(QStringLiteral("s_optimizer"), strOptimizer);
    setRegValue(QStringLiteral("s_oracle_driver"), strOracleDriver);
    store.endBatch();
}

clsPublicVar& gPublicVar() {
    auto& p = instance();
    if (!p) {
        p = std::make_unique<clsPublicVar>();
        p->load();
    }
    return *p;
}

bool publicVarExists() {
    return instance() != nullptr;
}

void releasePublicVar() {
    auto& p = instance();
    if (p) {
        p->save();
        p.reset();
    }
}

void resetPublicVar() {
    instance().reset();
}

}  // namespace qv
