#pragma once

#include <QString>

#include <optional>

namespace qv {

inline const QString kMsgStatementTooLarge =
    QStringLiteral("The statement is larger than 16 MB; nothing was run.");

// The statement in the file `path` (UTF-8) into `sql`; the complaint when it cannot be read: a
// file that is no regular file (a FIFO, a device) is refused without waiting on it, and one
// larger than the runner's largest statement is not read past that.
std::optional<QString> readStatementFile(const QString& path, QString& sql);

}  // namespace qv
