#include "core/cli/clirunner.h"

#include "core/cli/historycli.h"

#include "core/connection/connectstring.h"
#include "core/history/historyfile.h"
#include "core/tuning/runwindow.h"
#include "core/tuning/tuningrun.h"
#include "core/version.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace qv {

namespace {

// The run's window without a screen: everything shown is kept for printing.
class CliRunWindow : public RunWindow {
  public:
    QString sql;
    Settings options;
    QString user, service;
    bool createPlanTable = false;
    std::shared_ptr<Database> query, stats;
    QString planLine, resultLine, statsLine, count;
    QStringList refusals;
    GridModel plan, data, statistics;
    ResultState result;

    QString sqlText() const override { return sql; }
    void setPlanMessage(const QString& m) override { planLine = m; }
    void setResultMessage(const QString& m) override { resultLine = m; }
    void setStatsMessage(const QString& m) override { statsLine = m; }
    void setCountLabel(const QString& t) override { count = t; }
    GridModel& planGrid() override { return plan; }
    GridModel& resultGrid() override { return data; }
    GridModel& statsGrid() override { return statistics; }
    ResultState& resultState() override { return result; }
    Answer ask(const QString&) override { return createPlanTable ? Answer::Yes : Answer::No; }
    void showMessage(const QString& text) override { refusals.append(text); }
    // About a character's width; only the grid's own column widths depend on it.
    int blankWidthTwips(int n) const override { return n * 100; }
    Settings& settings() override { return options; }
    Database& queryDatabase() override { return *query; }
    Database& statsDatabase() override { return *stats; }
    QString userName() const override { return user; }
    QString serviceName() const override { return service; }
    void addToRing(const QString&) override {}
    RunControl& control() override { return runControl; }
    RunControl runControl;
};

QStringList rowTexts(const GridModel& g, int row) {
    QStringList cells;
    for (int c = 0; c < g.cols(); ++c)
        cells.append(g.text(row, c));
    return cells;
}

QJsonObject gridJson(const GridModel& g) {
    QJsonObject o;
    o.insert(QStringLiteral("visible"), g.visible());
    QJsonArray header;
    QJsonArray rows;
    if (g.visible()) {
        header = QJsonArray::fromStringList(rowTexts(g, 0));
        for (int r = 1; r < g.rows(); ++r)
            rows.append(QJsonArray::fromStringList(rowTexts(g, r)));
    }
    o.insert(QStringLiteral("header"), header);
    o.insert(QStringLiteral("rows"), rows);
    return o;
}

void printGrid(QTextStream& out, const char* name, const GridModel& g) {
    out << "\n[" << name << "]";
    if (!g.visible()) {
        out << " hidden\n";
        return;
    }
    out << "\n";
    for (int r = 0; r < g.rows(); ++r)
        out << rowTexts(g, r).join(QLatin1Char('\t')) << "\n";
}

// "--record FILE" and "--record=FILE" become "--record --record-file FILE": the parser has no
// options with an optional value.
QStringList splitRecordFile(const QStringList& args) {
    QStringList out;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a.startsWith(QStringLiteral("--record="))) {
            out << QStringLiteral("--record") << QStringLiteral("--record-file")
                << a.mid(int(sizeof("--record=")) - 1);
        } else if (a == QStringLiteral("--record") && i + 1 < args.size() &&
                   !args[i + 1].startsWith(QLatin1Char('-'))) {
            out << a << QStringLiteral("--record-file") << args[++i];
        } else {
            out << a;
        }
    }
    return out;
}

const QString kMsgStatementTooLarge =
    QStringLiteral("The statement is larger than 16 MB; nothing was run.");

// How long a stopped run may take to end before the runner gives up on the driver.
constexpr int kStopWaitMs = 10'000;

