#include "core/connection/connectstring.h"

#include <gtest/gtest.h>
#include <QStringList>

using namespace Qt::StringLiterals;

using namespace qv;

TEST(ConnectString, PlainValuesGiveExactlyTheClassicStringOthersAreBraced) {
    EXPECT_EQ(buildConnectString(QString(), u"ORCL"_s, u"scott"_s, QString()),
              u"ODBC;Driver={Oracle ODBC Driver};DBQ=ORCL;UID=scott;PWD=;"_s);
    EXPECT_EQ(buildConnectString(u"Odd}Driver"_s, u"サーバ"_s, u"利用者"_s, u"パス word"_s),
              u"ODBC;Driver={Odd}}Driver};DBQ=サーバ;UID=利用者;PWD=パス word;"_s);
    // A typed service name cannot add an attribute of its own.
    EXPECT_EQ(buildConnectString(QString(), u"ORCL;UID=sys"_s, u"x"_s, u"a;b"_s),
              u"ODBC;Driver={Oracle ODBC Driver};DBQ={ORCL;UID=sys};UID=x;PWD={a;b};"_s);
    EXPECT_EQ(QStringList({odbcAttributeValue(u"p}w{d"_s), odbcAttributeValue(u" lead"_s),
                           odbcAttributeValue(u"trail "_s)}),
              QStringList({u"{p}}w{d}"_s, u"{ lead}"_s, u"{trail }"_s}));
}
