// quervin-cli --script (scriptcli.h).
#include "core/cli/scriptcli.h"

#include "core/cli/clilogin.h"
#include "core/cli/terminaltext.h"
#include "core/db/dberror.h"
#include "core/window/scriptrun.h"

#include <QCommandLineParser>

namespace qv {

bool asksForScript(const QStringList& args) {
    for (const QString& a : args) {
        if (a == u"--script" || a.startsWith(u"--script="))
            return true;
    }
    return false;
}

int runScriptCli(const QStringList& args, QTextStream& out, QTextStream& err,
                 const ProgramState& program, const CliTerminal& terminal) {
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Runs a SQL script on one session as SQL*Plus would: statements end with ';' at the end "
        "of a line or with a '/' line, PL/SQL units with a '/' line; @file and @@file run other "
        "scripts; other SQL*Plus commands are passed over with a note. Each statement's rows, "
        "feedback or error is printed with its file and line, and the run goes on after an "
        "error.\nExit status: 0 every statement ran, 1 one or more failed, 2 bad arguments or no "
        "connection, 4 stopped (SIGINT, SIGTERM), 5 an internal error."));
    p.addHelpOption();
    const QCommandLineOption script{QStringLiteral("script"), QStringLiteral("The script file."),
                                    QStringLiteral("FILE")};
    const CliLoginOptions loginOptions;
    const QCommandLineOption define{
        QStringLiteral("define"),
        QStringLiteral("The value of the substitution variable &NAME. Repeatable."),
        QStringLiteral("NAME=VALUE")};
    const QCommandLineOption maxRows{
        QStringLiteral("max-rows"),
        QStringLiteral("Rows printed of each query (default 1000); all are counted."),
        QStringLiteral("N"), QStringLiteral("1000")};
    p.addOption(script);
    loginOptions.addTo(p);
    p.addOptions({define, maxRows});
    if (const std::optional<int> answered = parseCommandLine(p, args, out, err))
        return *answered;
    auto complain = [&](const QString& text) {
        err << text << "\n";
        return kCliBadArguments;
    };
    if (!loginOptions.given(p) || p.value(script).isEmpty())
        return complain(QStringLiteral("--script, --service and --user are required."));
    bool ok = false;
    const int limit = p.value(maxRows).toInt(&ok);
    if (!ok || limit < 0)
        return complain(QStringLiteral("--max-rows must be a whole number of 0 or more."));
    QHash<QString, QString> defines;
    for (const QString& d : p.values(define)) {
        const qsizetype eq = d.indexOf(u'=');
        if (eq <= 0)
            return complain(QStringLiteral("--define takes NAME=VALUE: ") + d);
        defines.insert(d.left(eq).trimmed().toUpper(), d.mid(eq + 1));
    }
    CliLogin login = loginOptions.read(p);
    if (auto bad = completeLogin(login, program, terminal))
        return complain(*bad);
    std::shared_ptr<Database> db;  // shared with the stop request's handler
    try {
        db = openSession(login, program);
    } catch (const DbError& e) {
        return complain(e.description());
    }
    ScriptRunner runner(
        *db,
        [&](const ScriptEvent& e) {
            for (const QString& line : scriptEventLines(e, terminalText))
                out << line << "\n";
            out.flush();
        },
        limit, defines);
    if (terminal.arm)
        terminal.arm();
    if (terminal.watchStop)
        terminal.watchStop([&runner, db] {
            runner.stop();
            db->cancel();
        });
    const ScriptSummary summary = runner.run(p.value(script));
    out << scriptSummaryText(summary) << "\n";
    db->close();
    if (summary.stopped)
        return kCliStopped;
    return summary.failed > 0 ? kCliRefused : kCliCarriedOut;
}

}  // namespace qv
