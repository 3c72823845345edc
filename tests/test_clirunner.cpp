#include "app/clirunner.h"
#include "embedded/embeddedengine.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

using namespace qv;

namespace {

struct Result {
    int status = -1;
    QString out;
    QString err;
};

class CliTest : public ::testing::Test {
  protected:
    CliTest() { setSampleDirectory(sampleDir.path()); }
    ~CliTest() override { setSampleDirectory(QString()); }

    Result cli(QStringList args, QString input = QString()) {
        args.prepend(QStringLiteral("quervin-cli"));
        Result r;
        QTextStream in(&input);
        QTextStream out(&r.out);
        QTextStream err(&r.err);
        r.status = runCli(args, in, out, err);
        out.flush();
        err.flush();
        return r;
    }
    Result sample(QStringList args) {
        args = QStringList{QStringLiteral("--service"), QStringLiteral("sqlite:sample"),
                           QStringLiteral("--user"), QStringLiteral("demo")} +
               args;
        return cli(args);
    }

    QTemporaryDir sampleDir;
};

QJsonObject json(const Result& r) {
    return QJsonDocument::fromJson(r.out.toUtf8()).object();
}

}  // namespace

TEST_F(CliTest, TextOutputLabelsTheLinesAndListsTheVisibleGrids) {
    const Result r =
        sample({QStringLiteral("--no-plan"), QStringLiteral("--sql"),
                QStringLiteral("select customer_id from customers where customer_id <= 3")});
    EXPECT_EQ(r.status, kCliCarriedOut) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("plan: \nquery: \nstats: \ncount: 3件\n")))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("\n[plan] hidden\n")));
    EXPECT_TRUE(
        r.out.contains(QStringLiteral("[result]\nROWNUM\tcustomer_id\n1\t1\n2\t2\n3\t3\n")));
    EXPECT_TRUE(r.out.contains(QStringLiteral("\t3\trows fetched\n")));
}

TEST_F(CliTest, JsonHasEveryGridAndTheCounts) {
    const Result r = sample({QStringLiteral("--format"), QStringLiteral("json"),
                             QStringLiteral("--create-plan-table"), QStringLiteral("--max-rows"),
                             QStringLiteral("2"), QStringLiteral("--sql"),
                             QStringLiteral("select * from products where category = '文房具'")});
    ASSERT_EQ(r.status, kCliCarriedOut) << r.err.toStdString();
    const QJsonObject o = json(r);
    EXPECT_EQ(o[QStringLiteral("messages")].toObject()[QStringLiteral("plan")].toString(),
              QString());
    const int total = o[QStringLiteral("rowCount")].toInt();
    EXPECT_GT(total, 2);
    EXPECT_TRUE(o[QStringLiteral("rowsOverMax")].toBool());
    EXPECT_EQ(o[QStringLiteral("count")].toString(),
              QStringLiteral("%1件中2件まで表示").arg(total));
    const QJsonObject result = o[QStringLiteral("result")].toObject();
    EXPECT_TRUE(result[QStringLiteral("visible")].toBool());
    EXPECT_EQ(result[QStringLiteral("header")].toArray().first().toString(),
              QStringLiteral("ROWNUM"));
    EXPECT_EQ(result[QStringLiteral("rows")].toArray().size(), 2);
    const QJsonObject plan = o[QStringLiteral("plan")].toObject();
    EXPECT_EQ(plan[QStringLiteral("rows")].toArray().first().toArray().first().toString(),
              QStringLiteral("SELECT STATEMENT"));
    bool fetched = false;
    for (const QJsonValue row :
         o[QStringLiteral("stats")].toObject()[QStringLiteral("rows")].toArray())
        if (row.toArray()[2].toString() == QStringLiteral("rows fetched"))
            fetched = row.toArray()[1].toString() == QString::number(total);
    EXPECT_TRUE(fetched);
    EXPECT_FALSE(o.contains(QStringLiteral("runNumber")));
}

