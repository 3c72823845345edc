#include "core/history/comparisonexport.h"

#include "core/tuning/gridactions.h"
#include "core/tuning/runbinds.h"

#include <algorithm>

namespace qv {

namespace {

using PlanKind = PlanLineChange::Kind;
using TextKind = TextLineChange::Kind;

QString markOf(PlanKind kind) {
    switch (kind) {
        case PlanKind::Changed:
            return QStringLiteral("~");
        case PlanKind::Added:
            return QStringLiteral("+");
        case PlanKind::Removed:
            return QStringLiteral("-");
        case PlanKind::Operation:
            return QStringLiteral("≠");
        case PlanKind::Same:
            break;
    }
    return QStringLiteral("=");
}

QString planLineText(const std::optional<RecordedPlanLine>& line) {
    if (!line)
        return QString();
    QString t = line->operation;
    QStringList estimates;
    if (!line->cardinality.isEmpty())
        estimates << QStringLiteral("card=") + line->cardinality;
    if (!line->cost.isEmpty())
        estimates << QStringLiteral("cost=") + line->cost;
    if (!line->bytes.isEmpty())
        estimates << QStringLiteral("bytes=") + line->bytes;
    if (line->actuals) {
        // What the line did, where the run read it.
        const PlanLineActuals& a = *line->actuals;
        for (const auto& [name, value] :
             {std::pair("starts=", a.starts), std::pair("a-rows=", a.rows),
              std::pair("buffers=", a.buffers)}) {
            if (value)
                estimates << QLatin1StringView(name) + QString::number(*value);
        }
    }
    if (!estimates.isEmpty())
        t += QStringLiteral("  (") + estimates.join(u' ') + u')';
    return t;
}

// A code fence longer than any run of backticks in `lines`, so no line can close it.
QString fenceFor(const QList<TextLineChange>& lines) {
    qsizetype longest = 0;
    for (const TextLineChange& line : lines) {
        qsizetype run = 0;
        for (const QChar ch : line.text) {
            run = ch == u'`' ? run + 1 : 0;
            longest = std::max(longest, run);
        }
    }
    return QString(std::max<qsizetype>(3, longest + 1), u'`');
}

QString textMark(TextKind kind) {
    return kind == TextKind::Added     ? QStringLiteral("+ ")
           : kind == TextKind::Removed ? QStringLiteral("- ")
                                       : QStringLiteral("  ");
}

// Text for Markdown outside code: nothing in it opens a tag, an entity or a link, ends a table
// cell or starts a new line.
QString markdownText(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text[i];
        switch (ch.unicode()) {
            case '&':
                out += QStringLiteral("&amp;");
                break;
            case '<':
                out += QStringLiteral("&lt;");
                break;
            case '>':
                out += QStringLiteral("&gt;");
                break;
            case '"':
                out += QStringLiteral("&quot;");
                break;
            case '\'':
                out += QStringLiteral("&#39;");
                break;
            case '|':
            case '\\':
            case '[':
            case ']':
            case '`':
                out += u'\\';
                out += ch;
                break;
            case '\r':
                if (i + 1 < text.size() && text[i + 1] == u'\n')
                    ++i;
                out += QStringLiteral("<br>");
                break;
            case '\n':
                out += QStringLiteral("<br>");
                break;
            default:
                out += ch;
        }
    }
    return out;
}

// A Markdown table cell: its text made safe, the indentation of a plan line kept visible.
QString cell(const QString& raw) {
    const QString text = markdownText(raw);
    qsizetype lead = 0;
    while (lead < text.size() && text[lead] == u' ')
        ++lead;
    return QString(lead, QChar(0x00A0)) + text.mid(lead);
}

QString bindText(const std::optional<BindValue>& value) {
    return value ? bindValueText(*value) : QString();
}

// The class of an HTML table row that is marked as changed, added or removed.
QString rowClass(PlanKind kind) {
    return kind == PlanKind::Changed     ? QStringLiteral(" class=\"changed\"")
           : kind == PlanKind::Operation ? QStringLiteral(" class=\"operation\"")
           : kind == PlanKind::Added     ? QStringLiteral(" class=\"added\"")
           : kind == PlanKind::Removed   ? QStringLiteral(" class=\"removed\"")
                                         : QString();
}

QString title(const RunComparison& c) {
    return QStringLiteral("実行の比較 No.%1 → No.%2")
        .arg(c.a.summary.number)
        .arg(c.b.summary.number);
}

}  // namespace

