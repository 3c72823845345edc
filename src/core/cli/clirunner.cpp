#include "core/cli/clirunner.h"

#include "core/cli/clibinds.h"
#include "core/cli/clilogin.h"
#include "core/cli/historycli.h"
#include "core/cli/scriptcli.h"
#include "core/cli/statementfile.h"
#include "core/cli/terminaltext.h"
#include "core/cli/whatifcli.h"

#include "core/about/programhelp.h"
#include "core/history/historyfile.h"
#include "core/internalerror.h"
#include "core/tuning/actualsstep.h"
#include "core/tuning/hintusage.h"
#include "core/tuning/planstep.h"
#include "core/tuning/runthread.h"
#include "core/tuning/runwindow.h"
#include "core/tuning/tuningrun.h"
#include "core/tuning/xplantext.h"
#include "core/version.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <atomic>
#include <chrono>
#include <cstdlib>

namespace qv {

namespace {

// The run's window without a screen: everything shown is kept for printing.
class CliRunWindow : public RunWindow {
  public:
    QString sql;
    // The command line's options, kept nowhere; read by the run as a window's are.
    SharedSettings options{Settings{}};
    QString user, service;
    bool createPlanTable = false;
    std::shared_ptr<Database> query, stats;
    QString planLine, resultLine, statsLine, count;
    QStringList refusals;
    QStringList notes;     // passing notes, printed after the lines
    QStringList warnings;  // what the driver said at login (a password about to expire)
    GridModel plan, data, statistics;
    RunControl runControl;
    std::atomic<bool> interrupted{false};  // a stop came from the terminal, not the timeout
    std::atomic<bool> recording{false};    // the run has ended and is being recorded

