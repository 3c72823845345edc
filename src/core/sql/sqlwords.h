#pragma once

#include <QStringList>
#include <QStringView>

namespace qv::sql {

// The words of Oracle's SQL as the SQL box knows them: what it colours and writes in capitals
// as keywords, what a name must be quoted to be, and the functions it offers to complete. All
// in upper case.

// Oracle's reserved words and the keywords a statement to tune is mostly made of. Words that
// often name columns (NAME, STATUS, TYPE, VALUE...) are left out.
const QStringList& sqlKeywords();
// Whether `word` is one of sqlKeywords(), in any case.
bool isSqlKeyword(QStringView word);
// Whether `word` is one of Oracle's reserved words (V$RESERVED_WORDS with RESERVED = 'Y'), which
// name nothing unless quoted.
bool isReservedWord(QStringView word);
// Oracle's built-in SQL functions.
const QStringList& sqlFunctions();

}  // namespace qv::sql
