#include "core/sql/hintreport.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <tuple>

namespace qv::sql {

namespace {

using State = HintUse::State;

// The letter DBMS_XPLAN marks a hint of each state with: none for a hint that was used.
QChar mark(State s) {
    switch (s) {
        case State::Unused:
            return u'U';
        case State::Unresolved:
            return u'N';
        case State::SyntaxError:
            return u'E';
        case State::Used:
            break;
    }
    return u' ';
}

// OTHER_XML's st attribute of each state: none for a hint that was used.
QString stateAttribute(State s) {
    switch (s) {
        case State::Unused:
            return QStringLiteral("NU");
        case State::Unresolved:
            return QStringLiteral("UR");
        case State::SyntaxError:
            return QStringLiteral("PE");
        case State::Used:
            break;
    }
    return {};
}

State stateOf(QStringView st) {
    if (st == u"NU" || st == u"U")
        return State::Unused;
    if (st == u"UR" || st == u"N")
        return State::Unresolved;
    if (st == u"PE" || st == u"E")
        return State::SyntaxError;
    return State::Used;
}

QString unquoted(const QString& name) {
    return QString(name).remove(u'"');
}

// "E"@"SEL$1" for E@SEL$1.
QString quotedAlias(const QString& alias) {
    const qsizetype at = alias.lastIndexOf(u'@');
    if (at < 0)
        return u'"' + alias + u'"';
    return u'"' + alias.left(at) + QStringLiteral("\"@\"") + alias.mid(at + 1) + u'"';
}

}  // namespace

QString hintUsageXml(const QList<HintUse>& hints) {
    if (hints.isEmpty())
        return {};
    QString xml;
    QXmlStreamWriter w(&xml);
    auto hint = [&](const HintUse& h) {
        w.writeStartElement(QStringLiteral("h"));
        w.writeAttribute(QStringLiteral("o"), QStringLiteral("EM"));
        if (h.state != State::Used)
            w.writeAttribute(QStringLiteral("st"), stateAttribute(h.state));
        w.writeTextElement(QStringLiteral("x"), h.text);
        if (!h.reason.isEmpty())
            w.writeTextElement(QStringLiteral("r"), h.reason);
        w.writeEndElement();
    };
    w.writeStartElement(QStringLiteral("hint_usage"));
    QStringList blocks;
    for (const HintUse& h : hints)
        if (!blocks.contains(h.block))
            blocks << h.block;
    for (const QString& block : blocks) {
        w.writeStartElement(block.isEmpty() ? QStringLiteral("s") : QStringLiteral("q"));
        if (!block.isEmpty())
            w.writeTextElement(QStringLiteral("n"), block);
        QStringList aliases;
        for (const HintUse& h : hints) {
            if (h.block != block)
                continue;
            if (h.alias.isEmpty())
                hint(h);
            else if (!aliases.contains(h.alias))
                aliases << h.alias;
        }
        for (const QString& alias : aliases) {
            w.writeStartElement(QStringLiteral("t"));
            w.writeTextElement(QStringLiteral("f"), quotedAlias(alias));
            for (const HintUse& h : hints)
                if (h.block == block && h.alias == alias)
                    hint(h);
            w.writeEndElement();
        }
        w.writeEndElement();
    }
    w.writeEndElement();
    return xml;
}

QList<HintUse> readHintUsage(const QString& otherXml) {
    QList<HintUse> hints;
    if (!otherXml.contains(u"<hint_usage"))
        return hints;
    QXmlStreamReader r(otherXml);
    QString block, alias;
    HintUse* current = nullptr;
    while (!r.atEnd()) {
        const QXmlStreamReader::TokenType token = r.readNext();
        const QStringView name = r.name();
        if (token == QXmlStreamReader::EndElement) {
            if (name == u"q")
                block.clear();
            if (name == u"t")
                alias.clear();
            if (name == u"h")
                current = nullptr;
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        if (name == u"n") {
            block = unquoted(r.readElementText());
        } else if (name == u"f") {
            alias = unquoted(r.readElementText());
        } else if (name == u"h") {
            HintUse h;
            const QXmlStreamAttributes a = r.attributes();
            h.line =
                a.hasAttribute(QLatin1String("id")) ? a.value(QLatin1String("id")).toInt() : -1;
            h.state = stateOf(a.value(QLatin1String("st")));
            h.block = block;
            h.alias = alias;
            hints.append(h);
            current = &hints.last();
        } else if (current && name == u"x") {
            current->text = r.readElementText();
        } else if (current && name == u"r") {
            current->reason = r.readElementText();
        }
    }
    if (r.hasError())
        return {};
    return hints;
}

void placeHints(QList<HintUse>& hints, const QList<PlanPlace>& lines) {
    QList<PlanPlace> sorted = lines;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const PlanPlace& a, const PlanPlace& b) { return a.id < b.id; });
    for (PlanPlace& l : sorted) {
        l.block = unquoted(l.block);
        l.alias = unquoted(l.alias);
    }
    auto lineWhere = [&](auto&& matches) -> const PlanPlace* {
        const auto found = std::find_if(sorted.cbegin(), sorted.cend(), matches);
        return found == sorted.cend() ? nullptr : &*found;
    };
    for (HintUse& h : hints) {
        if (h.line >= 0)
            continue;
        if (h.block.isEmpty()) {
            h.line = 0;
            continue;
        }
        if (!h.alias.isEmpty()) {
            if (const PlanPlace* l =
                    lineWhere([&](const PlanPlace& p) { return p.alias == h.alias; })) {
                h.line = l->id;
                if (!l->block.isEmpty())
                    h.block = l->block;
                continue;
            }
        }
        const PlanPlace* l = lineWhere([&](const PlanPlace& p) { return p.block == h.block; });
        if (!l)
            l = lineWhere([&](const PlanPlace& p) { return p.alias.endsWith(u'@' + h.block); });
        if (!l)
            l = lineWhere([](const PlanPlace& p) { return p.id == 1; });
        h.line = l ? l->id : 0;
    }
}

