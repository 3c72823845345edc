#pragma once

// The plan builder's own parts, shared by planbuilder.cpp (query blocks, joins, sorts, set
// operations), planaccess.cpp (how one table is read), plantopn.cpp (row limits, windows,
// temporary tables) and planstatements.cpp (the lines of DDL and MERGE above their query).
// Only those include it; the engine uses translatePlan() (planbuilder.h).

#include "core/embedded/base/sqlitenames.h"
#include "core/embedded/parse/groupingsets.h"
#include "core/embedded/parse/parsedstatement.h"
#include "core/embedded/parse/statementfacts.h"
#include "core/embedded/plan/planbuilder.h"
#include "core/embedded/plan/planestimates.h"
#include "core/embedded/plan/planstatements.h"

#include <QHash>
#include <QRegularExpressionMatch>

#include <optional>
#include <set>
#include <vector>

namespace qv::embedded::plan {

// A plan step as it is being built, with its estimates per execution and where its actual
// figures come from.
struct Step {
    QString operation;
    QString options;
    QString object;  // empty: none
    bool owned = false;
    double card = 1;
    double cost = 0;
    double width = 10;
    double fastCost = -1;   // of an index read whole: its cost read in no order (FAST FULL SCAN)
    double probeShare = 1;  // of a hashed inner table: the share of its rows one outer row meets
    std::vector<Step> children;
    bool listDriven = false;   // its key values come from an IN (subquery)
    double tableRows = 0;      // of a list driven table: what it has in all
    bool semi = false;         // read only until its first row for each outer row (EXISTS)
    bool hashed = false;       // the build side of a hash join: read once, not per outer row
    bool buffered = false;     // read once into a copy that each outer row reads again
    bool filtered = false;     // of a buffered table: conditions drop some of the copy's rows
    bool outerJoined = false;  // the inner table of an outer join
    bool rightJoined = false;  // the table whose rows a RIGHT or FULL join keeps
    bool ordered = false;      // read for its index's order: its rows fetched as they come
    Measure starts;
    Measure rows;
    int loop = -1;  // the EQP id of the SQLite loop it draws
    PlanRole role = PlanRole::Other;
    QString alias;
    QStringList keys;  // the columns it finds rows by, lower case
    // Of an INDEX line: its key columns in order (lower case), those declared DESC.
    QStringList indexColumns;
    QList<bool> indexDescending;
    Range block;
    QString filter;  // a condition the builder places itself, in Oracle's notation
    // Not a line of its own: its children stand under its parent in its place (the scalar
    // subqueries of a select list before the query they are evaluated for, its last child).
    bool carrier = false;
    QString access;  // its access predicate in Oracle's notation, when the statement's
                     // conditions do not give it one (a join made of a subquery)
};

// A view read by SQLite's loop `id` whose rows stop at a COUNT STOPKEY: the count, and the lines
// below it that hand rows on only as they are asked for, hand on what the loop reads
// (planpaging.cpp).
void countedView(Step& view, int id);

// TABLE ACCESS BY INDEX ROWID BATCHED where the rowids of an INDEX RANGE SCAN are fetched in
// batches, as no order and no STOPKEY above (`stopped`) needs them one by one (planpaging.cpp).
void batchRowidAccess(Step& s, bool stopped = false);

// The conditions and figures of each OR expansion's branches, once the statement's conditions
// are placed on its VIEW line (planorexpansion.cpp).
void settleOrExpansions(std::vector<PlanRow>& rows);

// A step with `children` under it, taking its first child's estimates.
Step step(QString operation, QString options, std::vector<Step> children = {});
// `tree` with the scalar subqueries of its select list before it (a carrier), or `tree` alone.
Step carried(std::vector<Step> scalars, const Step& tree);

struct EqpNode {
    QString detail;
    std::vector<int> children;
};

// The table or alias that a line of SQLite's plan reads after SCAN or SEARCH, blanks and all
// (SQLite shows a quoted name without its quotes); empty for another line.
QString loopName(const QString& detail);
// Whether a line of SQLite's plan adds a member to a set operation ("UNION ALL", "EXCEPT USING
// TEMP B-TREE" ...).
bool setOperator(const QString& detail);

class Builder {
  public:
    Builder(const ParsedStatement& statement, const std::vector<EqpLine>& eqp, QString owner,
            sqlite3* db, const PlanEstimates::Binds& peeked);

    std::vector<PlanRow> rows();

