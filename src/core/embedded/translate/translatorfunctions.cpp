// Oracle's calls and literals that SQLite has no form for (translateOracle() in oracledialect.h):
//   INTERVAL 'text' qualifier       qv_interval('text', 'QUALIFIER') (oracleintervals.cpp)
//   CHR(n USING NCHAR_CS)           qv_nchr(n)
//   DUMP('literal' ...)             qv_dump_literal(...): a text literal is Oracle's CHAR
//   UTL_RAW.f(...), DBMS_LOB.f(...) "utl_raw.f"(...): the engine's function of that name
//   CAST(x AS INTERVAL ...)         qv_store(x, ...) as into a column of that type
//   a column INTERVAL ...           COLLATE ORACLE_INTERVAL (CREATE and ALTER TABLE)
//   TRIM(... FROM x), EXTRACT(f FROM x)  qv_trim(x, side, character), qv_extract('F', x)
#include "core/embedded/translate/translator.h"
#include "core/embedded/values/oraclevalues.h"

namespace qv::embedded {

namespace {

bool isIntervalUnit(const Token& t) {
    return sql::isOneOf(t, {u"YEAR", u"MONTH", u"DAY", u"HOUR", u"MINUTE", u"SECOND"});
}

}  // namespace

size_t Translator::intervalLiteralEnd(size_t i, size_t last) const {
    if (!isIntervalUnit(t_[i + 2]))
        return kNone;
    auto pastPrecision = [&](size_t k) {
        if (k < last && t_[k].isOp(u'(')) {
            const size_t close = closing(k, last);
            return close >= last ? last : close + 1;
        }
        return k;
    };
    size_t k = pastPrecision(i + 3);
    if (k + 1 < last && t_[k].is(u"TO") && isIntervalUnit(t_[k + 1]))
        k = pastPrecision(k + 2);
    return k;
}

size_t Translator::intervalType(size_t i, size_t last) {
    if (!t_[i].is(u"INTERVAL") || i == 0 || !sql::isName(t_[i - 1]) || i + 1 >= last ||
        !(t_[i + 1].is(u"YEAR") || t_[i + 1].is(u"DAY")))
        return kNone;
    size_t end = i + 2;
    for (; end < last && !t_[end].isOp(u',') && !t_[end].is(u"COLLATE"); ++end) {
        if (t_[end].isOp(u'('))
            end = closing(end, last);
        else if (!(t_[end].is(u"TO") || isIntervalUnit(t_[end])))
            break;
    }
    end = std::min(end, last);
    writeOriginal(i, end);
    // Intervals compare by their length of time (kIntervalCollation).
    if (!(end < last && t_[end].is(u"COLLATE")))
        write(QStringLiteral(" COLLATE ") + kIntervalCollation);
    return end;
}

bool Translator::endsInterval(size_t first, size_t last) const {
    if (last == first || !(isIntervalUnit(t_[last - 1]) || t_[last - 1].isOp(u')')))
        return false;
    // INTERVAL 'text' DAY(9) TO SECOND(9) is the longest: 12 tokens.
    for (size_t k = last; k-- > first && k + 12 >= last;) {
        if (intervalEnd(k, last) == last)
            return true;
    }
    return false;
}

void Translator::intervalLiteral(size_t i, size_t end) {
    QString qualifier;
    for (size_t k = i + 2; k < end; ++k)
        qualifier += t_[k].is(u"TO") ? QStringLiteral(" TO ") : t_[k].text.toString().toUpper();
    write(QStringLiteral("qv_interval(%1, %2)")
              .arg(sql::quotedString(sql::stringValue(t_[i + 1])), sql::quotedString(qualifier)));
}

bool Translator::intervalCast(size_t first, size_t as, size_t last, const Scope& scope) {
    if (!t_[as + 1].is(u"INTERVAL"))
        return false;
    const std::optional<StoreCheck> check = storeCheck(sql::textOf(sql_, t_, as + 1, last));
    if (!check)
        throw oracleError(902, QStringLiteral("ORA-00902: invalid datatype"));
    write(u"qv_store(");
    render(first, as, scope);
    write(QStringLiteral(", %1, %2, %3, NULL)")
              .arg(int(check->rule))
              .arg(check->size)
              .arg(check->scale));
    return true;
}

bool Translator::oracleCall(size_t nameFirst, size_t open, size_t close,
                            const std::vector<Range>& args, const Scope& scope) {
    const Token& name = t_[open - 1];
    const bool qualified = open - 1 > nameFirst;
    QString function;
    Range inside{open + 1, close};
    if (!qualified && name.is(u"CHR") && args.size() == 1) {
        const size_t using_ = groups_.findTopLevel(args[0].first, args[0].last, u"USING");
        if (using_ >= args[0].last)
            return false;
        if (!(using_ + 2 == args[0].last && t_[using_ + 1].is(u"NCHAR_CS")))
            throw oracleError(907, QStringLiteral("ORA-00907: missing right parenthesis"));
        function = QStringLiteral("qv_nchr");
        inside.last = using_;
    } else if (!qualified && name.is(u"DUMP") && !args.empty() && args[0].size() == 1 &&
               t_[args[0].first].kind == TokenKind::String) {
        if (args.size() > 4)
            throw oracleError(909, QStringLiteral("ORA-00909: invalid number of arguments"));
        function = QStringLiteral("qv_dump_literal");
    } else if (!qualified && jsonCall(name, close, args, scope)) {
        return true;
    } else if (const size_t package = open - 3;
               open >= nameFirst + 3 && t_[package + 1].isOp(u'.') &&
               (t_[package].is(u"UTL_RAW") || t_[package].is(u"DBMS_LOB")) &&
               (package == nameFirst || (package == nameFirst + 2 && t_[nameFirst].is(u"SYS")))) {
        // SYS.UTL_RAW.f as well: the packages are SYS's.
        function = u'"' + t_[package].text.toString().toLower() + u'.' +
                   name.text.toString().toLower() + u'"';
    } else {
        return false;
    }
    write(function + u'(');
    if (inside.last > inside.first)
        render(inside.first, inside.last, scope);
    write(u")");
    return true;
}

// TRIM([LEADING|TRAILING|BOTH] [character] FROM text) as qv_trim(text, 'L'|'T'|'B', character),
// a blank when no character is given.
void Translator::trim(Range argument, const Scope& scope) {
    const auto [first, last] = argument;
    const size_t from = groups_.findTopLevel(first, last, u"FROM");
    size_t character = first;
    QStringView side = u"B";
    if (t_[first].is(u"LEADING") || t_[first].is(u"TRAILING") || t_[first].is(u"BOTH")) {
        side = t_[first].is(u"LEADING") ? u"L" : t_[first].is(u"TRAILING") ? u"T" : u"B";
        ++character;
    }
    write(u"qv_trim(");
    render(from + 1, last, scope);
    write(u", '");
    write(side);
    write(u"', ");
    if (character < from)
        render(character, from, scope);
    else
        write(u"' '");
    write(u")");
}

void Translator::extract(Range argument, const Scope& scope) {
    // qv_extract() reads a date or an interval (oracleintervals.cpp).
    if (argument.size() >= 3 && t_[argument.first + 1].is(u"FROM") &&
        sql::isOneOf(t_[argument.first],
                     {u"YEAR", u"MONTH", u"DAY", u"HOUR", u"MINUTE", u"SECOND"})) {
        write(
            QStringLiteral("qv_extract('%1', ").arg(t_[argument.first].text.toString().toUpper()));
        render(argument.first + 2, argument.last, scope);
        write(u")");
        return;
    }
    refuse(QStringLiteral("EXTRACT is understood for YEAR, MONTH, DAY, HOUR, MINUTE and SECOND"));
}

}  // namespace qv::embedded