TEST_F(CliTest, RecordGivesRunNumbersInSequence) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("h.mdb"));
    const QStringList args = {QStringLiteral("--no-plan"), QStringLiteral("--record"), file,
                              QStringLiteral("--sql"), QStringLiteral("select 1")};
    const Result first = sample(args);
    EXPECT_EQ(first.status, kCliCarriedOut) << first.err.toStdString();
    EXPECT_TRUE(first.out.contains(QStringLiteral("\nrun: 1\n")));
    const Result second =
        sample(QStringList{QStringLiteral("--format"), QStringLiteral("json")} + args);
    EXPECT_EQ(json(second)[QStringLiteral("runNumber")].toInt(), 2);
    const Result third = sample({QStringLiteral("--no-plan"), QStringLiteral("--record=") + file,
                                 QStringLiteral("--sql"), QStringLiteral("select 1")});
    EXPECT_TRUE(third.out.contains(QStringLiteral("\nrun: 3\n")));

    QFile junk(dir.filePath(QStringLiteral("junk.mdb")));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'j'));
    junk.close();
    const Result bad = sample({QStringLiteral("--record"), junk.fileName(), QStringLiteral("--sql"),
                               QStringLiteral("select 1")});
    EXPECT_EQ(bad.status, kCliRecordFailed);
    EXPECT_TRUE(bad.err.startsWith(QStringLiteral("履歴処理エラー:")));
}

TEST_F(CliTest, StatementFromFileOrStandardInputAndPlanOnly) {
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("q.sql")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("select name\n  from products\n where product_id = 1\n");
    f.close();
    const Result fromFile =
        sample({QStringLiteral("--no-query"), QStringLiteral("--create-plan-table"),
                QStringLiteral("--sql-file"), f.fileName()});
    EXPECT_EQ(fromFile.status, kCliCarriedOut);
    EXPECT_TRUE(fromFile.out.contains(QStringLiteral("[result] hidden")));
    EXPECT_TRUE(fromFile.out.contains(QStringLiteral("[stats] hidden")));
    EXPECT_TRUE(
        fromFile.out.contains(QStringLiteral("[plan]\nOperation\tCardinality\tCost\tByte\n")));

    const Result fromStdin =
        cli({QStringLiteral("--service"), QStringLiteral("sqlite:sample"), QStringLiteral("--user"),
             QStringLiteral("demo"), QStringLiteral("--no-plan")},
            QStringLiteral("select 42 as answer"));
    EXPECT_TRUE(fromStdin.out.contains(QStringLiteral("ROWNUM\tanswer\n1\t42\n")));
}

TEST_F(CliTest, RefusedRunsAndBadArguments) {
    Result r = sample({QStringLiteral("--sql"), QStringLiteral("  \n ")});
    EXPECT_EQ(r.status, kCliRefused);
    EXPECT_EQ(r.err, QStringLiteral("SQLを入力してください。\n"));
    r = sample({QStringLiteral("--no-plan"), QStringLiteral("--no-query"), QStringLiteral("--sql"),
                QStringLiteral("select 1")});
    EXPECT_EQ(r.status, kCliRefused);
    EXPECT_EQ(r.err, QStringLiteral("実行オプションを１つ以上指定してください。\n"));

    const QList<QStringList> bad = {
        {QStringLiteral("--user"), QStringLiteral("x"), QStringLiteral("--sql"),
         QStringLiteral("s")},
        {QStringLiteral("--service"), QStringLiteral("sqlite:sample"), QStringLiteral("--user"),
         QStringLiteral("x"), QStringLiteral("--max-rows"), QStringLiteral("-1")},
        {QStringLiteral("--service"), QStringLiteral("s"), QStringLiteral("--user"),
         QStringLiteral("x"), QStringLiteral("--format"), QStringLiteral("xml")},
        {QStringLiteral("--service"), QStringLiteral("s"), QStringLiteral("--user"),
         QStringLiteral("x"), QStringLiteral("--optimizer"), QStringLiteral("RULE; drop table t")},
        {QStringLiteral("--service"), QStringLiteral("s"), QStringLiteral("--user"),
         QStringLiteral("x"), QStringLiteral("--bogus")},
        {QStringLiteral("--service"), QStringLiteral("sqlite:/no/such/dir/x.db"),
         QStringLiteral("--user"), QStringLiteral("x"), QStringLiteral("--sql"),
         QStringLiteral("select 1")},
    };
    for (const QStringList& args : bad) {
        const Result b = cli(args);
        EXPECT_EQ(b.status, kCliBadArguments) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_FALSE(b.err.isEmpty());
        EXPECT_TRUE(b.out.isEmpty());
    }
}

TEST_F(CliTest, PasswordIsNeverPrinted) {
    const Result r = sample({QStringLiteral("--password"), QStringLiteral("hunter2-secret"),
                             QStringLiteral("--sql"), QStringLiteral("select 'x'")});
    EXPECT_EQ(r.status, kCliCarriedOut);
    EXPECT_FALSE(r.out.contains(QStringLiteral("hunter2-secret")));
    EXPECT_FALSE(r.err.contains(QStringLiteral("hunter2-secret")));
}
