#include "core/settings/settings.h"
#include "core/settings/settingsstore.h"
#include "support/tempstore.h"

#include <gtest/gtest.h>
#include <QFile>

using namespace Qt::StringLiterals;
using namespace qv;

namespace {
const char* const kNames[] = {"f_explan",    "f_query",     "i_maxdisprows",  "s_plantablename",
                              "i_optimizer", "s_optimizer", "s_oracle_driver"};

// The settings as the store writes them, in the order of kNames.
QStringList fields(const Settings& s) {
    auto on = [](bool b) { return b ? u"1"_s : u"0"_s; };
    return {on(s.showPlan), on(s.runQuery),          QString::number(s.maxDisplayRows),
            s.planTable,    on(s.overrideOptimizer), s.optimizerGoal,
            s.odbcDriver};
}

QStringList stored() {
    QStringList out;
    for (const char* n : kNames) {
        QString v = u"<missing>"_s;
        settingsStore().read(QString::fromLatin1(n), v);
        out << v;
    }
    return out;
}
}  // namespace

TEST(Settings, FirstStartHasDefaultsAndTheEndWritesAllSeven) {
    test::TempStore tmp;
    EXPECT_FALSE(settingsLoaded());
    const QStringList defaults = {u"1"_s, u"1"_s,      u"500"_s, u"QUERVIN$PLAN_TABLE"_s,
                                  u"0"_s, u"CHOOSE"_s, QString()};
    EXPECT_EQ(fields(appSettings()), defaults);
    saveAndReleaseSettings();
    EXPECT_FALSE(settingsLoaded());
    EXPECT_EQ(stored(), defaults);
}

TEST(Settings, ChangedValuesSurviveARestart) {
    test::TempStore tmp;
    Settings& s = appSettings();
    s.showPlan = false;
    s.maxDisplayRows = -7;
    s.planTable = u"計画表"_s;
    s.overrideOptimizer = true;
    s.optimizerGoal = u"FIRST_ROWS"_s;
    s.odbcDriver = u"Oracle in OraClient19Home1"_s;
    const QStringList before = fields(s);
    saveAndReleaseSettings();
    EXPECT_EQ(stored(), before);
    EXPECT_EQ(fields(appSettings()), before);
}

TEST(Settings, StoredValuesReplaceDefaultsOneByOne) {
    test::TempStore tmp;
    tmp.put(u"f_query"_s, u"0"_s);
    tmp.put(u"s_plantablename"_s, QString());       // an empty text is kept, not the default
    tmp.put(u"s_optimizer"_s, QString(300, u'P'));  // long values are read whole
    EXPECT_EQ(fields(appSettings()), (QStringList{u"1"_s, u"0"_s, u"500"_s, QString(), u"0"_s,
                                                  QString(300, u'P'), QString()}));
}

TEST(Settings, HandEditedNumbersOutsideTheFieldKeepTheDefault) {
    const std::tuple<const char*, const char*, QString> cases[] = {
        {"f_explan", "abc", u"1"_s},
        {"f_explan", "1.5", u"1"_s},
        {"f_explan", "40000", u"1"_s},
        {"f_explan", " 0 ", u"0"_s},
        {"f_query", "+0", u"0"_s},
        {"f_query", "2", u"0"_s},
        {"i_optimizer", "1", u"1"_s},
        {"i_maxdisprows", "3000000000", u"500"_s},
        {"i_maxdisprows", "2147483647", u"2147483647"_s},
        {"i_maxdisprows", "12abc", u"500"_s},
        {"i_maxdisprows", "２００", u"500"_s},
    };
    for (const auto& [name, text, want] : cases) {
        test::TempStore tmp;
        tmp.put(QString::fromLatin1(name), QString::fromUtf8(text));
        const auto at = std::find_if(std::begin(kNames), std::end(kNames),
                                     [&](const char* n) { return !strcmp(n, name); }) -
                        std::begin(kNames);
        EXPECT_EQ(fields(appSettings())[at], want) << name << " = '" << text << "'";
    }
}

TEST(Settings, UnwritableStoreLosesValuesSilently) {
    QTemporaryDir dir;
    QFile blocker(dir.path() + u"/f"_s);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    discardSettings();
    setSettingsStore(std::make_unique<SettingsStore>(dir.path() + u"/f/quervin.ini"_s));
    appSettings().runQuery = false;
    saveAndReleaseSettings();
    EXPECT_TRUE(appSettings().runQuery);
    discardSettings();
}
