#include "core/history/statementring.h"
#include "core/settings/settings.h"
#include "core/settings/settingsstore.h"
#include "core/settings/sharedsettings.h"
#include "core/settings/sqlfont.h"
#include "core/window/querywindowmodel.h"
#include "support/scripteddb.h"
#include "support/tempprogram.h"
#include "support/testport.h"
#include "support/testrunwindow.h"

#include <gtest/gtest.h>
#include <QSemaphore>
#include <QSignalSpy>

#include <atomic>
#include <thread>

using namespace Qt::StringLiterals;
using namespace qv;

namespace {
const QStringList kNames = {u"f_explan"_s,        u"f_query"_s,     u"i_maxdisprows"_s,
                            u"s_plantablename"_s, u"i_optimizer"_s, u"s_optimizer"_s,
                            u"s_oracle_driver"_s, u"f_allstats"_s,  u"f_autocommit"_s,
                            u"f_rollback_after"_s};
const QStringList kDefaults = {u"1"_s, u"1"_s,      u"500"_s,  u"QUERVIN$PLAN_TABLE"_s,
                               u"0"_s, u"CHOOSE"_s, QString(), u"1"_s,
                               u"1"_s, u"0"_s};

// The settings as the store writes them, in the order of kNames.
QStringList fields(const Settings& s) {
    auto on = [](bool b) { return b ? u"1"_s : u"0"_s; };
    return {on(s.showPlan),        on(s.runQuery),          QString::number(s.maxDisplayRows),
            s.planTable,           on(s.overrideOptimizer), s.optimizerGoal,
            s.odbcDriver,          on(s.collectActuals),    on(s.autoCommit),
            on(s.rollbackAfterRun)};
}

QStringList stored(SettingsStore& store) {
    QStringList out;
    for (const QString& name : kNames) {
        QString v = u"<missing>"_s;
        store.read(name, v);
        out << v;
    }
    return out;
}
}  // namespace

TEST(Settings, FirstStartHasDefaultsAndTheEndWritesAllEightToBeReadNextTime) {
    test::TempProgram tmp;
    tmp.program().end();
    EXPECT_EQ(stored(tmp.store()), QStringList(kNames.size(), u"<missing>"_s))
        << "settings never used are not written";
    EXPECT_EQ(fields(tmp.settings().values()), kDefaults);
    tmp.program().end();
    EXPECT_EQ(stored(tmp.store()), kDefaults);
    tmp.settings().change([](Settings& s) {
        s.showPlan = false;
        s.maxDisplayRows = -7;
        s.planTable = u"計画表"_s;
        s.overrideOptimizer = true;
        s.optimizerGoal = u"FIRST_ROWS"_s;
        s.odbcDriver = u"Oracle in OraClient19Home1"_s;
        s.collectActuals = false;
    });
    const QStringList changed = fields(tmp.settings().values());
    tmp.program().end();
    EXPECT_EQ(stored(tmp.store()), changed);
    ProgramState restarted(tmp.openStore());
    EXPECT_EQ(fields(restarted.settings().values()), changed);
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
        {u"f_allstats"_s, u"0"_s, u"0"_s},
        {u"f_autocommit"_s, u"0"_s, u"0"_s},
        {u"f_rollback_after"_s, u"1"_s, u"1"_s},
    };
    for (const auto& [name, text, want] : cases) {
        test::TempProgram tmp;
        tmp.put(name, text);
        QStringList expected = kDefaults;
        expected[kNames.indexOf(name)] = want;
        EXPECT_EQ(fields(tmp.settings().values()), expected)
            << name.toStdString() << " = '" << text.toStdString() << "'";
    }
}

