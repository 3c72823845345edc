#include "settings/publicvar.h"
#include "settings/regstore.h"
#include "support/tempstore.h"

#include <gtest/gtest.h>
#include <QFile>

using namespace qv;

namespace {
void expectDefaults(const clsPublicVar& p) {
    EXPECT_EQ(p.flgExplan, 1);
    EXPECT_EQ(p.flgQuery, 1);
    EXPECT_EQ(p.maxDispRows, 500);
    EXPECT_EQ(p.gPlanTable, QStringLiteral("QUERVIN$PLAN_TABLE"));
    EXPECT_EQ(p.flgOptimizerModify, 0);
    EXPECT_EQ(p.strOptimizer, QStringLiteral("CHOOSE"));
    EXPECT_EQ(p.strOracleDriver, QString());
}
}  // namespace

TEST(PublicVar, FirstStartHasDefaultsAndEndWritesAllSeven) {
    test::TempStore tmp;
    EXPECT_FALSE(publicVarExists());
    expectDefaults(gPublicVar());
    EXPECT_TRUE(publicVarExists());
    releasePublicVar();
    EXPECT_FALSE(publicVarExists());

    const std::pair<const char*, const char*> stored[] = {
        {"f_explan", "1"},        {"f_query", "1"},
        {"i_maxdisprows", "500"}, {"s_plantablename", "QUERVIN$PLAN_TABLE"},
        {"i_optimizer", "0"},     {"s_optimizer", "CHOOSE"},
        {"s_oracle_driver", ""}};
    for (const auto& [name, text] : stored) {
        QString v = QStringLiteral("unset");
        EXPECT_EQ(getRegValue(QString::fromLatin1(name), v), 0) << name;
        EXPECT_EQ(v, QString::fromUtf8(text)) << name;
    }
}

TEST(PublicVar, ChangedFieldsSurviveARestart) {
    test::TempStore tmp;
    clsPublicVar& p = gPublicVar();
    p.flgExplan = 0;
    p.maxDispRows = -7;
    p.gPlanTable = QStringLiteral("計画表");
    p.flgOptimizerModify = 1;
    p.strOptimizer = QStringLiteral("FIRST_ROWS");
    p.strOracleDriver = QStringLiteral("Oracle in OraClient19Home1");
    releasePublicVar();

    QString v;
    ASSERT_EQ(getRegValue(QStringLiteral("i_maxdisprows"), v), 0);
    EXPECT_EQ(v, QStringLiteral("-7"));

    clsPublicVar& q = gPublicVar();
    EXPECT_EQ(q.flgExplan, 0);
    EXPECT_EQ(q.flgQuery, 1);
    EXPECT_EQ(q.maxDispRows, -7);
    EXPECT_EQ(q.gPlanTable, QStringLiteral("計画表"));
    EXPECT_EQ(q.flgOptimizerModify, 1);
    EXPECT_EQ(q.strOptimizer, QStringLiteral("FIRST_ROWS"));
    EXPECT_EQ(q.strOracleDriver, QStringLiteral("Oracle in OraClient19Home1"));
}

TEST(PublicVar, StoredValuesReplaceDefaultsOneByOne) {
    test::TempStore tmp;
    tmp.put(QStringLiteral("f_query"), QStringLiteral("0"));
    tmp.put(QStringLiteral("s_plantablename"), QString());
    const QString longName(300, QLatin1Char('P'));
    tmp.put(QStringLiteral("s_optimizer"), longName);
    const clsPublicVar& p = gPublicVar();
    EXPECT_EQ(p.flgQuery, 0);
    EXPECT_EQ(p.gPlanTable, QString()) << "an empty stored text is kept, not the default";
    EXPECT_EQ(p.strOptimizer, longName) << "long values are read whole";
    EXPECT_EQ(p.flgExplan, 1);
    EXPECT_EQ(p.maxDispRows, 500);
}

TEST(PublicVar, HandEditedNumbersOutsideTheFieldKeepTheDefault) {
    struct Case {
        const char* name;
        const char* text;
        int expected;
    };
    const Case cases[] = {
        {"f_explan", "abc", 1},
        {"f_explan", "1.5", 1},
        {"f_explan", "", 1},
        {"f_explan", "40000", 1},
        {"f_explan", "-32769", 1},
        {"f_explan", " 0 ", 0},
        {"f_query", "+0", 0},
        {"i_optimizer", "-32768", -32768},
        {"i_maxdisprows", "3000000000", 500},
        {"i_maxdisprows", "2147483647", 2147483647},
        {"i_maxdisprows", "12abc", 500},
        {"i_maxdisprows", "0x10", 500},
        {"i_maxdisprows", "-", 500},
        {"i_maxdisprows", "２００", 500},
    };
    for (const Case& c : cases) {
        test::TempStore tmp;
        tmp.put(QString::fromLatin1(c.name), QString::fromUtf8(c.text));
        const clsPublicVar& p = gPublicVar();
        const QString name = QString::fromLatin1(c.name);
        const int got = name == QStringLiteral("f_explan")      ? p.flgExplan
                        : name == QStringLiteral("f_query")     ? p.flgQuery
                        : name == QStringLiteral("i_optimizer") ? p.flgOptimizerModify
                                                                : p.maxDispRows;
        EXPECT_EQ(got, c.expected) << c.name << " = '" << c.text << "'";
    }
}

TEST(PublicVar, UnwritableStoreLosesValuesSilently) {
    QTemporaryDir dir;
    QFile blocker(dir.path() + QStringLiteral("/f"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    resetPublicVar();
    setRegStore(std::make_unique<RegStore>(dir.path() + QStringLiteral("/f/quervin.ini")));
    gPublicVar().flgQuery = 0;
    releasePublicVar();  // must neither crash nor report
    EXPECT_EQ(gPublicVar().flgQuery, 1);
    resetPublicVar();
}
