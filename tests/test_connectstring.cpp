#include "core/connection/connectstring.h"
#include "core/connection/odbcdrivers.h"

#include <gtest/gtest.h>
#include <QStringList>

using namespace Qt::StringLiterals;

using namespace qv;

TEST(ConnectString, PlainValuesGiveExactlyTheClassicStringOthersAreBraced) {
    EXPECT_EQ(buildConnectString(QString(), u"ORCL"_s, u"scott"_s, QString()),
              u"ODBC;Driver={Oracle ODBC Driver};DBQ=ORCL;UID=scott;PWD=;BTD=T;"_s);
    EXPECT_EQ(buildConnectString(u"Odd}Driver"_s, u"サーバ"_s, u"利用者"_s, u"パス word"_s),
              u"ODBC;Driver={Odd}}Driver};DBQ=サーバ;UID=利用者;PWD=パス word;BTD=T;"_s);
    // A typed service name cannot add an attribute of its own.
    EXPECT_EQ(buildConnectString(QString(), u"ORCL;UID=sys"_s, u"x"_s, u"a;b"_s),
              u"ODBC;Driver={Oracle ODBC Driver};DBQ={ORCL;UID=sys};UID=x;PWD={a;b};BTD=T;"_s);
    EXPECT_EQ(QStringList({odbcAttributeValue(u"p}w{d"_s), odbcAttributeValue(u" lead"_s),
                           odbcAttributeValue(u"trail "_s)}),
              QStringList({u"{p}}w{d}"_s, u"{ lead}"_s, u"{trail }"_s}));
}

// Without a driver chosen, "Oracle ODBC Driver" when it is installed or nothing of Oracle is
// (the login then says it is missing), else the Oracle driver that Linux installers register.
TEST(ConnectString, TheDriverIsTheOneChosenElseAnInstalledOracleDriver) {
    const QStringList linux = {u"PostgreSQL Unicode"_s, u"Oracle 19 ODBC driver"_s,
                               u"Oracle in instantclient_19_8"_s};
    const struct {
        QString chosen;
        QStringList installed;
        QString used;
    } cases[] = {
        {u"Mine"_s, linux, u"Mine"_s},
        {QString(), linux, u"Oracle 19 ODBC driver"_s},
        {QString(), linux + QStringList{u"Oracle ODBC Driver"_s}, u"Oracle ODBC Driver"_s},
        {QString(), {u"PostgreSQL Unicode"_s}, u"Oracle ODBC Driver"_s},
    };
    for (const auto& c : cases)
        EXPECT_EQ(driverToUse(c.chosen, c.installed), c.used) << c.used.toStdString();
}
