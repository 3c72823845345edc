#include "app/clirunner.h"
#include "embedded/embeddedengine.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

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
        args.prepend(u"quervin-cli"_s);
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
        args = QStringList{u"--service"_s, u"sqlite:sample"_s, u"--user"_s, u"demo"_s} + args;
        return cli(args);
    }

    QTemporaryDir sampleDir;
};

QJsonObject json(const Result& r) {
    return QJsonDocument::fromJson(r.out.toUtf8()).object();
}

}  // namespace

TEST_F(CliTest, TextOutputLabelsTheLinesAndListsTheVisibleGrids) {
    const Result r = sample({u"--no-plan"_s, u"--sql"_s,
                             u"select customer_id from customers where customer_id <= 3"_s});
    EXPECT_EQ(r.status, kCliCarriedOut) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith(u"plan: \nquery: \nstats: \ncount: 3件\n"_s))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(u"\n[plan] hidden\n"_s));
    EXPECT_TRUE(r.out.contains(u"[result]\nROWNUM\tcustomer_id\n1\t1\n2\t2\n3\t3\n"_s));
    EXPECT_TRUE(r.out.contains(u"\t3\trows fetched\n"_s));
}

TEST_F(CliTest, JsonHasEveryGridAndTheCounts) {
    const Result r =
        sample({u"--format"_s, u"json"_s, u"--create-plan-table"_s, u"--max-rows"_s, u"2"_s,
                u"--sql"_s, u"select * from products where category = '文房具'"_s});
    ASSERT_EQ(r.status, kCliCarriedOut) << r.err.toStdString();
    const QJsonObject o = json(r);
    EXPECT_EQ(o[u"messages"_s].toObject()[u"plan"_s].toString(), QString());
    const int total = o[u"rowCount"_s].toInt();
    EXPECT_GT(total, 2);
    EXPECT_TRUE(o[u"rowsOverMax"_s].toBool());
    EXPECT_EQ(o[u"count"_s].toString(), u"%1件中2件まで表示"_s.arg(total));
    const QJsonObject result = o[u"result"_s].toObject();
    EXPECT_TRUE(result[u"visible"_s].toBool());
    EXPECT_EQ(result[u"header"_s].toArray().first().toString(), u"ROWNUM"_s);
    EXPECT_EQ(result[u"rows"_s].toArray().size(), 2);
    const QJsonObject plan = o[u"plan"_s].toObject();
    EXPECT_EQ(plan[u"rows"_s].toArray().first().toArray().first().toString(),
              u"SELECT STATEMENT"_s);
    bool fetched = false;
    for (const QJsonValue row : o[u"stats"_s].toObject()[u"rows"_s].toArray())
        if (row.toArray()[2].toString() == u"rows fetched"_s)
            fetched = row.toArray()[1].toString() == QString::number(total);
    EXPECT_TRUE(fetched);
    EXPECT_FALSE(o.contains(u"runNumber"_s));
}

TEST_F(CliTest, RecordGivesRunNumbersInSequence) {
    QTemporaryDir dir;
    const QString file = dir.filePath(u"h.mdb"_s);
    const QStringList args = {u"--no-plan"_s, u"--record"_s, file, u"--sql"_s, u"select 1"_s};
    const Result first = sample(args);
    EXPECT_EQ(first.status, kCliCarriedOut) << first.err.toStdString();
    EXPECT_TRUE(first.out.contains(u"\nrun: 1\n"_s));
    const Result second = sample(QStringList{u"--format"_s, u"json"_s} + args);
    EXPECT_EQ(json(second)[u"runNumber"_s].toInt(), 2);
    const Result third = sample({u"--no-plan"_s, u"--record="_s + file, u"--sql"_s, u"select 1"_s});
    EXPECT_TRUE(third.out.contains(u"\nrun: 3\n"_s));

    QFile junk(dir.filePath(u"junk.mdb"_s));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'j'));
    junk.close();
    const Result bad = sample({u"--record"_s, junk.fileName(), u"--sql"_s, u"select 1"_s});
    EXPECT_EQ(bad.status, kCliRecordFailed);
    EXPECT_TRUE(bad.err.startsWith(u"履歴処理エラー:"_s));
}

TEST_F(CliTest, StatementFromFileOrStandardInputAndPlanOnly) {
    QTemporaryDir dir;
    QFile f(dir.filePath(u"q.sql"_s));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("select name\n  from products\n where product_id = 1\n");
    f.close();
    const Result fromFile =
        sample({u"--no-query"_s, u"--create-plan-table"_s, u"--sql-file"_s, f.fileName()});
    EXPECT_EQ(fromFile.status, kCliCarriedOut);
    EXPECT_TRUE(fromFile.out.contains(u"[result] hidden"_s));
    EXPECT_TRUE(fromFile.out.contains(u"[stats] hidden"_s));
    EXPECT_TRUE(fromFile.out.contains(u"[plan]\nOperation\tCardinality\tCost\tByte\n"_s));

    const Result fromStdin =
        cli({u"--service"_s, u"sqlite:sample"_s, u"--user"_s, u"demo"_s, u"--no-plan"_s},
            u"select 42 as answer"_s);
    EXPECT_TRUE(fromStdin.out.contains(u"ROWNUM\tanswer\n1\t42\n"_s));
}

TEST_F(CliTest, RefusedRunsAndBadArguments) {
    Result r = sample({u"--sql"_s, u"  \n "_s});
    EXPECT_EQ(r.status, kCliRefused);
    EXPECT_EQ(r.err, u"SQLを入力してください。\n"_s);
    r = sample({u"--no-plan"_s, u"--no-query"_s, u"--sql"_s, u"select 1"_s});
    EXPECT_EQ(r.status, kCliRefused);
    EXPECT_EQ(r.err, u"実行オプションを１つ以上指定してください。\n"_s);

    const QList<QStringList> bad = {
        {u"--user"_s, u"x"_s, u"--sql"_s, u"s"_s},
        {u"--service"_s, u"sqlite:sample"_s, u"--user"_s, u"x"_s, u"--max-rows"_s, u"-1"_s},
        {u"--service"_s, u"s"_s, u"--user"_s, u"x"_s, u"--format"_s, u"xml"_s},
        {u"--service"_s, u"s"_s, u"--user"_s, u"x"_s, u"--optimizer"_s, u"RULE; drop table t"_s},
        {u"--service"_s, u"s"_s, u"--user"_s, u"x"_s, u"--bogus"_s},
        {u"--service"_s, u"sqlite:/no/such/dir/x.db"_s, u"--user"_s, u"x"_s, u"--sql"_s,
         u"select 1"_s},
    };
    for (const QStringList& args : bad) {
        const Result b = cli(args);
        EXPECT_EQ(b.status, kCliBadArguments) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_FALSE(b.err.isEmpty());
        EXPECT_TRUE(b.out.isEmpty());
    }
}

TEST_F(CliTest, PasswordIsNeverPrinted) {
    const Result r = sample({u"--password"_s, u"hunter2-secret"_s, u"--sql"_s, u"select 'x'"_s});
    EXPECT_EQ(r.status, kCliCarriedOut);
    EXPECT_FALSE(r.out.contains(u"hunter2-secret"_s));
    EXPECT_FALSE(r.err.contains(u"hunter2-secret"_s));
}
