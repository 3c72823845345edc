#pragma once

#include "core/sql/sqltokens.h"

#include <QString>

#include <vector>

// What EXPLAIN PLAN draws for a statement that is not a query or a change of rows: the lines
// Oracle puts above the plan of the query the statement reads.
//   CREATE [UNIQUE] INDEX i ON t (c, ...)   CREATE INDEX STATEMENT
//                                             INDEX BUILD UNIQUE | NON UNIQUE i
//                                               SORT CREATE INDEX
//                                                 the plan of SELECT c, ... FROM t
//   CREATE TABLE t ... AS query             CREATE TABLE STATEMENT
//                                             LOAD AS SELECT t
//                                               OPTIMIZER STATISTICS GATHERING
//                                                 the plan of the query
//   CREATE TABLE t (...)                    CREATE TABLE STATEMENT alone
//   MERGE INTO t USING s ON (c) ...         MERGE STATEMENT
//                                             MERGE t
//                                               VIEW
//                                                 the plan of s joined to t on c (an outer
//                                                 join when rows that match none are inserted)
// Oracle explains queries, INSERT, UPDATE, DELETE, MERGE, CREATE TABLE and CREATE INDEX; the
// engine takes the same and refuses the rest as Oracle does (ORA-00900).
namespace qv::embedded {

struct StatementFrame {
    enum class Kind {
        Plain,  // a query, INSERT, UPDATE or DELETE: its own plan
        CreateIndex,
        CreateTable,
        Merge,
        Unexplainable,
    };
    Kind kind = Kind::Plain;
    QString object;  // the index, the table made, the MERGE's target: unquoted, as written
    bool unique = false;
    // The Oracle query whose plan stands under the frame's lines; empty for a plain statement
    // (its own plan) and for CREATE TABLE without a query (no plan below).
    QString query;

    bool framed() const { return kind != Kind::Plain && kind != Kind::Unexplainable; }
};

// The frame of `statement` (tokens `t`). Cannot fail: a statement that cannot be read as one
// of the kinds above is Plain when it may be a query or a change, Unexplainable otherwise.
StatementFrame statementFrame(const QString& statement, const std::vector<sql::Token>& t);

}  // namespace qv::embedded
