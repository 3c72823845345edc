#include "core/embedded/catalog/sequences.h"

#include "core/embedded/base/sandbox.h"
#include "core/embedded/values/oracleerrors.h"
#include "core/embedded/values/sqlfunctions.h"
#include "core/sql/tokenlist.h"

#include <QHash>
#include <QRandomGenerator>

#include <cmath>
#include <limits>
#include <optional>

namespace qv::embedded {

namespace {

using sql::Token;
using sql::TokenKind;

constexpr int64_t kNoMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kNoMin = std::numeric_limits<int64_t>::min();

struct SequenceDef {
    QString stamp;  // which making of the sequence this is
    int64_t increment = 1;
    std::optional<int64_t> min, max, start;
    bool cycle = false, order = false;
    bool restart = false;  // ALTER SEQUENCE ... RESTART [START WITH n]
    int64_t cache = 20;
};

[[noreturn]] void noSuchSequence() {
    throw oracleError(2289, QStringLiteral("ORA-02289: sequence does not exist"));
}

[[noreturn]] void badOption() {
    throw oracleError(922, QStringLiteral("ORA-00922: missing or invalid option"));
}

int64_t number(const std::vector<Token>& t, size_t& i, size_t end) {
    bool negative = false;
    if (i < end && (t[i].isOp(u'-') || t[i].isOp(u'+')))
        negative = t[i++].isOp(u'-');
    bool ok = false;
    const int64_t value =
        i < end && t[i].kind == TokenKind::Number ? t[i].text.toString().toLongLong(&ok) : 0;
    if (!ok)
        throw oracleError(1722, QStringLiteral("ORA-01722: invalid number"));
    ++i;
    return negative ? -value : value;
}

SequenceDef options(const std::vector<Token>& t, size_t i, size_t end, SequenceDef d) {
    while (i < end) {
        const Token& k = t[i++];
        const bool two = i < end && (t[i].is(u"WITH") || t[i].is(u"BY"));
        if ((k.is(u"START") || k.is(u"INCREMENT")) && !two)
            badOption();
        if (two)
            ++i;
        if (k.is(u"START"))
            d.start = number(t, i, end);
        else if (k.is(u"INCREMENT"))
            d.increment = number(t, i, end);
        else if (k.is(u"MINVALUE"))
            d.min = number(t, i, end);
        else if (k.is(u"MAXVALUE"))
            d.max = number(t, i, end);
        else if (k.is(u"CACHE"))
            d.cache = number(t, i, end);
        else if (k.is(u"RESTART"))
            d.restart = true;
        else if (k.is(u"NOMINVALUE"))
            d.min.reset();
        else if (k.is(u"NOMAXVALUE"))
            d.max.reset();
        else if (k.is(u"NOCACHE"))
            d.cache = 0;
        else if (k.is(u"CYCLE") || k.is(u"NOCYCLE"))
            d.cycle = k.is(u"CYCLE");
        else if (k.is(u"ORDER") || k.is(u"NOORDER"))
            d.order = k.is(u"ORDER");
        else if (!sql::isOneOf(k, {u"KEEP", u"NOKEEP", u"NOSCALE", u"SESSION", u"GLOBAL"}))
            badOption();
    }
    if (d.increment == 0)
        throw oracleError(4002, QStringLiteral("ORA-04002: INCREMENT must be a non-zero integer"));
    return d;
}

// The bounds a sequence has, its own or Oracle's defaults for its direction.
int64_t lowest(const SequenceDef& d) {
    return d.min.value_or(d.increment > 0 ? 1 : kNoMin);
}
int64_t highest(const SequenceDef& d) {
    return d.max.value_or(d.increment > 0 ? kNoMax : -1);
}

void checkBounds(const SequenceDef& d, int64_t next) {
    if (lowest(d) >= highest(d))
        throw oracleError(4004, QStringLiteral("ORA-04004: MINVALUE must be less than MAXVALUE"));
    if (next < lowest(d))
        throw oracleError(4006, QStringLiteral("ORA-04006: START WITH cannot be less than "
                                               "MINVALUE"));
    if (next > highest(d))
        throw oracleError(4008, QStringLiteral("ORA-04008: START WITH cannot be more than "
                                               "MAXVALUE"));
    if (d.cache == 1 || d.cache < 0)
        throw oracleError(4010, QStringLiteral("ORA-04010: the number of values to CACHE must "
                                               "be greater than 1"));
    // A cycle's values: beyond 64 bits when the bounds are the widest.
    const long double cycleValues =
        ((long double)highest(d) - (long double)lowest(d)) / std::abs((long double)d.increment) + 1;
    if (d.cycle && d.cache > 0 && (long double)d.cache >= cycleValues)
        throw oracleError(4013, QStringLiteral("ORA-04013: number to CACHE must be less than one "
                                               "cycle"));
}

QStringList row(const QString& name, const SequenceDef& d, int64_t next) {
    return {name,
            QString::number(lowest(d)),
            QString::number(highest(d)),
            QString::number(d.increment),
            d.cycle ? QStringLiteral("Y") : QStringLiteral("N"),
            d.order ? QStringLiteral("Y") : QStringLiteral("N"),
            QString::number(d.cache),
            QString::number(next),
            d.stamp};
}

std::optional<std::pair<SequenceDef, int64_t>> stored(const Catalog& catalog, const QString& name) {
    if (!catalog.has(kSequencesTable))
        return std::nullopt;
    const auto found = catalog.rows(
        QStringLiteral(
            "SELECT MIN_VALUE, MAX_VALUE, INCREMENT_BY, CYCLE_FLAG, ORDER_FLAG, "
            "CACHE_SIZE, LAST_NUMBER, STAMP FROM \"QV$SEQUENCES\" WHERE NAME = upper(?)"),
        {name});
    if (found.empty())
        return std::nullopt;
    const QStringList& r = found.front();
    SequenceDef d;
    d.increment = r[2].toLongLong();
    d.min = r[0].toLongLong();
    d.max = r[1].toLongLong();
    d.cycle = r[3] == u"Y";
    d.order = r[4] == u"Y";
    d.cache = r[5].toLongLong();
    d.stamp = r[7];
    return std::pair{d, r[6].toLongLong()};
}

void save(const Catalog& catalog, const QString& name, const SequenceDef& d, int64_t next) {
    catalog.ensure();
    catalog.engineExec(QStringLiteral("INSERT OR REPLACE INTO \"QV$SEQUENCES\" VALUES (upper(?), "
                                      "?, ?, ?, ?, ?, ?, ?, ?)"),
                       row(name, d, next));
}

// ---- NEXTVAL and CURRVAL ----

// One session's sequences: the value it was last given of each, and of which making of it.
struct Given {
    QString stamp;
    int64_t value = 0;
};

struct SequenceSession {
    sqlite3* db;
    Sandbox* sandbox;
    QHash<QString, Given> current;
};

void nextval(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto* session = static_cast<SequenceSession*>(sqlite3_user_data(ctx));
    const QString name = oracle::rawText(argv[0]);
    const Catalog catalog(session->db, *session->sandbox, QString());
    const auto found = stored(catalog, name);
    if (!found)
        oracle::fault("ORA-02289: sequence does not exist");
    auto [d, value] = *found;
    // What this session was given already, should a rollback have taken the file back.
    if (const auto given = session->current.constFind(name);
        given != session->current.cend() && given->stamp == d.stamp) {
        const bool behind = d.increment > 0 ? value <= given->value : value >= given->value;
        if (behind && !d.cycle)
            value = given->value + d.increment;
    }
    if (value > highest(d) || value < lowest(d)) {
        if (!d.cycle)
            oracle::fault(QStringLiteral("ORA-08004: sequence %1.NEXTVAL %2 and cannot be "
                                         "instantiated")
                              .arg(name, value > highest(d)
                                             ? QStringLiteral("exceeds MAXVALUE")
                                             : QStringLiteral("goes below MINVALUE")));
        value = d.increment > 0 ? lowest(d) : highest(d);
    }
    int64_t next = 0;
    if (__builtin_add_overflow(value, d.increment, &next))
        next = d.increment > 0 ? kNoMax : kNoMin;
    else if (d.cycle && (next > highest(d) || next < lowest(d)))
        next = d.increment > 0 ? lowest(d) : highest(d);
    catalog.engineExec(QStringLiteral("UPDATE \"QV$SEQUENCES\" SET LAST_NUMBER = ? WHERE NAME = ?"),
                       {QString::number(next), name});
    session->current.insert(name, Given{d.stamp, value});
    sqlite3_result_int64(ctx, value);
}

void currval(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto* session = static_cast<SequenceSession*>(sqlite3_user_data(ctx));
    const QString name = oracle::rawText(argv[0]);
    const Catalog catalog(session->db, *session->sandbox, QString());
    const auto found = stored(catalog, name);
    if (!found)
        oracle::fault("ORA-02289: sequence does not exist");
    const auto given = session->current.constFind(name);
    if (given == session->current.cend() || given->stamp != found->first.stamp) {
        oracle::fault(QStringLiteral("ORA-08002: sequence %1.CURRVAL is not yet defined in this "
                                     "session")
                          .arg(name));
    }
    sqlite3_result_int64(ctx, given->value);
}

}  // namespace

bool runSequenceCommand(const Catalog& catalog, const std::vector<Token>& t, size_t end) {
    if (end < 3 || !t[1].is(u"SEQUENCE") ||
        !(t[0].is(u"CREATE") || t[0].is(u"ALTER") || t[0].is(u"DROP")))
        return false;
    size_t i = 2;
    // IF [NOT] EXISTS, as Oracle 23 takes it.
    const bool create = t[0].is(u"CREATE");
    bool conditional = false;
    if (i + (create ? 3u : 2u) < end && t[i].is(u"IF") && (!create || t[i + 1].is(u"NOT")) &&
        t[i + (create ? 2 : 1)].is(u"EXISTS")) {
        conditional = true;
        i += create ? 3 : 2;
    }
    if (!sql::isName(t[i]))
        badOption();
    QString name = sql::unquoted(t[i++]);
    if (i + 1 < end && t[i].isOp(u'.') && sql::isName(t[i + 1])) {
        name = sql::unquoted(t[i + 1]);
        i += 2;
    }
    name = name.toUpper();
    if (conditional && (create == stored(catalog, name).has_value()))
        return true;
    if (create) {
        catalog.checkFreeName(name);
        SequenceDef d = options(t, i, end, SequenceDef());
        d.stamp = QString::number(QRandomGenerator::global()->generate64() >> 1);
        const int64_t first = d.start.value_or(d.increment > 0 ? lowest(d) : highest(d));
        checkBounds(d, first);
        save(catalog, name, d, first);
        return true;
    }
    const auto found = stored(catalog, name);
    if (!found)
        noSuchSequence();
    if (t[0].is(u"DROP")) {
        if (i != end)
            throw oracleError(933, QStringLiteral("ORA-00933: SQL command not properly ended"));
        catalog.engineExec(QStringLiteral("DELETE FROM \"QV$SEQUENCES\" WHERE NAME = ?"), {name});
        return true;
    }
    if (i == end)
        throw oracleError(2286, QStringLiteral("ORA-02286: no options specified for ALTER "
                                               "SEQUENCE"));
    SequenceDef d = options(t, i, end, found->first);
    if (d.restart) {
        // Values before the restart are no guide to the next one any more.
        d.stamp = QString::number(QRandomGenerator::global()->generate64() >> 1);
        // Oracle 18's RESTART: from START WITH, or from the first value of the sequence.
        const int64_t first = d.start.value_or(d.increment > 0 ? lowest(d) : highest(d));
        checkBounds(d, first);
        save(catalog, name, d, first);
        return true;
    }
    if (d.start)
        throw oracleError(2283, QStringLiteral("ORA-02283: cannot alter starting sequence number"));
    const int64_t next = found->second;
    if (d.increment > 0 ? next - found->first.increment > highest(d)
                        : next - found->first.increment < lowest(d))
        throw oracleError(4009, QStringLiteral("ORA-04009: MAXVALUE cannot be made to be less "
                                               "than the current value"));
    if (lowest(d) >= highest(d))
        throw oracleError(4004, QStringLiteral("ORA-04004: MINVALUE must be less than MAXVALUE"));
    // The next value steps by the new increment from the last one handed out.
    save(catalog, name, d, next - found->first.increment + d.increment);
    return true;
}

int registerSequenceFunctions(sqlite3* db, Sandbox& sandbox) {
    auto* session = new SequenceSession{db, &sandbox, {}};
    // Called where a statement writes, never in a view, a trigger or a default: DIRECTONLY.
    int rc = sqlite3_create_function_v2(db, "qv_nextval", 1, SQLITE_UTF8 | SQLITE_DIRECTONLY,
                                        session, oracle::guarded<nextval>, nullptr, nullptr,
                                        [](void* p) { delete static_cast<SequenceSession*>(p); });
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "qv_currval", 1, SQLITE_UTF8 | SQLITE_DIRECTONLY,
                                        session, oracle::guarded<currval>, nullptr, nullptr,
                                        nullptr);
    return rc;
}

}  // namespace qv::embedded
