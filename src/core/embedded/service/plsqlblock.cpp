// Anonymous PL/SQL blocks, interpreted statement by statement over the session's SQL
// (plsqlblock.h). Expressions and conditions are the server's own: each is asked of the session
// as SELECT expr FROM DUAL with the block's variables bound, so every value rule of the engine
// holds in a block as in a query.
#include "core/embedded/service/plsqlblock.h"

#include "core/embedded/values/oracleerrors.h"
#include "core/sql/statementclass.h"
#include "core/sql/tokenlist.h"

#include <QHash>
#include <QRegularExpression>
#include <QScopeGuard>

#include <map>
#include <optional>
#include <set>

namespace qv::embedded::service {

namespace {

using sql::Token;
using sql::TokenKind;

// The savepoint that holds the block's changes since its start or its last COMMIT, ROLLBACK or
// DDL; in manual commit they stay in the session's transaction when it is released.
class BlockScope {
  public:
    BlockScope(Connection& c, Sandbox& sandbox) : c_(c), sandbox_(sandbox) { open(); }
    ~BlockScope() { close(false); }
    BlockScope(const BlockScope&) = delete;
    BlockScope& operator=(const BlockScope&) = delete;

    void open() {
        const EngineRights engine(sandbox_);
        if (!c_.autoCommit && sqlite3_get_autocommit(c_.db))
            sqlite::exec(c_.db, "BEGIN");
        savepoint_.emplace(c_.db);
    }
    // Keeps (`keep`) or undoes what the block did since the scope opened.
    void close(bool keep) {
        if (!savepoint_)
            return;
        const EngineRights engine(sandbox_);
        if (keep)
            savepoint_->commit();
        savepoint_.reset();
    }

