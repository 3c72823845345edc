#include "core/history/statementring.h"
#include "core/history/statementringcursor.h"
#include "core/settings/settingsstore.h"
#include "core/window/querywindowmodel.h"
#include "support/scripteddb.h"
#include "support/tempprogram.h"
#include "support/testport.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QSignalSpy>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;
using namespace qv;

TEST(StatementRing, CursorWalksBySlotAndWraps) {
    StatementRing ring;
    StatementRingCursor f;
    f.setRing(&ring);
    f.next();
    f.previous();
    EXPECT_EQ(f.position(), 0) << "an empty ring stays at 0";
    EXPECT_EQ(f.statement(), QString());
    for (const char* t : {"T1", "T2", "T3"})
        ring.add(QString::fromLatin1(t));
    QStringList seen;
    for (int i = 0; i < 3; ++i) {
        f.next();
        seen << f.statement();
    }
    f.previous();
    seen << f.statement();
    EXPECT_EQ(seen, (QStringList{u"T2"_s, u"T3"_s, u"T1"_s, u"T3"_s}));
    StatementRingCursor other;  // a new window starts at 0
    other.setRing(&ring);
    EXPECT_EQ(other.statement(), u"T1"_s);
}

TEST(StatementRing, RingWrapsAfterSlot100) {
    StatementRing ring;
    for (int i = 0; i < 101; ++i)
        ring.add(u"S%1"_s.arg(i));
    EXPECT_EQ(std::pair(ring.nextSlot(), ring.highestSlot()), std::pair(101, 100));
    ring.add(u"S101"_s);
    EXPECT_EQ(std::pair(ring.nextSlot(), ring.highestSlot()), std::pair(1, 100));
    EXPECT_EQ(QStringList({ring.statement(0), ring.statement(101), ring.statement(-1)}),
              QStringList({u"S101"_s, QString(), QString()}));
    ring.add(u"S101"_s);
    EXPECT_EQ(ring.statement(1), ring.statement(0)) << "the same text takes two slots";
}

TEST(StatementRing, RestartRestoresLongStatementsWithAnyCharacters) {
    test::TempProgram tmp;
    QString big;
    for (int i = 0; big.size() < 5000; ++i)
        big += u"select 列%1, 'a,b;c' from t%1\r\n\twhere x = 'O''Brien' -- @end, a=b\n"_s.arg(i);
    for (const QString& s : {u"first"_s, big, u"third"_s})
        tmp.program().statementRing().add(s);
    tmp.program().end();
    QString max, next;
    tmp.store().read(u"sqlhist_max"_s, max);
    tmp.store().read(u"sqlhist_nextp"_s, next);
    EXPECT_EQ(max + u"/"_s + next, u"2/3"_s);
    ProgramState restarted(tmp.openStore());
    EXPECT_EQ(restarted.statementRing().statement(1), big);
    restarted.statementRing().add(u"fourth"_s);
    EXPECT_EQ(restarted.statementRing().statement(3), u"fourth"_s);
}

TEST(StatementRing, StoredNumbersAreBroughtIntoRange) {
    const std::tuple<const char*, const char*, int, int> cases[] = {
        {"250", "7", 100, 7}, {"-4", "-9", 0, 0},  {"3", "500", 3, 101}, {"abc", "2", 0, 2},
        {"2.5", "3.5", 2, 4}, {"1e10", "1", 0, 0}, {" 5 ", "+1", 5, 1},
    };
    for (const auto& [max, next, wantMax, wantNext] : cases) {
        test::TempProgram tmp;
        tmp.put(u"sqlhist_max"_s, QString::fromLatin1(max));
        tmp.put(u"sqlhist_nextp"_s, QString::fromLatin1(next));
        tmp.put(u"sqlhist_2"_s, u"two"_s);
        StatementRing& ring = tmp.program().statementRing();
        EXPECT_EQ(std::tuple(ring.highestSlot(), ring.nextSlot(), ring.statement(2)),
                  std::tuple(wantMax, wantNext, wantMax >= 2 ? u"two"_s : QString()))
            << max << "/" << next;
        const int expectedSlot = wantNext > 100 ? 0 : wantNext;
        ring.add(u"x"_s);
        EXPECT_EQ(ring.statement(expectedSlot), u"x"_s);
    }
}

