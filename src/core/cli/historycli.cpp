#include "core/cli/historycli.h"

#include "core/cli/clibinds.h"
#include "core/cli/clirunner.h"
#include "core/cli/terminaltext.h"
#include "core/history/comparisonexport.h"
#include "core/history/historyfile.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <optional>

namespace qv {

namespace {

QJsonValue jsonValue(const QVariant& v) {
    if (!v.isValid() || v.isNull())
        return QJsonValue();
    if (v.typeId() == QMetaType::LongLong)
        return qint64(v.toLongLong());
    if (v.typeId() == QMetaType::Double)
        return v.toDouble();
    return v.toString();
}

QJsonObject summaryJson(const RunSummary& r) {
    QJsonObject o{{QStringLiteral("number"), r.number},
                  {QStringLiteral("timestamp"), r.timestamp},
                  {QStringLiteral("sql"), r.sql}};
    if (r.facts) {
        const RunFacts& f = *r.facts;
        o.insert(QStringLiteral("service"), f.service);
        o.insert(QStringLiteral("user"), f.user);
        o.insert(QStringLiteral("driver"), f.driver);
        o.insert(QStringLiteral("optimizer"), f.optimizer);
        o.insert(QStringLiteral("rowCount"),
                 f.rowCount ? QJsonValue(qint64(*f.rowCount)) : QJsonValue());
        o.insert(QStringLiteral("rowsOverMax"), f.rowsOverMax);
        o.insert(QStringLiteral("elapsedMs"),
                 f.elapsedMs ? QJsonValue(qint64(*f.elapsedMs)) : QJsonValue());
        o.insert(QStringLiteral("outcome"), runEndName(f.end));
        o.insert(QStringLiteral("error"), f.error);
    }
    return o;
}

// Each variable's change and its value in either run ({"type", "value"}; null where it had
// none).
QJsonArray bindChangesJson(const QList<BindChange>& changes) {
    auto side = [](const std::optional<BindValue>& v) {
        if (!v)
            return QJsonValue();
        QJsonObject o = bindsJson({*v})[0].toObject();
        o.remove(QStringLiteral("name"));
        return QJsonValue(o);
    };
    QJsonArray list;
    for (const BindChange& b : changes)
        list.append(QJsonObject{{QStringLiteral("name"), b.name},
                                {QStringLiteral("change"), changeName(b.kind)},
                                {QStringLiteral("a"), side(b.a)},
                                {QStringLiteral("b"), side(b.b)}});
    return list;
}

QJsonValue optionalJson(const std::optional<int64_t>& v) {
    return v ? QJsonValue(qint64(*v)) : QJsonValue();
}

QJsonObject planLineJson(const RecordedPlanLine& l) {
    QJsonObject o{{QStringLiteral("operation"), l.operation},
                  {QStringLiteral("cardinality"), l.cardinality},
                  {QStringLiteral("cost"), l.cost},
                  {QStringLiteral("bytes"), l.bytes}};
    // What version 3 of the file keeps; absent for a run recorded before.
    if (l.lineId) {
        o.insert(QStringLiteral("id"), qint64(*l.lineId));
        o.insert(QStringLiteral("accessPredicates"), l.accessPredicates);
        o.insert(QStringLiteral("filterPredicates"), l.filterPredicates);
    }
    if (l.actuals) {
        o.insert(QStringLiteral("starts"), optionalJson(l.actuals->starts));
        o.insert(QStringLiteral("aRows"), optionalJson(l.actuals->rows));
        o.insert(QStringLiteral("buffers"), optionalJson(l.actuals->buffers));
        o.insert(QStringLiteral("reads"), optionalJson(l.actuals->reads));
        o.insert(QStringLiteral("aTimeMicros"), optionalJson(l.actuals->elapsedMicros));
    }
    return o;
}

QJsonObject comparisonJson(const RunComparison& c, bool onlyChanged, double threshold) {
    QJsonArray stats, plan, sql;
    for (const StatisticChange& s : c.statisticsShown(onlyChanged, threshold))
        stats.append(
            QJsonObject{{QStringLiteral("name"), s.name},
                        {QStringLiteral("a"), jsonValue(s.a)},
                        {QStringLiteral("b"), jsonValue(s.b)},
                        {QStringLiteral("difference"), s.difference},
                        {QStringLiteral("ratio"), s.ratio ? QJsonValue(*s.ratio) : QJsonValue()}});
    for (const PlanLineChange& p : c.plan)
        plan.append(QJsonObject{
            {QStringLiteral("change"), changeName(p.kind)},
            {QStringLiteral("a"), p.a ? QJsonValue(p.a->operation) : QJsonValue()},
            {QStringLiteral("b"), p.b ? QJsonValue(p.b->operation) : QJsonValue()},
            {QStringLiteral("lineA"), p.a ? QJsonValue(planLineJson(*p.a)) : QJsonValue()},
            {QStringLiteral("lineB"), p.b ? QJsonValue(planLineJson(*p.b)) : QJsonValue()}});
    static const char* const textKinds[] = {"same", "added", "removed"};
    for (const TextLineChange& t : c.sql)
        sql.append(
            QJsonObject{{QStringLiteral("change"), QString::fromLatin1(textKinds[int(t.kind)])},
                        {QStringLiteral("text"), t.text}});
    QJsonObject o{{QStringLiteral("a"), summaryJson(c.a.summary)},
                  {QStringLiteral("b"), summaryJson(c.b.summary)},
                  {QStringLiteral("summary"), c.summary()},
                  {QStringLiteral("notes"), QJsonArray::fromStringList(c.notes)},
                  {QStringLiteral("statistics"), stats},
                  {QStringLiteral("plan"), plan},
                  {QStringLiteral("sql"), sql}};
    if (!c.binds.isEmpty())
        o.insert(QStringLiteral("binds"), bindChangesJson(c.binds));
    return o;
}

QString json(const QJsonObject& o) {
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Indented));
}

