// DBMS_STATS.SET_INDEX_STATS (virtualindexes.h): the figures of a virtual index kept in the
// session's memory, those of a real one in the file.
#include "core/embedded/base/sandbox.h"
#include "core/embedded/catalog/virtualindexes.h"
#include "core/embedded/values/oracleerrors.h"
#include "core/sql/tokenlist.h"

#include <QDateTime>

#include <array>
#include <cmath>

namespace qv::embedded {

namespace {

using sql::TokenKind;

// The procedure's parameters in Oracle's order, for arguments given by position.
constexpr std::array<const char16_t*, 19> kParameters = {
    u"OWNNAME",       u"INDNAME", u"PARTNAME",  u"STATTAB",  u"STATID",   u"NUMROWS", u"NUMLBLKS",
    u"NUMDIST",       u"AVGLBLK", u"AVGDBLK",   u"CLSTFCT",  u"INDLEVEL", u"FLAGS",   u"STATOWN",
    u"NO_INVALIDATE", u"GUESSQ",  u"CACHEDBLK", u"CACHEHIT", u"FORCE"};

[[noreturn]] void wrongArguments() {
    throw oracleError(6550, QStringLiteral("ORA-06550: line 1, column 7:\nPLS-00306: wrong number "
                                           "or types of arguments in call to 'SET_INDEX_STATS'"));
}

// One argument's value: text, a number, or nothing for NULL (and for TRUE and FALSE, which only
// the flags that change nothing here take).
struct Argument {
    std::optional<QString> text;
    std::optional<double> number;
};

Argument valueOf(const std::vector<Token>& t, size_t first, size_t last) {
    Argument a;
    bool negative = false;
    if (last - first == 2 && t[first].isOp(u'-')) {
        negative = true;
        ++first;
    }
    if (last - first != 1)
        throw invalidStatement(QStringLiteral("DBMS_STATS.SET_INDEX_STATS takes literals"));
    const Token& v = t[first];
    if (v.kind == TokenKind::String && !negative) {
        a.text = sql::stringValue(v);
    } else if (v.kind == TokenKind::Number) {
        bool ok = false;
        const double n = v.text.toString().toDouble(&ok);
        if (!ok)
            wrongArguments();
        a.number = negative ? -n : n;
    } else if (!(v.is(u"NULL") || v.is(u"TRUE") || v.is(u"FALSE")) || negative) {
        throw invalidStatement(QStringLiteral("DBMS_STATS.SET_INDEX_STATS takes literals"));
    }
    return a;
}

// The arguments of one call [open, close] (its parentheses), by parameter.
std::array<Argument, kParameters.size()> arguments(const std::vector<Token>& t, size_t open,
                                                   size_t close) {
    std::array<Argument, kParameters.size()> found;
    if (close == open + 1)
        wrongArguments();
    size_t position = 0;
    for (const sql::Range& r : sql::splitTopLevel(t, open + 1, close)) {
        size_t at = position;
        size_t first = r.first;
        if (r.size() >= 3 && sql::isName(t[first]) && t[first + 1].isOp(u'=') &&
            t[first + 2].isOp(u'>')) {
            const auto it = std::find_if(kParameters.begin(), kParameters.end(),
                                         [&](const char16_t* p) { return t[first].is(p); });
            if (it == kParameters.end())
                wrongArguments();
            at = size_t(it - kParameters.begin());
            first += 3;
        } else if (position >= kParameters.size()) {
            wrongArguments();
        }
        ++position;
        if (first >= r.last)
            wrongArguments();
        found[at] = valueOf(t, first, r.last);
    }
    return found;
}

std::optional<int64_t> figure(const Argument& a) {
    if (!a.number)
        return std::nullopt;
    if (*a.number < 0)
        throw oracleError(20001, QStringLiteral("ORA-20001: Invalid or inconsistent input "
                                                "values"));
    return std::llround(*a.number);
}

std::optional<int64_t> perKey(const std::optional<int64_t>& total,
                              const std::optional<int64_t>& keys) {
    if (!total || !keys || *keys == 0)
        return std::nullopt;
    return std::max<int64_t>(1, std::llround(double(*total) / double(*keys)));
}

// One call: SET_INDEX_STATS(...) at [open, close].
void setIndexStats(const Catalog& catalog, const std::vector<Token>& t, size_t open, size_t close) {
    const auto args = arguments(t, open, close);
    const QString owner = args[0].text.value_or(catalog.schema());
    const QString index = args[1].text.value_or(QString());
    const QString missing = QStringLiteral(
                                "ORA-20000: INDEX \"%1\".\"%2\" does not exist or "
                                "insufficient privileges")
                                .arg(owner.toUpper(), index.toUpper());
    if (owner.compare(catalog.schema(), Qt::CaseInsensitive) != 0 || index.isEmpty())
        throw oracleError(20000, missing);
    if (args[2].text || args[3].text)
        throw oracleError(20005, QStringLiteral("ORA-20005: the embedded engine keeps no "
                                                "statistics of partitions or stat tables"));
    const std::optional<VirtualIndex> virtualOne = virtualIndex(catalog.db(), index);
    IndexStats stats;
    QString spelled = index, table;
    const EngineRights engine(catalog.sandbox());
    if (virtualOne) {
        stats = virtualOne->stats.value_or(IndexStats{});
        table = virtualOne->table;
    } else {
        const auto found = catalog.rows(QStringLiteral("SELECT name, tbl_name FROM "
                                                       "main.sqlite_schema WHERE type = 'index' "
                                                       "AND upper(name) = upper(?)"),
                                        {index});
        if (found.empty())
            throw oracleError(20000, missing);
        spelled = found.front()[0];
        table = found.front()[1];
        stats = indexStats(catalog.db(), spelled).value_or(IndexStats{});
    }
    auto set = [](std::optional<int64_t>& into, const std::optional<int64_t>& given) {
        if (given)
            into = given;
    };
    set(stats.numRows, figure(args[5]));
    set(stats.leafBlocks, figure(args[6]));
    set(stats.distinctKeys, figure(args[7]));
    set(stats.clusteringFactor, figure(args[10]));
    set(stats.blevel, figure(args[11]));
    stats.avgLeafBlocksPerKey = figure(args[8]);
    if (!stats.avgLeafBlocksPerKey)
        stats.avgLeafBlocksPerKey = perKey(stats.leafBlocks, stats.distinctKeys);
    stats.avgDataBlocksPerKey = figure(args[9]);
    if (!stats.avgDataBlocksPerKey)
        stats.avgDataBlocksPerKey = perKey(stats.clusteringFactor, stats.distinctKeys);
    stats.table = table;
    if (virtualOne) {
        keepVirtualIndexStats(catalog.db(), index, stats);
        return;
    }
    sqlite::Savepoint savepoint(catalog.db());
    ensureStatisticsTables(catalog.db());
    writeIndexStats(catalog.db(), spelled, table, stats);
    savepoint.commit();
}

// The parentheses of the call [first, last) when it is [SYS.]DBMS_STATS.SET_INDEX_STATS(...).
std::optional<std::pair<size_t, size_t>> setIndexStatsCall(const std::vector<Token>& t,
                                                           size_t first, size_t last) {
    size_t i = first;
    if (i + 2 < last && t[i].is(u"SYS") && t[i + 1].isOp(u'.'))
        i += 2;
    if (!(i + 3 < last && t[i].is(u"DBMS_STATS") && t[i + 1].isOp(u'.') &&
          t[i + 2].is(u"SET_INDEX_STATS") && t[i + 3].isOp(u'(')))
        return std::nullopt;
    const size_t close = sql::closing(t, i + 3, last);
    if (close != last - 1)
        return std::nullopt;
    return std::pair(i + 3, close);
}

}  // namespace

void writeIndexStats(sqlite3* db, const QString& index, const QString& table,
                     const IndexStats& stats) {
    sqlite::Statement insert(db,
                             "INSERT OR REPLACE INTO \"QV$IND_STATS\" VALUES (upper(?1), "
                             "upper(?2), ?3, ?4, ?5, ?6, ?7, ?8, ?9, datetime('now', "
                             "'localtime'))");
    insert.bind(1, index).bind(2, table);
    int at = 3;
    for (const std::optional<int64_t>& v :
         {stats.blevel, stats.leafBlocks, stats.distinctKeys, stats.avgLeafBlocksPerKey,
          stats.avgDataBlocksPerKey, stats.clusteringFactor, stats.numRows}) {
        if (v)
            insert.bind(at, *v);
        else
            insert.bindNull(at);
        ++at;
    }
    insert.run();
}

bool runSetIndexStats(const Catalog& catalog, const std::vector<Token>& t) {
    size_t end = t.size();
    while (end > 0 && (t[end - 1].isOp(u';') || t[end - 1].isOp(u'/')))
        --end;
    if (end < 4 || !t[0].is(u"BEGIN") || !t[end - 1].is(u"END"))
        return false;
    std::vector<std::pair<size_t, size_t>> calls;
    size_t i = 1;
    while (i < end - 1) {
        size_t semicolon = i;
        while (semicolon < end - 1 && !t[semicolon].isOp(u';')) {
            if (t[semicolon].isOp(u'('))
                semicolon = sql::closing(t, semicolon, end - 1);
            ++semicolon;
        }
        if (semicolon > i) {
            const auto call = setIndexStatsCall(t, i, semicolon);
            if (!call)
                return false;
            calls.push_back(*call);
        }
        i = semicolon + 1;
    }
    if (calls.empty())
        return false;
    for (const auto& [open, close] : calls)
        setIndexStats(catalog, t, open, close);
    return true;
}

}  // namespace qv::embedded