  private:
    // The lines of CREATE INDEX, CREATE TABLE and MERGE above the plan of their query.
    std::vector<PlanRow> framedRows();
    // What the tables' definitions tell of the conditions (planconditions.cpp): a character
    // column compared with a number is a function of it, a NATURAL JOIN a join by each column
    // its tables share, JOIN ... USING (c) of the table before it that has c (usingSide()).
    void settleConditions();
    QString usingSide(const Predicate& p);
    std::vector<PlanRow> finished(Step root);
    struct Subquery {
        Step plan;
        bool correlated;
        bool list;              // of IN (subquery)
        int firstLoop = -1;     // the EQP id of its first loop: it begins once each time it runs
        bool distinct = false;  // gives each value once (a unique index read in order)
    };
    // The loops of one query block as SQLite runs them, and what it sorts (the EQP ids of its
    // temporary trees; -1 for none).
    struct Sources {
        std::vector<Step> steps;
        std::vector<bool> hashedAt;
        std::set<size_t> cartesianAt;
        std::vector<Subquery> subqueries;
        int sortOrder = -1, sortGroup = -1, sortDistinct = -1;
        int setsLoop = -1;     // the grouping set numbers the translation joins the rows to
        bool unpivot = false;  // ... or the numbers of UNPIVOT's columns
        bool isCompound = false;
        // The values of an IN (subquery) that drive the first table, and the columns they are
        // looked up by: a column among those takes at most that many distinct values.
        double listValues = 0;
        QStringList listKeys;
    };
    // What every way of reading one table starts from.
    struct Access {
        QString alias;  // lower case
        QString table;
        const PlanEstimates::Table* t;
        QString object;
        double width;
        QList<Predicate> conditions;
    };
    // What the block being built is: how often it runs, and whether its rows are the
    // statement's.
    struct BlockContext {
        Measure starts = Measure::constant(1);
        bool top = true;
        Range text;
        bool merged = false;  // a member of a set operation SQLite merges: sorted for it
        // Of the engine's subquery that limits a query's rows by ROWNUM: that query, whose
        // conditions its loops apply.
        Range limitedQuery;
    };
    // A member of a set operation: SQLite's lines of its query, and the operator that adds it
    // (empty for the first).
    struct Member {
        QString op;
        std::vector<int> lines;
        bool merged = false;
    };

