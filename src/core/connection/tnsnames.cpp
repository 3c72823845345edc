#include "core/connection/tnsnames.h"

#include "core/regularfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>

#include <algorithm>
#include <optional>

namespace qv {

namespace {

// A file named like `name` (any case) in `dir`; empty when there is none.
QString fileIn(const QString& dir, const QString& name) {
    if (dir.isEmpty())
        return QString();
    const QDir d(dir);
    const QStringList entries = d.entryList(QDir::Files | QDir::Readable, QDir::Name);
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return d.filePath(entry);
    }
    return QString();
}

// The text of `path` when it is a regular file: at most `budget` bytes of it, which are taken off
// the budget. Nothing when it is anything else or cannot be opened.
std::optional<QString> readRegularFile(const QString& path, qint64& budget) {
    if (path.isEmpty())
        return std::nullopt;
    QFile f;
    QString reason;
    if (openRegularFile(path, f, reason) != RegularFileOpen::Opened)
        return std::nullopt;
    const QByteArray data = f.read(std::max<qint64>(budget, 0));
    budget -= data.size();
    return QString::fromUtf8(data);
}

bool isNameStart(QChar c) {
    return c.isLetterOrNumber() || c == u'_';
}

// An alias as Oracle accepts one: letters, digits and _ . - $ #.
bool isServiceName(const QString& name) {
    static const QRegularExpression form(QStringLiteral("^[\\w][\\w.\\-$#]*$"));
    return form.match(name).hasMatch();
}

QString unquoted(QString value) {
    value = value.trimmed();
    if (value.size() >= 2 && ((value.startsWith(u'"') && value.endsWith(u'"')) ||
                              (value.startsWith(u'\'') && value.endsWith(u'\''))))
        value = value.mid(1, value.size() - 2);
    return value;
}

// NAMES.DEFAULT_DOMAIN of the sqlnet.ora in `dir`; empty when it sets none.
QString defaultDomain(const QString& dir, qint64 maxBytes) {
    static const QRegularExpression setting(
        QStringLiteral("^\\s*NAMES\\.DEFAULT_DOMAIN\\s*=\\s*([^#\\s]+)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::MultilineOption);
    const auto text = readRegularFile(fileIn(dir, QStringLiteral("sqlnet.ora")), maxBytes);
    const auto m = setting.match(text.value_or(QString()));
    return m.hasMatch() ? m.captured(1) : QString();
}

// One reading of a TNSNAMES.ORA and the files it includes.
struct Reading {
    qint64 budget = 0;   // bytes still to be read, all files together
    QSet<QString> seen;  // every file tried in this reading, by its canonical path
    QStringList files;   // the files read
};

void collect(const QString& path, Reading& reading, QStringList& out) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    // A file seen before adds nothing: its names are in the list already (or will be, for a
    // cycle). Reading it again would double the work with each level of a diamond.
    if (canonical.isEmpty() || reading.seen.contains(canonical) ||
        reading.seen.size() >= kMaxTnsFiles)
        return;
    reading.seen.insert(canonical);
    const std::optional<QString> text = readRegularFile(canonical, reading.budget);
    if (!text)
        return;
    reading.files.append(canonical);
    const QDir dir = QFileInfo(path).absoluteDir();
    out += parseServiceNames(*text, [&](const QString& ifile) {
        QStringList names;
        collect(QDir::isAbsolutePath(ifile) ? ifile : dir.filePath(ifile), reading, names);
        return names;
    });
}

}  // namespace

QString oracleNetDirectory() {
#ifdef Q_OS_WIN
    QSettings key(QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\ORACLE"), QSettings::NativeFormat);
    return key.value(QStringLiteral("NET80")).toString();
#else
    return QString();
#endif
}

QString findTnsnamesFile() {
    const QString file = QStringLiteral("tnsnames.ora");
    QStringList dirs{qEnvironmentVariable("TNS_ADMIN")};
    const QString home = qEnvironmentVariable("ORACLE_HOME");
    if (!home.isEmpty())
        dirs << QDir(home).filePath(QStringLiteral("network/admin"));
#ifdef Q_OS_WIN
    if (const QString net = oracleNetDirectory(); !net.isEmpty())
        dirs << QDir(net).filePath(QStringLiteral("admin"));
#else
    dirs << QStringLiteral("/etc") << QStringLiteral("/var/opt/oracle");
#endif
    for (const QString& dir : dirs) {
        if (const QString found = fileIn(dir, file); !found.isEmpty())
            return found;
    }
    return QString();
}

QStringList parseServiceNames(const QString& text,
                              const std::function<QStringList(const QString&)>& include) {
    QStringList names;
    int64_t depth = 0;  // wide: a malformed file may open more parentheses than 32 bits hold
    QString head;       // the text of the entry so far, before its '=' (depth 0 only)
    bool inValue = false;
    QString bareValue;  // a value without parentheses (IFILE = path), to the end of the line
    bool lineStart = true;

    auto endEntry = [&] {
        head.clear();
        bareValue.clear();
        inValue = false;
    };
    auto finishBareValue = [&] {
        if (inValue && depth == 0 && !bareValue.trimmed().isEmpty()) {
            if (head.trimmed().compare(u"IFILE", Qt::CaseInsensitive) == 0 && include)
                names += include(unquoted(bareValue));
            endEntry();
        }
    };

    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == u'\n' || c == u'\r') {
            finishBareValue();
            lineStart = true;
            continue;
        }
        if (c == u'#') {  // a comment, to the end of the line
            while (i + 1 < n && text[i + 1] != u'\n' && text[i + 1] != u'\r')
                ++i;
            continue;
        }
        if (lineStart && isNameStart(c) &&
            (depth > 0 || inValue || !head.trimmed().endsWith(u','))) {
            // A name in the first column begins a new entry, whatever the last one left open
            // (an alias list may go on over lines after a comma).
            finishBareValue();
            depth = 0;
            endEntry();
        }
        lineStart = false;
        if (c == u'(') {
            ++depth;
            continue;
        }
        if (c == u')') {
            if (depth > 0 && --depth == 0)
                endEntry();
            continue;
        }
        if (depth > 0)
            continue;
        if (inValue) {
            bareValue.append(c);
            continue;
        }
        if (c == u'=') {
            inValue = true;
            if (head.trimmed().compare(u"IFILE", Qt::CaseInsensitive) != 0) {
                for (const QString& alias : head.split(u',')) {
                    const QString name = alias.trimmed();
                    if (isServiceName(name))
                        names.append(name);
                }
            }
            continue;
        }
        head.append(c);
    }
    finishBareValue();
    return names;
}

ServiceNameRead readServiceNames(const QString& path, qint64 maxBytes) {
    Reading reading;
    reading.budget = maxBytes;
    QStringList all;
    collect(path, reading, all);
    ServiceNameRead read;
    read.files = reading.files;
    if (read.files.isEmpty())
        return read;
    const QString domain = defaultDomain(QFileInfo(path).absolutePath(), maxBytes);
    QSet<QString> seen;
    for (QString name : all) {
        if (!domain.isEmpty() && name.size() > domain.size() + 1 &&
            name.endsWith(u'.' + domain, Qt::CaseInsensitive))
            name.chop(domain.size() + 1);
        if (!seen.contains(name.toUpper())) {
            seen.insert(name.toUpper());
            read.names.append(name);
        }
    }
    return read;
}

QStringList loadServiceNamesFromFile(const QString& path, qint64 maxBytes) {
    return readServiceNames(path, maxBytes).names;
}

}  // namespace qv
