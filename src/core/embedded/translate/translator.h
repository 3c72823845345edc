#pragma once

// The translation of one statement from Oracle's SQL to SQLite's, shared by the files that make
// it up: oracledialect.cpp (the statement), translatorexpressions.cpp (expressions and calls),
// translatorchains.cpp (operators), translatorqueries.cpp (queries, set operations, select
// lists, row limits), translatorblock.cpp (one SELECT with its clauses) and translatorvalues.cpp
// (Oracle's rules for values in a query: NULLs in ORDER BY, scalar subqueries, grouping). The
// engine calls translateOracle().
//
// The translation takes time in proportion to the statement: every group is paired once
// (sql::Groups), each function reads the tokens of its own level and passes the groups in it to
// the level below, and all text is written once, in order, to one output. A function that must
// know what follows before it writes (an operator chain's call, a WITH list that may turn out
// malformed) first reads the structure, then writes.

#include "core/embedded/parse/groupingsets.h"
#include "core/embedded/parse/statementfacts.h"
#include "core/embedded/translate/oracledialect.h"
#include "core/embedded/values/oracleerrors.h"
#include "core/sql/tokenlist.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace qv::embedded {

using sql::Range;
using sql::Token;
using sql::TokenKind;

inline constexpr size_t kNone = size_t(-1);

// As deep as groups (parentheses, CASE ... END) may nest in a statement the engine translates:
// Oracle's limit for subqueries nested in a WHERE clause. The translation descends one level of
// its own per group, up to about 2 KB of its thread's stack for a subquery, so this stays well
// inside the smallest stack a run's thread gets (1 MB on Windows); SQLite refuses most forms
// nested a few hundred levels deep anyway.
inline constexpr int kMaxNesting = 255;

// The arguments the translation gives one call at most; a longer operator chain is split into
// calls nested from the left. Below SQLite's limit (SQLITE_MAX_FUNCTION_ARG: 1000 in the build we
// use, 127 in older ones), with room left for a connection that lowers it.
inline constexpr size_t kMaxCallArguments = 100;

[[noreturn]] inline void refuse(const QString& why) {
    throw invalidStatement(why);
}

// A function that makes a query aggregate (unless OVER follows it).
bool isAggregate(const Token& t);

inline bool isSetOperator(const Token& t) {
    return t.is(u"UNION") || t.is(u"INTERSECT") || t.is(u"EXCEPT") || t.is(u"MINUS");
}

// What may follow a query in parentheses and still belong to the query (its sort and limit).
inline bool isQueryTail(const Token& t) {
    return t.is(u"ORDER") || t.is(u"FETCH") || t.is(u"OFFSET") || t.is(u"LIMIT");
}

inline const QString kRowNumber = QStringLiteral("row_number() OVER ()");
inline const QString kRownumForms = QStringLiteral(
    "ROWNUM is understood in the select list, in ORDER BY, and as a WHERE condition ROWNUM <= n, "
    "ROWNUM < n or ROWNUM = 1 joined to the others by AND");

// A FROM item of a query: what it is called there and the table it reads (empty for a subquery
// or anything else that is no table); `outer` when an outer join may give it a row of NULLs.
struct TableRef {
    QString alias;
    QString table;
    bool outer = false;
};

// The names an ORDER BY term of one query may use: its FROM items and its select list's
// aliases.
struct QueryNames {
    std::vector<TableRef> tables;
    std::vector<QString> aliases;
};

// What ROWNUM and LEVEL stand for where an expression stands. An empty ROWNUM is refused there;
// an empty LEVEL is kept as written (the hierarchical rewrite replaces it). `names` when the
// expression belongs to one query whose columns its ORDER BY may name; `fromItems` inside a FROM
// clause, where a parenthesised query is a table rather than a value.
struct Scope {
    QString rownum;
    QString level;
    const QueryNames* names = nullptr;
    bool fromItems = false;
};

class Translator {
  public:
    // Throws ORA-00972 for a name longer than Oracle takes and ORA-03095 for groups nested
    // deeper than kMaxNesting.
    Translator(const QString& sql, const std::vector<Token>& tokens, const StopCheck& stopped,
               const SchemaLookup& schema);

    QString run();

