// quervin-cli --what-if and --what-if-suggest (whatifcli.h).
#include "core/cli/whatifcli.h"

#include "core/cli/clilogin.h"
#include "core/cli/statementfile.h"
#include "core/cli/terminaltext.h"
#include "core/settings/settings.h"
#include "core/tuning/planstep.h"
#include "core/tuning/tuningrun.h"
#include "core/tuning/whatif.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace qv {

namespace {

QJsonValue costJson(const QList<PlanLine>& plan) {
    const QVariant cost = planCost(plan);
    return cost.isNull() ? QJsonValue() : QJsonValue(cost.toDouble());
}

QString costText(const QList<PlanLine>& plan) {
    const QVariant cost = planCost(plan);
    return cost.isNull() ? QStringLiteral("-") : cost.toString();
}

QJsonObject planJson(const QList<PlanLine>& plan) {
    QJsonArray rows;
    for (const PlanLine& line : plan) {
        QJsonObject row{{QStringLiteral("cells"), QJsonArray::fromStringList(planLineCells(line))},
                        {QStringLiteral("accessPredicates"), line.accessPredicates},
                        {QStringLiteral("filterPredicates"), line.filterPredicates}};
        rows.append(row);
    }
    return QJsonObject{{QStringLiteral("cost"), costJson(plan)},
                       {QStringLiteral("header"), QJsonArray::fromStringList(kPlanHeadings)},
                       {QStringLiteral("rows"), rows}};
}

void printPlan(QTextStream& out, const char* name, const QList<PlanLine>& plan) {
    out << "\n[" << name << "] cost " << costText(plan) << "\n"
        << kPlanHeadings.join(u'\t') << "\n";
    for (const PlanLine& line : plan) {
        QStringList cells = planLineCells(line);
        for (QString& cell : cells)
            cell = terminalText(cell);
        out << cells.join(u'\t') << "\n";
    }
}

QJsonObject statisticsJson(const VirtualIndexStatistics& s) {
    return QJsonObject{{QStringLiteral("numRows"), qint64(s.numRows)},
                       {QStringLiteral("leafBlocks"), qint64(s.leafBlocks)},
                       {QStringLiteral("distinctKeys"), qint64(s.distinctKeys)},
                       {QStringLiteral("avgLeafBlocksPerKey"), qint64(s.avgLeafBlocksPerKey)},
                       {QStringLiteral("avgDataBlocksPerKey"), qint64(s.avgDataBlocksPerKey)},
                       {QStringLiteral("clusteringFactor"), qint64(s.clusteringFactor)},
                       {QStringLiteral("blevel"), qint64(s.blevel)}};
}

QString statisticsText(const VirtualIndexStatistics& s) {
    return QStringLiteral(
               "NUM_ROWS=%1 LEAF_BLOCKS=%2 DISTINCT_KEYS=%3 CLUSTERING_FACTOR=%4 "
               "BLEVEL=%5")
        .arg(s.numRows)
        .arg(s.leafBlocks)
        .arg(s.distinctKeys)
        .arg(s.clusteringFactor)
        .arg(s.blevel);
}

int printSuggestions(WhatIf& whatIf, const QString& sql, bool json, QTextStream& out,
                     QTextStream& err) {
    QList<IndexCandidate> candidates;
    QList<PlanLine> current;
    try {
        candidates = whatIf.candidates(sql, &current);
    } catch (const DbError& e) {
        err << terminalText(e.description()) << "\n";
        return kCliRefused;
    }
    if (json) {
        QJsonArray list;
        for (const IndexCandidate& c : candidates)
            list.append(
                QJsonObject{{QStringLiteral("create"), c.createText(c.suggestedName())},
                            {QStringLiteral("owner"), c.owner},
                            {QStringLiteral("table"), c.table},
                            {QStringLiteral("columns"), QJsonArray::fromStringList(c.columns)},
                            {QStringLiteral("serves"), c.serves},
                            {QStringLiteral("covering"), c.covering}});
        out << QString::fromUtf8(
            QJsonDocument(QJsonObject{{QStringLiteral("current"), planJson(current)},
                                      {QStringLiteral("candidates"), list}})
                .toJson(QJsonDocument::Indented));
        return kCliCarriedOut;
    }
    for (const IndexCandidate& c : candidates)
        out << "-- " << terminalText(c.serves) << "\n" << c.createText(c.suggestedName()) << ";\n";
    if (candidates.isEmpty())
        out << "-- no index to suggest\n";
    return kCliCarriedOut;
}

int printWhatIf(WhatIf& whatIf, const QString& sql, const QStringList& texts,
                ClusteringAssumption clustering, bool json, QTextStream& out, QTextStream& err) {
    QList<IndexDefinition> indexes;
    for (const QString& text : texts) {
        const std::optional<IndexDefinition> index = readCreateIndex(text);
        if (!index) {
            err << kMsgNotCreateIndex << terminalText(text) << "\n";
            return kCliBadArguments;
        }
        indexes.append(*index);
    }
    // Asked for on the command line: the DDL is what the user wants.
    const WhatIfResult r = whatIf.run(sql, indexes, clustering, SessionTransaction{},
                                      [](const QString&) { return Answer::Yes; });
    if (!r.done()) {
        err << terminalText(r.message) << "\n";
        return kCliRefused;
    }
    const QString assumption =
        clustering == ClusteringAssumption::Best ? QStringLiteral("best") : QStringLiteral("worst");
    if (json) {
        QJsonArray list;
        for (int i = 0; i < texts.size(); ++i)
            list.append(
                QJsonObject{{QStringLiteral("create"), texts[i]},
                            {QStringLiteral("statistics"), statisticsJson(r.statistics[i])}});
        out << QString::fromUtf8(
            QJsonDocument(QJsonObject{{QStringLiteral("current"), planJson(r.current)},
                                      {QStringLiteral("whatIf"), planJson(r.whatIf)},
                                      {QStringLiteral("indexes"), list},
                                      {QStringLiteral("clustering"), assumption}})
                .toJson(QJsonDocument::Indented));
        return kCliCarriedOut;
    }
    for (int i = 0; i < texts.size(); ++i)
        out << "index: " << terminalText(texts[i]) << "\n"
            << "statistics: " << statisticsText(r.statistics[i]) << "\n";
    out << "clustering factor: " << assumption << "\n";
    printPlan(out, "current plan", r.current);
    printPlan(out, "what-if plan", r.whatIf);
    out << "\ncost: " << costText(r.current) << " -> " << costText(r.whatIf) << "\n";
    return kCliCarriedOut;
}

}  // namespace