// SQLフォント...'s "family,points"; anything else is the default ＭＳ 明朝 9.
TEST(SqlFont, TheStoredFamilyAndSizeOrTheDefault) {
    const std::pair<QString, SqlFont> cases[] = {
        {u"Noto Sans Mono CJK JP,12"_s, {u"Noto Sans Mono CJK JP"_s, 12}},
        {u"Font, Inc.,10"_s, {u"Font, Inc."_s, 10}},
        {u"Courier,0"_s, {}},
        {u"Courier"_s, {}},
        {u",9"_s, {}},
    };
    for (const auto& [text, font] : cases) {
        test::TempProgram tmp;
        tmp.put(u"s_sql_font"_s, text);
        EXPECT_EQ(SqlFont::load(tmp.store()), font) << text.toStdString();
    }
    test::TempProgram tmp;
    EXPECT_EQ(SqlFont::load(tmp.store()), (SqlFont{u"ＭＳ 明朝"_s, 9}));
}

// A run reads the settings on its own thread while the options dialog changes them on the
// windows' thread: whatever it reads is the whole of one change or of the other.
TEST(SharedSettings, ValuesReadWhileAnotherThreadChangesThemAreEachChangeWhole) {
    Settings a, b;
    a.planTable = u"A_PLAN"_s, a.maxDisplayRows = 1, a.overrideOptimizer = true;
    a.optimizerGoal = u"RULE"_s;
    b.planTable = u"B_PLAN"_s, b.maxDisplayRows = 2, b.overrideOptimizer = false;
    b.optimizerGoal = u"ALL_ROWS"_s;
    SharedSettings settings(a);
    std::atomic<bool> read{false};
    std::thread writer([&] {
        for (int i = 0; !read; ++i)
            settings.change([&](Settings& s) { s = i % 2 ? a : b; });
    });
    QStringList torn;
    for (int i = 0; i < 50'000; ++i) {
        const QStringList now = fields(settings.values());
        if (now != fields(a) && now != fields(b))
            torn << now.join(u'|');
        const QString goal = settings.sessionOptimizerGoal();
        if (goal != u"RULE"_s && !goal.isEmpty())
            torn << goal;
    }
    read = true;
    writer.join();
    EXPECT_EQ(torn, QStringList());
}

// The row limit is read for every row shown, so a limit changed while the statement runs
// decides how many of its rows the window shows and what the count says.
TEST(SharedSettings, ARunSeesAChangeMadeWhileItRunsAtItsNextUse) {
    test::TempProgram tmp;
    auto script = std::make_shared<test::Script>();
    tmp.program().setDatabaseOpener([script](const QString&, const QString&, const QString&) {
        return std::make_unique<test::ScriptedDatabase>(u"Q"_s, script);
    });
    test::TestPort port;
    QueryWindowModel model(tmp.program(), port);
    model.load();
    tmp.settings().set(&Settings::showPlan, false);
    port.logins.append(LoginValues{u"ORCL"_s, u"scott"_s, QString()});
    model.connection().logIn();
    ASSERT_TRUE(model.connection().waitForAttempt(10'000));

    QSemaphore reached, resume;
    test::Reply rows = test::numberRows(5);
    rows.whenAnswered = [&] {
        reached.release();
        resume.acquire();
    };
    port.sql = u"select n from five"_s;
    script->onText(port.sql, rows);
    model.execute();
    ASSERT_TRUE(reached.tryAcquire(1, 10'000)) << "the run sent its statement";
    EXPECT_EQ(tmp.settings().maxDisplayRows(), 1000);
    tmp.settings().set(&Settings::maxDisplayRows, 2);  // as the options dialog would, meanwhile
    resume.release();
    ASSERT_TRUE(model.waitForRun(10'000));
    EXPECT_EQ(std::pair(model.resultGrid().rows(), model.state().line(WindowState::Line::Count)),
              std::pair(3, u"5件中2件まで表示"_s));
    // The statement ring is saved on a thread of its own; the program's files outlive the save.
    if (StatementRing& ring = tmp.program().statementRing(); ring.saving())
        QSignalSpy(&ring, &StatementRing::savingEnded).wait(10'000);
}