  private:
    enum class ClauseKind {
        From,
        Where,
        Group,
        Having,
        Start,
        Connect,
        Order,
        Offset,
        Fetch,
        Limit,
        Window
    };
    struct Clause {
        ClauseKind kind;
        size_t at;    // the keyword
        size_t body;  // past the keyword(s)
        size_t end;
    };
    // One SELECT: SELECT [DISTINCT|UNIQUE|ALL] items clauses.
    struct Block {
        size_t first = 0;
        size_t last = 0;
        size_t distinctAt = kNone;  // DISTINCT, UNIQUE or ALL
        bool distinct = false;
        Range items;
        std::vector<Clause> clauses;

        const Clause* find(ClauseKind kind) const;
    };
    // A WHERE condition's ROWNUM term, as a row count: the value it is compared with and what
    // the comparison makes of it.
    struct RownumFilter {
        enum Kind { None, AtMost, Below, One };
        Kind kind = None;         // None when the condition does not name ROWNUM
        Range value;              // ROWNUM <= value, ROWNUM < value, value = ROWNUM ...
        bool wrap = false;        // the rows are numbered in a subquery of the one table
        std::vector<Range> rest;  // the other AND terms
    };
    // A type as SQLite parses it, and past the tokens it stands for.
    struct TypeName {
        QString text;
        size_t next;
    };
    // An operator chain: operands [starts[k], ops[k]) joined by the operators at ops[k], the last
    // operand ending at `end`.
    struct Chain {
        std::vector<size_t> starts;
        std::vector<size_t> ops;
        size_t end = 0;
        size_t last = 0;  // the range the chain was read in

        size_t operandEnd(size_t k) const { return k + 1 < starts.size() ? ops[k] : end; }
    };

    // Writing (oracledialect.cpp).
    void write(QStringView text) { out_ += text; }
    void writeGap(size_t before, size_t at);
    void writeOriginal(size_t first, size_t last);
    void checkStop();

    // Reading the tokens (oracledialect.cpp).
    size_t closing(size_t open, size_t last) const { return groups_.closing(open, last); }
    bool startsQuery(size_t i, size_t last) const;
    size_t pastPrefixes(size_t i, size_t last) const;
    bool startsOperand(size_t i, size_t last) const;
    bool mentions(size_t first, size_t last, QStringView word) const;
    bool hasAggregate(size_t first, size_t last) const;
    size_t dualEnd(size_t at, size_t last) const;
    bool isDualClause(size_t first, size_t last) const;
    void markDuals(size_t first, size_t last);

    // Expressions (translatorexpressions.cpp).
    void render(size_t first, size_t last, const Scope& scope);
    size_t operand(size_t i, size_t last, const Scope& scope);
    size_t operandEnd(size_t i, size_t last) const;
    size_t primary(size_t i, size_t last, const Scope& scope);
    size_t primaryEnd(size_t i, size_t last) const;
    size_t call(size_t nameFirst, size_t open, size_t last, const Scope& scope);
    size_t callEnd(size_t nameFirst, size_t open, size_t last) const;
    size_t callTailPart(size_t next, size_t last, size_t& open) const;
    size_t callTail(size_t next, size_t last, const Scope& scope);
    size_t callTailEnd(size_t next, size_t last) const;
    void decode(const std::vector<Range>& args, const Scope& scope);
    std::optional<TypeName> oracleType(size_t nameAt, size_t last) const;
    void cast(Range argument, const Scope& scope);
    void extract(Range argument, const Scope& scope);
    // LISTAGG and what follows it (translatorlistagg.cpp): past the call's WITHIN GROUP and OVER.
    size_t listagg(size_t open, size_t close, size_t last, const Scope& scope);

    // The statistical aggregates and KEEP (translatorstats.cpp): whether the call at `open`
    // is one, and the call written, past what follows it.
    bool isStatistic(size_t open, size_t close, size_t last) const;
    size_t statistic(size_t open, size_t close, size_t last, const Scope& scope);
    int keepOrder(Range term) const;
    size_t orderValueEnd(Range term) const;

