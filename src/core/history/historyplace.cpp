#include "core/history/historyplace.h"

#include <QDir>
#include <QFileInfo>

namespace qv {

namespace {

bool underManagedRoot(const QString& path) {
    if (path.isEmpty())
        return false;
    const QString clean = QDir::cleanPath(path);
    for (const QString& root : {QStringLiteral("/usr"), QStringLiteral("/opt")}) {
        if (clean == root || clean.startsWith(root + QLatin1Char('/')))
            return true;
    }
    return false;
}

}  // namespace

bool isPackageManagedFolder(const QString& dir) {
    if (dir.isEmpty() || QDir::isRelativePath(dir))
        return false;
    return underManagedRoot(dir) || underManagedRoot(QFileInfo(dir).canonicalFilePath());
}

}  // namespace qv
