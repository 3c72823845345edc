#include "core/history/historyfile.h"
#include "core/history/statementring.h"
#include "core/privatefile.h"
#include "core/settings/settingsstore.h"
#include "core/settings/sharedsettings.h"
#include "core/sql/secrettext.h"
#include "support/checks.h"
#include "support/sqliteprobe.h"
#include "support/testrunwindow.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <functional>

using namespace Qt::StringLiterals;
using namespace qv;
using test::SqliteProbe;

namespace {

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

mode_t modeOf(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// The user every file of another user belongs to in these tests.
constexpr uid_t kOtherUser = 65534;

class HistorySecurity : public ::testing::Test {
  protected:
    HistorySecurity() : file(dir.filePath(u"quervhst.mdb"_s)) {
        file.record(test::runRecord(u"select 1 from dual"_s, {{5, QString(), 4}}, {}));
    }
    HistoryFile::Recorded record(const QString& sql) {
        return file.record(test::runRecord(sql, {{5, QString(), 4}}, {}));
    }
    // Makes the file one from elsewhere with `sql` run on it.
    void craft(const char* sql) {
        SqliteProbe o(file.path());
        ASSERT_TRUE(o.exec(sql)) << o.error.toStdString();
    }

    QTemporaryDir dir;
    HistoryFile file;
};

}  // namespace

TEST(Secrets, PasswordsInStatementsAreMaskedWhereverTheyAreKept) {
    const QList<std::pair<QString, QString>> cases = {
        {u"alter user s identified by \"N3wPassw0rd\""_s, u"alter user s identified by ********"_s},
        {u"CREATE USER a IDENTIFIED BY s3cret$x QUOTA 1M"_s,
         u"CREATE USER a IDENTIFIED BY ******** QUOTA 1M"_s},
        {u"alter user a identified by new1 replace 'old1'"_s,
         u"alter user a identified by ******** replace ********"_s},
        {u"create database link r connect to u identified by \"L1nkPw\" using 'R'"_s,
         u"create database link r connect to u identified by ******** using 'R'"_s},
        {u"create database link l using 'u/pw9@db'"_s,
         u"create database link l using 'u/********@db'"_s},
        {u"ALTER ROLE r WITH PASSWORD 'Pg1'"_s, u"ALTER ROLE r WITH PASSWORD ********"_s},
        {u"alter user a password expire"_s, u"alter user a password expire"_s},
        {u"select password, identified from t where x = 'a/b@c'"_s,
         u"select password, identified from t where x = 'a/b@c'"_s},
    };
    for (const auto& [typed, kept] : cases)
        EXPECT_EQ(maskSecrets(typed), kept) << typed.toStdString();

    // In the ring and in its settings file, in the history file's bytes.
    QTemporaryDir dir;
    SettingsStore store(dir.filePath(u"quervin.ini"_s));
    StatementRing ring(store);
    HistoryFile history(dir.filePath(u"h.mdb"_s));
    for (const auto& [typed, kept] : cases) {
        ring.addAndSave(typed);
        EXPECT_EQ(ring.statement(ring.nextSlot() - 1), kept);
        history.record(test::runRecord(typed, {}, {}));
    }
    for (const QByteArray secret : {"N3wPassw0rd", "s3cret", "L1nkPw", "pw9", "Pg1", "old1"}) {
        EXPECT_FALSE(bytesOf(store.location()).contains(secret)) << secret.constData();
        EXPECT_FALSE(bytesOf(history.path()).contains(secret)) << secret.constData();
    }
    ring.clear();
    StatementRing again(store);
    again.load();
    EXPECT_EQ(std::pair(again.highestSlot(), again.statement(0)), std::pair(0, QString()));
    EXPECT_FALSE(bytesOf(store.location()).contains("QUOTA")) << "cleared for good";
}

TEST(StoredGoal, OnlyAGoalTheOptionsOfferReachesTheSession) {
    QTemporaryDir dir;
    auto store = std::make_shared<SettingsStore>(dir.filePath(u"quervin.ini"_s));
    store->write(u"i_optimizer"_s, u"1"_s);
    store->write(u"s_optimizer"_s, u"RULE SQL_TRACE = TRUE"_s);
    EXPECT_EQ(SharedSettings(store).sessionOptimizerGoal(), QString());
    EXPECT_TRUE(SharedSettings(store).storedGoalNotOffered());
    store->write(u"s_optimizer"_s, u"FIRST_ROWS_10"_s);
    EXPECT_EQ(SharedSettings(store).sessionOptimizerGoal(), u"FIRST_ROWS_10"_s);
    EXPECT_FALSE(SharedSettings(store).storedGoalNotOffered());
}

TEST_F(HistorySecurity, FilesAndFoldersTheProgramMakesAreTheUsersAlone) {
    const mode_t before = ::umask(022);
    const QString folder = dir.filePath(u"data/QUERVIN"_s);
    ASSERT_TRUE(makePrivateFolder(folder));
    HistoryFile made(folder + u"/quervhst.mdb"_s);
    made.record(test::runRecord(u"select 1 from dual"_s, {}, {}));
    SettingsStore store(dir.filePath(u"config/QUERVIN/quervin.ini"_s));
    store.write(u"sqlhist_0"_s, u"select 1 from dual"_s);
    ::umask(before);
    EXPECT_EQ(modeOf(dir.filePath(u"data"_s)), 0700u);
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(modeOf(made.path()), 0600u);
    EXPECT_EQ(modeOf(dir.filePath(u"config/QUERVIN"_s)), 0700u);
    EXPECT_EQ(modeOf(store.location()), 0600u);
    // A mode the user chose stays.
    ::chmod(QFile::encodeName(file.path()).constData(), 0640);
    record(u"select 2 from dual"_s);
    EXPECT_EQ(modeOf(file.path()), 0640u);
    // Where the program looks for its file by itself: a folder of the user's that no one else
    // writes to.
    EXPECT_TRUE(isPrivateFolder(folder));
    ::chmod(QFile::encodeName(folder).constData(), 0775);
    EXPECT_FALSE(isPrivateFolder(folder));
}

// Another user's files: planted in a shared folder, a symbolic link to the user's own file, and
// what another user can read of the user's.
TEST_F(HistorySecurity, AnotherUsersFilesAreNotWrittenAndTheUsersAreNotRead) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, to make files of another user";
    const QString shared = dir.filePath(u"shared"_s);
    QDir().mkpath(shared);
    ::chmod(QFile::encodeName(shared).constData(), 01777);
    ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
    EXPECT_FALSE(isPrivateFolder(shared));

