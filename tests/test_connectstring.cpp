#include "oracle/connectstring.h"

#include <gtest/gtest.h>

using namespace qv;

TEST(ConnectString, PlainValuesGiveExactlyTheClassicString) {
    EXPECT_EQ(
        buildConnectString(QString(), QStringLiteral("ORCL"), QStringLiteral("scott"), QString()),
        QStringLiteral("ODBC;Driver={Oracle ODBC Driver};DBQ=ORCL;UID=scott;PWD=;"));
    EXPECT_EQ(buildConnectString(QStringLiteral("Oracle in OraClient19Home1"),
                                 QStringLiteral("prod.world"), QStringLiteral("app"),
                                 QStringLiteral("tiger")),
              QStringLiteral(
                  "ODBC;Driver={Oracle in OraClient19Home1};DBQ=prod.world;UID=app;PWD=tiger;"));
    EXPECT_EQ(
        buildConnectString(QString(), QStringLiteral("サーバ"), QStringLiteral("利用者"),
                           QStringLiteral("パス word")),
        QStringLiteral("ODBC;Driver={Oracle ODBC Driver};DBQ=サーバ;UID=利用者;PWD=パス word;"));
}

TEST(ConnectString, ValuesThatWouldBreakTheStringAreBraced) {
    EXPECT_EQ(buildConnectString(QString(), QStringLiteral("ORCL"), QStringLiteral("scott"),
                                 QStringLiteral("a;b")),
              QStringLiteral("ODBC;Driver={Oracle ODBC Driver};DBQ=ORCL;UID=scott;PWD={a;b};"));
    // A typed service name cannot add an attribute of its own.
    EXPECT_EQ(buildConnectString(QString(), QStringLiteral("ORCL;UID=sys"), QStringLiteral("x"),
                                 QString()),
              QStringLiteral("ODBC;Driver={Oracle ODBC Driver};DBQ={ORCL;UID=sys};UID=x;PWD=;"));
    EXPECT_EQ(odbcAttributeValue(QStringLiteral("p}w{d")), QStringLiteral("{p}}w{d}"));
    EXPECT_EQ(odbcAttributeValue(QStringLiteral(" lead")), QStringLiteral("{ lead}"));
    EXPECT_EQ(odbcAttributeValue(QStringLiteral("trail ")), QStringLiteral("{trail }"));
    EXPECT_EQ(odbcAttributeValue(QStringLiteral("in side")), QStringLiteral("in side"));
    EXPECT_EQ(buildConnectString(QStringLiteral("Odd}Driver"), QStringLiteral("s"),
                                 QStringLiteral("u"), QStringLiteral("p")),
              QStringLiteral("ODBC;Driver={Odd}}Driver};DBQ=s;UID=u;PWD=p;"));
}