// Runs `w` on a thread of its own while this one watches for a stop request and the timeout.
RunOutcome runStoppable(CliRunWindow& w, double timeoutSeconds, const CliTerminal& terminal,
                        QTextStream& err) {
    if (terminal.arm)
        terminal.arm();
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    RunOutcome outcome = RunOutcome::CarriedOut;
    std::thread worker([&] {
        const RunOutcome o = runTuning(w);
        std::lock_guard lock(mutex);
        outcome = o;
        done = true;
        ended.notify_all();
    });
    QElapsedTimer clock;
    clock.start();
    QElapsedTimer sinceStop;
    auto finished = [&](int ms) {
        std::unique_lock lock(mutex);
        return ended.wait_for(lock, std::chrono::milliseconds(ms), [&] { return done; });
    };
    while (!finished(terminal.waitForStop ? 0 : 20)) {
        const bool asked = terminal.waitForStop && terminal.waitForStop(20);
        const bool late = timeoutSeconds > 0 && clock.elapsed() >= timeoutSeconds * 1000;
        if ((asked || late) && !sinceStop.isValid()) {
            err << (asked ? "stopping: cancelling the statement on the server\n"
                          : "timeout: cancelling the statement on the server\n");
            err.flush();
            sinceStop.start();
        }
        if (sinceStop.isValid()) {
            // Again and again: a statement that started after the last cancel is caught too.
            w.runControl.requestStop();
            if (sinceStop.elapsed() > kStopWaitMs) {
                err << "the server did not stop the statement; leaving it\n";
                err.flush();
                std::quick_exit(kCliStopped);
            }
        }
    }
    worker.join();
    return outcome;
}

}  // namespace

