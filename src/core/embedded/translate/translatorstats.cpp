// Oracle's statistical aggregates in SQLite's terms, as the engine's functions (oraclestats.h)
// take them; see translateOracle() in oracledialect.h.
//   STDDEV, VARIANCE and their _SAMP / _POP forms   qv_stddev(x) ...
//   MEDIAN(x)                                       qv_percentile_cont(0.5, x, 0)
//   PERCENTILE_CONT | DISC(p) WITHIN GROUP (ORDER BY x [DESC])
//                                                   qv_percentile_cont | disc(p, x, descending)
//   f(x) KEEP (DENSE_RANK FIRST | LAST ORDER BY k [DESC] [NULLS ...], ...)
//                                                   qv_keep('F', last, x, k, flags, ...)
//   RATIO_TO_REPORT(x) OVER (...)                   x / SUM(x) OVER (...), NULL for a sum of 0
// each followed by its OVER (...) as written when it is an analytic function.
#include "core/embedded/translate/translator.h"
#include "core/embedded/values/oraclestats.h"

namespace qv::embedded {

namespace {

[[noreturn]] void invalidArguments() {
    throw oracleError(909, QStringLiteral("ORA-00909: invalid number of arguments"));
}

const char16_t* const kSpreads[] = {u"STDDEV",     u"VARIANCE", u"STDDEV_SAMP",
                                    u"STDDEV_POP", u"VAR_SAMP", u"VAR_POP"};

}  // namespace

bool Translator::isStatistic(size_t open, size_t close, size_t last) const {
    const Token& name = t_[open - 1];
    if (close + 2 < last && t_[close + 1].is(u"KEEP") && t_[close + 2].isOp(u'('))
        return true;
    for (const char16_t* s : kSpreads) {
        if (name.is(s))
            return true;
    }
    return name.is(u"MEDIAN") || name.is(u"PERCENTILE_CONT") || name.is(u"PERCENTILE_DISC") ||
           name.is(u"RATIO_TO_REPORT");
}

int Translator::keepOrder(Range term) const {
    const size_t nulls = groups_.findTopLevel(term.first, term.last, u"NULLS");
    const bool descending = groups_.findTopLevel(term.first, term.last, u"DESC") < term.last;
    const bool nullsFirst = nulls + 1 < term.last ? t_[nulls + 1].is(u"FIRST") : descending;
    return (descending ? kKeepDescending : 0) | (nullsFirst ? kKeepNullsFirst : 0);
}

// The end of an ORDER BY term's value: before ASC, DESC or NULLS.
size_t Translator::orderValueEnd(Range term) const {
    size_t end = term.last;
    for (const char16_t* w : {u"NULLS", u"ASC", u"DESC"})
        end = std::min(end, groups_.findTopLevel(term.first, term.last, w));
    return end;
}

size_t Translator::statistic(size_t open, size_t close, size_t last, const Scope& scope) {
    const Token& name = t_[open - 1];
    const std::vector<Range> args =
        close > open + 1 ? groups_.splitTopLevel(open + 1, close) : std::vector<Range>{};
    auto arg = [&](const Range& r) { render(r.first, r.last, scope); };
    size_t next = close + 1;
    if (next + 1 < last && t_[next].is(u"KEEP")) {
        // f(x) KEEP (DENSE_RANK FIRST|LAST ORDER BY ...)
        const size_t keepClose = closing(next + 1, last);
        const size_t rank = next + 2;
        if (keepClose >= last || rank + 4 > keepClose || !t_[rank].is(u"DENSE_RANK") ||
            !(t_[rank + 1].is(u"FIRST") || t_[rank + 1].is(u"LAST")) ||
            !t_[rank + 2].is(u"ORDER") || !t_[rank + 3].is(u"BY"))
            throw oracleError(905, QStringLiteral("ORA-00905: missing keyword"));
        if (args.size() != 1)
            invalidArguments();
        write(QStringLiteral("qv_keep('") + name.text.toString().toUpper() + QStringLiteral("', "));
        write(t_[rank + 1].is(u"LAST") ? u"1, " : u"0, ");
        if (args[0].size() == 1 && t_[args[0].first].isOp(u'*'))
            write(u"1");
        else
            arg(args[0]);
        for (const Range& term : groups_.splitTopLevel(rank + 4, keepClose)) {
            write(u", ");
            arg({term.first, orderValueEnd(term)});
            write(QStringLiteral(", %1").arg(keepOrder(term)));
        }
        write(u")");
        return callTail(keepClose + 1, last, scope);
    }
    if (name.is(u"RATIO_TO_REPORT")) {
        if (args.size() != 1)
            invalidArguments();
        if (!(next + 1 < last && t_[next].is(u"OVER") && t_[next + 1].isOp(u'(')))
            throw oracleError(30484, QStringLiteral("ORA-30484: missing OVER clause for this "
                                                    "function"));
        const size_t overClose = closing(next + 1, last);
        write(u"qv_arith('/', ");
        arg(args[0]);
        write(u", nullif(sum(");
        arg(args[0]);
        write(u") OVER (");
        render(next + 2, overClose, scope);
        write(u"), 0))");
        return overClose + 1;
    }
    if (name.is(u"PERCENTILE_CONT") || name.is(u"PERCENTILE_DISC")) {
        // (p) WITHIN GROUP (ORDER BY x [ASC|DESC])
        if (args.size() != 1)
            invalidArguments();
        const size_t groupOpen = next + 2;
        if (!(groupOpen + 2 < last && t_[next].is(u"WITHIN") && t_[next + 1].is(u"GROUP") &&
              t_[groupOpen].isOp(u'(') && t_[groupOpen + 1].is(u"ORDER") &&
              t_[groupOpen + 2].is(u"BY")))
            throw oracleError(30491, QStringLiteral("ORA-30491: missing ORDER BY clause"));
        const size_t groupClose = closing(groupOpen, last);
        const std::vector<Range> terms = groups_.splitTopLevel(groupOpen + 3, groupClose);
        if (terms.size() != 1)
            throw oracleError(30489, QStringLiteral("ORA-30489: Cannot have more than one "
                                                    "argument for this function"));
        write(name.is(u"PERCENTILE_CONT") ? u"qv_percentile_cont(" : u"qv_percentile_disc(");
        arg(args[0]);
        write(u", ");
        arg({terms[0].first, orderValueEnd(terms[0])});
        write((keepOrder(terms[0]) & kKeepDescending) ? u", 1)" : u", 0)");
        return callTail(groupClose + 1, last, scope);
    }
    if (args.size() != 1)
        invalidArguments();
    if (name.is(u"MEDIAN")) {
        write(u"qv_percentile_cont(0.5, ");
        arg(args[0]);
        write(u", 0)");
    } else {
        write(QStringLiteral("qv_") + name.text.toString().toLower() + QStringLiteral("("));
        arg(args[0]);
        write(u")");
    }
    return callTail(next, last, scope);
}

}  // namespace qv::embedded
