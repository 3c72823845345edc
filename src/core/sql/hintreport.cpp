#include "core/sql/hintreport.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <tuple>

namespace qv::sql {

namespace {

using State = HintUse::State;

// The letter Oracle marks a hint of each state with: none for a hint that was used.
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

State stateOf(QStringView letter) {
    if (letter == u"U")
        return State::Unused;
    if (letter == u"N")
        return State::Unresolved;
    if (letter == u"E")
        return State::SyntaxError;
    return State::Used;
}

}  // namespace

// Oracle's nesting: the statement's hints in <s>, each query block's in a <q> named by its <n>,
// an object's within the block in a <t> named by its <f>. Each <h> has the hint as written in
// <x>, why it was not used in <r>, its state (none when used) and the plan line it belongs to.
QString hintUsageXml(const QList<HintUse>& hints) {
    if (hints.isEmpty())
        return {};
    QString xml;
    QXmlStreamWriter w(&xml);
    auto hint = [&](const HintUse& h) {
        w.writeStartElement(QStringLiteral("h"));
        w.writeAttribute(QStringLiteral("id"), QString::number(h.line));
        if (h.state != State::Used)
            w.writeAttribute(QStringLiteral("st"), QString(mark(h.state)));
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
            w.writeTextElement(QStringLiteral("f"), alias);
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
            block = r.readElementText();
        } else if (name == u"f") {
            alias = r.readElementText();
        } else if (name == u"h") {
            HintUse h;
            const QXmlStreamAttributes a = r.attributes();
            // Without its plan line and state a hint cannot be reported truly: none is.
            if (!a.hasAttribute(QLatin1String("id")))
                return {};
            h.line = a.value(QLatin1String("id")).toInt();
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
