#pragma once

#include "core/sql/sqltokens.h"

#include <QString>

#include <vector>

namespace qv::embedded {

using sql::Token;
using sql::TokenKind;

// Oracle's names as SQLite reads them. None of these functions fail.

// An Oracle identifier that SQLite cannot read unquoted (it contains #).
bool needsQuoting(const Token& token);

// The identifier as SQLite reads it, bracket-quoted when needed. Brackets rather than double
// quotes: a double-quoted name that matches no column would silently become a string.
QString sqliteName(const Token& token);

// Copies the text of tokens [first, last) including what lies between them, replacing each
// Word that needs quoting.
QString sliceText(const QString& sql, const std::vector<Token>& tokens, size_t first, size_t last);

// `sql` with every identifier that needs it quoted for SQLite; string literals, quoted
// identifiers and comments are left alone.
QString quoteIdentifiers(const QString& sql, const std::vector<Token>& tokens);

// `name` (as SQLite's schema spells it) as Oracle's dictionary holds it when nothing tells that it
// was quoted: a plain identifier in upper case, any other as it is.
QString dictionaryName(const QString& name);

}  // namespace qv::embedded
