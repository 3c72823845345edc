#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace qv {

// How a plan figure is scaled when its column is too narrow for it, as DBMS_XPLAN prints its
// plans: counts (rows, cost, buffers) by powers of 1000, byte sizes by powers of 1024.
enum class FigureScale { Decimal, Binary };

// The scale of a plan grid column by its heading; none for a column of text or time.
std::optional<FigureScale> planFigureScale(const QString& heading);

// The forms a figure can be shown in, longest first: the figure itself, then rounded to
// K, M, G, T, P and E in turn, each form shorter than the one before it and none rounded down
// to 0 ("62336", "61K" in bytes; "122600820", "122601K", "123M" as a count). A text that is
// not a whole non-negative number has only itself.
QStringList shortFigureForms(const QString& exact, FigureScale scale);

}  // namespace qv
