// The statement of quervin-cli --sql-file (statementfile.h).
#include "core/cli/statementfile.h"

#include "core/cli/clirunner.h"
#include "core/regularfile.h"

#include <QFile>

namespace qv {

std::optional<QString> readStatementFile(const QString& path, QString& sql) {
    QFile f;
    QString reason;
    switch (openRegularFile(path, f, reason)) {
        case RegularFileOpen::Failed:
            return QStringLiteral("Cannot read ") + path + QStringLiteral(": ") + reason;
        case RegularFileOpen::NotRegular:
            return QStringLiteral("Cannot read ") + path +
                   QStringLiteral(
                       ": it is not a regular file (a statement from a pipe goes on "
                       "standard input).");
        case RegularFileOpen::Opened:
            break;
    }
    // Read no more than a statement can be: /dev/zero or a wrong file must not fill memory.
    const QByteArray bytes = f.read(kMaxStatementBytes + 1);
    if (bytes.size() > kMaxStatementBytes)
        return kMsgStatementTooLarge;
    sql = QString::fromUtf8(bytes);
    return std::nullopt;
}

}  // namespace qv
