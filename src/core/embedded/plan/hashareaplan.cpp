// SQLite's plan lines of the engine's hash areas as the plan builder reads a hashed copy
// (hasharea.h).
#include "core/embedded/plan/hasharea.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstdint>

namespace qv::embedded {

std::vector<EqpLine> hashAreasAsCopies(const std::vector<EqpLine>& lines) {
    static const QRegularExpression kProbe(QStringLiteral(
        R"(^SCAN (\S+)( EXISTS)? VIRTUAL TABLE INDEX \d+:qv\$hash!?(\(.*\))?( LEFT-JOIN)?$)"));
    static const QRegularExpression kBuilt(QStringLiteral(R"(\bqv\$hash\$(\S+))"));
    std::vector<EqpLine> out;
    // A RIGHT or FULL join's pass over an area: its lines left out (their parents come first),
    // the pass named after the alias its area is read under.
    std::vector<int> passes, left;
    for (const EqpLine& l : lines)
        if (l.detail.startsWith(u"RIGHT-JOIN qv$hash$"))
            passes.push_back(l.id);
    for (const EqpLine& l : lines) {
        const auto in = [&](const std::vector<int>& ids) {
            return std::find(ids.begin(), ids.end(), l.parent) != ids.end();
        };
        if (!in(passes) && !in(left)) {
            out.push_back(l);
            continue;
        }
        left.push_back(l.id);
        if (const QRegularExpressionMatch m = kProbe.match(l.detail); m.hasMatch() && in(passes))
            for (EqpLine& pass : out)
                if (pass.id == l.parent)
                    pass.detail = QStringLiteral("RIGHT-JOIN ") + m.captured(1);
    }
    for (size_t i = 0; i < out.size(); ++i) {
        const QRegularExpressionMatch m = kProbe.match(out[i].detail);
        if (!m.hasMatch())
            continue;
        const QString alias = m.captured(1);
        const QString built = hashAreaBuildAlias(alias);
        out[i].detail = (m.captured(3).isEmpty()
                             ? QStringLiteral("SCAN %1%2").arg(alias, m.captured(2))
                             : QStringLiteral("SEARCH %1%2 USING AUTOMATIC COVERING INDEX %3")
                                   .arg(alias, m.captured(2), m.captured(3))) +
                        m.captured(4);
        // The subquery that fills the area: the first one after the probe reading the table
        // under the build's alias.
        size_t sub = i + 1;
        auto readsBuilt = [&](size_t s) {
            for (size_t c = s + 1; c < out.size(); ++c)
                if (out[c].parent == out[s].id)
                    return out[c].detail.section(u' ', 1, 1) == built;
            return false;
        };
        while (sub < out.size() && !(out[sub].detail.startsWith(u"SCALAR SUBQUERY") &&
                                     out[sub].parent == out[i].parent && readsBuilt(sub)))
            ++sub;
        if (sub == out.size())
            continue;
        // Its lines, moved before the first line of the block that reads the area.
        std::vector<EqpLine> moved;
        std::vector<int> ids{out[sub].id};
        moved.push_back({out[sub].id, out[sub].parent, QStringLiteral("MATERIALIZE ") + alias});
        for (size_t c = sub + 1; c < out.size(); ++c) {
            if (std::find(ids.begin(), ids.end(), out[c].parent) == ids.end())
                continue;
            ids.push_back(out[c].id);
            EqpLine line = out[c];
            line.detail.replace(kBuilt, QStringLiteral("\\1"));
            moved.push_back(line);
        }
        std::vector<EqpLine> rest;
        for (const EqpLine& l : out)
            if (std::find(ids.begin(), ids.end(), l.id) == ids.end())
                rest.push_back(l);
        size_t first = 0;
        while (first < rest.size() && rest[first].parent != out[i].parent)
            ++first;
        rest.insert(rest.begin() + qsizetype(first), moved.begin(), moved.end());
        out = std::move(rest);
        i = SIZE_MAX;  // the lines have moved: look again from the first
    }
    return out;
}

}  // namespace qv::embedded