    const QString planted = shared + u"/quervhst.mdb"_s;
    QFile::copy(file.path(), planted);
    ::chown(QFile::encodeName(planted).constData(), kOtherUser, kOtherUser);
    ::chmod(QFile::encodeName(planted).constData(), 0666);
    const QByteArray plantedBytes = bytesOf(planted);
    HistoryFile foreign(planted);
    EXPECT_THROW(foreign.check(), DbError);
    EXPECT_TRUE(test::errorOf([&] { foreign.record(test::runRecord(u"select 3"_s, {}, {})); })
                    .description()
                    .contains(u"他のユーザーのファイル"_s));
    EXPECT_EQ(foreign.runs().size(), 1) << "read all the same";
    EXPECT_EQ(bytesOf(planted), plantedBytes);

    const QString link = shared + u"/link.mdb"_s;
    ASSERT_EQ(
        ::symlink(QFile::encodeName(file.path()).constData(), QFile::encodeName(link).constData()),
        0);
    const QByteArray own = bytesOf(file.path());
    EXPECT_THROW(HistoryFile(link).record(test::runRecord(u"select 3"_s, {}, {})), DbError);
    EXPECT_THROW(HistoryFile(link).runs(), DbError) << "a link is not followed";
    EXPECT_EQ(bytesOf(file.path()), own);

    // What the user's run wrote, read as the other user.
    QProcess cat;
    cat.start(u"setpriv"_s,
              {u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s, u"cat"_s, file.path()});
    ASSERT_TRUE(cat.waitForFinished());
    EXPECT_NE(cat.exitCode(), 0);
    EXPECT_TRUE(cat.readAllStandardOutput().isEmpty());
}