    QString sqlText() const override { return sql; }
    BindList binds() const override { return values; }
    BindList values;  // from --bind and --bind-type
    void setPlanMessage(const QString& m) override { planLine = m; }
    void setResultMessage(const QString& m) override { resultLine = m; }
    void setStatsMessage(const QString& m) override { statsLine = m; }
    void setCountLabel(const QString& t) override { count = t; }
    GridModel& planGrid() override { return plan; }
    GridModel& resultGrid() override { return data; }
    GridModel& statsGrid() override { return statistics; }
    Answer ask(const QString&) override { return createPlanTable ? Answer::Yes : Answer::No; }
    void showMessage(const QString& text) override { refusals.append(text); }
    void showNote(const QString& text) override { notes.append(text); }
    QString& sessionStatisticsLevel() override { return statisticsLevel; }
    SessionTransaction& transaction() override { return sessionTransaction; }
    SessionMemory& sessionMemory() override { return memory; }
    QString statisticsLevel;
    SessionTransaction sessionTransaction;
    SessionMemory memory;
    // About a character's width; only the grid's own column widths depend on it.
    int blankWidthTwips(int n) const override { return n * 100; }
    const SharedSettings& settings() const override { return options; }
    Database& queryDatabase() override { return *query; }
    Database& statsDatabase() override { return *stats; }
    QString userName() const override { return user; }
    QString serviceName() const override { return service; }
    void addToRing(const QString&) override {}
    RunControl& control() override { return runControl; }
};

// What the command line asks for, beside the run's own settings.
struct CliRequest {
    QString password;
    bool passwordPrompt = false;
    bool record = false;
    QString recordFile;  // empty: the program's history file
    bool json = false;
    bool xplan = false;         // the plan alone, as DBMS_XPLAN prints it
    double timeoutSeconds = 0;  // 0: none
    bool wholePlan = false;     // an adaptive plan with its inactive lines, marked
};

QStringList rowTexts(const GridModel& g, int row) {
    QStringList cells;
    for (int c = 0; c < g.cols(); ++c)
        cells.append(g.text(row, c));
    return cells;
}

// A grid of the output: its headings and rows, or hidden.
struct Table {
    bool visible = false;
    QStringList header;
    QList<QStringList> rows;
};

// The plan as the grid shows it: with each line's figures when they were read; with `whole`
// every line of an adaptive plan, an inactive one marked as DBMS_XPLAN's ADAPTIVE format marks
// it.
Table planTable(const RunRecord& run, bool showPlan, bool whole) {
    const bool actuals = run.actualsStep.done();
    Table t{showPlan && (run.planStep.done() || actuals),
            actuals ? kPlanHeadings + kActualHeadings : kPlanHeadings,
            {}};
    GridModel grid;
    fillPlanGrid(shownPlanLines(run, whole), grid);
    for (int r = 1; r < grid.rows(); ++r) {
        QStringList cells = rowTexts(grid, r);
        cells.resize(t.header.size());
        t.rows.append(cells);
    }
    return t;
}

QJsonValue optionalJson(const std::optional<int64_t>& v) {
    return v ? QJsonValue(qint64(*v)) : QJsonValue();
}

// Each plan line as values: its id, predicates and figures.
QJsonArray planLinesJson(const QList<PlanLine>& plan) {
    QJsonArray lines;
    for (const PlanLine& l : plan) {
        const PlanLineActuals a = l.actuals.value_or(PlanLineActuals{});
        QJsonObject line{{QStringLiteral("id"), qint64(l.id)},
                         {QStringLiteral("parentId"), optionalJson(l.parentId)},
                         {QStringLiteral("accessPredicates"), l.accessPredicates},
                         {QStringLiteral("filterPredicates"), l.filterPredicates},
                         {QStringLiteral("starts"), optionalJson(a.starts)},
                         {QStringLiteral("aRows"), optionalJson(a.rows)},
                         {QStringLiteral("buffers"), optionalJson(a.buffers)},
                         {QStringLiteral("reads"), optionalJson(a.reads)},
                         {QStringLiteral("aTimeMicros"), optionalJson(a.elapsedMicros)}};
        if (l.inactive)
            line.insert(QStringLiteral("inactive"), true);
        lines.append(line);
    }
    return lines;
}

Table statisticsTable(const RunRecord& run) {
    Table t{run.statisticsStep.done(), kStatisticHeadings, {}};
    for (const StatisticReading& s : run.statistics)
        t.rows.append(statisticCells(s));
    return t;
}

// The result's rows exist only as shown: the first rows, in the result grid.
Table resultTable(const GridModel& g) {
    Table t{g.visible(), {}, {}};
    if (t.visible) {
        t.header = rowTexts(g, 0);
        for (int r = 1; r < g.rows(); ++r)
            t.rows.append(rowTexts(g, r));
    }
    return t;
}

QJsonObject tableJson(const Table& t) {
    QJsonArray rows;
    for (const QStringList& r : t.rows)
        rows.append(QJsonArray::fromStringList(r));
    return QJsonObject{
        {QStringLiteral("visible"), t.visible},
        {QStringLiteral("header"), t.visible ? QJsonArray::fromStringList(t.header) : QJsonArray()},
        {QStringLiteral("rows"), t.visible ? rows : QJsonArray()}};
}

// A row of text output: each cell on the line, its own tabs and line breaks escaped.
QString textRow(const QStringList& cells) {
    QStringList shown;
    shown.reserve(cells.size());
    for (const QString& cell : cells)
        shown << terminalText(cell);
    return shown.join(QLatin1Char('\t'));
}

void printTable(QTextStream& out, const char* name, const Table& t) {
    out << "\n[" << name << "]";
    if (!t.visible) {
        out << " hidden\n";
        return;
    }
    out << "\n" << textRow(t.header) << "\n";
    for (const QStringList& r : t.rows)
        out << textRow(r) << "\n";
}

// The plan with the texts its predicate block and hint report are made of escaped for text
// output; the report's own line breaks stay.
QList<PlanLine> planForText(QList<PlanLine> plan) {
    for (PlanLine& line : plan) {
        line.accessPredicates = terminalText(line.accessPredicates);
        line.filterPredicates = terminalText(line.filterPredicates);
        QStringList report = line.hintReport.split(u'\n');
        for (QString& reportLine : report)
            reportLine = terminalText(reportLine);
        line.hintReport = report.join(u'\n');
    }
    return plan;
}

void printRun(QTextStream& out, const CliRunWindow& w, const RunRecord& run, bool json, bool whole,
              int32_t runNumber) {
    const Table plan = planTable(run, w.options.showPlan(), whole);
    const QList<PlanLine>& shown = shownPlanLines(run, whole);
    // Beside the run's passing notes, what the plan is when it is adaptive.
    QStringList notes = w.notes;
    if (const QString note = adaptivePlanNote(run.adaptive, whole); plan.visible && !note.isEmpty())
        notes.prepend(note);
    const Table result = resultTable(w.data);
    const Table stats = statisticsTable(run);
    if (json) {
        QJsonObject o;
        o.insert(QStringLiteral("messages"), QJsonObject{{QStringLiteral("plan"), w.planLine},
                                                         {QStringLiteral("query"), w.resultLine},
                                                         {QStringLiteral("stats"), w.statsLine}});
        o.insert(QStringLiteral("count"), w.count);
        o.insert(QStringLiteral("binds"), bindsJson(run.binds));
        o.insert(QStringLiteral("rowCount"), static_cast<qint64>(run.result.rowCount));
        o.insert(QStringLiteral("rowsOverMax"), run.result.rowsOverMax);
        o.insert(QStringLiteral("rolledBack"), run.rolledBack);
        QJsonObject planJson = tableJson(plan);
        planJson.insert(QStringLiteral("lines"),
                        plan.visible ? planLinesJson(shown) : QJsonArray());
        if (run.planHash)
            planJson.insert(QStringLiteral("planHash"), qint64(*run.planHash));
        planJson.insert(QStringLiteral("planDiffers"), run.planDiffers);
        o.insert(QStringLiteral("plan"), planJson);
        o.insert(QStringLiteral("notes"), QJsonArray::fromStringList(notes));
        o.insert(QStringLiteral("warnings"), QJsonArray::fromStringList(w.warnings));
        o.insert(QStringLiteral("rowSourceStatistics"), run.rowSourceStatistics);
        o.insert(QStringLiteral("result"), tableJson(result));
        o.insert(QStringLiteral("stats"), tableJson(stats));
        if (runNumber > 0)
            o.insert(QStringLiteral("runNumber"), runNumber);
        out << QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Indented));
        return;
    }
    out << "plan: " << terminalText(w.planLine) << "\n"
        << "query: " << terminalText(w.resultLine) << "\n"
        << "stats: " << terminalText(w.statsLine) << "\n"
        << "count: " << terminalText(w.count) << "\n";
    if (run.rolledBack)
        out << "rolled back: the change was measured, then undone\n";
    for (const QString& warning : w.warnings)
        out << "warning: " << terminalText(warning) << "\n";
    for (const QString& note : notes)
        out << "note: " << terminalText(note) << "\n";
    if (runNumber > 0)
        out << "run: " << runNumber << "\n";
    printBinds(out, run.binds);
    printTable(out, "plan", plan);
    const QList<PlanLine> planText = planForText(shown);
    if (const QString predicates = predicateInformation(planText, QStringLiteral("\n"));
        plan.visible && !predicates.isEmpty())
        out << "\n" << predicates;
    if (const QString hints = hintReportText(planText, QStringLiteral("\n"));
        plan.visible && !hints.isEmpty())
        out << "\n" << hints;
    printTable(out, "result", result);
    printTable(out, "stats", stats);
}

