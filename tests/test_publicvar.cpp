#include "settings/publicvar.h"
#include "settings/regstore.h"
#include "support/tempstore.h"

#include <gtest/gtest.h>
#include <QFile>

using namespace Qt::StringLiterals;
using namespace qv;

namespace {
const char* const kNames[] = {"f_explan",    "f_query",     "i_maxdisprows",  "s_plantablename",
                              "i_optimizer", "s_optimizer", "s_oracle_driver"};

QStringList fields(const clsPublicVar& p) {
    return {QString::number(p.flgExplan),          QString::number(p.flgQuery),
            QString::number(p.maxDispRows),        p.gPlanTable,
            QString::number(p.flgOptimizerModify), p.strOptimizer,
            p.strOracleDriver};
}

QStringList stored() {
    QStringList out;
    for (const char* n : kNames) {
        QString v = u"<missing>"_s;
        getRegValue(QString::fromLatin1(n), v);
        out << v;
    }
    return out;
}
}  // namespace

TEST(PublicVar, FirstStartHasDefaultsAndTheEndWritesAllSeven) {
    test::TempStore tmp;
    EXPECT_FALSE(publicVarExists());
    const QStringList defaults = {u"1"_s, u"1"_s, u"500"_s, u"QUERVIN$PLAN_TABLE"_s,
                                  u"0"_s, u"CHOOSE"_s, QString()};
    EXPECT_EQ(fields(gPublicVar()), defaults);
    releasePublicVar();
    EXPECT_FALSE(publicVarExists());
    EXPECT_EQ(stored(), defaults);
}

TEST(PublicVar, ChangedFieldsSurviveARestart) {
    test::TempStore tmp;
    clsPublicVar& p = gPublicVar();
    p.flgExplan = 0;
    p.maxDispRows = -7;
    p.gPlanTable = u"計画表"_s;
    p.flgOptimizerModify = 1;
    p.strOptimizer = u"FIRST_ROWS"_s;
    p.strOracleDriver = u"Oracle in OraClient19Home1"_s;
    const QStringList before = fields(p);
    releasePublicVar();
    EXPECT_EQ(stored(), before);
    EXPECT_EQ(fields(gPublicVar()), before);
}

TEST(PublicVar, StoredValuesReplaceDefaultsOneByOne) {
    test::TempStore tmp;
    tmp.put(u"f_query"_s, u"0"_s);
    tmp.put(u"s_plantablename"_s, QString());  // an empty text is kept, not the default
    tmp.put(u"s_optimizer"_s, QString(300, u'P'));  // long values are read whole
    EXPECT_EQ(fields(gPublicVar()), (QStringList{u"1"_s, u"0"_s, u"500"_s, QString(), u"0"_s,
                                                 QString(300, u'P'), QString()}));
}

TEST(PublicVar, HandEditedNumbersOutsideTheFieldKeepTheDefault) {
    const std::tuple<const char*, const char*, QString> cases[] = {
        {"f_explan", "abc", u"1"_s},           {"f_explan", "1.5", u"1"_s},
        {"f_explan", "40000", u"1"_s},         {"f_explan", " 0 ", u"0"_s},
        {"f_query", "+0", u"0"_s},             {"i_optimizer", "-32768", u"-32768"_s},
        {"i_maxdisprows", "3000000000", u"500"_s}, {"i_maxdisprows", "2147483647", u"2147483647"_s},
        {"i_maxdisprows", "12abc", u"500"_s},  {"i_maxdisprows", "２００", u"500"_s},
    };
    for (const auto& [name, text, want] : cases) {
        test::TempStore tmp;
        tmp.put(QString::fromLatin1(name), QString::fromUtf8(text));
        const int at = static_cast<int>(std::find_if(std::begin(kNames), std::end(kNames),
                                                     [&](const char* n) { return !strcmp(n, name); }) -
                                        std::begin(kNames));
        EXPECT_EQ(fields(gPublicVar())[at], want) << name << " = '" << text << "'";
    }
}

TEST(PublicVar, UnwritableStoreLosesValuesSilently) {
    QTemporaryDir dir;
    QFile blocker(dir.path() + u"/f"_s);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    resetPublicVar();
    setRegStore(std::make_unique<RegStore>(dir.path() + u"/f/quervin.ini"_s));
    gPublicVar().flgQuery = 0;
    releasePublicVar();
    EXPECT_EQ(gPublicVar().flgQuery, 1);
    resetPublicVar();
}
