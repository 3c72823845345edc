#pragma once

#include "core/sql/tokenlist.h"

#include <QString>

#include <optional>
#include <vector>

namespace qv::embedded {

// The constant `value` (tokens of a number, a signed number or a character literal) as Oracle
// folds SYS_OP_DESCEND of it into a predicate on a descending index key: HEXTORAW('...') of its
// stored bytes (NUMBER's base-100 form, a text's AL32UTF8 bytes), each byte complemented, 0xFF
// after them. Nullopt for anything else (a bind variable, an expression), which Oracle leaves
// as SYS_OP_DESCEND(...). Cannot fail.
std::optional<QString> descendedConstant(const std::vector<sql::Token>& t, sql::Range value);

}  // namespace qv::embedded
