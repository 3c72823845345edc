// Oracle's LISTAGG in SQLite's terms: see listagg.h for the function it becomes and
// translateOracle() in oracledialect.h.
#include "core/embedded/translate/translator.h"
#include "core/embedded/values/listagg.h"

namespace qv::embedded {

namespace {

[[noreturn]] void orderNotAllowed() {
    throw oracleError(30487, QStringLiteral("ORA-30487: ORDER BY not allowed here"));
}

}  // namespace

// LISTAGG([ALL | DISTINCT] value [, delimiter] [ON OVERFLOW ERROR | TRUNCATE ['indicator']
// [WITH | WITHOUT COUNT]]) [WITHIN GROUP (ORDER BY ...)] [OVER ([PARTITION BY ...])], its call
// written from the name at `open` - 1 to past what follows it.
//   as an aggregate:  qv_listagg(value, delimiter, mode, indicator ORDER BY ...)
//   as an analytic:   qv_listagg(...) OVER (PARTITION BY ... ORDER BY ... ROWS BETWEEN
//                     UNBOUNDED PRECEDING AND UNBOUNDED FOLLOWING), every row of a partition
//                     getting the whole list as in Oracle
// An ORDER BY term without NULLS FIRST or LAST gets Oracle's default: NULLs last ascending,
// first descending.
size_t Translator::listagg(size_t open, size_t close, size_t last, const Scope& scope) {
    size_t first = open + 1;
    int mode = 0;
    if (first < close && (t_[first].is(u"DISTINCT") || t_[first].is(u"ALL"))) {
        if (t_[first].is(u"DISTINCT"))
            mode |= kListaggDistinct;
        ++first;
    }
    std::vector<Range> args = groups_.splitTopLevel(first, close);
    if (args.size() > 2 || args.front().empty())
        throw oracleError(909, QStringLiteral("ORA-00909: invalid number of arguments"));
    // The overflow clause ends the last argument.
    Range& tailArg = args.back();
    const size_t on = groups_.findTopLevel(tailArg.first, tailArg.last, u"ON");
    QString indicator = QStringLiteral("'...'");
    if (on < tailArg.last) {
        size_t i = on + 1;
        auto expect = [&](QStringView word) {
            if (i >= tailArg.last || !t_[i].is(word))
                throw oracleError(905, QStringLiteral("ORA-00905: missing keyword"));
            ++i;
        };
        expect(u"OVERFLOW");
        if (i < tailArg.last && t_[i].is(u"TRUNCATE")) {
            ++i;
            mode |= kListaggTruncate | kListaggWithCount;
            if (i < tailArg.last && t_[i].kind == TokenKind::String)
                indicator = sql::quotedString(sql::stringValue(t_[i++]));
            if (i < tailArg.last && t_[i].is(u"WITHOUT")) {
                mode &= ~kListaggWithCount;
                ++i;
                expect(u"COUNT");
            } else if (i < tailArg.last && t_[i].is(u"WITH")) {
                ++i;
                expect(u"COUNT");
            }
        } else {
            expect(u"ERROR");
        }
        if (i != tailArg.last)
            throw oracleError(907, QStringLiteral("ORA-00907: missing right parenthesis"));
        tailArg.last = on;
    }

    // WITHIN GROUP (ORDER BY ...) and OVER (...), in that order.
    size_t next = close + 1;
    Range order, over;
    bool analytic = false;
    if (next + 2 < last && t_[next].is(u"WITHIN") && t_[next + 1].is(u"GROUP") &&
        t_[next + 2].isOp(u'(')) {
        const size_t groupClose = closing(next + 2, last);
        const size_t by = next + 4;
        if (groupClose >= last || by >= groupClose || !t_[next + 3].is(u"ORDER") ||
            !t_[by].is(u"BY"))
            throw oracleError(924, QStringLiteral("ORA-00924: missing BY keyword"));
        order = {by + 1, groupClose};
        next = groupClose + 1;
    }
    if (next + 1 < last && t_[next].is(u"OVER") && t_[next + 1].isOp(u'(')) {
        const size_t overClose = closing(next + 1, last);
        if (overClose >= last)
            return callTail(close + 1, last, scope);
        over = {next + 2, overClose};
        analytic = true;
        if (groups_.findTopLevel(over.first, over.last, u"ORDER") < over.last)
            orderNotAllowed();
        next = overClose + 1;
    }

    auto orderTerms = [&] {
        for (const auto& [a, b] : groups_.splitTopLevel(order.first, order.last)) {
            if (a > order.first)
                write(u", ");
            render(a, b, Scope{{}, scope.level});
            if (groups_.findTopLevel(a, b, u"NULLS") == b)
                write(groups_.findTopLevel(a, b, u"DESC") < b ? u" NULLS FIRST" : u" NULLS LAST");
        }
    };
    write(u"qv_listagg(");
    render(args[0].first, args[0].last, scope);
    write(u", ");
    if (args.size() == 2 && !args[1].empty())
        render(args[1].first, args[1].last, scope);
    else
        write(u"NULL");
    write(QStringLiteral(", %1, ").arg(mode));
    write(indicator);
    if (!order.empty() && !analytic) {
        write(u" ORDER BY ");
        orderTerms();
    }
    write(u")");
    if (analytic) {
        write(u" OVER (");
        render(over.first, over.last, scope);
        if (!order.empty()) {
            write(u" ORDER BY ");
            orderTerms();
            write(u" ROWS BETWEEN UNBOUNDED PRECEDING AND UNBOUNDED FOLLOWING");
        }
        write(u")");
    }
    return next;
}

}  // namespace qv::embedded