// Files made to act when the program writes or reads them.
TEST_F(HistorySecurity, CraftedFilesAreRefusedForRecordingAndReadWithinBounds) {
    record(u"select 2 from dual"_s);
    craft(
        "CREATE TABLE LOOT (V); CREATE TRIGGER REWRITE AFTER INSERT ON SQL_HIST BEGIN "
        "UPDATE SQL_HIST SET SQL = 'x'; INSERT INTO LOOT SELECT VALUE FROM BIND_HIST; END");
    const QByteArray original = bytesOf(file.path());
    EXPECT_TRUE(test::errorOf([&] { record(u"select 3 from dual"_s); })
                    .description()
                    .contains(u"trigger REWRITE"_s));
    EXPECT_THROW(file.check(), DbError);
    EXPECT_THROW(file.deleteRuns({1}), DbError);
    EXPECT_EQ(file.runs().size(), 2);
    ASSERT_TRUE(file.run(2).has_value());
    EXPECT_EQ(bytesOf(file.path()), original) << "neither recording nor reading changed it";

    // A trigger that never ends does not run; neither does a view standing for a table.
    craft(
        "DROP TRIGGER REWRITE; CREATE TRIGGER SPIN BEFORE INSERT ON SQL_HIST BEGIN "
        "SELECT count(*) FROM (WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) "
        "SELECT x FROM c); END");
    EXPECT_THROW(record(u"select 4 from dual"_s), DbError);
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QUERVIN_SAMPLE_DIR"_s, dir.filePath(u"sample"_s));
    cli.setProcessEnvironment(env);
    cli.start(QStringLiteral(QUERVIN_CLI),
              {u"--service"_s, u"sqlite:sample"_s, u"--user"_s, u"demo"_s, u"--sql"_s,
               u"select 1 from dual"_s, u"--record"_s, file.path()});
    ASSERT_TRUE(cli.waitForFinished(120'000));
    EXPECT_EQ(cli.exitCode(), 3) << "the recording failed, the run went ahead";
    EXPECT_TRUE(cli.readAllStandardError().contains("SPIN"));
    craft(
        "DROP TRIGGER SPIN; ALTER TABLE SQL_HIST RENAME TO OLD_SQL; CREATE VIEW SQL_HIST AS "
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) "
        "SELECT x AS NUM, '' AS TIMESTAMP, '' AS SQL FROM c");
    const QByteArray viewed = bytesOf(file.path());
    for (const auto& read : std::initializer_list<std::function<void()>>{
             [&] { file.runs(); }, [&] { file.run(1); }, [&] { record(u"select 5"_s); }})
        EXPECT_TRUE(test::errorOf(read).description().contains(u"SQL_HIST"_s));
    EXPECT_EQ(bytesOf(file.path()), viewed);

    // However big the file, a call gives up at its time bound.
    craft(
        "DROP VIEW SQL_HIST; ALTER TABLE OLD_SQL RENAME TO SQL_HIST; WITH RECURSIVE "
        "c(x) AS (SELECT 10 UNION ALL SELECT x + 1 FROM c WHERE x < 5000) INSERT INTO "
        "SQL_HIST (NUM, TIMESTAMP, SQL) SELECT x, '', 'select ' || x FROM c");
    file.setTimeLimit(0);
    EXPECT_TRUE(test::errorOf([&] { file.runs(u"select 4999"_s); })
                    .description()
                    .contains(u"打ち切りました"_s));
}

TEST_F(HistorySecurity, ADeletedRunIsGoneFromTheFilesBytes) {
    record(u"select 'MARKER_TWO' from dual"_s);
    record(u"select 'MARKER_THREE' from dual"_s);
    ASSERT_TRUE(bytesOf(file.path()).contains("MARKER_TWO"));
    EXPECT_EQ(file.deleteRuns({2, 99}), 1) << "only the runs named, and those there";
    EXPECT_FALSE(bytesOf(file.path()).contains("MARKER_TWO"));
    EXPECT_FALSE(file.run(2).has_value());
    EXPECT_TRUE(file.run(1) && file.run(3));

    QProcess cli;
    cli.start(QStringLiteral(QUERVIN_CLI),
              {u"history"_s, u"delete"_s, u"3"_s, u"--file"_s, file.path()});
    ASSERT_TRUE(cli.waitForFinished());
    EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    EXPECT_FALSE(bytesOf(file.path()).contains("MARKER_THREE"));
    cli.start(QStringLiteral(QUERVIN_CLI),
              {u"history"_s, u"delete"_s, u"3"_s, u"--file"_s, file.path()});
    ASSERT_TRUE(cli.waitForFinished());
    EXPECT_EQ(cli.exitCode(), 2) << "no such run";
}

// Ctrl-C and SIGTERM at the password prompt give the terminal back with its echo.
TEST(PasswordPrompt, TheTerminalIsGivenBackWhenTheProgramIsStopped) {
    for (const bool typed : {true, false}) {
        int master = -1, slave = -1;
        ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::setsid();
            ::ioctl(slave, TIOCSCTTY, 0);
            ::dup2(slave, 0);
            ::dup2(slave, 1);
            ::dup2(slave, 2);
            ::execl(QUERVIN_CLI, QUERVIN_CLI, "--service", "sqlite:sample", "--user", "demo",
                    "--password-prompt", "--sql", "select 1 from dual", nullptr);
            ::_exit(127);
        }
        // The prompt is there when its text is.
        QByteArray shown;
        char buf[256];
        while (!shown.contains("Password: ")) {
            const ssize_t n = ::read(master, buf, sizeof buf);
            ASSERT_GT(n, 0) << shown.constData();
            shown.append(buf, int(n));
        }
        termios t{};
        ASSERT_EQ(::tcgetattr(slave, &t), 0);
        EXPECT_EQ(t.c_lflag & ECHO, 0u) << "the prompt turned echo off";
        if (typed)
            EXPECT_EQ(::write(master, "\x03", 1), 1);  // Ctrl-C at the keyboard
        else
            ::kill(child, SIGTERM);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status)) << "ended as the signal ends it";
        ASSERT_EQ(::tcgetattr(slave, &t), 0);
        EXPECT_NE(t.c_lflag & ECHO, 0u) << (typed ? "Ctrl-C" : "SIGTERM");
        ::close(master);
        ::close(slave);
    }
}
