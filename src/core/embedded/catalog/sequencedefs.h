#pragma once

// What the sequence commands (sequences.cpp) and NEXTVAL (sequencevalues.cpp) share: a
// sequence's definition as "QV$SEQUENCES" keeps it, and what the process holds of its values.

#include "core/embedded/catalog/catalog.h"
#include "core/sql/sqltokens.h"

#include <QString>

#include <cstdint>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

namespace qv::embedded {

// A sequence's values and steps, wide enough that one step past the engine's last 64-bit value
// is still a value (beyond the bounds) rather than an overflow.
using WideValue = __int128;

// Without MAXVALUE (MINVALUE) a sequence ends where the engine's values end: 64-bit integers.
// USER_SEQUENCES shows Oracle's defaults for these (28 nines up, 27 down).
inline constexpr int64_t kNoMaxValue = std::numeric_limits<int64_t>::max();
inline constexpr int64_t kNoMinValue = std::numeric_limits<int64_t>::min();

struct SequenceDef {
    QString stamp;  // which making of the sequence this is
    int64_t increment = 1;
    std::optional<int64_t> min, max;
    std::optional<WideValue> start;
    bool cycle = false, order = false;
    bool restart = false;  // ALTER SEQUENCE ... RESTART [START WITH n]
    int64_t cache = 20;

    // The bounds, its own or Oracle's defaults for its direction.
    int64_t lowest() const { return min.value_or(increment > 0 ? 1 : kNoMinValue); }
    int64_t highest() const { return max.value_or(increment > 0 ? kNoMaxValue : -1); }
    // The value a new sequence, a restart or a new cycle starts from.
    int64_t first() const { return increment > 0 ? lowest() : highest(); }
    bool beyond(WideValue v) const { return v > highest() || v < lowest(); }
    // `a` comes before `b` in the sequence's direction.
    bool before(WideValue a, WideValue b) const { return increment > 0 ? a < b : a > b; }
};

// The decimal text of `v`.
QString wideText(WideValue v);
// How LAST_NUMBER keeps `v`: as an integer within the engine's values, past them as a REAL that
// stays beyond them when compared (the first double past each end).
QString storedText(WideValue v);

// The sequence `name` and its LAST_NUMBER (past the engine's end when it is stored so), nullopt
// when there is none. Throws sqlite::Error.
std::optional<std::pair<SequenceDef, WideValue>> storedSequence(const Catalog& catalog,
                                                                const QString& name);
// Writes the sequence's row. Throws sqlite::Error.
void saveSequence(const Catalog& catalog, const QString& name, const SequenceDef& d,
                  WideValue next);

// The options of CREATE SEQUENCE in tokens [i, end) (START WITH n, INCREMENT BY n, MINVALUE ...)
// applied to `d`. Throws ORA-00922, ORA-01722, ORA-04002.
SequenceDef sequenceOptions(const std::vector<sql::Token>& t, size_t i, size_t end, SequenceDef d);
// ORA-04004, ORA-04006, ORA-04008, ORA-04010 or ORA-04013 when `d` cannot start at `next`.
void checkSequenceBounds(const SequenceDef& d, WideValue next);
// A stamp for a new making of a sequence.
QString newSequenceStamp();

// Forgets what this process holds of the sequence `name` of `db`'s file (for ALTER, RESTART and
// DROP, after which every session reads it anew) and returns the next value it would have handed
// out; nullopt when it held nothing of that making (`stamp`) of it.
std::optional<WideValue> forgetIssued(sqlite3* db, const QString& name, const QString& stamp);

}  // namespace qv::embedded