int runCli(const QStringList& args, QTextStream& in, QTextStream& out, QTextStream& err,
           DatabaseOpener opener, CliTerminal terminal) {
    if (args.size() > 1 && args[1] == u"history")
        return runHistoryCli(args.mid(2), out, err);
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Runs one SQL tuning run like a QuervinStudio query window and prints what it shows: "
        "the execution plan, the row count, the result rows and the change of every session "
        "statistic. (quervin-cli history --help: the recorded runs and their comparison.)\nExit "
        "status: 0 the run was carried out (whatever failed inside it), 1 it "
        "was refused, 2 bad arguments or no connection, 3 the recording failed, 4 it was "
        "stopped (SIGINT, SIGTERM or --timeout: the statement is cancelled on the server and "
        "what was done so far is printed)."));
    p.addHelpOption();
    p.addVersionOption();
    const QCommandLineOption service(QStringLiteral("service"),
                                     QStringLiteral("Oracle net service name, or sqlite:sample / "
                                                    "sqlite:<file> for the embedded engine."),
                                     QStringLiteral("NAME"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("User name."),
                                  QStringLiteral("NAME"));
    const QCommandLineOption password(
        QStringLiteral("password"),
        QStringLiteral("Password. Every user of this machine can read it in the process list: "
                       "prefer QUERVIN_PASSWORD or --password-prompt. When no password is given, "
                       "QUERVIN_PASSWORD is used, else none."),
        QStringLiteral("TEXT"));
    const QCommandLineOption passwordPrompt(
        QStringLiteral("password-prompt"),
        QStringLiteral("Read the password from the terminal, without echo."));
    const QCommandLineOption driver(
        QStringLiteral("driver"), QStringLiteral("ODBC driver name (default: Oracle ODBC Driver)."),
        QStringLiteral("NAME"));
    const QCommandLineOption noPlan(QStringLiteral("no-plan"),
                                    QStringLiteral("Do not obtain the execution plan."));
    const QCommandLineOption noQuery(
        QStringLiteral("no-query"),
        QStringLiteral("Do not run the statement (and so read no statistics)."));
    const QCommandLineOption maxRows(QStringLiteral("max-rows"),
                                     QStringLiteral("Result rows shown (default 1000); all rows "
                                                    "are fetched and counted whatever this is."),
                                     QStringLiteral("N"));
    const QCommandLineOption optimizer(
        QStringLiteral("optimizer"),
        QStringLiteral("Set the session's optimizer goal first (CHOOSE, RULE, ALL_ROWS, "
                       "FIRST_ROWS, ...). Default: the session's own."),
        QStringLiteral("GOAL"));
    const QCommandLineOption planTable(QStringLiteral("plan-table"),
                                       QStringLiteral("Plan table (default QUERVIN$PLAN_TABLE)."),
                                       QStringLiteral("NAME"));
    const QCommandLineOption createPlanTable(
        QStringLiteral("create-plan-table"),
        QStringLiteral("Create the plan table when it is missing (otherwise it is not)."));
    const QCommandLineOption record(
        QStringLiteral("record"),
        QStringLiteral("Record the run into the tuning-history file: --record alone uses the "
                       "program's file, --record FILE that file. Prints the run number."));
    QCommandLineOption recordFile(QStringLiteral("record-file"), QString(), QStringLiteral("FILE"));
    recordFile.setFlags(QCommandLineOption::HiddenFromHelp);
    const QCommandLineOption format(QStringLiteral("format"),
                                    QStringLiteral("Output: text (default) or json."),
                                    QStringLiteral("text|json"), QStringLiteral("text"));
    const QCommandLineOption sql(QStringLiteral("sql"), QStringLiteral("The statement."),
                                 QStringLiteral("TEXT"));
    const QCommandLineOption sqlFile(QStringLiteral("sql-file"),
                                     QStringLiteral("Read the statement from FILE (UTF-8). "
                                                    "Without --sql or --sql-file it is read from "
                                                    "standard input."),
                                     QStringLiteral("FILE"));
    const QCommandLineOption timeout(
        QStringLiteral("timeout"),
        QStringLiteral("Stop the run after SECONDS, as Ctrl-C does: the statement is cancelled "
                       "on the server."),
        QStringLiteral("SECONDS"));
    p.addOptions({service, user, password, passwordPrompt, driver, noPlan, noQuery, maxRows,
                  optimizer, planTable, createPlanTable, record, recordFile, format, sql, sqlFile,
                  timeout});

    if (!p.parse(splitRecordFile(args))) {
        err << p.errorText() << "\n";
        return kCliBadArguments;
    }
    if (p.isSet(QStringLiteral("version"))) {
        out << "quervin-cli " << QUERVIN_VERSION << "\n";
        return kCliCarriedOut;
    }
    if (p.isSet(QStringLiteral("help"))) {
        out << p.helpText();
        return kCliCarriedOut;
    }
    auto bad = [&](const QString& text) {
        err << text << "\n";
        return kCliBadArguments;
    };
    if (!p.positionalArguments().isEmpty())
        return bad(QStringLiteral("Unexpected argument: ") + p.positionalArguments().first());
    if (p.value(service).isEmpty() || p.value(user).isEmpty())
        return bad(QStringLiteral("--service and --user are required."));
    const QString fmt = p.value(format);
    if (fmt != QStringLiteral("text") && fmt != QStringLiteral("json"))
        return bad(QStringLiteral("--format must be text or json."));
    if (p.isSet(sql) && p.isSet(sqlFile))
        return bad(QStringLiteral("Give --sql or --sql-file, not both."));
    double timeoutSeconds = 0;
    if (p.isSet(timeout)) {
        bool ok = false;
        timeoutSeconds = p.value(timeout).toDouble(&ok);
        if (!ok || !(timeoutSeconds > 0) || timeoutSeconds > 1e9)
            return bad(QStringLiteral("--timeout takes a number of seconds greater than 0."));
    }

    CliRunWindow w;
    w.options.maxDisplayRows = 1000;
    w.options.showPlan = !p.isSet(noPlan);
    w.options.runQuery = !p.isSet(noQuery);
    if (p.isSet(maxRows)) {
        bool ok = false;
        const int n = p.value(maxRows).toInt(&ok);
        if (!ok || n < 0)
            return bad(QStringLiteral("--max-rows must be a whole number of 0 or more."));
        w.options.maxDisplayRows = n;
    }
    if (p.isSet(optimizer)) {
        // The goal is appended to ALTER SESSION as it stands; only a plain name is taken.
        static const QRegularExpression name(QStringLiteral("^[A-Za-z][A-Za-z0-9_]*$"));
        if (!name.match(p.value(optimizer)).hasMatch())
            return bad(QStringLiteral("--optimizer takes a goal name such as ALL_ROWS."));
        w.options.overrideOptimizer = true;
        w.options.optimizerGoal = p.value(optimizer).toUpper();
    }
    if (p.isSet(planTable) && !p.value(planTable).isEmpty()) {
        if (!isValidPlanTableName(p.value(planTable)))
            return bad(
                QStringLiteral("--plan-table takes a table name such as PLAN_TABLE or "
                               "SCOTT.PLAN_TABLE."));
        w.options.planTable = p.value(planTable);
    }
    w.createPlanTable = p.isSet(createPlanTable);

    if (p.isSet(sql)) {
        w.sql = p.value(sql);
    } else if (p.isSet(sqlFile)) {
        QFile f(p.value(sqlFile));
        if (!f.open(QIODevice::ReadOnly))
            return bad(QStringLiteral("Cannot read ") + p.value(sqlFile) + QStringLiteral(": ") +
                       f.errorString());
        // Read no more than a statement can be: /dev/zero or a wrong file must not fill memory.
        const QByteArray bytes = f.read(kMaxStatementBytes + 1);
        if (bytes.size() > kMaxStatementBytes)
            return bad(kMsgStatementTooLarge);
        w.sql = QString::fromUtf8(bytes);
    } else {
        w.sql = in.read(kMaxStatementBytes + 1);
        if (w.sql.size() > kMaxStatementBytes)
            return bad(kMsgStatementTooLarge);
    }

    w.service = p.value(service);
    w.user = p.value(user);
    QString pass = p.isSet(password) ? p.value(password) : qEnvironmentVariable("QUERVIN_PASSWORD");
    if (p.isSet(passwordPrompt)) {
        const std::optional<QString> typed =
            terminal.readPassword ? terminal.readPassword(QStringLiteral("Password: "))
                                  : std::nullopt;
        if (!typed)
            return bad(QStringLiteral("--password-prompt needs a terminal to read from."));
        pass = *typed;
    }
    const QString cs = buildConnectString(p.value(driver), w.service, w.user, pass);
    try {
        if (!opener)
            throw DbError(kErrOdbcCall, QStringLiteral("No database driver is available."));
        w.query = opener(w.service, cs, w.user);
        w.runControl.setCancelTarget(w.query);
        w.stats = opener(w.service, cs, w.user);
    } catch (const DbError& e) {
        err << e.description() << "\n";
        return kCliBadArguments;
    }

    const RunOutcome outcome = runStoppable(w, timeoutSeconds, terminal, err);
    if (outcome == RunOutcome::Refused) {
        err << w.refusals.join(QLatin1Char('\n')) << "\n";
        return kCliRefused;
    }

    int status = w.runControl.stopRequested() ? kCliStopped : kCliCarriedOut;
    int32_t runNumber = 0;
    if (p.isSet(record)) {
        const QString file = p.isSet(recordFile) ? p.value(recordFile) : HistoryFile::defaultPath();
        try {
            runNumber = HistoryFile(file)
                            .record(w.sql, w.statistics, w.plan,
                                    runFactsOf(w.service, w.user, w.options, w.result))
                            .runNumber;
        } catch (const DbError& e) {
            err << QStringLiteral("履歴処理エラー:") << e.description() << "\n";
            if (status == kCliCarriedOut)
                status = kCliRecordFailed;
        }
    }

    if (fmt == QStringLiteral("json")) {
        QJsonObject o;
        o.insert(QStringLiteral("messages"), QJsonObject{{QStringLiteral("plan"), w.planLine},
                                                         {QStringLiteral("query"), w.resultLine},
                                                         {QStringLiteral("stats"), w.statsLine}});
        o.insert(QStringLiteral("count"), w.count);
        o.insert(QStringLiteral("rowCount"), static_cast<qint64>(w.result.rowCount));
        o.insert(QStringLiteral("rowsOverMax"), w.result.rowsOverMax);
        o.insert(QStringLiteral("plan"), gridJson(w.plan));
        o.insert(QStringLiteral("result"), gridJson(w.data));
        o.insert(QStringLiteral("stats"), gridJson(w.statistics));
        if (runNumber > 0)
            o.insert(QStringLiteral("runNumber"), runNumber);
        out << QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Indented));
    } else {
        out << "plan: " << w.planLine << "\n"
            << "query: " << w.resultLine << "\n"
            << "stats: " << w.statsLine << "\n"
            << "count: " << w.count << "\n";
        if (runNumber > 0)
            out << "run: " << runNumber << "\n";
        printGrid(out, "plan", w.plan);
        printGrid(out, "result", w.data);
        printGrid(out, "stats", w.statistics);
    }
    return status;
}

}  // namespace qv