  private:
    Connection& c_;
    Sandbox& sandbox_;
    std::optional<sqlite::Savepoint> savepoint_;
};

// An EXIT out of the innermost loop.
struct LoopExit {};

// The ORA number an error's text starts with; 0 for none.
int oracleNumber(const DbError& e) {
    static const QRegularExpression kNumber(QStringLiteral("ORA-(\\d{5})"));
    const QRegularExpressionMatch m = kNumber.match(e.description());
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

bool isOpener(const std::vector<Token>& t, size_t k) {
    if (!(t[k].is(u"BEGIN") || t[k].is(u"IF") || t[k].is(u"LOOP") || t[k].is(u"CASE")))
        return false;
    return k == 0 || !t[k - 1].is(u"END");
}

class Interpreter {
  public:
    Interpreter(Call& call)
        : call_(call), t_(call.tokens()), sql_(call.sql()), scope_(*call.c, call.sandbox) {}

    void runBlock(size_t first, size_t last);
    // COMMIT, ROLLBACK or DDL `text` of class `kind`: what the block did before it stays.
    void runEnding(const QString& text, sql::StatementClass kind, BindList* binds);
    void keep() { scope_.close(true); }

  private:
    // Past the statement at `i` and its ';' (IF ... END IF; and the like whole).
    size_t statementEnd(size_t i, size_t last) const;
    // The END closing the opener at `open` (BEGIN, IF, LOOP, CASE).
    size_t matchingEnd(size_t open, size_t last) const;
    // The words at depth 0 of [first, last) that are one of `words`.
    std::vector<size_t> topLevel(size_t first, size_t last,
                                 std::initializer_list<const char16_t*> words) const;

    void statements(size_t first, size_t last);
    void statement(size_t first, size_t last);
    void declare(size_t first, size_t last);
    void ifStatement(size_t first, size_t last);
    void forLoop(size_t first, size_t last);
    void loopBody(size_t body, size_t end, const std::function<bool()>& again);
    void selectInto(size_t first, size_t last);
    void sqlStatement(size_t first, size_t last);
    bool handled(const DbError& e, size_t handlers, size_t end);

    // The text of [first, last) with the variables it uses as placeholders, and their values.
    QString bound(size_t first, size_t last, BindList& binds) const;
    QVariant value(size_t first, size_t last);
    bool condition(size_t first, size_t last);
    std::unique_ptr<EmbeddedRecordset> runText(const QString& text, bool keepRows,
                                               const BindList* binds = nullptr) {
        return run(call_.c, call_.sandbox, text, keepRows, binds);
    }
    QString text(size_t first, size_t last) const { return sql::textOf(sql_, t_, first, last); }
    [[noreturn]] void refuse(size_t at) const {
        throw invalidStatement(QStringLiteral("the embedded engine's PL/SQL runs SQL, "
                                              "assignments, IF, loops and blocks, not \"%1\"")
                                   .arg(text(at, qMin(at + 3, t_.size()))));
    }

    Call& call_;
    const std::vector<Token>& t_;
    const QString& sql_;
    BlockScope scope_;
    QHash<QString, QVariant> variables_;  // by upper-case name; a loop's record as R$$COLUMN
    QSet<QString> records_;
    // The columns of the tables each SQL text of the block names, by its first token.
    mutable std::map<size_t, std::set<QString>> columnsOf_;
};

size_t Interpreter::matchingEnd(size_t open, size_t last) const {
    int depth = 0;
    for (size_t k = open; k < last; ++k) {
        if (isOpener(t_, k)) {
            ++depth;
        } else if (t_[k].is(u"END")) {
            if (--depth == 0)
                return k;
        }
    }
    throw oracleError(6550, QStringLiteral("ORA-06550: PLS-00103: Encountered the symbol "
                                           "\"end-of-file\" when expecting END"));
}

size_t Interpreter::statementEnd(size_t i, size_t last) const {
    int depth = 0;
    for (size_t k = i; k < last; ++k) {
        if (isOpener(t_, k))
            ++depth;
        else if (t_[k].is(u"END"))
            --depth;
        else if (t_[k].isOp(u';') && depth <= 0)
            return k + 1;
    }
    return last;
}

std::vector<size_t> Interpreter::topLevel(size_t first, size_t last,
                                          std::initializer_list<const char16_t*> words) const {
    std::vector<size_t> found;
    int depth = 0;
    for (size_t k = first; k < last; ++k) {
        if (depth == 0) {
            for (const char16_t* w : words) {
                if (t_[k].is(QStringView(w)) && !(k > 0 && t_[k - 1].is(u"END")))
                    found.push_back(k);
            }
        }
        if (isOpener(t_, k))
            ++depth;
        else if (t_[k].is(u"END"))
            --depth;
        else if (t_[k].isOp(u'('))
            k = sql::closing(t_, k, last);
    }
    return found;
}

QString Interpreter::bound(size_t first, size_t last, BindList& binds) const {
    // The columns of the tables the statement names win over variables of their names.
    // Read once per statement of the block, not at each turn of a loop that runs it.
    auto [cached, unread] = columnsOf_.try_emplace(first);
    std::set<QString>& columns = cached->second;
    if (unread) {
        const SchemaLookup schema = schemaOf(*call_.c, call_.sandbox);
        for (size_t k = first; k < last; ++k) {
            if (!sql::isName(t_[k]))
                continue;
            if (const std::optional<TableFacts> facts = schema(sql::unquoted(t_[k]))) {
                for (const ColumnFacts& c : facts->columns)
                    columns.insert(c.name.toUpper());
            }
        }
    }
    QString out;
    size_t copied = first;
    auto bind = [&](size_t from, size_t to, const QString& name) {
        out += text(copied, from);
        if (from > copied && t_[from].begin > t_[from - 1].end)
            out += u' ';
        out += u':' + name;
        copied = to;
        if (!findBind(binds, name)) {
            const QVariant v = variables_.value(name);
            BindValue b{name, BindType::Varchar2, v.toString()};
            if (v.isNull())
                b.type = BindType::Null;
            else if (v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Double ||
                     v.typeId() == QMetaType::Int)
                b.type = BindType::Number;
            binds << b;
        }
    };
    for (size_t k = first; k < last; ++k) {
        if (t_[k].kind != TokenKind::Word || (k > first && t_[k - 1].isOp(u'.')))
            continue;
        const QString name = t_[k].text.toString().toUpper();
        if (records_.contains(name) && k + 2 < last && t_[k + 1].isOp(u'.') &&
            sql::isName(t_[k + 2])) {
            const QString field = name + QStringLiteral("$$") + sql::unquoted(t_[k + 2]).toUpper();
            if (variables_.contains(field))
                bind(k, k + 3, field);
            continue;
        }
        if (variables_.contains(name) && !columns.count(name) &&
            !(k + 1 < last && (t_[k + 1].isOp(u'(') || t_[k + 1].isOp(u'.'))))
            bind(k, k + 1, name);
    }
    if (copied == first)
        return text(first, last);
    if (copied < last) {
        if (t_[copied].begin > t_[copied - 1].end)
            out += u' ';
        out += text(copied, last);
    }
    return out;
}

QVariant Interpreter::value(size_t first, size_t last) {
    BindList binds;
    const QString expression = bound(first, last, binds);
    const auto rows = runText(QStringLiteral("SELECT ") + expression + QStringLiteral(" FROM DUAL"),
                              true, &binds);
    return rows->eof() ? QVariant() : rows->value(0);
}

bool Interpreter::condition(size_t first, size_t last) {
    BindList binds;
    const QString cond = bound(first, last, binds);
    const auto rows = runText(
        QStringLiteral("SELECT CASE WHEN ") + cond + QStringLiteral(" THEN 1 ELSE 0 END FROM DUAL"),
        true, &binds);
    return !rows->eof() && rows->value(0).toInt() == 1;
}

void Interpreter::runBlock(size_t first, size_t last) {
    size_t begin = first;
    if (t_[first].is(u"DECLARE")) {
        begin = topLevel(first + 1, last, {u"BEGIN"}).empty()
                    ? last
                    : topLevel(first + 1, last, {u"BEGIN"}).front();
        if (begin >= last)
            refuse(first);
        for (size_t k = first + 1; k < begin;) {
            const size_t end = statementEnd(k, begin);
            declare(k, end - 1);
            k = end;
        }
    }
    const size_t end = matchingEnd(begin, last);
    const std::vector<size_t> exception = topLevel(begin + 1, end, {u"EXCEPTION"});
    const size_t bodyEnd = exception.empty() ? end : exception.front();
    try {
        statements(begin + 1, bodyEnd);
    } catch (const DbError& e) {
        if (exception.empty() || !handled(e, exception.front() + 1, end))
            throw;
    }
}

bool Interpreter::handled(const DbError& e, size_t handlers, size_t end) {
    static const QHash<QString, int> kNamed = {
        {QStringLiteral("NO_DATA_FOUND"), 1403}, {QStringLiteral("TOO_MANY_ROWS"), 1422},
        {QStringLiteral("DUP_VAL_ON_INDEX"), 1}, {QStringLiteral("ZERO_DIVIDE"), 1476},
        {QStringLiteral("VALUE_ERROR"), 6502},   {QStringLiteral("INVALID_NUMBER"), 1722}};
    const int number = oracleNumber(e);
    const std::vector<size_t> whens = topLevel(handlers, end, {u"WHEN"});
    for (size_t w = 0; w < whens.size(); ++w) {
        const std::vector<size_t> then = topLevel(whens[w] + 1, end, {u"THEN"});
        if (then.empty())
            refuse(whens[w]);
        bool matches = false;
        for (size_t k = whens[w] + 1; k < then.front(); ++k) {
            if (t_[k].is(u"OR"))
                continue;
            const QString name = t_[k].text.toString().toUpper();
            if (name == u"OTHERS")
                matches = true;
            else if (kNamed.contains(name))
                matches = matches || kNamed.value(name) == number;
            else
                refuse(k);
        }
        if (!matches)
            continue;
        variables_.insert(QStringLiteral("SQLCODE"), qlonglong(number == 1403 ? 100 : -number));
        variables_.insert(QStringLiteral("SQLERRM"), e.description());
        statements(then.front() + 1, w + 1 < whens.size() ? whens[w + 1] : end);
        return true;
    }
    return false;
}

void Interpreter::statements(size_t first, size_t last) {
    for (size_t k = first; k < last;) {
        if (call_.cancelled())
            throw oracleError(1013, QStringLiteral("ORA-01013: user requested cancel of current "
                                                   "operation"));
        const size_t end = statementEnd(k, last);
        statement(k, end > k && t_[end - 1].isOp(u';') ? end - 1 : end);
        k = end;
    }
}

void Interpreter::declare(size_t first, size_t last) {
    if (last <= first + 1 || !sql::isName(t_[first]))
        refuse(first);
    const QString name = sql::unquoted(t_[first]).toUpper();
    size_t k = first + 1;
    if (t_[k].is(u"CONSTANT"))
        ++k;
    if (t_[k].is(u"CURSOR") || t_[k].is(u"EXCEPTION") || t_[k].is(u"TYPE") ||
        t_[first].is(u"CURSOR") || t_[first].is(u"TYPE") || t_[first].is(u"PRAGMA") ||
        t_[first].is(u"PROCEDURE") || t_[first].is(u"FUNCTION"))
        refuse(first);
    for (size_t j = k; j < last; ++j) {
        if (t_[j].isOp(u'%') && j + 1 < last && t_[j + 1].is(u"ROWTYPE"))
            refuse(first);
    }
    QVariant initial;
    for (size_t j = k; j < last; ++j) {
        if (t_[j].isOp(u":=") || t_[j].is(u"DEFAULT")) {
            initial = value(j + 1, last);
            break;
        }
    }
    variables_.insert(name, initial);
}

void Interpreter::statement(size_t first, size_t last) {
    if (first >= last)
        return;
    const Token& k = t_[first];
    if (k.isOp(u"<<")) {  // a label
        size_t close = first;
        while (close < last && !t_[close].isOp(u">>"))
            ++close;
        return statement(close + 1, last);
    }
    if (k.is(u"NULL") && last == first + 1)
        return;
    if (k.is(u"BEGIN") || k.is(u"DECLARE"))
        return runBlock(first, last + 1);
    if (k.is(u"IF"))
        return ifStatement(first, last);
    if (k.is(u"FOR"))
        return forLoop(first, last);
    if (k.is(u"WHILE")) {
        const std::vector<size_t> loop = topLevel(first + 1, last, {u"LOOP"});
        if (loop.empty())
            refuse(first);
        const size_t end = matchingEnd(loop.front(), last + 1);
        return loopBody(loop.front() + 1, end, [&] { return condition(first + 1, loop.front()); });
    }
    if (k.is(u"LOOP"))
        return loopBody(first + 1, matchingEnd(first, last + 1), [] { return true; });
    if (k.is(u"EXIT")) {
        if (last == first + 1 || (t_[first + 1].is(u"WHEN") && condition(first + 2, last)))
            throw LoopExit{};
        return;
    }
    if (sql::isName(k) && first + 1 < last && t_[first + 1].isOp(u":=")) {
        const QString name = sql::unquoted(k).toUpper();
        if (!variables_.contains(name))
            throw oracleError(6550, QStringLiteral("ORA-06550: PLS-00201: identifier '%1' must be "
                                                   "declared")
                                        .arg(name));
        variables_.insert(name, value(first + 2, last));
        return;
    }
    if (k.is(u"EXECUTE") && first + 1 < last && t_[first + 1].is(u"IMMEDIATE")) {
        if (!topLevel(first + 2, last, {u"INTO", u"USING"}).empty())
            refuse(first);
        // A dynamic COMMIT, ROLLBACK or DDL makes the work before it permanent, as a written one.
        const QString text = value(first + 2, last).toString();
        const std::vector<Token> words = sql::tokenize(text);
        const sql::StatementClass kind = sql::classifyStatement(words);
        const bool partial = !words.empty() && words[0].is(u"ROLLBACK") &&
                             sql::findTopLevel(words, 0, words.size(), u"TO") < words.size();
        if (!partial &&
            (kind == sql::StatementClass::Commit || kind == sql::StatementClass::Rollback ||
             kind == sql::StatementClass::Definition))
            return runEnding(text, kind, nullptr);
        runText(text, false);
        return;
    }
    if (k.is(u"DBMS_OUTPUT") && first + 2 < last && t_[first + 1].isOp(u'.')) {
        const Token& procedure = t_[first + 2];
        if (procedure.is(u"PUT_LINE") && first + 3 < last && t_[first + 3].isOp(u'('))
            call_.c->output << value(first + 4, sql::closing(t_, first + 3, last)).toString();
        else if (!(procedure.is(u"ENABLE") || procedure.is(u"DISABLE") ||
                   procedure.is(u"NEW_LINE")))
            refuse(first);
        return;
    }
    if (k.is(u"RAISE_APPLICATION_ERROR") && first + 1 < last && t_[first + 1].isOp(u'(')) {
        const std::vector<sql::Range> args =
            sql::splitTopLevel(t_, first + 2, sql::closing(t_, first + 1, last));
        if (args.size() < 2)
            refuse(first);
        const int number = std::abs(value(args[0].first, args[0].last).toInt());
        throw oracleError(number, QStringLiteral("ORA-%1: %2")
                                      .arg(number, 5, 10, QChar(u'0'))
                                      .arg(value(args[1].first, args[1].last).toString()));
    }
    if ((k.is(u"DBMS_STATS") ||
         (k.is(u"SYS") && first + 2 < last && t_[first + 2].is(u"DBMS_STATS"))))
        return void(runText(QStringLiteral("BEGIN ") + text(first, last) + QStringLiteral("; END;"),
                            false));
    if (k.is(u"SELECT") || k.is(u"WITH"))
        return selectInto(first, last);
    sqlStatement(first, last);
}

void Interpreter::sqlStatement(size_t first, size_t last) {
    const sql::StatementClass kind = sql::classifyStatement(
        std::vector<Token>(t_.begin() + std::ptrdiff_t(first), t_.begin() + std::ptrdiff_t(last)));
    const bool ends = kind == sql::StatementClass::Commit ||
                      kind == sql::StatementClass::Rollback ||
                      kind == sql::StatementClass::Definition;
    const Token& k = t_[first];
    const bool plainSql = k.is(u"INSERT") || k.is(u"UPDATE") || k.is(u"DELETE") || k.is(u"MERGE") ||
                          k.is(u"LOCK") || k.is(u"SAVEPOINT") || k.is(u"ROLLBACK") ||
                          k.is(u"SET") || ends;
    if (!plainSql)
        refuse(first);
    BindList binds;
    const QString text = bound(first, last, binds);
    if (ends && !(k.is(u"ROLLBACK") && !topLevel(first, last, {u"TO"}).empty()))
        return runEnding(text, kind, &binds);
    runText(text, false, &binds);
}

void Interpreter::runEnding(const QString& text, sql::StatementClass kind, BindList* binds) {
    // What COMMIT, ROLLBACK and DDL make of the session's work stands, whatever follows.
    scope_.close(true);
    const auto reopen = qScopeGuard([&] { scope_.open(); });
    if (kind == sql::StatementClass::Definition && !call_.c->autoCommit &&
        !sqlite3_get_autocommit(call_.c->db))
        runText(QStringLiteral("COMMIT"), false);
    runText(text, false, binds);
}

void Interpreter::selectInto(size_t first, size_t last) {
    const std::vector<size_t> into = topLevel(first, last, {u"INTO"});
    const std::vector<size_t> from = topLevel(first, last, {u"FROM"});
    if (into.empty() || from.empty() || from.front() < into.front())
        throw oracleError(6550, QStringLiteral("ORA-06550: PLS-00428: an INTO clause is expected "
                                               "in this SELECT statement"));
    QStringList targets;
    for (const sql::Range& r : sql::splitTopLevel(t_, into.front() + 1, from.front())) {
        const QString name =
            r.last == r.first + 1 ? sql::unquoted(t_[r.first]).toUpper() : QString();
        if (!variables_.contains(name))
            refuse(r.first);
        targets << name;
    }
    BindList binds;
    const QString query =
        bound(first, into.front(), binds) + u' ' + bound(from.front(), last, binds);
    const auto rows = runText(query, true, &binds);
    if (rows->eof())
        throw oracleError(1403, QStringLiteral("ORA-01403: no data found"));
    if (rows->fieldCount() != int(targets.size()))
        throw oracleError(6550, QStringLiteral("ORA-06550: PLS-00394: wrong number of values in "
                                               "the INTO list of a FETCH statement"));
    std::vector<QVariant> values;
    for (int c = 0; c < rows->fieldCount(); ++c)
        values.push_back(rows->value(c));
    rows->moveNext();
    if (!rows->eof())
        throw oracleError(1422, QStringLiteral("ORA-01422: exact fetch returns more than "
                                               "requested number of rows"));
    for (qsizetype c = 0; c < targets.size(); ++c)
        variables_.insert(targets[c], values[size_t(c)]);
}

void Interpreter::ifStatement(size_t first, size_t last) {
    const size_t end = matchingEnd(first, last + 1);
    const std::vector<size_t> marks = topLevel(first + 1, end, {u"THEN", u"ELSIF", u"ELSE"});
    size_t condAt = first + 1;
    for (size_t m = 0; m < marks.size(); ++m) {
        const size_t next = m + 1 < marks.size() ? marks[m + 1] : end;
        if (t_[marks[m]].is(u"ELSE"))
            return statements(marks[m] + 1, next);
        if (t_[marks[m]].is(u"THEN")) {
            if (condition(condAt, marks[m]))
                return statements(marks[m] + 1, next);
        } else {
            condAt = marks[m] + 1;  // ELSIF
        }
    }
}

void Interpreter::loopBody(size_t body, size_t end, const std::function<bool()>& again) {
    // A loop that never ends is stopped by the client's cancel (statements() asks for it).
    try {
        while (again())
            statements(body, end);
    } catch (const LoopExit&) {
    }
}

void Interpreter::forLoop(size_t first, size_t last) {
    // FOR name IN [REVERSE] low .. high LOOP ... END LOOP | FOR name IN (query) LOOP ...
    if (first + 3 >= last || !sql::isName(t_[first + 1]) || !t_[first + 2].is(u"IN"))
        refuse(first);
    const QString name = sql::unquoted(t_[first + 1]).toUpper();
    const std::vector<size_t> loop = topLevel(first + 3, last, {u"LOOP"});
    if (loop.empty())
        refuse(first);
    const size_t end = matchingEnd(loop.front(), last + 1);
    const QVariant shadowed = variables_.value(name);
    const bool had = variables_.contains(name);
    const auto restore = qScopeGuard([&] {
        if (had)
            variables_.insert(name, shadowed);
        else
            variables_.remove(name);
    });
    size_t at = first + 3;
    if (t_[at].isOp(u'(')) {
        BindList binds;
        const size_t close = sql::closing(t_, at, loop.front());
        const auto rows = runText(bound(at + 1, close, binds), true, &binds);
        records_.insert(name);
        const auto forget = qScopeGuard([&] { records_.remove(name); });
        try {
            for (; !rows->eof(); rows->moveNext()) {
                for (int c = 0; c < rows->fieldCount(); ++c)
                    variables_.insert(name + QStringLiteral("$$") + rows->field(c).name.toUpper(),
                                      rows->value(c));
                statements(loop.front() + 1, end);
            }
        } catch (const LoopExit&) {
        }
        return;
    }
    const bool reverse = t_[at].is(u"REVERSE");
    if (reverse)
        ++at;
    // The range's two dots, however the tokens cut them ("1..10" reads as "1." ".10").
    const QString range = text(at, loop.front());
    const qsizetype dots = range.indexOf(QStringLiteral(".."));
    if (dots < 0)
        refuse(first);
    // Each bound read with the block's variables, as any expression.
    auto limit = [&](const QString& expression) {
        const ParsedStatement part(expression);
        BindList binds;
        QString withBinds = expression;
        for (const Token& w : part.tokens()) {
            const QString v = w.text.toString().toUpper();
            if (w.kind == TokenKind::Word && variables_.contains(v)) {
                binds << BindValue{v, BindType::Number, variables_.value(v).toString()};
                withBinds.replace(w.begin, w.end - w.begin, u':' + v);
                break;  // one variable per bound: the offsets of the others moved
            }
        }
        const auto rows =
            runText(QStringLiteral("SELECT ") + withBinds + QStringLiteral(" FROM DUAL"), true,
                    binds.isEmpty() ? nullptr : &binds);
        return rows->eof() ? qlonglong(0) : rows->value(0).toLongLong();
    };
    const qlonglong from = limit(range.left(dots));
    const qlonglong to = limit(range.mid(dots + 2));
    try {
        for (qlonglong i = reverse ? to : from; reverse ? i >= from : i <= to;
             i += reverse ? -1 : 1) {
            variables_.insert(name, i);
            statements(loop.front() + 1, end);
        }
    } catch (const LoopExit&) {
    }
}

// Whether the block is calls of DBMS_STATS alone, which the statistics commands answer.
bool statisticsCalls(const std::vector<Token>& t, size_t end) {
    if (end < 3 || !t[0].is(u"BEGIN"))
        return false;
    for (size_t k = 1; k + 1 < end; ++k) {
        if (t[k].is(u"BEGIN") || t[k].is(u"IF") || t[k].is(u"LOOP") || t[k].isOp(u":="))
            return false;
    }
    return t[1].is(u"DBMS_STATS") || (t[1].is(u"SYS") && end > 3 && t[3].is(u"DBMS_STATS"));
}

// CALL p(...) and EXEC p(...), other than of DBMS_STATS (the statistics commands), run as the
// block BEGIN p(...); END;: the call is swapped for it; null when there is nothing to swap.
std::shared_ptr<const ParsedStatement> asBlock(Call& call) {
    const std::vector<Token>& t = call.tokens();
    if (t.size() < 2 || !sql::isOneOf(t[0], {u"CALL", u"EXEC", u"EXECUTE"}) ||
        t[1].is(u"IMMEDIATE"))
        return nullptr;
    size_t end = t.size();
    while (end > 1 && (t[end - 1].isOp(u';') || t[end - 1].isOp(u'/')))
        --end;
    if (t[1].is(u"DBMS_STATS") || (t[1].is(u"SYS") && end > 3 && t[3].is(u"DBMS_STATS")))
        return nullptr;
    auto block = std::make_shared<const ParsedStatement>(
        QStringLiteral("BEGIN ") + sql::textOf(call.sql(), t, 1, end) + QStringLiteral("; END;"));
    return std::exchange(call.statement, std::move(block));
}

}  // namespace

bool plsqlBlockCall(Call& call) {
    const std::shared_ptr<const ParsedStatement> written = asBlock(call);
    const auto restore = qScopeGuard([&] {
        if (written)
            call.statement = written;
    });
    const std::vector<Token>& t = call.tokens();
    if (t.empty() || !(t[0].is(u"BEGIN") || t[0].is(u"DECLARE")))
        return false;
    // SQLite's BEGIN [TRANSACTION] is refused as the statement it is.
    if (t[0].is(u"BEGIN") && (t.size() == 1 || sql::isOneOf(t[1], {u"TRANSACTION", u"DEFERRED",
                                                                   u"IMMEDIATE", u"EXCLUSIVE"})))
        return false;
    size_t end = t.size();
    while (end > 0 && (t[end - 1].isOp(u';') || t[end - 1].isOp(u'/')))
        --end;
    if (statisticsCalls(t, end))
        return false;
    Connection& c = *call.c;
    ++c.engineDepth;
    const auto leave = qScopeGuard([&] { --c.engineDepth; });
    Interpreter block(call);
    try {
        block.runBlock(0, t.size());
    } catch (const LoopExit&) {
        throw oracleError(6550, QStringLiteral("ORA-06550: PLS-00376: illegal EXIT statement; it "
                                               "must appear inside a loop"));
    }
    block.keep();
    return true;
}

}  // namespace qv::embedded::service
