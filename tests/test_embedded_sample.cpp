// The embedded services and the sample database: names, location, determinism, and that the
// sample shows a full scan turn into an index search.
#include "core/embedded/session/embeddedengine.h"
#include "core/embedded/session/sampledb.h"
#include "support/embeddedfixture.h"
#include "support/sqliteprobe.h"

#include <QDir>
#include <QFile>

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

TEST_F(EmbeddedSample, GenerationIsDeterministicConsistentAndLeavesNoTemporaryFiles) {
    QStringList contents[2];
    for (QStringList& content : contents) {
        generateSampleDatabase(path(), kSmall);
        EmbeddedDatabase db(path(), "u", EmbeddedDatabase::OpenMode::Existing);
        for (const char* table : {"customers", "products", "orders", "order_items"})
            content += rowsOf(db, QString("select * from %1 order by 1").arg(table));
    }
    EXPECT_TRUE(contents[0] == contents[1]);
    EXPECT_EQ(sampleState(path()), SampleState::Current);
    EXPECT_EQ(QDir(dir_.path()).entryList({"*.tmp"}, QDir::Files), QStringList());
    // Customers, orders, 1 to 4 items an order, and totals that agree with their lines.
    EXPECT_EQ(rowsOf(*connect(),
                     "select (select count(*) from customers), (select count(*) from orders), "
                     "(select count(*) from order_items) between 1000 and 4000, (select count(*) "
                     "from orders o where total_amount <> (select sum(quantity * unit_price) from "
                     "order_items i where i.order_id = o.order_id))"),
              QStringList("200|1000|1|0"));
}

TEST_F(EmbeddedSample, SampleShowsAnIndexSearchAndIsRemadeWhenStale) {
    EXPECT_TRUE(isEmbeddedService("SQLite:/tmp/x.db"));
    EXPECT_FALSE(isEmbeddedService("sqlitedb"));
    EXPECT_THROW(openEmbeddedDatabase("sqlite:", "u"), DbError);
    EXPECT_THROW(openEmbeddedDatabase("ORCL", "u"), DbError);
    generateSampleDatabase(sampleDatabasePath(), kSmall);
    auto db = openEmbeddedDatabase("sqlite:sample", "SCOTT");
    const QString customers = "select count(*) from customers";
    EXPECT_EQ(rowsOf(*db, customers), QStringList("200")) << "a current sample is kept";
    db->execute(planTableCreateStatement(kPlanTable));
    // The object each step of the plan reads, in tree order.
    const auto objects = [&](const QString& sql) {
        db->execute(planDeleteStatement(kPlanTable));
        db->execute(explainPlanStatement(kPlanTable, sql));
        return rowsOf(*db, "select options, object_name from " + kPlanTable + " order by id");
    };
    EXPECT_EQ(objects("select * from customers where city = '那覇'"),
              QStringList({"null|null", "FULL|CUSTOMERS"}));
    EXPECT_EQ(objects("select * from orders where customer_id = 42"),
              QStringList({"null|null", "BY INDEX ROWID|ORDERS", "RANGE SCAN|IX_ORDERS_CUSTOMER"}));
    // An older sample of ours is made again at full size; what the user added to it stays in
    // sample.db.bak.
    db->execute("create table mine (x)");
    db.reset();
    SqliteProbe(sampleDatabasePath()).exec("PRAGMA user_version = 0");
    EXPECT_EQ(rowsOf(*openEmbeddedDatabase("sqlite:sample", "SCOTT"), customers),
              QStringList(QString::number(SampleSize{}.customers)));
    EmbeddedDatabase backup(sampleDatabasePath() + ".bak", "u");
    EXPECT_EQ(rowsOf(backup, "select count(*) from mine"), QStringList("0"));
}

// A file in use, or one this program did not make, is left exactly as it is.
TEST_F(EmbeddedSample, ABusyOrForeignFileIsNeverReplaced) {
    generateSampleDatabase(sampleDatabasePath(), kSmall);
    {
        SqliteProbe writer(sampleDatabasePath());
        ASSERT_TRUE(writer.exec("BEGIN EXCLUSIVE; CREATE TABLE pending (x)"));
        EXPECT_EQ(sampleState(sampleDatabasePath(), 50), SampleState::Busy);
        writer.exec("ROLLBACK");
    }
    QFile::remove(sampleDatabasePath());
    SqliteProbe(sampleDatabasePath())
        .exec("CREATE TABLE ledger (x); INSERT INTO ledger VALUES (7)");
    EXPECT_EQ(sampleState(sampleDatabasePath()), SampleState::Foreign);
    EXPECT_TRUE(failsWith([] { openEmbeddedDatabase("sqlite:sample", "u"); }, kErrOdbcCall,
                          "is not a sample made by QuervinStudio"));
    EXPECT_EQ(SqliteProbe(sampleDatabasePath()).rows("SELECT x FROM ledger"), QStringList("7"));
}

}  // namespace