// The plan shown as DBMS_XPLAN prints it; what else the run says of it goes to `err`.
void printXplan(QTextStream& out, QTextStream& err, const CliRunWindow& w, const RunRecord& run,
                bool whole, int32_t runNumber) {
    if (planTable(run, w.options.showPlan(), whole).visible)
        out << xplanText(run, whole);
    if (!w.planLine.isEmpty())
        err << "plan: " << terminalText(w.planLine) << "\n";
    for (const QString& note : w.notes)
        err << "note: " << terminalText(note) << "\n";
    if (runNumber > 0)
        err << "run: " << runNumber << "\n";
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

// Runs `w` on a thread of its own while this one waits for its end, a stop from the terminal
// or the timeout, whichever comes first.
RunRecord runStoppable(const std::shared_ptr<CliRunWindow>& w, double timeoutSeconds,
                       const CliTerminal& terminal, QTextStream& err) {
    if (terminal.arm)
        terminal.arm();
    const std::shared_ptr<RunThread> run = RunThread::start(*w, w);
    try {
        if (terminal.watchStop) {
            terminal.watchStop([w] {
                w->interrupted = true;
                w->runControl.requestStop();
                // A history file that keeps the program busy is left as it was.
                if (w->recording)
                    history::stopAll();
            });
        }
    } catch (...) {
        // The program ends on it: the statement is cancelled first, not left running.
        run->stop();
        run->wait(kStopWaitMs);
        throw;
    }
    std::optional<RunControl::Clock::time_point> deadline;
    if (timeoutSeconds > 0)
        deadline =
            RunControl::Clock::now() + std::chrono::duration_cast<RunControl::Clock::duration>(
                                           std::chrono::duration<double>(timeoutSeconds));
    if (!run->waitForEndOrStop(deadline)) {
        err << (w->interrupted ? "stopping: cancelling the statement on the server\n"
                               : "timeout: cancelling the statement on the server\n");
        err.flush();
        run->stop();
        if (!run->wait(kStopWaitMs)) {
            err << "the server did not stop the statement; leaving it\n";
            err.flush();
            std::quick_exit(kCliStopped);
        }
    }
    return run->record();
}

// The options of a tuning run on the command line.
struct CliOptions {
    QCommandLineOption service{QStringLiteral("service"),
                               QStringLiteral("Oracle net service name, or sqlite:sample / "
                                              "sqlite:<file> for the embedded engine."),
                               QStringLiteral("NAME")};
    QCommandLineOption user{QStringLiteral("user"), QStringLiteral("User name."),
                            QStringLiteral("NAME")};
    QCommandLineOption password{
        QStringLiteral("password"),
        QStringLiteral("Password. Every user of this machine can read it in the process list: "
                       "prefer QUERVIN_PASSWORD or --password-prompt. When no password is given, "
                       "QUERVIN_PASSWORD is used, else none."),
        QStringLiteral("TEXT")};
    QCommandLineOption passwordPrompt{
        QStringLiteral("password-prompt"),
        QStringLiteral("Read the password from the terminal, without echo.")};
    QCommandLineOption driver{QStringLiteral("driver"),
                              QStringLiteral("ODBC driver name (default: Oracle ODBC Driver, "
                                             "else the first installed driver whose name has "
                                             "Oracle in it)."),
                              QStringLiteral("NAME")};
    QCommandLineOption noPlan{QStringLiteral("no-plan"),
                              QStringLiteral("Do not obtain the execution plan.")};
    QCommandLineOption noQuery{
        QStringLiteral("no-query"),
        QStringLiteral("Do not run the statement (and so read no statistics).")};
    QCommandLineOption maxRows{QStringLiteral("max-rows"),
                               QStringLiteral("Result rows shown (default 1000); all rows are "
                                              "fetched and counted whatever this is."),
                               QStringLiteral("N")};
    QCommandLineOption optimizer{
        QStringLiteral("optimizer"),
        QStringLiteral("Set the session's optimizer goal first (CHOOSE, RULE, ALL_ROWS, "
                       "FIRST_ROWS, FIRST_ROWS_1, FIRST_ROWS_10, FIRST_ROWS_100, "
                       "FIRST_ROWS_1000). Default: the session's own."),
        QStringLiteral("GOAL")};
    QCommandLineOption planTable{QStringLiteral("plan-table"),
                                 QStringLiteral("Plan table (default QUERVIN$PLAN_TABLE)."),
                                 QStringLiteral("NAME")};
    QCommandLineOption createPlanTable{
        QStringLiteral("create-plan-table"),
        QStringLiteral("Create the plan table when it is missing (otherwise it is not).")};
    QCommandLineOption record{
        QStringLiteral("record"),
        QStringLiteral("Record the run into the tuning-history file: --record alone uses "
                       "quervhst.mdb (see Files), --record FILE that file. Prints the run "
                       "number.")};
    QCommandLineOption recordFile{QStringLiteral("record-file"), QString(), QStringLiteral("FILE")};
    QCommandLineOption format{
        QStringLiteral("format"),
        QStringLiteral("Output: text (default), json, or xplan: the plan alone as "
                       "DBMS_XPLAN.DISPLAY_CURSOR(format => 'ALLSTATS LAST +COST +BYTES') prints "
                       "it (none without a plan), its messages on standard error."),
        QStringLiteral("text|json|xplan"), QStringLiteral("text")};
    QCommandLineOption sql{QStringLiteral("sql"), QStringLiteral("The statement."),
                           QStringLiteral("TEXT")};
    QCommandLineOption sqlFile{QStringLiteral("sql-file"),
                               QStringLiteral("Read the statement from FILE (UTF-8). Without "
                                              "--sql or --sql-file it is read from standard "
                                              "input."),
                               QStringLiteral("FILE")};
    QCommandLineOption bind{
        QStringLiteral("bind"),
        QStringLiteral("The value of the statement's bind variable NAME (:NAME in the statement), "
                       "as typed: a number in Oracle's form, a date as YYYY-MM-DD [HH24:MI:SS], "
                       "a timestamp as a date whose seconds may have a fraction (.123456). "
                       "Repeatable. A statement that runs needs a value for each variable."),
        QStringLiteral("NAME=VALUE")};
    QCommandLineOption bindType{
        QStringLiteral("bind-type"),
        QStringLiteral("The type NAME is bound as: VARCHAR2 (default), NUMBER, DATE, TIMESTAMP or "
                       "NULL (which needs no --bind). Repeatable."),
        QStringLiteral("NAME=TYPE")};
    QCommandLineOption timeout{
        QStringLiteral("timeout"),
        QStringLiteral("Stop the run after SECONDS, as Ctrl-C does: the statement is cancelled "
                       "on the server."),
        QStringLiteral("SECONDS")};
    QCommandLineOption adaptive{
        QStringLiteral("adaptive"),
        QStringLiteral("Show every line of an adaptive plan, those the statement does not use "
                       "marked '-', as DBMS_XPLAN's ADAPTIVE format does. Without it the final "
                       "plan is shown and a note says how many lines it leaves out.")};
    QCommandLineOption rollback{
        QStringLiteral("rollback"),
        QStringLiteral("Measure a statement that changes data, then roll its change back: the "
                       "statistics are the change's and the data stays as it was. DDL, COMMIT, "
                       "ROLLBACK and PL/SQL blocks are refused (exit 1).")};

    void addTo(QCommandLineParser& p) {
        recordFile.setFlags(QCommandLineOption::HiddenFromHelp);
        p.addOptions(
            {service, user,      password,  passwordPrompt,  driver,  noPlan,     noQuery,
             maxRows, optimizer, planTable, createPlanTable, record,  recordFile, format,
             sql,     sqlFile,   bind,      bindType,        timeout, rollback,   adaptive});
    }
};

const QString kCliDescription = QStringLiteral(
    "Runs one SQL tuning run like a QuervinStudio query window and prints what it shows: the "
    "execution plan, the row count, the result rows and the change of every session statistic. "
    "(quervin-cli history --help: the recorded runs and their comparison; quervin-cli "
    "--what-if-suggest --help: indexes tried without building them.)\nExit status: 0 the "
    "run was carried out (whatever failed inside it), 1 it was refused, 2 bad arguments (a bind "
    "variable without a value among them) or no connection, 3 the recording failed, 4 it was "
    "stopped (SIGINT, SIGTERM or --timeout: the "
    "statement is cancelled on the server and what was done so far is printed), 5 an internal "
    "error (told on standard error).");

// Reads the parsed options into the run's window and the request; the complaint about the
// first bad one, if any.
std::optional<QString> readOptions(const QCommandLineParser& p, const CliOptions& o,
                                   CliRunWindow& w, CliRequest& request) {
    if (!p.positionalArguments().isEmpty())
        return QStringLiteral("Unexpected argument: ") + p.positionalArguments().first();
    if (p.value(o.service).isEmpty() || p.value(o.user).isEmpty())
        return QStringLiteral("--service and --user are required.");
    const QString fmt = p.value(o.format);
    if (fmt != u"text" && fmt != u"json" && fmt != u"xplan")
        return QStringLiteral("--format must be text, json or xplan.");
    request.json = fmt == u"json";
    request.xplan = fmt == u"xplan";
    if (p.isSet(o.sql) && p.isSet(o.sqlFile))
        return QStringLiteral("Give --sql or --sql-file, not both.");
    if (p.isSet(o.timeout)) {
        bool ok = false;
        request.timeoutSeconds = p.value(o.timeout).toDouble(&ok);
        if (!ok || !(request.timeoutSeconds > 0) || request.timeoutSeconds > 1e9)
            return QStringLiteral("--timeout takes a number of seconds greater than 0.");
    }
    Settings chosen;  // a new query window's, then what the command line says
    chosen.maxDisplayRows = kNewWindowMaxDisplayRows;
    chosen.showPlan = !p.isSet(o.noPlan);
    chosen.runQuery = !p.isSet(o.noQuery);
    if (p.isSet(o.maxRows)) {
        bool ok = false;
        const int n = p.value(o.maxRows).toInt(&ok);
        if (!ok || n < 0)
            return QStringLiteral("--max-rows must be a whole number of 0 or more.");
        chosen.maxDisplayRows = n;
    }
    if (p.isSet(o.optimizer)) {
        // The goal is appended to ALTER SESSION as it stands; only a plain name is taken.
        static const QRegularExpression name(QStringLiteral("^[A-Za-z][A-Za-z0-9_]*$"));
        if (!name.match(p.value(o.optimizer)).hasMatch())
            return QStringLiteral("--optimizer takes a goal name such as ALL_ROWS.");
        chosen.overrideOptimizer = true;
        chosen.optimizerGoal = p.value(o.optimizer).toUpper();
    }
    if (p.isSet(o.planTable) && !p.value(o.planTable).isEmpty()) {
        if (!isValidPlanTableName(p.value(o.planTable)))
            return QStringLiteral(
                "--plan-table takes a table name such as PLAN_TABLE or SCOTT.PLAN_TABLE.");
        chosen.planTable = p.value(o.planTable);
    }
    chosen.rollbackAfterRun = p.isSet(o.rollback);
    // The driver also names the connection in the record, as a window's option does.
    chosen.odbcDriver = p.value(o.driver);
    w.options.change([&](Settings& s) { s = chosen; });
    if (const auto bad = readBindOptions(p.values(o.bind), p.values(o.bindType), w.values))
        return bad;
    w.createPlanTable = p.isSet(o.createPlanTable);
    w.service = p.value(o.service);
    w.user = p.value(o.user);
    request.password =
        p.isSet(o.password) ? p.value(o.password) : qEnvironmentVariable("QUERVIN_PASSWORD");
    request.passwordPrompt = p.isSet(o.passwordPrompt);
    request.wholePlan = p.isSet(o.adaptive);
    request.record = p.isSet(o.record);
    request.recordFile = p.value(o.recordFile);
    return std::nullopt;
}

// The statement from --sql, --sql-file or `in`; the complaint when it cannot be read.
std::optional<QString> readStatement(const QCommandLineParser& p, const CliOptions& o,
                                     QTextStream& in, QString& sql) {
    if (p.isSet(o.sql)) {
        sql = p.value(o.sql);
        return std::nullopt;
    }
    if (p.isSet(o.sqlFile))
        return readStatementFile(p.value(o.sqlFile), sql);
    sql = in.read(kMaxStatementBytes + 1);
    if (sql.size() > kMaxStatementBytes)
        return kMsgStatementTooLarge;
    return std::nullopt;
}

// Says on `err` that an exception with `text` (empty: none) ended the program's work.
int internalError(QTextStream& err, const QString& text) {
    err << "internal error: " << (text.isEmpty() ? QStringLiteral("unknown exception") : text)
        << "\n";
    err.flush();
    return kCliInternalError;
}

// Opens the run's two connections, keeping what the driver warned of, as a window shows it;
// the failure's text when they cannot be opened.
std::optional<QString> connect(CliRunWindow& w, const CliRequest& request,
                               const ProgramState& program, const CliTerminal& terminal) {
    CliLogin login{w.service, w.user, w.options.odbcDriver(), request.password,
                   request.passwordPrompt};
    if (auto complaint = completeLogin(login, program, terminal))
        return complaint;
    // Without --driver, the Oracle driver that is installed (and the record names it).
    w.options.set(&Settings::odbcDriver, login.driver);
    try {
        w.query = openSession(login, program);
        w.runControl.setCancelTarget(w.query);
        w.stats = openSession(login, program);
    } catch (const DbError& e) {
        return e.description();
    }
    // Both sessions give a warning of the login; it is told once.
    w.warnings = w.query->takeWarnings() + w.stats->takeWarnings();
    w.warnings.removeDuplicates();
    return std::nullopt;
}

}  // namespace

