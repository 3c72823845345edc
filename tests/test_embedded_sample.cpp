// The embedded services and the sample database: names, location, determinism, and that the
// sample shows a full scan turn into an index search.
#include "core/embedded/service/embeddedengine.h"
#include "core/embedded/service/sampledb.h"
#include "support/embeddedfixture.h"
#include "support/sqliteprobe.h"

#include <QDir>
#include <QFile>

using namespace qv;
using namespace qv::embedded;
using namespace qv::test;

namespace {

const SampleSize kSmall{200, 50, 1000, 4};

// The sample in a folder of the test's own, as the program's state names it.
class EmbeddedSample : public EmbeddedTest {
  protected:
    QString samplePath() const { return sampleDatabasePath(dir_.path()); }
    std::unique_ptr<Database> openSample(const QString& user) const {
        return openEmbeddedDatabase("sqlite:sample", user, dir_.path());
    }
};

TEST_F(EmbeddedSample, LocationFollowsTheProgramsFolderThenEnvironmentThenDataFolder) {
    qputenv("QUERVIN_SAMPLE_DIR", "/somewhere/else");
    EXPECT_EQ(samplePath(), QDir(dir_.path()).filePath("sample.db"));
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
    generateSampleDatabase(samplePath(), kSmall);
    auto db = openSample("SCOTT");
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
              QStringList(
                  {"null|null", "BY INDEX ROWID BATCHED|ORDERS", "RANGE SCAN|IX_ORDERS_CUSTOMER"}));
    // An older sample of ours is made again at full size; what the user added to it stays in
    // sample.db.bak.
    db->execute("create table mine (x)");
    db.reset();
    SqliteProbe(samplePath()).exec("PRAGMA user_version = 0");
    EXPECT_EQ(rowsOf(*openSample("SCOTT"), customers),
              QStringList(QString::number(SampleSize{}.customers)));
    EmbeddedDatabase backup(samplePath() + ".bak", "u");
    EXPECT_EQ(rowsOf(backup, "select count(*) from mine"), QStringList("0"));
}

// A file in use, or one this program did not make, is left exactly as it is.
TEST_F(EmbeddedSample, ABusyOrForeignFileIsNeverReplaced) {
    generateSampleDatabase(samplePath(), kSmall);
    {
        SqliteProbe writer(samplePath());
        ASSERT_TRUE(writer.exec("BEGIN EXCLUSIVE; CREATE TABLE pending (x)"));
        EXPECT_EQ(sampleState(samplePath(), 50), SampleState::Busy);
        writer.exec("ROLLBACK");
    }
    QFile::remove(samplePath());
    SqliteProbe(samplePath()).exec("CREATE TABLE ledger (x); INSERT INTO ledger VALUES (7)");
    EXPECT_EQ(sampleState(samplePath()), SampleState::Foreign);
    EXPECT_TRUE(failsWith([this] { openSample("u"); }, kErrOdbcCall,
                          "is not a sample made by QuervinStudio"));
    EXPECT_EQ(SqliteProbe(samplePath()).rows("SELECT x FROM ledger"), QStringList("7"));
}

}  // namespace
