// The embedded services and the sample database: names, location, determinism, and that the
// sample shows a full scan turn into an index search.
#include "core/embedded/embeddedengine.h"
#include "core/embedded/sampledb.h"
#include "support/embeddedfixture.h"

#include <QDir>

using namespace qv;
using namespace qv::embedded;
using namespace qv::test;

namespace {

const SampleSize kSmall{200, 50, 1000, 4};

class EmbeddedSample : public EmbeddedTest {
  protected:
    void SetUp() override { setSampleDirectory(dir_.path()); }
    void TearDown() override { setSampleDirectory({}); }
};

TEST_F(EmbeddedSample, LocationFollowsOverrideThenEnvironmentThenDataFolder) {
    EXPECT_EQ(sampleDatabasePath(), QDir(dir_.path()).filePath("sample.db"));
    setSampleDirectory({});
    qputenv("QUERVIN_SAMPLE_DIR", "/somewhere/else");
    EXPECT_EQ(sampleDatabasePath(), "/somewhere/else/sample.db");
    qunsetenv("QUERVIN_SAMPLE_DIR");
    EXPECT_TRUE(sampleDatabasePath().endsWith("/QUERVIN/sample.db"));
}

TEST_F(EmbeddedSample, GenerationIsDeterministicAndLeavesNoTemporaryFiles) {
    QStringList contents[2];
    for (QStringList& content : contents) {
        generateSampleDatabase(path(), kSmall);
        EmbeddedDatabase db(path(), "u");
        for (const char* table : {"customers", "products", "orders", "order_items"})
            content += rowsOf(db, QString("select * from %1 order by 1").arg(table));
    }
    EXPECT_TRUE(contents[0] == contents[1]);
    EXPECT_TRUE(isCurrentSample(path()));
    EXPECT_EQ(QDir(dir_.path()).entryList({"*.tmp"}, QDir::Files), QStringList());
    // Customers, orders, 1 to 4 items an order, and totals that agree with their lines.
    EmbeddedDatabase db(path(), "u");
    EXPECT_EQ(rowsOf(db,
                     "select (select count(*) from customers), (select count(*) from orders), "
                     "(select count(*) from order_items) between 1000 and 4000, (select count(*) "
                     "from orders o where total_amount <> (select sum(quantity * unit_price) from "
                     "order_items i where i.order_id = o.order_id))"),
              QStringList("200|1000|1|0"));
}

TEST_F(EmbeddedSample, ServicesOpenTheSampleRemakeAStaleOneAndCreateFiles) {
    EXPECT_TRUE(isEmbeddedService("SQLite:/tmp/x.db"));
    EXPECT_FALSE(isEmbeddedService("sqlitedb"));
    EXPECT_THROW(openEmbeddedDatabase("sqlite:", "u"), DbError);
    EXPECT_THROW(openEmbeddedDatabase("ORCL", "u"), DbError);
    const QString customers = "select count(*) from customers";
    generateSampleDatabase(sampleDatabasePath(), kSmall);
    EXPECT_EQ(rowsOf(*openEmbeddedDatabase("sqlite:sample", "SCOTT"), customers),
              QStringList("200"));
    // Not a sample of this version: made again at full size on next use.
    EmbeddedDatabase(sampleDatabasePath(), "u").execute("PRAGMA user_version = 0");
    EXPECT_EQ(rowsOf(*openEmbeddedDatabase("sqlite:sample", "SCOTT"), customers),
              QStringList(QString::number(SampleSize{}.customers)));

    const QString file = dir_.filePath("mine.db");
    openEmbeddedDatabase("sqlite:" + file, "u")->execute("create table t (x)");
    EXPECT_TRUE(QFileInfo::exists(file));
    EXPECT_THROW(openEmbeddedDatabase("sqlite:" + dir_.filePath("missing/mine.db"), "u"), DbError);
}

TEST_F(EmbeddedSample, PlanShowsFullScanThenIndexSearch) {
    generateSampleDatabase(sampleDatabasePath(), kSmall);
    auto db = openEmbeddedDatabase("sqlite:sample", "SCOTT");
    db->execute(planTableCreateStatement(kPlanTable));
    const auto steps = [&](const QString& sql) {
        db->execute(planDeleteStatement(kPlanTable));
        db->execute(explainPlanStatement(kPlanTable, sql));
        return rowsOf(*db,
                      "select operation, options, object_name from " + kPlanTable + " order by id");
    };
    EXPECT_EQ(steps("select * from customers where city = '那覇'"),
              QStringList({"SELECT STATEMENT|null|null", "TABLE ACCESS|FULL|CUSTOMERS"}));
    EXPECT_EQ(steps("select * from orders where customer_id = 42"),
              QStringList({"SELECT STATEMENT|null|null", "TABLE ACCESS|BY INDEX ROWID|ORDERS",
                           "INDEX|RANGE SCAN|IX_ORDERS_CUSTOMER"}));
}

}  // namespace