    void trim(Range argument, const Scope& scope);
    // SQL/JSON (translatorjson.cpp). IS [NOT] JSON at `i` (IS): written as SQLite's MATCH,
    // past it; kNone for another IS.
    size_t isJson(size_t i, size_t last);
    // The clauses after a JSON function's path in [first, last), as its call's arguments.
    struct JsonClauses {
        QString type = QStringLiteral("'V'");
        QString onError = QStringLiteral("0, NULL");
        QString onEmpty = QStringLiteral("-1, NULL");
        bool wrapper = false;
    };
    JsonClauses jsonClauses(size_t first, size_t last, const Scope& scope);
    // JSON_VALUE, JSON_QUERY, JSON_EXISTS written as the engine's calls; false for another.
    bool jsonCall(const Token& name, size_t close, const std::vector<Range>& args,
                  const Scope& scope);
    // A FROM item: its tokens, the table it names (empty for a subquery), its alias.
    struct FromItem {
        Range range;
        QString table;
        QString alias;
        bool function = false;  // name(...): a table function
        const QString& name() const { return alias.isEmpty() ? table : alias; }
    };
    struct JsonColumn {
        enum Kind { Value, Query, Exists, Ordinality } kind = Value;
        QString name;     // as written
        QString heading;  // as the result names it
        QString type;     // as qv_json_value() takes it
        QString path;
        int level = 0;  // 0 the table's rows, else the NESTED PATH's
        bool wrapper = false;
    };
    struct JsonTable {
        FromItem item;
        Range doc;
        std::vector<QString> paths;  // per level: its rows' path
        std::vector<int> parents;    // per level: the level it is nested in, -1 for none
        std::vector<JsonColumn> columns;
    };
    // What * and alias.* stand for where a FROM clause has a JSON_TABLE: per FROM item its
    // columns, none for name.*.
    struct JsonStar {
        QString name;
        QStringList columns;
    };
    std::vector<FromItem> fromItems(size_t body, size_t end) const;
    JsonTable jsonTable(const FromItem& item) const;
    void jsonColumns(size_t open, size_t close, int level, JsonTable& jt) const;
    QString rendered(Range r, const Scope& scope);
    void jsonTableItem(const JsonTable& jt, const std::vector<FromItem>& items, size_t index,
                       const Scope& scope);
    // The joins that read each level's rows from `doc`, per level the JSON text of its row and
    // the ids of its rows and its parents' (json_each's), and the WHERE terms of NESTED PATHs
    // side by side (from " AND ").
    void jsonLevels(const JsonTable& jt, const QString& doc, std::vector<QString>& value,
                    std::vector<QStringList>& ids, QString& joins, QString& filter) const;
    // The JSON_TABLEs of the FROM clause `c`, jsonStars_ set for them (cleared for none).
    std::vector<JsonTable> jsonTables(const Clause& c);
    // The FROM clause `c` with its JSON_TABLEs `tables` written.
    void jsonFrom(const Clause& c, const std::vector<JsonTable>& tables, const Scope& scope);
    // A select item * or alias.* [first, last) written for jsonStars_; false when it is not one.
    bool jsonStar(size_t first, size_t last);
    // Oracle's calls and literals SQLite has no form for (translatorfunctions.cpp): past an
    // INTERVAL literal at `i` (kNone when none stands there), the literal written; a call
    // written when it is one of them (CHR ... USING, DUMP of a literal, UTL_RAW, DBMS_LOB).
    size_t intervalEnd(size_t i, size_t last) const {
        // Asked at every operand: the common answer without a call.
        if (!t_[i].is(u"INTERVAL") || i + 2 >= last || t_[i + 1].kind != TokenKind::String)
            return kNone;
        return intervalLiteralEnd(i, last);
    }
    size_t intervalLiteralEnd(size_t i, size_t last) const;
    bool endsInterval(size_t first, size_t last) const;  // [first, last) ends with one
    // In CREATE and ALTER: a column's INTERVAL type at `i` written with its collation, and past
    // it; kNone when none stands there.
    size_t intervalType(size_t i, size_t last);
    void intervalLiteral(size_t i, size_t end);
    // CAST(x AS INTERVAL ...), with `as` at AS: written as the value stored into such a column.
    bool intervalCast(size_t first, size_t as, size_t last, const Scope& scope);
    bool oracleCall(size_t nameFirst, size_t open, size_t close, const std::vector<Range>& args,
                    const Scope& scope);
    // s.NEXTVAL, s.CURRVAL at `name` (sequences.h).
    QString sequenceCall(const Token& name, bool next);

    // Operator chains (translatorchains.cpp).
    size_t chain(size_t i, size_t last, const Scope& scope);
    size_t chainEnd(size_t i, size_t last) const;
    // `operand op ANY|SOME|ALL (query | list)` starting at `i`, written in SQLite's terms; kNone
    // when no such comparison starts there.
    size_t quantified(size_t i, size_t last, const Scope& scope);
    void additive(const Chain& c, const Scope& scope);
    void term(const Chain& c, size_t first, size_t last, const Scope& scope);
    void calls(QStringView name, const QString& operators, size_t items,
               const std::function<void(size_t)>& item);