void printList(QTextStream& out, const QString& path, const QList<RunSummary>& runs, bool asJson) {
    if (asJson) {
        QJsonArray list;
        for (const RunSummary& r : runs)
            list.append(summaryJson(r));
        out << json(QJsonObject{{QStringLiteral("file"), path}, {QStringLiteral("runs"), list}});
        return;
    }
    for (const RunSummary& r : runs) {
        const auto& f = r.facts;
        out << r.number << '\t' << terminalText(r.timestamp) << '\t'
            << terminalText(f ? f->service : QString()) << '\t'
            << terminalText(f ? f->user : QString()) << '\t'
            << (f && f->rowCount ? QString::number(*f->rowCount) : QString()) << '\t'
            << elapsedText(f ? f->elapsedMs : std::nullopt) << '\t'
            << (f ? runEndName(f->end) : QString()) << '\t' << terminalText(r.oneLine()) << "\n";
    }
}

void printRecordedRun(QTextStream& out, int32_t number, const RecordedRun& run, bool asJson) {
    if (asJson) {
        QJsonObject o = summaryJson(run.summary);
        QJsonArray stats, plan;
        for (const RecordedStatistic& s : run.statistics)
            stats.append(QJsonObject{{QStringLiteral("number"), s.number},
                                     {QStringLiteral("name"), s.name},
                                     {QStringLiteral("value"), jsonValue(s.value)}});
        for (const RecordedPlanLine& l : run.plan)
            plan.append(planLineJson(l));
        o.insert(QStringLiteral("binds"), bindsJson(run.binds));
        o.insert(QStringLiteral("statistics"), stats);
        o.insert(QStringLiteral("plan"), plan);
        out << json(o);
        return;
    }
    out << "No." << number << "  " << terminalText(run.summary.timestamp) << "\n"
        << terminalText(run.summary.sql) << "\n";
    printBinds(out, run.binds);
    out << "\n[plan]\n";
    for (const RecordedPlanLine& l : run.plan) {
        out << terminalText(l.operation) << '\t' << terminalText(l.cardinality) << '\t'
            << terminalText(l.cost) << '\t' << terminalText(l.bytes);
        if (l.actuals) {
            PlanLine line;
            line.actuals = l.actuals;
            out << '\t' << planActualCells(line).join(u'\t');
        }
        out << "\n";
    }
    for (const RecordedPlanLine& l : run.plan) {
        for (const auto& [kind, text] :
             {std::pair("access", l.accessPredicates), std::pair("filter", l.filterPredicates)}) {
            if (!text.isEmpty())
                out << l.lineId.value_or(0) << ' ' << kind << '(' << terminalText(text) << ")\n";
        }
    }
    out << "\n[stats]\n";
    for (const RecordedStatistic& s : run.statistics)
        out << s.number << '\t' << terminalText(valueText(s.value)) << '\t' << terminalText(s.name)
            << "\n";
}