QStringList hintReportLines(const QList<HintUse>& hints) {
    if (hints.isEmpty())
        return {};
    int counts[4] = {0, 0, 0, 0};
    for (const HintUse& h : hints)
        ++counts[int(h.state)];
    QString total = QStringLiteral("Total hints for statement: %1").arg(hints.size());
    QStringList kinds;
    if (counts[int(State::Unused)])
        kinds << QStringLiteral("U - Unused (%1)").arg(counts[int(State::Unused)]);
    if (counts[int(State::Unresolved)])
        kinds << QStringLiteral("N - Unresolved (%1)").arg(counts[int(State::Unresolved)]);
    if (counts[int(State::SyntaxError)])
        kinds << QStringLiteral("E - Syntax error (%1)").arg(counts[int(State::SyntaxError)]);
    if (!kinds.isEmpty())
        total += QStringLiteral(" (") + kinds.join(QStringLiteral(", ")) + u')';
    QStringList out = {
        QStringLiteral(
            "Hint Report (identified by operation id / Query Block Name / Object Alias):"),
        total, QString(75, u'-')};
    // Grouped by line, then by block and object; the hints of a group in the order written.
    QList<HintUse> sorted = hints;
    std::stable_sort(sorted.begin(), sorted.end(), [](const HintUse& a, const HintUse& b) {
        return std::tie(a.line, a.block, a.alias) < std::tie(b.line, b.block, b.alias);
    });
    QString heading;
    for (const HintUse& h : sorted) {
        QString place = h.block.isEmpty() ? QStringLiteral("STATEMENT") : h.block;
        if (!h.alias.isEmpty())
            place += QStringLiteral(" / ") + h.alias;
        const QString next = QStringLiteral("%1 -  %2").arg(h.line, 4).arg(place);
        if (next != heading) {
            out << QString() << next;
            heading = next;
        }
        QString line = QString(9, u' ') + mark(h.state) + QStringLiteral(" -  ") + h.text;
        if (!h.reason.isEmpty())
            line += QStringLiteral(" / ") + h.reason;
        out << line;
    }
    return out;
}

}  // namespace qv::sql
