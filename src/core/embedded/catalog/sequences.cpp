#include "core/embedded/catalog/sequences.h"

#include "core/embedded/catalog/identity.h"
#include "core/embedded/catalog/sequencedefs.h"
#include "core/embedded/values/oracleerrors.h"
#include "core/sql/tokenlist.h"

#include <QRandomGenerator>

#include <algorithm>

namespace qv::embedded {

namespace {

using sql::Token;
using sql::TokenKind;

[[noreturn]] void noSuchSequence() {
    throw oracleError(2289, QStringLiteral("ORA-02289: sequence does not exist"));
}

[[noreturn]] void badOption() {
    throw oracleError(922, QStringLiteral("ORA-00922: missing or invalid option"));
}

// A whole number as written, up to Oracle's 28 digits and beyond (saturating far past them).
WideValue number(const std::vector<Token>& t, size_t& i, size_t end) {
    bool negative = false;
    if (i < end && (t[i].isOp(u'-') || t[i].isOp(u'+')))
        negative = t[i++].isOp(u'-');
    const QStringView digits =
        i < end && t[i].kind == TokenKind::Number ? t[i].text : QStringView();
    if (digits.isEmpty() ||
        !std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit(); }))
        throw oracleError(1722, QStringLiteral("ORA-01722: invalid number"));
    ++i;
    constexpr WideValue kFar = WideValue(1) << 120;
    WideValue value = 0;
    for (const QChar c : digits)
        value = std::min(kFar, value * 10 + (c.unicode() - u'0'));
    return negative ? -value : value;
}

// A bound or step past the engine's 64-bit values is the engine's end.
int64_t clamped(WideValue v) {
    return v > kNoMaxValue ? kNoMaxValue : v < kNoMinValue ? kNoMinValue : int64_t(v);
}

}  // namespace