// Each statement is saved as it is added, on top of what another copy of the program added
// meanwhile, and the end of a program that added nothing new changes nothing.
TEST(StatementRing, AdditionsAreSavedAtOnceAndTwoProgramsKeepEachOthers) {
    test::TempProgram tmp;
    // Two running copies, each with the ring as it started.
    StatementRing first(tmp.store()), second(tmp.store());
    first.load();
    second.load();
    first.addAndSave(u"from the first"_s);
    second.addAndSave(u"from the second"_s);
    first.addAndSave(u"the first again"_s);
    StatementRing stored(tmp.store());
    stored.load();
    EXPECT_EQ(QStringList({stored.statement(0), stored.statement(1), stored.statement(2)}),
              QStringList({u"from the first"_s, u"from the second"_s, u"the first again"_s}));
    tmp.program().statementRing();
    tmp.program().end();  // a program that ran nothing ends
    stored.load();
    EXPECT_EQ(stored.nextSlot(), 3);
}

// A hand-edited file that does not parse is kept aside before it is rewritten, and what could
// be read of it stays in the ring.
TEST(StatementRing, ABrokenSettingsFileIsCopiedAsideAndItsStatementsKept) {
    test::TempProgram tmp;
    QFile f(tmp.path());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[General]\nsqlhist_0=first\nsqlhist_max=0\nsqlhist_nextp=1\n[Broken\nf_query=0\n");
    f.close();
    tmp.program().statementRing().addAndSave(u"second"_s);
    StatementRing stored(tmp.store());
    stored.load();
    EXPECT_EQ(QStringList({stored.statement(0), stored.statement(1)}),
              QStringList({u"first"_s, u"second"_s}));
    const QStringList copies = QDir(tmp.dir()).entryList({u"quervin.ini.broken-*"_s});
    ASSERT_EQ(copies.size(), 1);
    QFile copy(QDir(tmp.dir()).filePath(copies[0]));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_TRUE(copy.readAll().contains("[Broken\nf_query=0"));
}

// A lock file that cannot be used (a folder in its place) holds up no save for long: the
// statement is saved without it, and the window says so once, in its own message box. The
// window's thread never waits for the lock.
TEST(StatementRingLock, AnUnusableLockIsToldOnceAndTheStatementsAreSavedWithoutIt) {
    test::TempProgram tmp;
    ASSERT_TRUE(QDir().mkpath(tmp.store().lockPath()));
    StatementRing& ring = tmp.program().statementRing();
    ring.addAndSave(u"at once"_s);
    test::TestPort port;
    QueryWindowModel model(tmp.program(), port);
    model.load();
    auto script = std::make_shared<test::Script>();
    model.connection().setOpener([&](const QString&, const QString&, const QString&) {
        return std::make_unique<test::ScriptedDatabase>(u"Q"_s, script);
    });
    port.logins.append(LoginValues{u"ORCL"_s, u"scott"_s, QString()});
    model.connection().logIn();
    ASSERT_TRUE(model.connection().waitForAttempt(10'000));
    QSignalSpy saved(&ring, &StatementRing::savingEnded);
    for (const QString& sql : {u"select 1 from dual"_s, u"select 2 from dual"_s}) {
        port.sql = sql;
        model.execute();
        ASSERT_TRUE(model.waitForRun(10'000));
        EXPECT_TRUE(ring.saving()) << "the run's statement is saved on a thread of its own";
        ASSERT_TRUE(saved.wait(10'000));
    }
    EXPECT_EQ(port.messages, QStringList{u"QuervinStudio|ロックファイル "_s +
                                         QDir::toNativeSeparators(tmp.store().lockPath()) +
                                         u" を使用できないため、実行したSQLの履歴をロックせずに"
                                         u"保存します。"_s});
    StatementRing stored(tmp.store());
    stored.load();
    EXPECT_EQ(QStringList({stored.statement(0), stored.statement(1), stored.statement(2)}),
              QStringList({u"at once"_s, u"select 1 from dual"_s, u"select 2 from dual"_s}));
}

// A save that fails keeps the statements in the ring, and the next save writes them too.
TEST(StatementRingLock, AFailedSaveKeepsTheStatementsForTheNextSave) {
    test::TempProgram tmp;
    StatementRing& ring = tmp.program().statementRing();
    QFile::remove(tmp.path());
    ASSERT_TRUE(QDir().mkpath(tmp.path())) << "a folder where the settings file goes";
    QSignalSpy saved(&ring, &StatementRing::savingEnded);
    ring.addAndSaveInBackground(u"first"_s, nullptr, {});
    ASSERT_TRUE(saved.wait(10'000));
    EXPECT_EQ(std::tuple(saved.takeFirst().value(0).toBool(), ring.unsaved(), ring.statement(0)),
              std::tuple(false, true, u"first"_s));
    ASSERT_TRUE(QDir(tmp.path()).removeRecursively());
    ring.addAndSaveInBackground(u"second"_s, nullptr, {});
    ASSERT_TRUE(saved.wait(10'000));
    EXPECT_TRUE(saved.takeFirst().value(0).toBool());
    StatementRing stored(tmp.store());
    stored.load();
    EXPECT_EQ(QStringList({stored.statement(0), stored.statement(1)}),
              QStringList({u"first"_s, u"second"_s}));
}

namespace {

// A copy of the program doing `args` on the ring; started, not waited for.
std::unique_ptr<QProcess> helper(const QStringList& args) {
    auto p = std::make_unique<QProcess>();
    p->start(QStringLiteral(STORAGE_HELPER), args);
    EXPECT_TRUE(p->waitForStarted()) << p->errorString().toStdString();
    return p;
}

}  // namespace

// Two copies adding in tight loops: 120 additions, so the ring keeps exactly the last 101 of
// them, which for each copy are the last ones it added; nothing else is lost.
TEST(StatementRingAcrossPrograms, TwoProgramsAddingAtOnceLoseOnlyWhatTheRingOverwrites) {
    test::TempProgram tmp;
    const int each = 60;
    auto a = helper({u"ring-add"_s, tmp.path(), u"A"_s, QString::number(each)});
    auto b = helper({u"ring-add"_s, tmp.path(), u"B"_s, QString::number(each)});
    for (QProcess* p : {a.get(), b.get()}) {
        ASSERT_TRUE(p->waitForFinished(60'000));
        ASSERT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
    }
    StatementRing stored(tmp.store());
    stored.load();
    EXPECT_EQ(std::pair(stored.highestSlot(), stored.nextSlot()), std::pair(100, 2 * each - 101));
    QMap<QString, QList<int>> kept;
    for (int slot = 0; slot <= 100; ++slot) {
        const QStringList parts = stored.statement(slot).split(u' ');
        ASSERT_EQ(parts.size(), 2) << slot;
        kept[parts[0]].append(parts[1].toInt());
    }
    int total = 0;
    for (auto it = kept.begin(); it != kept.end(); ++it) {
        QList<int>& numbers = it.value();
        std::sort(numbers.begin(), numbers.end());
        QList<int> last;
        for (int i = each - int(numbers.size()); i < each; ++i)
            last << i;
        EXPECT_EQ(numbers, last) << it.key().toStdString() << ": its last additions, each once";
        total += int(numbers.size());
    }
    EXPECT_EQ(total, 101);
}

// The update lock keeps a second copy from writing while one holds it; a lock left by a copy
// that died does not hold up the next addition.
TEST(StatementRingAcrossPrograms, ALockLeftByAProgramThatDiedIsTakenOver) {
    test::TempProgram tmp;
    auto holder = helper({u"ring-hold"_s, tmp.path()});
    ASSERT_TRUE(holder->waitForReadyRead(10'000));
    ASSERT_EQ(holder->readLine().trimmed(), QByteArray("locked"));
    StatementRing ring(tmp.store());
    ring.add(u"while held"_s);
    EXPECT_FALSE(ring.saveAdditions(50));
    EXPECT_FALSE(QFile::exists(tmp.path())) << "nothing written while another copy holds it";
    holder->kill();
    ASSERT_TRUE(holder->waitForFinished());
    ASSERT_TRUE(QFile::exists(SettingsStore(tmp.path()).lockPath()));
    EXPECT_TRUE(ring.saveAdditions(5'000));
    StatementRing stored(tmp.store());
    stored.load();
    EXPECT_EQ(stored.statement(0), u"while held"_s);
}
