#pragma once

#include <QString>

namespace qv {

// What the program keeps of a statement (the statement ring, the history file) never holds a
// password typed in it: each one is replaced by kSecretMask. The statement as it runs is not
// changed.
inline const QString kSecretMask = QStringLiteral("********");

// `sql` with every password in it masked: the word, "quoted" name or 'string' after
// IDENTIFIED BY (and after its VALUES and REPLACE), the password of a user/password@service
// text in a USING clause, and the quoted password of a PASSWORD clause (PASSWORD 'x',
// PASSWORD = 'x'; a bare word after PASSWORD in CREATE and ALTER, other than EXPIRE and NULL).
// Everything else, comments and blanks included, stays as it was.
QString maskSecrets(const QString& sql);

}  // namespace qv
