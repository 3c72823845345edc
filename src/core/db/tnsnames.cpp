#include "core/db/tnsnames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringView>

namespace qv {

QString oracleNetDirectory() {
#ifdef Q_OS_WIN
    QSettings key(QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\ORACLE"), QSettings::NativeFormat);
    return key.value(QStringLiteral("NET80")).toString();
#else
    const QString admin = qEnvironmentVariable("TNS_ADMIN");
    if (!admin.isEmpty())
        return admin;
    const QString home = qEnvironmentVariable("ORACLE_HOME");
    if (!home.isEmpty())
        return QDir(home).filePath(QStringLiteral("network"));
    return QString();
#endif
}

QString findTnsnamesFile() {
#ifdef Q_OS_WIN
    const QString net = oracleNetDirectory();
    if (net.isEmpty())
        return QString();
    const QString file = net + QStringLiteral("\\admin\\TNSNAMES.ORA");
    return QFileInfo::exists(file) ? file : QString();
#else
    QString dir = qEnvironmentVariable("TNS_ADMIN");
    if (dir.isEmpty()) {
        const QString home = qEnvironmentVariable("ORACLE_HOME");
        if (home.isEmpty())
            return QString();
        dir = QDir(home).filePath(QStringLiteral("network/admin"));
    }
    const QDir d(dir);
    const QStringList entries = d.entryList(QDir::Files | QDir::Readable, QDir::Name);
    for (const QString& name : entries) {
        if (name.compare(QStringLiteral("tnsnames.ora"), Qt::CaseInsensitive) == 0)
            return d.filePath(name);
    }
    return QString();
#endif
}

QStringList parseServiceNames(const QString& text) {
    QStringList names;
    int64_t depth = 0;  // wide: a malformed file may open more parentheses than 16 bits hold
    QString pending;
    qsizetype start = 0;
    const qsizetype n = text.size();
    while (start <= n) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = n;
        QStringView line(text.constData() + start, end - start);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        start = end + 1;
        if (line.isEmpty() && end == n)
            break;
        if (line.startsWith(QLatin1Char('#')))
            continue;
        if (depth != 0) {
            if (!pending.isEmpty() &&
                line.contains(QLatin1String("PROTOCOL = "), Qt::CaseInsensitive)) {
                names.append(pending);
                pending.clear();
            }
        } else {
            const qsizetype at = line.indexOf(QLatin1String(".WORLD"), 0, Qt::CaseInsensitive);
            if (at >= 0)
                pending = line.left(at).toString();
        }
        depth += line.count(QLatin1Char('(')) - line.count(QLatin1Char(')'));
    }
    return names;
}

QStringList loadServiceNamesFromFile(const QString& path, qint64 maxBytes) {
    QFile f(path);
    if (path.isEmpty() || !f.open(QIODevice::ReadOnly))
        return {};
    return parseServiceNames(QString::fromUtf8(f.read(maxBytes)));
}

}  // namespace qv
