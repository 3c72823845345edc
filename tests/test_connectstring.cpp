#include "core/db/connectstring.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace qv;

TEST(ConnectString, PlainValuesGiveExactlyTheClassicString) {
    EXPECT_EQ(buildConnectString(QString(), u"ORCL"_s, u"scott"_s, QString()),
              u"ODBC;Driver={Oracle ODBC Driver};DBQ=ORCL;UID=scott;PWD=;"_s);
    EXPECT_EQ(
        buildConnectString(u"Oracle in OraClient19Home1"_s, u"prod.world"_s, u"app"_s, u"tiger"_s),
        u"ODBC;Driver={Oracle in OraClient19Home1};DBQ=prod.world;UID=app;PWD=tiger;"_s);
    EXPECT_EQ(buildConnectString(QString(), u"サーバ"_s, u"利用者"_s, u"パス word"_s),
              u"ODBC;Driver={Oracle ODBC Driver};DBQ=サーバ;UID=利用者;PWD=パス word;"_s);
}

TEST(ConnectString, ValuesThatWouldBreakTheStringAreBraced) {
    EXPECT_EQ(buildConnectString(QString(), u"ORCL"_s, u"scott"_s, u"a;b"_s),
              u"ODBC;Driver={Oracle ODBC Driver};DBQ=ORCL;UID=scott;PWD={a;b};"_s);
    // A typed service name cannot add an attribute of its own.
    EXPECT_EQ(buildConnectString(QString(), u"ORCL;UID=sys"_s, u"x"_s, QString()),
              u"ODBC;Driver={Oracle ODBC Driver};DBQ={ORCL;UID=sys};UID=x;PWD=;"_s);
    EXPECT_EQ(odbcAttributeValue(u"p}w{d"_s), u"{p}}w{d}"_s);
    EXPECT_EQ(odbcAttributeValue(u" lead"_s), u"{ lead}"_s);
    EXPECT_EQ(odbcAttributeValue(u"trail "_s), u"{trail }"_s);
    EXPECT_EQ(odbcAttributeValue(u"in side"_s), u"in side"_s);
    EXPECT_EQ(buildConnectString(u"Odd}Driver"_s, u"s"_s, u"u"_s, u"p"_s),
              u"ODBC;Driver={Odd}}Driver};DBQ=s;UID=u;PWD=p;"_s);
}