void printComparison(QTextStream& out, const RunComparison& c, const QString& format,
                     bool onlyChanged, double threshold) {
    if (format == u"json")
        out << json(comparisonJson(c, onlyChanged, threshold));
    else if (format == u"csv")
        out << comparisonCsv(c, onlyChanged, threshold);
    else if (format == u"html")
        out << comparisonHtml(c, onlyChanged, threshold);
    else if (format == u"markdown")
        out << comparisonMarkdown(c, onlyChanged, threshold);
    else  // text: the Markdown, as a terminal can show it
        out << terminalDocument(comparisonMarkdown(c, onlyChanged, threshold));
}

// The largest run number a history file holds.
constexpr qint64 kLastRunNumber = 2147483647;

// The run number `word` names, or the complaint about it.
std::optional<QString> readRunNumber(const QString& word, int32_t& number) {
    static const QRegularExpression whole(QStringLiteral("^[+-]?[0-9]+$"));
    if (!whole.match(word).hasMatch())
        return QStringLiteral("%1 is not a run number: give a whole number such as 12.").arg(word);
    bool ok = false;
    const qint64 n = word.toLongLong(&ok);
    if (!ok || n > kLastRunNumber)
        return QStringLiteral("%1 is not a run number: run numbers go up to %2.")
            .arg(word)
            .arg(kLastRunNumber);
    if (n < 1)
        return QStringLiteral("%1 is not a run number: run numbers start at 1.").arg(word);
    number = int32_t(n);
    return std::nullopt;
}

// The parser takes "-1" for an option; a word like it where a run number or another argument
// stands is named for what it is. The complaint about the first one, if any.
std::optional<QString> negativeNumberArgument(const QStringList& args,
                                              const QList<QCommandLineOption>& valued) {
    static const QRegularExpression negative(QStringLiteral("^-[0-9.]"));
    QStringList positional;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& word = args[i];
        if (word == u"--")
            break;
        const bool takesValue = std::any_of(valued.begin(), valued.end(), [&](const auto& o) {
            return word == QStringLiteral("--") + o.names().constFirst();
        });
        if (takesValue) {
            ++i;
        } else if (negative.match(word).hasMatch()) {
            const QString command = positional.value(0);
            int32_t unused = 0;
            if (command == u"show" || command == u"compare" || command == u"delete")
                return readRunNumber(word, unused);
            return QStringLiteral("Unexpected argument: ") + word;
        } else if (!word.startsWith(u'-')) {
            positional << word;
        }
    }
    return std::nullopt;
}

// Deletes the runs `numbers` names, all of them or (one missing) none.
int deleteRuns(const HistoryFile& history, const QList<int32_t>& numbers, QTextStream& out,
               QTextStream& err) {
    for (const int32_t n : numbers) {
        if (!history.run(n)) {
            err << QStringLiteral("No run %1 in %2").arg(n).arg(history.path()) << "\n";
            return kCliBadArguments;
        }
    }
    try {
        const int deleted = history.deleteRuns(numbers);
        out << QStringLiteral("Deleted %1 run(s) from %2").arg(deleted).arg(history.path()) << "\n";
        return kCliCarriedOut;
    } catch (const DbError& e) {
        err << e.description() << "\n";
        return kCliRecordFailed;
    }
}

}  // namespace