int reportInternalError(QTextStream& err) {
    return internalError(err, currentExceptionText());
}

namespace {

int runCommand(const QStringList& args, QTextStream& in, QTextStream& out, QTextStream& err,
               const ProgramState& program, const CliTerminal& terminal) {
    if (args.size() > 1 && args[1] == u"history")
        return runHistoryCli(args.mid(2), out, err);
    if (asksForScript(args))
        return runScriptCli(args, out, err, program, terminal);
    if (asksForWhatIf(args))
        return runWhatIfCli(args, in, out, err, program, terminal);
    QCommandLineParser p;
    p.setApplicationDescription(kCliDescription + QLatin1Char('\n') +
                                (cliFilesHelp() + cliEnvironmentHelp()).trimmed());
    p.addHelpOption();
    p.addVersionOption();
    CliOptions options;
    options.addTo(p);
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

    const auto w = std::make_shared<CliRunWindow>();
    CliRequest request;
    std::optional<QString> complaint = readOptions(p, options, *w, request);
    if (!complaint)
        complaint = readStatement(p, options, in, w->sql);
    // Refused before a connection is made, as the run would refuse it.
    if (!complaint) {
        if (const auto refusal = controlCharacterRefusal(w->sql)) {
            err << *refusal << "\n";
            return kCliRefused;
        }
    }
    // Nothing is run, nor connected to, with a variable the server would take as null.
    if (!complaint && w->options.runQuery())
        complaint = unboundVariable(w->sql, w->values);
    if (!complaint)
        complaint = connect(*w, request, program, terminal);
    if (complaint) {
        err << *complaint << "\n";
        return kCliBadArguments;
    }

    const RunRecord run = runStoppable(w, request.timeoutSeconds, terminal, err);
    if (run.internalError)
        return internalError(err, *run.internalError);
    if (run.outcome == RunOutcome::Refused) {
        err << w->refusals.join(QLatin1Char('\n')) << "\n";
        return kCliRefused;
    }
    int status = w->runControl.stopRequested() ? kCliStopped : kCliCarriedOut;
    int32_t runNumber = 0;
    if (request.record) {
        const QString file =
            request.recordFile.isEmpty() ? HistoryFile::defaultPath() : request.recordFile;
        HistoryFile history(file);
        if (request.timeoutSeconds > 0)
            history.setTimeLimit(int(
                std::min(request.timeoutSeconds * 1000.0, double(history::Limits{}.timeLimitMs))));
        w->recording = true;
        try {
            runNumber = history.record(run).runNumber;
        } catch (const DbError& e) {
            err << QStringLiteral("履歴処理エラー:") << e.description() << "\n";
            if (status == kCliCarriedOut)
                status = w->interrupted ? kCliStopped : kCliRecordFailed;
        }
    }
    if (request.xplan)
        printXplan(out, err, *w, run, request.wholePlan, runNumber);
    else
        printRun(out, *w, run, request.json, request.wholePlan, runNumber);
    // The run's sessions end here, as a client logs off before it exits, rather than with the
    // last reference to the window, which the run's thread may still hold when the program ends:
    // the server then rolls back what is left open, and sees the sessions go.
    w->query->close();
    w->stats->close();
    return status;
}

}  // namespace

int runCli(const QStringList& args, QTextStream& in, QTextStream& out, QTextStream& err,
           const ProgramState& program, CliTerminal terminal) {
    try {
        return runCommand(args, in, out, err, program, terminal);
    } catch (...) {
        out.flush();
        return reportInternalError(err);
    }
}

}  // namespace qv
