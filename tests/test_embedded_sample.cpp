// The embedded services and the sample database: names, location, determinism, and that the
// sample shows a full scan turn into an index search.
#include "embedded/embeddedengine.h"
#include "embedded/sampledb.h"
#include "support/embeddedfixture.h"

#include <QCryptographicHash>
#include <QDir>

using namespace qv;
using namespace qv::embedded;
using namespace qv::test;

namespace {

const SampleSize kSmall{200, 50, 1000, 4};

// A digest of every value of every sample table, in key order.
QByteArray contentDigest(Database& db) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const char* sql :
         {"select * from customers order by 1", "select * from products order by 1",
          "select * from orders order by 1", "select * from order_items order by 1"}) {
        for (const QVariantList& row : readAll(db, QString::fromLatin1(sql))) {
            for (const QVariant& v : row)
                hash.addData(v.toString().toUtf8() + '\x1f');
        }
    }
    return hash.result();
}

class EmbeddedSample : public EmbeddedTest {
  protected:
    void SetUp() override { setSampleDirectory(dir_.path()); }
    void TearDown() override { setSampleDirectory({}); }
};

TEST(EmbeddedService, SqlitePrefixChoosesTheEngine) {
    EXPECT_TRUE(isEmbeddedService("sqlite:sample"));
    EXPECT_TRUE(isEmbeddedService("SQLite:/tmp/x.db"));
    EXPECT_FALSE(isEmbeddedService("ORCL"));
    EXPECT_FALSE(isEmbeddedService("sqlitedb"));
    EXPECT_THROW(openEmbeddedDatabase("sqlite:", "u"), DbError);
    EXPECT_THROW(openEmbeddedDatabase("ORCL", "u"), DbError);
}

TEST_F(EmbeddedSample, LocationFollowsOverrideThenEnvironmentThenDataFolder) {
    EXPECT_EQ(sampleDatabasePath(), QDir(dir_.path()).filePath("sample.db"));
    setSampleDirectory({});
    qputenv("QUERVIN_SAMPLE_DIR", "/somewhere/else");
    EXPECT_EQ(sampleDatabasePath(), "/somewhere/else/sample.db");
    qunsetenv("QUERVIN_SAMPLE_DIR");
    EXPECT_TRUE(sampleDatabasePath().endsWith("/QUERVIN/sample.db"))
        << sampleDatabasePath().toStdString();
}

TEST_F(EmbeddedSample, GenerationIsDeterministicAndLeavesNoTemporaryFiles) {
    const QString first = dir_.filePath("first.db");
    const QString second = dir_.filePath("second.db");
    generateSampleDatabase(first, kSmall);
    generateSampleDatabase(second, kSmall);
    EXPECT_TRUE(isCurrentSample(first));
    EXPECT_EQ(QDir(dir_.path()).entryList({"*.tmp"}, QDir::Files), QStringList());

    EmbeddedDatabase a(first, "u");
    EmbeddedDatabase b(second, "u");
    EXPECT_EQ(contentDigest(a), contentDigest(b));
    EXPECT_EQ(scalar(a, "select count(*) from customers").toInt(), 200);
    EXPECT_EQ(scalar(a, "select count(*) from orders").toInt(), 1000);
    const int items = scalar(a, "select count(*) from order_items").toInt();
    EXPECT_GE(items, 1000);
    EXPECT_LE(items, 4000);
    // Totals agree with the lines they were made from.
    EXPECT_EQ(scalar(a,
                     "select count(*) from orders o where total_amount <> (select "
                     "sum(quantity * unit_price) from order_items i where i.order_id = "
                     "o.order_id)")
                  .toInt(),
              0);
}

TEST_F(EmbeddedSample, SampleServiceOpensAnExistingSampleAndRemakesAStaleOne) {
    generateSampleDatabase(sampleDatabasePath(), kSmall);
    auto db = openEmbeddedDatabase("sqlite:sample", "SCOTT");
    EXPECT_EQ(scalar(*db, "select count(*) from customers").toInt(), 200);
    EXPECT_EQ(scalar(*db, "select username from v$session where audsid = userenv('SESSIONID')")
                  .toString(),
              "SCOTT");
    auto rs = db->openRecordset("select name, city, registered, customer_id from customers");
    EXPECT_EQ(rs->field(0).type, dbText);
    EXPECT_EQ(rs->field(0).size, 40);
    EXPECT_EQ(rs->field(2).type, dbDate);
    EXPECT_GT(rs->field(3).size, 0);
    rs->close();
    db->close();

    // Not a sample of this version: made again at full size on next use.
    EmbeddedDatabase(sampleDatabasePath(), "u").execute("PRAGMA user_version = 0");
    EXPECT_FALSE(isCurrentSample(sampleDatabasePath()));
    db = openEmbeddedDatabase("sqlite:sample", "SCOTT");
    EXPECT_EQ(scalar(*db, "select count(*) from customers").toInt(), SampleSize{}.customers);
    EXPECT_GE(scalar(*db, "select count(*) from order_items").toInt(), 200'000);
}

TEST_F(EmbeddedSample, FilePathServiceOpensOrCreatesThatFile) {
    const QString file = dir_.filePath("mine.db");
    openEmbeddedDatabase("sqlite:" + file, "u")->execute("create table t (x)");
    EXPECT_TRUE(QFileInfo::exists(file));
    EXPECT_THROW(openEmbeddedDatabase("sqlite:" + dir_.filePath("missing/mine.db"), "u"), DbError);
}

TEST_F(EmbeddedSample, PlanShowsFullScanThenIndexSearch) {
    generateSampleDatabase(sampleDatabasePath(), kSmall);
    auto db = openEmbeddedDatabase("sqlite:sample", "SCOTT");
    db->execute(createPlanTableStatement());
    auto steps = [&](const QString& sql) {
        db->execute(explainPlanStatement(sql));
        QStringList out;
        for (const auto& row : readAll(*db,
                                       "select operation || ' ' || ifnull(options, '') || ' ' "
                                       "|| ifnull(object_name, '') from " +
                                           kPlanTable + " order by id"))
            out << row[0].toString().trimmed();
        db->execute(deletePlanStatement());
        return out;
    };
    EXPECT_EQ(steps(QString::fromUtf8("select * from customers where city = '那覇'")),
              QStringList({"SELECT STATEMENT", "TABLE ACCESS FULL CUSTOMERS"}));
    EXPECT_EQ(steps("select * from orders where customer_id = 42"),
              QStringList({"SELECT STATEMENT", "TABLE ACCESS BY INDEX ROWID ORDERS",
                           "INDEX RANGE SCAN IX_ORDERS_CUSTOMER"}));
}

}  // namespace
