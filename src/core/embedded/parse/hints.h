#pragma once

#include "core/sql/sqltokens.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace qv::embedded {

// One hint of a statement's hint comment, as read.
struct Hint {
    QString name;            // upper case
    QStringList args;        // as written, blanks and commas between them dropped
    QString text;            // as written, for the Hint Report
    bool malformed = false;  // not a hint Oracle knows, or not in its form: a syntax error
};

// The hints of the comment /*+ ... */ or --+ that stands right after the first word (SELECT,
// UPDATE, DELETE, INSERT, MERGE) of `sql`, whose tokens are `tokens`, in the order written; none
// when there is no such comment. A hint Oracle does not know, or one whose parentheses are not
// closed, is read as malformed with its name alone. Cannot fail.
std::vector<Hint> readHints(const QString& sql, const std::vector<sql::Token>& tokens);

// Whether Oracle knows `name` (upper case) as a hint. Cannot fail.
bool isKnownHint(const QString& name);

// Oracle's name of the statement's first query block: SEL$1, UPD$1, DEL$1, INS$1, MRG$1; empty
// for another statement. Cannot fail.
QString firstQueryBlock(const std::vector<sql::Token>& tokens);

}  // namespace qv::embedded