bool asksForWhatIf(const QStringList& args) {
    for (const QString& a : args) {
        if (a == u"--what-if" || a.startsWith(u"--what-if=") || a == u"--what-if-suggest")
            return true;
    }
    return false;
}

int runWhatIfCli(const QStringList& args, QTextStream& in, QTextStream& out, QTextStream& err,
                 const ProgramState& program, const CliTerminal& terminal) {
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Explains a statement as if indexes existed, without building them (Oracle's NOSEGMENT "
        "indexes and the session parameter \"_use_nosegment_indexes\"), and prints the plan as "
        "it stands and the what-if plan with their costs; --what-if-suggest prints the indexes "
        "worth trying.\nExit status: 0 the what-if ran, 1 the server refused it (a missing "
        "privilege), 2 bad arguments or no connection, 5 an internal error."));
    p.addHelpOption();
    const QCommandLineOption whatIf{QStringLiteral("what-if"),
                                    QStringLiteral("An index to try, as CREATE INDEX ... ON "
                                                   "table (columns). Repeatable."),
                                    QStringLiteral("CREATE INDEX")};
    const QCommandLineOption suggest{
        QStringLiteral("what-if-suggest"),
        QStringLiteral("Print the indexes worth trying for the statement, read from its plan.")};
    const QCommandLineOption clustering{
        QStringLiteral("clustering"),
        QStringLiteral("The clustering factor assumed for a virtual index: best (the table's "
                       "BLOCKS, default) or worst (its NUM_ROWS)."),
        QStringLiteral("best|worst"), QStringLiteral("best")};
    const CliLoginOptions loginOptions;
    const QCommandLineOption planTable{QStringLiteral("plan-table"),
                                       QStringLiteral("Plan table (default QUERVIN$PLAN_TABLE)."),
                                       QStringLiteral("NAME")};
    const QCommandLineOption format{QStringLiteral("format"),
                                    QStringLiteral("Output: text (default) or json."),
                                    QStringLiteral("text|json"), QStringLiteral("text")};
    const QCommandLineOption sqlOption{QStringLiteral("sql"), QStringLiteral("The statement."),
                                       QStringLiteral("TEXT")};
    const QCommandLineOption sqlFile{
        QStringLiteral("sql-file"),
        QStringLiteral("Read the statement from FILE (UTF-8); else from standard input."),
        QStringLiteral("FILE")};
    p.addOptions({whatIf, suggest, clustering});
    loginOptions.addTo(p);
    p.addOptions({planTable, format, sqlOption, sqlFile});
    if (const std::optional<int> answered = parseCommandLine(p, args, out, err))
        return *answered;
    auto complain = [&](const QString& text) {
        err << text << "\n";
        return kCliBadArguments;
    };
    if (!loginOptions.given(p))
        return complain(QStringLiteral("--service and --user are required."));
    if (p.isSet(whatIf) == p.isSet(suggest))
        return complain(QStringLiteral("Give --what-if (one or more) or --what-if-suggest."));
    if (p.value(format) != u"text" && p.value(format) != u"json")
        return complain(QStringLiteral("--format must be text or json."));
    if (p.value(clustering) != u"best" && p.value(clustering) != u"worst")
        return complain(QStringLiteral("--clustering must be best or worst."));
    const QString table = p.value(planTable).isEmpty() ? Settings{}.planTable : p.value(planTable);
    if (!isValidPlanTableName(table))
        return complain(QStringLiteral(
            "--plan-table takes a table name such as PLAN_TABLE or SCOTT.PLAN_TABLE."));
    QString sql;
    if (p.isSet(sqlOption) && p.isSet(sqlFile))
        return complain(QStringLiteral("Give --sql or --sql-file, not both."));
    if (p.isSet(sqlOption)) {
        sql = p.value(sqlOption);
    } else if (p.isSet(sqlFile)) {
        if (auto bad = readStatementFile(p.value(sqlFile), sql))
            return complain(*bad);
    } else {
        sql = in.read(kMaxStatementBytes + 1);
        if (sql.size() > kMaxStatementBytes)
            return complain(kMsgStatementTooLarge);
    }
    if (sql.trimmed().isEmpty())
        return complain(QStringLiteral("No statement given."));
    CliLogin login = loginOptions.read(p);
    if (auto bad = completeLogin(login, program, terminal))
        return complain(*bad);
    std::unique_ptr<Database> db;
    try {
        db = openSession(login, program);
    } catch (const DbError& e) {
        return complain(e.description());
    }
    for (const QString& name : WhatIf::dropLeftovers(*db))
        err << "note: dropped the leftover virtual index " << name << "\n";
    WhatIf session(*db, login.user, table);
    const bool json = p.value(format) == u"json";
    const int status =
        p.isSet(suggest) ? printSuggestions(session, sql, json, out, err)
                         : printWhatIf(session, sql, p.values(whatIf),
                                       p.value(clustering) == u"worst" ? ClusteringAssumption::Worst
                                                                       : ClusteringAssumption::Best,
                                       json, out, err);
    session.dropAll();
    db->close();
    return status;
}

}  // namespace qv
