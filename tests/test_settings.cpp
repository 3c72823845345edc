#include "core/settings/settings.h"
#include "core/settings/settingsstore.h"
#include "support/tempstore.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qv;

namespace {
const QStringList kNames = {u"f_explan"_s,        u"f_query"_s,     u"i_maxdisprows"_s,
                            u"s_plantablename"_s, u"i_optimizer"_s, u"s_optimizer"_s,
                            u"s_oracle_driver"_s};
const QStringList kDefaults = {u"1"_s, u"1"_s,      u"500"_s, u"QUERVIN$PLAN_TABLE"_s,
                               u"0"_s, u"CHOOSE"_s, QString()};

// The settings as the store writes them, in the order of kNames.
QStringList fields(const Settings& s) {
    auto on = [](bool b) { return b ? u"1"_s : u"0"_s; };
    return {on(s.showPlan), on(s.runQuery),          QString::number(s.maxDisplayRows),
            s.planTable,    on(s.overrideOptimizer), s.optimizerGoal,
            s.odbcDriver};
}

QStringList stored() {
    QStringList out;
    for (const QString& name : kNames) {
        QString v = u"<missing>"_s;
        settingsStore().read(name, v);
        out << v;
    }
    return out;
}
}  // namespace

TEST(Settings, FirstStartHasDefaultsAndTheEndWritesAllSevenToBeReadNextTime) {
    test::TempStore tmp;
    EXPECT_FALSE(settingsLoaded());
    EXPECT_EQ(fields(appSettings()), kDefaults);
    saveAndReleaseSettings();
    EXPECT_FALSE(settingsLoaded());
    EXPECT_EQ(stored(), kDefaults);
    Settings& s = appSettings();
    s.showPlan = false;
    s.maxDisplayRows = -7;
    s.planTable = u"計画表"_s;
    s.overrideOptimizer = true;
    s.optimizerGoal = u"FIRST_ROWS"_s;
    s.odbcDriver = u"Oracle in OraClient19Home1"_s;
    const QStringList changed = fields(s);
    saveAndReleaseSettings();
    EXPECT_EQ(stored(), changed);
    EXPECT_EQ(fields(appSettings()), changed);
}

TEST(Settings, HandEditedValuesReplaceTheDefaultOnlyWhenTheyFitTheField) {
    const std::tuple<QString, QString, QString> cases[] = {
        {u"f_explan"_s, u" 0 "_s, u"0"_s},
        {u"f_explan"_s, u"40000"_s, u"1"_s},  // switches were 16-bit numbers
        {u"f_query"_s, u"2"_s, u"0"_s},       // only 1 ever meant on
        {u"i_maxdisprows"_s, u"3000000000"_s, u"500"_s},
        {u"i_maxdisprows"_s, u"2147483647"_s, u"2147483647"_s},
        {u"i_maxdisprows"_s, u"12abc"_s, u"500"_s},
        {u"i_maxdisprows"_s, u"２００"_s, u"500"_s},
        {u"s_plantablename"_s, u"SCOTT.PLANS"_s, u"SCOTT.PLANS"_s},
        // Pasted into SQL, a plan table that is not a table name would run as something else.
        {u"s_plantablename"_s, u"customers --"_s, u"QUERVIN$PLAN_TABLE"_s},
        {u"s_plantablename"_s, QString(), u"QUERVIN$PLAN_TABLE"_s},
    };
    for (const auto& [name, text, want] : cases) {
        test::TempStore tmp;
        tmp.put(name, text);
        QStringList expected = kDefaults;
        expected[kNames.indexOf(name)] = want;
        EXPECT_EQ(fields(appSettings()), expected)
            << name.toStdString() << " = '" << text.toStdString() << "'";
    }
}