    // `text`: the tokens of the query a block of the plan runs; empty when it cannot be told.
    Step block(const std::vector<int>& lines, Range text);
    Step nestedBlock(const std::vector<int>& lines, Range text, Measure starts, bool merged = false,
                     Range limitedQuery = {});
    Sources readLines(const std::vector<int>& lines, Range text);
    // The subqueries of the block's WHERE clause around the rows of its loops (`tree`), which
    // hand `output` on (plansubqueries.cpp).
    Step withSubqueries(Step tree, const std::vector<Subquery>& subqueries, const Measure& output);
    Step filterAbove(Step tree, const std::vector<Subquery>& subqueries,
                     const Measure& output) const;
    // Whether every condition on the table read as `alias` is a subquery's (or, with `joins`, a
    // join condition).
    bool onlySubqueriesOn(const QString& alias, bool joins = false);
    // Whether every condition on the table `probe` reads names a column it finds rows by.
    bool onlyKeysOn(const Step& probe);
    // Of a correlated subquery looking rows up by key (`probe`, finding `perProbe` rows each
    // time): the share of the outer rows whose key it finds, from the distinct values of the
    // two columns its correlation compares; nullopt when that condition is not known.
    std::optional<double> correlatedShare(const Step& probe, double perProbe);
    // SQLite's "USING INDEX i FOR IN-OPERATOR": IN (subquery) read straight from index `i`.
    Subquery inOperatorIndex(const QString& indexName);
    // Whether `column` of `table` is declared NOT NULL or is its primary key.
    bool notNull(const QString& table, const QString& column);
    // Whether SQLite's view `name` is no view of the statement's but a table of its own, which
    // the engine had SQLite copy once to hash it for its join (steering.h).
    bool copiedTable(const QString& name) const;
    // The EQP id of the first SCAN or SEARCH among SQLite's lines below `id`; -1 when none.
    int firstLoopBelow(int id) const;
    // Whether SQLite's subquery at `id` is the engine's own search for the last key a ranked
    // view keeps (qv_rank_bound, translatorranks.cpp): part of the window's stop, no line.
    bool rankBound(int id) const;
    // The plan of a hierarchical query from its recursive WITH query (planhierarchy.cpp);
    // `drawn` false when SQLite's plan is not of that form.
    Step connectBy(bool& drawn);
    Step startWith(int setup, const QString& table);
    // Gives `s`, and the access lines below it, `rows` as what they hand on.
    static void setOutputOf(Step& s, const Measure& rows);
    // SQLite's MULTI-INDEX OR at line `id`: Oracle's OR expansion (planorexpansion.cpp).
    Step multiIndexOr(int id, const QStringList& outer);
    void estimateBranches(std::vector<Step>& branches, const QString& alias,
                          const QStringList& outer);
    void driveByList(Sources& s);
    Step joined(const Sources& s, const std::vector<Measure>& outputs);
    bool buildsFirst(const Step& outer, const Step& inner) const;
    // The figures of the BUFFER SORT over a table or view SQLite reads again for each outer row,
    // and of the lines below it as one reading (planbuffers.cpp).
    void bufferReadAgain(Step& buffer, const Measure& handedOn) const;
    Step sorted(Step tree, const Sources& s, const QueryShape& shape, Range text);
    // ROLLUP, CUBE and GROUPING SETS (plangrouping.cpp): the sets of query `text`, nullopt for a
    // plain GROUP BY; the lines of its grouping; the query's lines in a TEMP TABLE
    // TRANSFORMATION when the sets ask for one.
    std::optional<GroupingSets> groupingOf(Range text) const;
    Step groupingLines(Step group, const GroupingSets& g) const;
    // The groups all sets of `g` make of `rows` rows: each set's as a GROUP BY of its
    // expressions (the product of their distinct values, at most the rows; setGroups_), added
    // up.
    double groupingCard(const GroupingSets& g, Range text, double rows);
    std::vector<double> setGroups_;
    Step groupingSetsTransformation(Step tree, const GroupingSets& g) const;
    // PIVOT's grouping as HASH | SORT GROUP BY PIVOT (SORT AGGREGATE without other columns), the
    // view it stands in merged; UNPIVOT as VIEW over UNPIVOT over the rows of its source, which
    // hands `output` on.
    Step pivoted(Step body);
    // The groups a PIVOT (its keyword the token `at`) makes of its source's rows: those of the
    // source's columns it neither aggregates nor spreads; nullopt when there are none or they
    // cannot be told.
    std::optional<double> pivotGroups(size_t at);
    // The plan of the query of a view the database keeps (`name`), whose text the statement
    // does not hold: its ROLLUP, CUBE, GROUPING SETS or PIVOT drawn as the statement's own
    // would be, read from the text SQLite keeps of it.
    Step storedViewGrouping(Step plan, const QString& name);
    Step unpivoted(Step tree, const Measure& output) const;
    // Set operations (plansetops.cpp): the members SQLite's line `id` adds (COMPOUND QUERY,
    // MERGE (op) over LEFT and RIGHT, or one more operator after them), and Oracle's lines of
    // them all.
    void setMembers(int id, std::vector<Member>& members);
    Step compound(const std::vector<Member>& members, Range text);
    // What the SORT UNIQUE over member `m` of MINUS or INTERSECT hands on: the member's rows
    // SQLite made distinct, as they went to the merge.
    Measure distinctRows(const Member& m) const;
    // Row limits, windows and temporary tables (plantopn.cpp).
    Step rowLimited(Step body, Range text) const;
    Step fetchLimited(Step body, const RowLimit& limit, const Measure& returned, Range text) const;
    bool numberedView(Step& body, const RowLimit& limit) const;
    bool windowBlock(Sources& s, Range text) const;
    // Pagination and index order (planpaging.cpp): the first loop of a block whose index gives
    // the order asked for, read backwards for a descending one (the first key of the ORDER BY
    // or window of `text`; none for an empty `text`).
    void readInOrder(Step& first, Range text) const;
    // Whether Oracle's index `index` (SQLite's name) gives the order of `text` (as readInOrder())
    // that SQLite completes with a sort of its last terms: its keys are the index's first
    // columns, all read one way, and only where NULLs stand differs (an Oracle index keeps them
    // after every value, SQLite's before).
    bool indexOrders(const QString& index, Range text);
    // Whether SQLite's sorter `id` among `lines` sorts only the last terms of an order that an
    // index of Oracle's gives (indexOrders()): no sort of Oracle's then.
    bool sortsNullsOnly(int id, const std::vector<int>& lines, Range text);
    // Marks the step of the table SQLite's RIGHT-JOIN line names (by name, or by alias for a hash
    // area) as the one whose rows that met none a RIGHT or FULL join adds after the loops of the
    // tables after it (the last step when none is named so).
    void markRightJoined(std::vector<Step>& steps, const QString& name) const;
    void byPrimaryKey(Step& table, bool descending) const;
    std::vector<Step> takeScalars(Sources& s, Range text) const;
    Step withTempTables(Step body) const;
    // `body` under a SEQUENCE line for each sequence whose NEXTVAL the statement reads, in the
    // order first named (planstatements.cpp); the lines stand alone over no rows (`rowless`:
    // INSERT ... VALUES). `body` itself when it reads none.
    Step sequenced(Step body, bool rowless);
    std::optional<Step> tempTableRead(const QString& view) const;
    Step having(Step group, const Measure& rows) const;
    // What counts the rows a block's loops hand on: the sorter they go into, or the statement's
    // own rows when nothing comes between.
    Measure loopsOutput(const Sources& s, const QueryShape& shape) const;
    // Whether a join condition ties `alias` to one of the tables joined before it.
    bool joinedTo(const QString& alias, const QStringList& outer) const;
    // The groups a GROUP BY or the rows a DISTINCT of one plain column gives: its distinct
    // values; `fallback` for anything else.
    double groupsOf(QStringView keyword, Range text, double fallback, const Sources* s = nullptr);
    // One loop of a block, SQLite's line `id`; `hashed` tells a transient index stands for a hash
    // join, whose table SQLite filled at line `buildLine` (-1: none).
    Step loop(int id, const QStringList& outer, bool& hashed, int buildLine = -1);
    Step loopSteps(const QString& detail, const QStringList& outer, bool& hashed);
    // Marks the lines of a loop's steps with where their figures come from.
    void markLoop(Step& s, int id, int buildLine) const;
    // `searched`: SQLite's SEARCH rather than SCAN.
    Step tableAccess(const QString& name, const QString& usingText, const QStringList& outer,
                     bool& hashed, bool searched = false);
    Step fullScan(const Access& a, const QString& usingText, const QStringList& outer,
                  bool& hashed);
    Step rowidAccess(const Access& a, const QString& usingText, const QStringList& outer);
    Step indexAccess(const Access& a, const QRegularExpressionMatch& m, const QStringList& outer,
                     bool searched);
    // What SQLite's search of an index by `constraints` ("a=? AND b>?") finds of it.
    struct KeySearch {
        int equal = 0;        // the leading columns found by equalities
        double range = 1;     // the share of those the ranges after them keep
        double listKeys = 1;  // the key values an IN list on the equality columns looks up
        QStringList used;     // the columns searched by
        // "ANY(c)": SQLite steps through each value of a leading column no condition names.
        QStringList skipped;
        bool pastNulls = false;  // searched past the first column's NULL keys (pastNullsOnly())
    };
    KeySearch keySearch(const Access& a, const QString& constraints,
                        const PlanEstimates::Index& index);
    double otherSelectivity(const Access& a, const QStringList& indexColumns,
                            const QStringList& outer) {
        return estimates_.selectivity(a.conditions, a.table, indexColumns, outer);
    }
    // The alias an unqualified column belongs to, seen from `alias` reading `table`.
    QString ownerOf(const QString& column, const QString& alias, const QString& table);
    QList<Predicate> conditionsOn(const QString& alias, const QString& table);
    // The rows a copy of the table read as `alias` took in, which SQLite's loop `loop` read into
    // it: those the loop read, or those that met the table's own conditions when it has some
    // (`filtered`).
    Measure copiedRows(const QString& alias, const QString& table, int loop, bool& filtered);
    // Average bytes of the columns of the table the statement names.
    double usedWidth(const QString& alias, const PlanEstimates::Table& t) const;
    QString tableName(const QString& alias) const { return aliases_.value(alias.toLower(), alias); }
    // `object` (as SQLite's plan spells it) as Oracle's plan names it: as the statement quotes
    // it, else as the dictionary holds it.
    Step named(Step s, const QString& object) {
        s.object = read_.quotedNames().value(object.toLower(), dictionaryName(object));
        s.owned = true;
        return s;
    }
    // A step of the block being built, not of one of its loops.
    Step blockStep(QString operation, QString options, std::vector<Step> children = {}) const {
        Step s = step(std::move(operation), std::move(options), std::move(children));
        s.starts = context_.starts;
        s.block = context_.text;
        return s;
    }
    void appendRows(const Step& s, int parentId, int position, std::vector<PlanRow>& out) const;

    StatementFrame frame_;
    // A framed statement's query, a text of its own; null for a plain statement.
    std::unique_ptr<const ParsedStatement> framed_;
    // What the facts below are read from: the statement, or its frame's query.
    const ParsedStatement& read_;
    const std::vector<Token>& tokens_;
    sqlite3* db_;
    QString owner_;
    // Read as the plan is drawn, once per table or index: a cache, drawn from by const steps too.
    mutable PlanEstimates estimates_;
    const QHash<QString, QString>& aliases_;
    // The statement's conditions, a NATURAL JOIN's as one join per column its tables share
    // (planconditions.cpp).
    QList<Predicate> predicates_;
    QHash<int, EqpNode> nodes_;
    std::vector<int> roots_;
    QHash<QString, Step> views_;  // lower case name -> the plan of its query
    // WITH queries SQLite materializes once for several readers: lower case name -> their
    // temporary table's name, in the order they are loaded.
    QStringList temps_;
    BlockContext context_;
};

}  // namespace qv::embedded::plan