QString changeMark(PlanLineChange::Kind kind) {
    return markOf(kind);
}

QList<std::pair<PlanLineChange::Kind, QString>> planLegend(const RunComparison& c) {
    const int b = c.b.summary.number;
    return {{PlanKind::Operation, QStringLiteral("操作が変わった行")},
            {PlanKind::Changed, QStringLiteral("見積りか実績が変わった行")},
            {PlanKind::Added, QStringLiteral("No.%1 で加わった行").arg(b)},
            {PlanKind::Removed, QStringLiteral("No.%1 でなくなった行").arg(b)}};
}

QString changeName(PlanLineChange::Kind kind) {
    static const char* const kNames[] = {"same", "changed", "added", "removed", "operation"};
    return QString::fromLatin1(kNames[int(kind)]);
}

QString comparisonMarkdown(const RunComparison& c, bool onlyChanged, double threshold) {
    QString md = QStringLiteral("# ") + title(c) + QStringLiteral("\n\n") +
                 markdownText(c.summary()) + QStringLiteral("\n\n");
    for (const QString& note : c.notes)
        md += QStringLiteral("> ") + markdownText(note) + u'\n';
    if (!c.notes.isEmpty())
        md += u'\n';
    if (!c.binds.isEmpty()) {
        md += QStringLiteral("## バインド変数\n\n|  | 変数 | No.%1 | No.%2 |\n|---|---|---|---|\n")
                  .arg(c.a.summary.number)
                  .arg(c.b.summary.number);
        for (const BindChange& b : c.binds)
            md += QStringLiteral("| %1 | :%2 | %3 | %4 |\n")
                      .arg(markOf(b.kind), cell(b.name), cell(bindText(b.a)), cell(bindText(b.b)));
        md += u'\n';
    }
    md +=
        QStringLiteral("## 統計\n\n| 統計 | No.%1 | No.%2 | 差 | 比 |\n|---|---:|---:|---:|---:|\n")
            .arg(c.a.summary.number)
            .arg(c.b.summary.number);
    for (const StatisticChange& s : c.statisticsShown(onlyChanged, threshold))
        md += QStringLiteral("| %1 | %2 | %3 | %4 | %5 |\n")
                  .arg(cell(s.name), cell(valueText(s.a)), cell(valueText(s.b)),
                       cell(valueText(QVariant(s.difference))), cell(ratioText(s.ratio)));
    QStringList legend;
    for (const auto& [kind, text] : planLegend(c))
        legend << markOf(kind) + u' ' + text;
    md += QStringLiteral("\n## 実行計画\n\n凡例: ") + legend.join(QStringLiteral("、"));
    md += QStringLiteral("\n\n|  | No.%1 | No.%2 |\n|---|---|---|\n")
              .arg(c.a.summary.number)
              .arg(c.b.summary.number);
    for (const PlanLineChange& p : c.plan)
        md += QStringLiteral("| %1 | %2 | %3 |\n")
                  .arg(markOf(p.kind), cell(planLineText(p.a)), cell(planLineText(p.b)));
    // Inside the fence the statement stays as it is, however it was written.
    const QString fence = fenceFor(c.sql);
    md += QStringLiteral("\n## SQL\n\n") + fence + QStringLiteral("diff\n");
    for (const TextLineChange& t : c.sql)
        md += textMark(t.kind) + t.text + u'\n';
    md += fence + u'\n';
    return md;
}

QString comparisonCsv(const RunComparison& c, bool onlyChanged, double threshold) {
    QString csv = QStringLiteral("statistic,No.%1,No.%2,difference,ratio\r\n")
                      .arg(c.a.summary.number)
                      .arg(c.b.summary.number);
    for (const StatisticChange& s : c.statisticsShown(onlyChanged, threshold))
        csv += QStringList{csvField(s.name), csvField(valueText(s.a)), csvField(valueText(s.b)),
                           csvField(valueText(QVariant(s.difference))),
                           csvField(s.ratio ? ratioText(s.ratio) : QString())}
                   .join(u',') +
               QStringLiteral("\r\n");
    if (c.binds.isEmpty())
        return csv;
    // A second table after a blank line: the statistics stay the file's first.
    csv += QStringLiteral("\r\nbind variable,No.%1,No.%2,change\r\n")
               .arg(c.a.summary.number)
               .arg(c.b.summary.number);
    for (const BindChange& b : c.binds)
        csv += QStringList{csvField(u':' + b.name), csvField(bindText(b.a)),
                           csvField(bindText(b.b)), changeName(b.kind)}
                   .join(u',') +
               QStringLiteral("\r\n");
    return csv;
}