    // ROLLUP, CUBE, GROUPING SETS and GROUPING() (translatorgrouping.cpp): the statement with
    // the first query that has them written as a plain GROUP BY; nullopt when none has.
    struct GroupingState {
        const GroupingSets* sets;
        std::vector<QString> keys;  // expressionKey() of each expression
    };
    std::optional<QString> expandGroupings(size_t body) const;
    std::optional<QString> expandGroupingsAt(size_t at, size_t body) const;
    Range queryAround(size_t at, size_t body, bool& compound) const;
    size_t groupingMatch(const GroupingState& g, size_t i, size_t last, size_t& expression) const;
    QString groupingText(const GroupingState& g, Range r) const;
    QString groupingKeys(const GroupingState& g) const;

    // PIVOT and UNPIVOT (pivot.cpp): the statement with the first of them written as the query
    // it stands for; nullopt when it has none.
    struct PivotSource {
        Range range;  // a table's name, or a subquery with its parentheses
        size_t alias = kNone;
    };
    std::optional<QString> expandPivot(size_t body) const;
    PivotSource pivotSource(size_t at) const;
    std::vector<QString> sourceColumns(Range source) const;
    std::vector<QString> queryColumns(Range query) const;
    std::vector<Range> pivotList(size_t first, size_t last) const;
    QString sourceText(const PivotSource& s) const;
    QString pivotQuery(const PivotSource& source, size_t open, size_t forAt, size_t inAt,
                       size_t close) const;
    QString unpivotQuery(const PivotSource& source, size_t open, size_t forAt, size_t inAt,
                         size_t close, bool keepNulls) const;

    // Oracle's rules for values in a query (translatorvalues.cpp).
    size_t orderBy(size_t at, size_t last, const Scope& scope);
    bool neverNull(Range term, const QueryNames& names) const;
    QueryNames queryNames(const Block& b) const;
    // The schema's table `name` (asked once per statement); null when unknown.
    const TableFacts* table(const QString& name) const;
    std::optional<bool> columnNotNull(const QString& table, const QString& column) const;
    bool isScalarPlace(size_t open, const Scope& scope) const;
    void scalarQuery(size_t first, size_t last, const Scope& scope);
    void checkGrouping(const Block& b) const;

    // Writing into a table (translatorstore.cpp): each value an INSERT or UPDATE stores passes
    // through qv_store() with its column's declared type.
    void insertStatement(size_t last);
    void updateStatement(size_t last);
    // `stores`: per column written, the arguments after the value in qv_store(), empty when
    // the column stores its values as they come.
    void storedValues(size_t first, size_t last, const std::vector<QString>& stores);
    void storedRows(size_t first, size_t last, const std::vector<QString>& stores);
    void identityValue(size_t first, size_t last, bool identity, const Scope& scope);
    // ORA-32796 for an UPDATE that sets a GENERATED ALWAYS identity column
    // (translatoridentity.cpp).
    void refuseIdentityUpdate(size_t last) const;

    // Text Oracle reads as a date (datetexts.cpp): the string literals compared with a DATE
    // column, found before anything is written, and those stored into one.
    void findDateTexts();
    // A column of the type alone between its neighbours (`alone`), or whatever they are.
    bool isDateColumn(size_t first, size_t end, bool alone = true) const;
    // A DATE column, SYSDATE, a DATE literal, TO_DATE, ADD_MONTHS, LAST_DAY, NEXT_DAY, CAST(... AS
    // DATE), TRUNC or ROUND of a date, any of them plus or minus a number: [first, end).
    bool isDateExpression(size_t first, size_t end) const;
    // Where such an operand ending at `at` starts, or past one starting at `at`; kNone for none.
    size_t dateOperandBefore(size_t at) const;
    size_t dateOperandFrom(size_t at) const;
    // A number literal, or a call that yields a number, ending just before `at` or starting at
    // it: the text compared with it is converted to a number, as Oracle converts it.
    bool isNumberCall(size_t first, size_t end) const;
    bool isArithmeticTerm(size_t first, size_t end, bool& numeric) const;
    bool numberOperandBefore(size_t at) const;
    bool numberOperandFrom(size_t at) const;
    bool isTextColumn(size_t first, size_t end) const;
    bool columnOfType(size_t first, size_t end, const std::function<bool(const QString&)>& typed,
                      bool alone = true) const;