SequenceDef sequenceOptions(const std::vector<Token>& t, size_t i, size_t end, SequenceDef d) {
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
            d.increment = clamped(number(t, i, end));
        else if (k.is(u"MINVALUE"))
            d.min = clamped(number(t, i, end));
        else if (k.is(u"MAXVALUE"))
            d.max = clamped(number(t, i, end));
        else if (k.is(u"CACHE"))
            d.cache = clamped(number(t, i, end));
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

void checkSequenceBounds(const SequenceDef& d, WideValue next) {
    if (d.lowest() >= d.highest())
        throw oracleError(4004, QStringLiteral("ORA-04004: MINVALUE must be less than MAXVALUE"));
    if (next < d.lowest())
        throw oracleError(4006, QStringLiteral("ORA-04006: START WITH cannot be less than "
                                               "MINVALUE"));
    if (next > d.highest())
        throw oracleError(4008, QStringLiteral("ORA-04008: START WITH cannot be more than "
                                               "MAXVALUE"));
    if (d.cache == 1 || d.cache < 0)
        throw oracleError(4010, QStringLiteral("ORA-04010: the number of values to CACHE must "
                                               "be greater than 1"));
    // A cycle's values: beyond 64 bits when the bounds are the widest.
    const WideValue cycleValues =
        (WideValue(d.highest()) - d.lowest()) /
            (d.increment < 0 ? -WideValue(d.increment) : WideValue(d.increment)) +
        1;
    if (d.cycle && d.cache > 0 && d.cache >= cycleValues)
        throw oracleError(4013, QStringLiteral("ORA-04013: number to CACHE must be less than one "
                                               "cycle"));
}

QString newSequenceStamp() {
    return QString::number(QRandomGenerator::global()->generate64() >> 1);
}

QString wideText(WideValue v) {
    if (v >= kNoMinValue && v <= kNoMaxValue)
        return QString::number(qint64(v));
    QString digits;
    for (WideValue rest = v < 0 ? -v : v; rest > 0; rest /= 10)
        digits.prepend(QChar(u'0' + int(rest % 10)));
    return v < 0 ? u'-' + digits : digits;
}

QString storedText(WideValue v) {
    if (v > kNoMaxValue)
        return QStringLiteral("9223372036854775808");  // 2^63
    if (v < kNoMinValue)
        return QStringLiteral("-9223372036854777856");  // -2^63 - 2^11
    return wideText(v);
}

std::optional<std::pair<SequenceDef, WideValue>> storedSequence(const Catalog& catalog,
                                                                const QString& name) {
    if (!catalog.has(kSequencesTable))
        return std::nullopt;
    // LAST_NUMBER past the engine's end is kept as a REAL: one step beyond it is all it says.
    const auto found = catalog.rows(
        QStringLiteral("SELECT MIN_VALUE, MAX_VALUE, INCREMENT_BY, CYCLE_FLAG, ORDER_FLAG, "
                       "CACHE_SIZE, CASE WHEN typeof(LAST_NUMBER) = 'integer' THEN LAST_NUMBER "
                       "WHEN LAST_NUMBER > 0 THEN 'above' ELSE 'below' END, STAMP FROM "
                       "\"QV$SEQUENCES\" WHERE NAME = upper(?)"),
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
    const WideValue next = r[6] == u"above"   ? WideValue(kNoMaxValue) + 1
                           : r[6] == u"below" ? WideValue(kNoMinValue) - 1
                                              : WideValue(r[6].toLongLong());
    return std::pair{d, next};
}

void saveSequence(const Catalog& catalog, const QString& name, const SequenceDef& d,
                  WideValue next) {
    catalog.ensure();
    catalog.engineExec(
        QStringLiteral("INSERT OR REPLACE INTO \"QV$SEQUENCES\" VALUES (upper(?), "
                       "?, ?, ?, ?, ?, ?, ?, ?)"),
        {name, QString::number(d.lowest()), QString::number(d.highest()),
         QString::number(d.increment), d.cycle ? QStringLiteral("Y") : QStringLiteral("N"),
         d.order ? QStringLiteral("Y") : QStringLiteral("N"), QString::number(d.cache),
         storedText(next), d.stamp});
}

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
    if (conditional && (create == storedSequence(catalog, name).has_value()))
        return true;
    if (create) {
        catalog.checkFreeName(name);
        SequenceDef d = sequenceOptions(t, i, end, SequenceDef());
        d.stamp = newSequenceStamp();
        const WideValue first = d.start.value_or(d.first());
        checkSequenceBounds(d, first);
        saveSequence(catalog, name, d, first);
        return true;
    }
    const auto found = storedSequence(catalog, name);
    if (!found)
        noSuchSequence();
    if (isIdentitySequence(catalog, name)) {
        if (t[0].is(u"DROP"))
            throw oracleError(32794, QStringLiteral("ORA-32794: cannot drop a system-generated "
                                                    "sequence"));
        throw oracleError(32793, QStringLiteral("ORA-32793: cannot alter a system-generated "
                                                "sequence"));
    }
    // What sessions of this process held of the sequence is read anew after any change; the
    // next value they would have handed out is where it stands.
    const WideValue next =
        forgetIssued(catalog.db(), name, found->first.stamp).value_or(found->second);
    if (t[0].is(u"DROP")) {
        if (i != end)
            throw oracleError(933, QStringLiteral("ORA-00933: SQL command not properly ended"));
        catalog.engineExec(QStringLiteral("DELETE FROM \"QV$SEQUENCES\" WHERE NAME = ?"), {name});
        return true;
    }
    if (i == end)
        throw oracleError(2286, QStringLiteral("ORA-02286: no options specified for ALTER "
                                               "SEQUENCE"));
    SequenceDef d = sequenceOptions(t, i, end, found->first);
    if (d.restart) {
        // Values before the restart are no guide to the next one any more.
        d.stamp = newSequenceStamp();
        // Oracle 18's RESTART: from START WITH, or from the first value of the sequence.
        const WideValue first = d.start.value_or(d.first());
        checkSequenceBounds(d, first);
        saveSequence(catalog, name, d, first);
        return true;
    }
    if (d.start)
        throw oracleError(2283, QStringLiteral("ORA-02283: cannot alter starting sequence number"));
    const WideValue last = next - found->first.increment;
    if (d.increment > 0 ? last > d.highest() : last < d.lowest())
        throw oracleError(4009, QStringLiteral("ORA-04009: MAXVALUE cannot be made to be less "
                                               "than the current value"));
    if (d.lowest() >= d.highest())
        throw oracleError(4004, QStringLiteral("ORA-04004: MINVALUE must be less than MAXVALUE"));
    // The next value steps by the new increment from the last one handed out.
    saveSequence(catalog, name, d, last + d.increment);
    return true;
}

}  // namespace qv::embedded
