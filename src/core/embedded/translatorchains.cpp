// Operator chains of Oracle's SQL in SQLite's terms, grouped by Oracle's precedence: * and /
// before + - and ||, which share one level. SQLite puts || above * and /, so "'n=' || a * 2"
// would multiply the text; written as calls the grouping is explicit. A chain at one level is
// one call however long it is, so a long sum neither nests SQLite's expression tree nor the
// calls: qv_arith('+-|', a, b, c) applies its operators left to right, as Oracle does, and
// keeps its rules for dates, NULL and text. See translateOracle() in oracledialect.h.
#include "core/embedded/translator.h"

namespace qv::embedded {

namespace {

bool isArithmetic(const Token& t) {
    if (t.kind != TokenKind::Op)
        return false;
    if (t.text.size() == 2)
        return t.text == u"||";
    return t.text.size() == 1 && QStringView(u"+-*/%").contains(t.text.front());
}

bool isAdditive(const Token& t) {
    return t.isOp(u'+') || t.isOp(u'-') || t.isOp(u"||");
}

// Where each call of a chain split into calls nested from the left ends: the first takes
// `capacity` items, each later one the value so far and capacity - 1 more.
std::vector<size_t> callEnds(size_t items, size_t capacity) {
    std::vector<size_t> ends{qMin(items, capacity)};
    while (ends.back() < items)
        ends.push_back(qMin(items, ends.back() + capacity - 1));
    return ends;
}

}  // namespace

size_t Translator::chain(size_t i, size_t last, const Scope& scope) {
    size_t j = operandEnd(i, last);
    auto continues = [&] { return j < last && isArithmetic(t_[j]) && startsOperand(j + 1, last); };
    if (!continues())
        return operand(i, last, scope);
    // The operators decide the call that comes first, so they are read before anything is
    // written.
    Chain c;
    c.starts.push_back(i);
    c.last = last;
    while (continues()) {
        checkStop();
        c.ops.push_back(j);
        c.starts.push_back(j + 1);
        j = operandEnd(j + 1, last);
    }
    c.end = j;
    additive(c, scope);
    return j;
}

// The terms joined by + - ||: one term as it is; || alone as qv_concat(a, b, ...), which takes
// NULL for empty text; anything else as qv_arith('<operators>', a, b, ...), '|' standing for ||.
void Translator::additive(const Chain& c, const Scope& scope) {
    std::vector<size_t> termStarts{0};  // the operand each term begins with
    QString operators;
    bool concatenation = true;
    bool division = false;
    for (size_t k = 0; k < c.ops.size(); ++k) {
        const Token& op = t_[c.ops[k]];
        division = division || op.isOp(u'/');
        if (!isAdditive(op))
            continue;
        termStarts.push_back(k + 1);
        operators += op.isOp(u"||") ? u'|' : op.text.front();
        concatenation = concatenation && op.isOp(u"||");
    }
    const size_t operands = c.starts.size();
    if (termStarts.size() == 1) {
        if (division)
            term(c, 0, operands, scope);
        else
            nativeTerm(c, scope);
        return;
    }
    const QStringView name = concatenation ? u"qv_concat(" : u"qv_arith(";
    const size_t terms = termStarts.size();
    const std::vector<size_t> ends = callEnds(terms, kMaxCallArguments - (concatenation ? 0 : 1));
    // The outermost call first; the operators of a call are those before each of its terms.
    for (size_t k = ends.size(); k-- > 0;) {
        write(name);
        if (!concatenation) {
            const size_t from = k == 0 ? 0 : ends[k - 1] - 1;
            write(u"'");
            write(QStringView(operators).mid(from, ends[k] - 1 - from));
            write(u"', ");
        }
    }
    size_t next = 0;
    for (size_t end : ends) {
        for (; next < end; ++next) {
            if (next > 0)
                write(u", ");
            const size_t first = termStarts[next];
            term(c, first, next + 1 < terms ? termStarts[next + 1] : operands, scope);
        }
        write(u")");
    }
}

// Operands [first, last) of `c` joined by * / and %: SQLite's * and %, and a run of divisions as
// qv_div(a, b, c), exact and with ORA-01476, inside the calls that come before it.
void Translator::term(const Chain& c, size_t first, size_t last, const Scope& scope) {
    auto operandAt = [&](size_t k) {
        [[maybe_unused]] const size_t end = operand(c.starts[k], c.last, scope);
        Q_ASSERT(end == c.operandEnd(k));
    };
    const size_t divisors = kMaxCallArguments - 1;
    size_t calls = 0;
    for (size_t k = first; k + 1 < last;) {
        size_t run = 0;
        while (k + 1 < last && t_[c.ops[k]].isOp(u'/')) {
            ++run;
            ++k;
        }
        calls += (run + divisors - 1) / divisors;
        if (run == 0)
            ++k;
    }
    for (size_t k = 0; k < calls; ++k)
        write(u"qv_div(");
    operandAt(first);
    size_t run = 0;  // divisions so far in the run at hand
    for (size_t k = first; k + 1 < last; ++k) {
        const Token& op = t_[c.ops[k]];
        if (!op.isOp(u'/')) {
            run = 0;
            write(u" ");
            write(op.text);
            write(u" ");
            operandAt(k + 1);
            continue;
        }
        write(u", ");
        operandAt(k + 1);
        const bool runEnds = k + 2 >= last || !t_[c.ops[k + 1]].isOp(u'/');
        if (++run % divisors == 0 || runEnds)
            write(u")");
        if (runEnds)
            run = 0;
    }
}

// A chain of * and % alone: SQLite's own operators, as written.
void Translator::nativeTerm(const Chain& c, const Scope& scope) {
    operand(c.starts[0], c.last, scope);
    for (size_t k = 0; k < c.ops.size(); ++k) {
        writeGap(c.ops[k] - 1, c.ops[k]);
        write(t_[c.ops[k]].text);
        writeGap(c.ops[k], c.ops[k] + 1);
        operand(c.starts[k + 1], c.last, scope);
    }
}

}  // namespace qv::embedded