int runHistoryCli(const QStringList& args, QTextStream& out, QTextStream& err) {
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "quervin-cli history list | show N | compare A B | delete N...\n"
        "Lists the runs recorded in a tuning-history file (newest first), shows one, shows "
        "what changed between two: statistics side by side, the two plans, the two "
        "statements, or deletes the runs named (gone from the file's bytes).\nExit status: 0, "
        "or 2 for bad arguments, a missing file or a missing run, 3 when the file cannot be "
        "changed."));
    p.addHelpOption();
    const QCommandLineOption file(
        QStringLiteral("file"),
        QStringLiteral("The history file (default: the one --record writes, as Files "
                       "in quervin-cli --help tells)."),
        QStringLiteral("FILE"));
    const QCommandLineOption format(
        QStringLiteral("format"),
        QStringLiteral("text (default) or json; compare also markdown, csv or html."),
        QStringLiteral("FORMAT"), QStringLiteral("text"));
    const QCommandLineOption filter(
        QStringLiteral("filter"), QStringLiteral("list: only runs whose statement contains TEXT."),
        QStringLiteral("TEXT"));
    const QCommandLineOption onlyChanged(QStringLiteral("only-changed"),
                                         QStringLiteral("compare: only statistics that changed."));
    const QCommandLineOption threshold(
        QStringLiteral("threshold"),
        QStringLiteral("compare: with --only-changed, only changes of at least N either way."),
        QStringLiteral("N"), QStringLiteral("0"));
    p.addOptions({file, format, filter, onlyChanged, threshold});
    QStringList words = args;
    words.prepend(QStringLiteral("quervin-cli history"));
    auto bad = [&](const QString& text) {
        err << text << "\n";
        return kCliBadArguments;
    };
    if (const auto complaint = negativeNumberArgument(args, {file, format, filter, threshold}))
        return bad(*complaint);
    if (!p.parse(words))
        return bad(p.errorText());
    if (p.isSet(QStringLiteral("help"))) {
        out << p.helpText();
        return kCliCarriedOut;
    }
    const QStringList rest = p.positionalArguments();
    const QString command = rest.value(0);
    const QString fmt = p.value(format);
    const bool comparing = command == u"compare";
    const QStringList formats =
        comparing ? QStringList{u"text"_qs, u"json"_qs, u"markdown"_qs, u"csv"_qs, u"html"_qs}
                  : QStringList{u"text"_qs, u"json"_qs};
    if (!formats.contains(fmt))
        return bad(QStringLiteral("--format must be one of: ") + formats.join(u", "));
    bool thresholdOk = false;
    const double minimum = p.value(threshold).toDouble(&thresholdOk);
    if (!thresholdOk || !std::isfinite(minimum) || minimum < 0)
        return bad(QStringLiteral("--threshold takes a number of 0 or more."));

    const bool listing = command == u"list" && rest.size() == 1;
    const bool showing = command == u"show" && rest.size() == 2;
    const bool deleting = command == u"delete" && rest.size() >= 2;
    if (!listing && !showing && !deleting && !(comparing && rest.size() == 3))
        return bad(QStringLiteral(
            "Give list, show N, compare A B or delete N... (see quervin-cli history --help)."));
    int32_t a = 0, b = 0;
    QList<int32_t> numbers;
    for (qsizetype i = 1; i < rest.size(); ++i) {
        if (const auto complaint = readRunNumber(rest[i], i == 1 ? a : b))
            return bad(*complaint);
        numbers.append(i == 1 ? a : b);
    }

    const HistoryFile history(p.isSet(file) ? p.value(file) : HistoryFile::defaultPath());
    if (!QFileInfo(history.path()).isFile())
        return bad(QStringLiteral("No history file at ") + history.path());
    try {
        if (listing) {
            printList(out, history.path(), history.runs(p.value(filter)), fmt == u"json");
            return kCliCarriedOut;
        }
        if (showing) {
            const auto run = history.run(a);
            if (!run)
                return bad(QStringLiteral("No run %1 in %2").arg(a).arg(history.path()));
            printRecordedRun(out, a, *run, fmt == u"json");
            return kCliCarriedOut;
        }
        if (deleting)
            return deleteRuns(history, numbers, out, err);
        auto runA = history.run(a);
        auto runB = history.run(b);
        if (!runA || !runB)
            return bad(QStringLiteral("No run %1 in %2").arg(runA ? b : a).arg(history.path()));
        printComparison(out, compareRuns(std::move(*runA), std::move(*runB)), fmt,
                        p.isSet(onlyChanged), minimum);
        return kCliCarriedOut;
    } catch (const DbError& e) {
        return bad(e.description());
    }
}

}  // namespace qv
