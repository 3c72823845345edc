#include "core/tuning/adaptiveplan.h"

#include <QHash>
#include <QXmlStreamReader>

#include <algorithm>

namespace qv {

namespace {

// One <row> of <display_map>: where operation `op` is shown (dis, its id; par, the id of its
// parent; dep, its depth) or that it is not (skp="1").
struct DisplayRow {
    int64_t shownId = 0;
    int64_t shownParent = 0;
    int64_t depth = 0;
    bool skipped = false;
};

struct DisplayMap {
    bool adaptive = false;
    QHash<int64_t, DisplayRow> rows;
};

DisplayMap readDisplayMap(const QString& otherXml) {
    DisplayMap map;
    QXmlStreamReader xml(otherXml);
    bool inMap = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement() && xml.name() == u"display_map")
            inMap = false;
        if (!xml.isStartElement())
            continue;
        const QXmlStreamAttributes a = xml.attributes();
        if (xml.name() == u"display_map") {
            inMap = true;
        } else if (xml.name() == u"info" && a.value(QLatin1String("type")) == u"adaptive_plan") {
            map.adaptive = xml.readElementText().trimmed() == u"yes";
        } else if (inMap && xml.name() == u"row" && a.hasAttribute(QLatin1String("op"))) {
            map.rows.insert(a.value(QLatin1String("op")).toLongLong(),
                            {a.value(QLatin1String("dis")).toLongLong(),
                             a.value(QLatin1String("par")).toLongLong(),
                             a.value(QLatin1String("dep")).toLongLong(),
                             a.value(QLatin1String("skp")) == u"1"});
        }
    }
    // Text that is no OTHER_XML tells nothing, however much of it was read.
    if (xml.hasError())
        return {};
    return map;
}

}  // namespace

AdaptivePlan resolveAdaptivePlan(QList<PlanLine>& lines, const QStringList& otherXml) {
    DisplayMap map;
    for (const QString& text : otherXml) {
        DisplayMap found = readDisplayMap(text);
        map.adaptive |= found.adaptive;
        if (map.rows.isEmpty())
            map.rows = std::move(found.rows);
    }
    const bool collector = std::any_of(lines.begin(), lines.end(), [](const PlanLine& l) {
        return l.operation == u"STATISTICS COLLECTOR";
    });
    const bool skips = std::any_of(map.rows.begin(), map.rows.end(),
                                   [](const DisplayRow& r) { return r.skipped; });
    AdaptivePlan plan;
    plan.adaptive = map.adaptive || collector || skips;
    if (!plan.adaptive || map.rows.isEmpty())
        return plan;
    QList<PlanLine> shown;
    for (PlanLine& line : lines) {
        const auto row = map.rows.constFind(line.id);
        line.inactive = row != map.rows.cend() && row->skipped;
        plan.wholePlan.append(line);
        if (line.inactive)
            continue;
        PlanLine final = line;
        if (row != map.rows.cend()) {  // the statement's line 0 has no row: it stays
            final.id = row->shownId;
            final.parentId = row->shownParent;
            final.depth = row->depth;
        }
        shown.append(std::move(final));
    }
    lines = std::move(shown);
    return plan;
}

}  // namespace qv
