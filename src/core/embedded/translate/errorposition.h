#pragma once

#include "core/db/dberror.h"
#include "core/sqlite/sqlite.h"

#include <QByteArray>
#include <QString>

namespace qv::embedded {

// Where SQLite's complaint about the text it compiled stands in the statement the client sent.
// The translation rewrites the client's text (calls, aliases, quoting, whole clauses), so the
// two texts are matched token by token (a shortest edit script over their tokens) and the token
// SQLite stopped at is followed back: a token copied from the client's text is found where the
// client wrote it, a token the translation wrote is placed at the first client token it stands
// for (or at the next one the client wrote, when it stands for none).

// The character offset in `client` for character offset `at` in `engine`: the start of the
// client's token. -1 when `at` is negative or the texts differ too much to be matched (more
// than a few thousand tokens apart). Cannot fail.
qsizetype clientPosition(const QString& client, const QString& engine, qsizetype at);

// oracleFailure(error, engineUtf8), with its position() in `client` where SQLite gave the offset
// of the failure in `engineUtf8` (the text it compiled). Cannot fail.
DbError placedFailure(const sqlite::Error& error, const QByteArray& engineUtf8,
                      const QString& client);

}  // namespace qv::embedded