QString comparisonHtml(const RunComparison& c, bool onlyChanged, double threshold) {
    auto e = [](const QString& t) { return t.toHtmlEscaped(); };
    QString h = QStringLiteral(
                    "<!DOCTYPE html>\n<html lang=\"ja\"><head><meta charset=\"utf-8\"><title>%1"
                    "</title><style>body{font-family:sans-serif;margin:1.5em}table{border-collapse:"
                    "collapse;margin-bottom:1.5em}td,th{border:1px solid #bbb;padding:2px 8px}"
                    "td.n{text-align:right}.plan td{white-space:pre;font-family:monospace}"
                    ".changed{background:#fff3c4}.operation{background:#e4d8f5}.added{background:#"
                    "d9f2d9}.removed{background:"
                    "#f8d7d7}pre{background:#f6f6f6;padding:8px}.note{color:#a33}</style></head>"
                    "<body>\n<h1>%1</h1>\n<p>%2</p>\n")
                    .arg(e(title(c)), e(c.summary()));
    for (const QString& note : c.notes)
        h += QStringLiteral("<p class=\"note\">") + e(note) + QStringLiteral("</p>\n");
    if (!c.binds.isEmpty()) {
        h += QStringLiteral(
                 "<h2>バインド変数</h2>\n<table><tr><th>変数</th><th>No.%1</th><th>No.%2</th></"
                 "tr>\n")
                 .arg(c.a.summary.number)
                 .arg(c.b.summary.number);
        for (const BindChange& b : c.binds)
            h += QStringLiteral("<tr%1><td>:%2</td><td>%3</td><td>%4</td></tr>\n")
                     .arg(rowClass(b.kind), e(b.name), e(bindText(b.a)), e(bindText(b.b)));
        h += QStringLiteral("</table>\n");
    }
    h += QStringLiteral(
             "<h2>統計</h2>\n<table><tr><th>統計</th><th>No.%1</th><th>No.%2</th><th>差</th>"
             "<th>比</th></tr>\n")
             .arg(c.a.summary.number)
             .arg(c.b.summary.number);
    for (const StatisticChange& s : c.statisticsShown(onlyChanged, threshold))
        h += QStringLiteral(
                 "<tr><td>%1</td><td class=\"n\">%2</td><td class=\"n\">%3</td>"
                 "<td class=\"n\">%4</td><td class=\"n\">%5</td></tr>\n")
                 .arg(e(s.name), e(valueText(s.a)), e(valueText(s.b)),
                      e(valueText(QVariant(s.difference))), e(ratioText(s.ratio)));
    QString legend;
    for (const auto& [kind, text] : planLegend(c))
        legend +=
            QStringLiteral(" <span%1>%2</span>").arg(rowClass(kind), e(markOf(kind) + u' ' + text));
    h += QStringLiteral(
             "</table>\n<h2>実行計画</h2>\n<p>凡例:%3</p>\n<table class=\"plan\"><tr><th>No.%1</th>"
             "<th>No.%2</th></tr>\n")
             .arg(c.a.summary.number)
             .arg(c.b.summary.number)
             .arg(legend);
    for (const PlanLineChange& p : c.plan) {
        h += QStringLiteral("<tr%1><td>%2</td><td>%3</td></tr>\n")
                 .arg(rowClass(p.kind), e(planLineText(p.a)), e(planLineText(p.b)));
    }
    h += QStringLiteral("</table>\n<h2>SQL</h2>\n<pre>");
    for (const TextLineChange& t : c.sql) {
        const QString line = e(textMark(t.kind) + t.text);
        h += t.kind == TextKind::Added
                 ? QStringLiteral("<span class=\"added\">") + line + QStringLiteral("</span>\n")
             : t.kind == TextKind::Removed
                 ? QStringLiteral("<span class=\"removed\">") + line + QStringLiteral("</span>\n")
                 : line + u'\n';
    }
    h += QStringLiteral("</pre>\n</body></html>\n");
    return h;
}

}  // namespace qv
