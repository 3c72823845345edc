// Operator chains of Oracle's SQL in SQLite's terms, grouped by Oracle's precedence: * and /
// before + - and ||, which share one level. SQLite puts || above * and /, so "'n=' || a * 2"
// would multiply the text; written as calls the grouping is explicit. A chain at one level is
// one call however long it is, so a long sum neither nests SQLite's expression tree nor the
// calls: qv_arith('+-|', a, b, c) applies its operators left to right, as Oracle does, and
// keeps its rules for dates, NULL, text and numbers (oraclevalues.h). See translateOracle() in
// oracledialect.h.
#include "core/embedded/translate/translator.h"

namespace qv::embedded {

using namespace Qt::StringLiterals;

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

size_t Translator::chainEnd(size_t i, size_t last) const {
    size_t j = operandEnd(i, last);
    while (j < last && isArithmetic(t_[j]) && startsOperand(j + 1, last))
        j = operandEnd(j + 1, last);
    return j;
}

// Oracle's x op ANY (...) is true when x op v holds for one value v, ALL when it holds for every
// one, both NULL where that turns on a NULL (and ANY of no rows false, ALL of none true). A list
// is written as the ORs or ANDs Oracle expands it to; a query as two EXISTS over its rows, named
// qv_v by a WITH of its own.
size_t Translator::quantified(size_t i, size_t last, const Scope& scope) {
    const size_t op = chainEnd(i, last);
    if (!(op + 3 < last && t_[op].kind == TokenKind::Op && t_[op + 2].isOp(u'(') &&
          (t_[op + 1].is(u"ANY") || t_[op + 1].is(u"SOME") || t_[op + 1].is(u"ALL"))))
        return kNone;
    static const QStringList kComparisons = {u"="_qs, u"<>"_qs, u"!="_qs, u"^="_qs,
                                             u"<"_qs, u">"_qs,  u"<="_qs, u">="_qs};
    const QString written = t_[op].text.toString();
    if (!kComparisons.contains(written))
        return kNone;
    const QString sqliteOp = written == u"!=" || written == u"^=" ? u"<>"_qs : written;
    const bool all = t_[op + 1].is(u"ALL");
    const size_t open = op + 2;
    const size_t close = closing(open, last);
    if (close >= last)
        return kNone;
    if (!startsQuery(open + 1, close)) {
        const std::vector<Range> items = groups_.splitTopLevel(open + 1, close);
        write(u"(");
        for (size_t k = 0; k < items.size(); ++k) {
            if (k > 0)
                write(all ? u" AND " : u" OR ");
            write(u"(");
            chain(i, last, scope);
            write(u' ' + sqliteOp + u' ');
            render(items[k].first, items[k].last, scope);
            write(u")");
        }
        write(u")");
        return close + 1;
    }
    auto exists = [&](const QString& before, const QString& after) {
        write(u"EXISTS (WITH qv_q(qv_v) AS ("_qs);
        render(open + 1, close, scope);
        write(u") SELECT 1 FROM qv_q WHERE "_qs + before);
        chain(i, last, scope);
        write(u' ' + sqliteOp + u" qv_q.qv_v"_qs + after + u')');
    };
    write(u"(CASE WHEN ");
    exists(all ? u"NOT ("_qs : u"("_qs, u")"_qs);
    write(all ? u" THEN 0 WHEN " : u" THEN 1 WHEN ");
    exists(u"("_qs, u") IS NULL"_qs);
    write(all ? u" THEN NULL ELSE 1 END)" : u" THEN NULL ELSE 0 END)");
    return close + 1;
}

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
    for (size_t k = 0; k < c.ops.size(); ++k) {
        const Token& op = t_[c.ops[k]];
        if (!isAdditive(op))
            continue;
        termStarts.push_back(k + 1);
        operators += op.isOp(u"||") ? u'|' : op.text.front();
        concatenation = concatenation && op.isOp(u"||");
    }
    const size_t operands = c.starts.size();
    const size_t terms = termStarts.size();
    if (terms == 1)
        return term(c, 0, operands, scope);
    calls(concatenation ? u"qv_concat(" : u"qv_arith(", concatenation ? QString() : operators,
          terms, [&](size_t k) {
              term(c, termStarts[k], k + 1 < terms ? termStarts[k + 1] : operands, scope);
          });
}

// Operands [first, last) of `c` joined by * / and %: one operand as it is, else
// qv_arith('<operators>', a, b, ...), exact and with Oracle's errors where SQLite's operators
// would divide integers, overflow into a REAL or read '12abc' as 12.
void Translator::term(const Chain& c, size_t first, size_t last, const Scope& scope) {
    auto operandAt = [&](size_t k) {
        [[maybe_unused]] const size_t end = operand(c.starts[k], c.last, scope);
        Q_ASSERT(end == c.operandEnd(k));
    };
    if (last - first == 1)
        return operandAt(first);
    QString operators;
    for (size_t k = first; k + 1 < last; ++k)
        operators += t_[c.ops[k]].text.front();
    calls(u"qv_arith(", operators, last - first, [&](size_t k) { operandAt(first + k); });
}

// `items` (written by `item`) as calls of `name` nested from the left, each with at most
// kMaxCallArguments arguments; with `operators` (one before each item but the first), each call
// begins with those of its own items.
void Translator::calls(QStringView name, const QString& operators, size_t items,
                       const std::function<void(size_t)>& item) {
    const bool withOperators = !operators.isEmpty();
    const std::vector<size_t> ends = callEnds(items, kMaxCallArguments - (withOperators ? 1 : 0));
    // The outermost call first; the operators of a call are those before each of its items.
    for (size_t k = ends.size(); k-- > 0;) {
        write(name);
        if (withOperators) {
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
            item(next);
        }
        write(u")");
    }
}

}  // namespace qv::embedded