    // Queries (translatorqueries.cpp).
    void query(size_t first, size_t last, const Scope& outer);
    void compound(size_t first, size_t last, const Scope& outer);
    void segment(size_t first, size_t last, bool member, const Scope& outer);
    void tail(size_t first, size_t last, const Scope& outer);
    void limitClause(size_t first, size_t last, const Scope& outer);
    void selectList(Range items, const Scope& scope);
    void item(size_t first, size_t last, const Scope& scope);
    size_t itemValueEnd(size_t first, size_t last) const;

    // One SELECT (translatorblock.cpp).
    void block(size_t first, size_t last, bool member, const Scope& outer);
    Block scanBlock(size_t first, size_t last) const;
    void dualRows(const Block& b);
    RownumFilter rownumFilter(const Block& b, bool member) const;
    RownumFilter::Kind rownumKind(Range term, Range& value) const;
    void rownumLimit(const RownumFilter& filter, const Scope& outer);
    void numberedRows(const Clause& from, const RownumFilter& filter, const Scope& outer);
    void stopRanking(const Block& b, const Clause& from);

    // FETCH FIRST ... WITH TIES or PERCENT (translatorfetch.cpp): the rows skipped and fetched
    // as written (empty: none, one), and the ORDER BY the ranks follow.
    struct RankedFetch {
        Range offset;
        Range count;
        bool percent = false;
        bool ties = false;
        const Clause* order = nullptr;
    };
    std::optional<RankedFetch> rankedFetch(const Block& b) const;
    void rankedFetchQuery(const Block& b, const RankedFetch& f, const Scope& outer);
    void rankedFetchColumns(const Block& b, const RankedFetch& f, const Scope& outer);
    void windowOrder(const Block& b, const Clause& order, const Scope& scope);
    void stopAtLastTie(const Block& b, const RankedFetch& f);
    QStringList tableColumns(const QString& name) const;
    QStringList blockColumns(const Block& b) const;
    QStringList starColumns(const Block& b, Range item) const;

    const QString& sql_;
    const std::vector<Token>& t_;
    const sql::Groups groups_;
    const StopCheck& stopped_;
    const SchemaLookup& schema_;
    mutable std::map<QString, std::optional<TableFacts>> tables_;  // schema_'s answers, by name
    const bool ddl_;                      // CREATE or ALTER: Oracle's type names are rewritten
    std::vector<bool> queryInside_;       // per '(': a query starts inside it (see startsQuery())
    std::vector<size_t> aggregateCalls_;  // the '(' of each aggregate call, in order
    bool outerJoinMark_ = false;          // (+) stands somewhere
    std::map<size_t, size_t> duals_;      // FROM items naming DUAL: first token -> past the name
    QString out_;
    unsigned steps_ = 0;          // since the stop check was last asked
    size_t scalarItem_ = kNone;   // the select item that scalarQuery() reads through qv_scalar()
    size_t rankedFetch_ = kNone;  // the block rankedFetchQuery() writes inside its view

    std::map<QString, QString> aliases_;      // the statement's tables by upper-case name or alias
    std::set<size_t> dateTexts_;              // string literals written as to_date('...')
    std::set<size_t> numberTexts_;            // string literals written as to_number('...')
    std::map<size_t, size_t> numberColumns_;  // text columns written as to_number(...)
    std::map<size_t, size_t> dateOperands_;   // binds and text columns written as qv_date_of()
    // How the INSERT writes the table's identity column: its place among the values (kNone when
    // the statement leaves it out) and the call that gives its next value (empty for a table
    // without one).
    struct IdentityWrite {
        size_t at = kNone;
        QString next;
        bool always = false;
        bool onNull = false;
    } identity_;
    std::optional<std::set<QString>> nextvals_;  // sequences whose NEXTVAL the statement asks for
    std::set<QString> sequencesMoved_;           // of those, the ones whose call is written
    std::vector<JsonStar> jsonStars_;            // the SELECT being written, see jsonFrom()
    // Inline views that stop after their first rows (stopRanking()): first token -> the last
    // rank kept, or the bind variable that tells it; for RANK and DENSE_RANK (`dense`) the
    // window's one ORDER BY term, empty for ROW_NUMBER.
    struct RankStop {
        qlonglong rows = 0;
        size_t bind = kNone;  // the bind variable of the rows kept, added to `rows`
        Range order;
        bool dense = false;
        size_t offsetBind = kNone;  // the bind variable of the rows skipped, added too
    };
    void rankLimit(const Block& b, const RankStop& stop, const Scope& outer);
    std::map<size_t, RankStop> rankStops_;
};

}  // namespace qv::embedded
