#include "core/window/sqlfile.h"

#include "core/regularfile.h"
#include "core/settings/settingsstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace qv {

namespace {

constexpr char kShiftJis[] = "Shift_JIS";
const QByteArray kBom("\xEF\xBB\xBF");

// How long another copy of the program may hold the store before the list is left as it was.
constexpr int kStoreWaitMs = 2000;

QString recentKey(int n) {
    return QStringLiteral("sqlfile_%1").arg(n);
}

// One spelling per file, so that a file opened twice stands in the list once.
QString samePath(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

bool samePaths(const QString& a, const QString& b) {
#ifdef Q_OS_WIN
    return a.compare(b, Qt::CaseInsensitive) == 0;
#else
    return a == b;
#endif
}

std::optional<QString> decoded(QStringDecoder decoder, const QByteArray& bytes) {
    if (!decoder.isValid())
        return std::nullopt;
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

}  // namespace

QString encodingName(SqlFileEncoding encoding) {
    switch (encoding) {
        case SqlFileEncoding::Utf8WithBom:
            return QStringLiteral("UTF-8 (BOM付き)");
        case SqlFileEncoding::ShiftJis:
            return QStringLiteral("Shift_JIS");
        case SqlFileEncoding::Utf8:
            break;
    }
    return QStringLiteral("UTF-8");
}

std::optional<SqlFile> readSqlFile(const QString& path, QString& error) {
    QFile f;
    QString reason;
    switch (openRegularFile(path, f, reason)) {
        case RegularFileOpen::Failed:
            error = reason + QStringLiteral("ファイル %1 を開けません。").arg(path);
            return std::nullopt;
        case RegularFileOpen::NotRegular:
            error = kMsgNotRegularFile.arg(path);
            return std::nullopt;
        case RegularFileOpen::Opened:
            break;
    }
    const QString tooLarge =
        QStringLiteral("ファイル %1 は大きすぎるため開けません（10MBまで）。").arg(path);
    if (f.size() > kMaxSqlFileBytes) {
        error = tooLarge;
        return std::nullopt;
    }
    // A file that grows after the look at its size is still read no further than the limit.
    const QByteArray bytes = f.read(kMaxSqlFileBytes + 1);
    if (bytes.size() > kMaxSqlFileBytes) {
        error = tooLarge;
        return std::nullopt;
    }
    if (f.error() != QFileDevice::NoError) {
        error = f.errorString() + QStringLiteral("ファイル %1 を読み込めません。").arg(path);
        return std::nullopt;
    }
    SqlFile file;
    file.path = samePath(path);
    std::optional<QString> text;
    if (bytes.startsWith(kBom)) {
        text = decoded(QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless),
                       bytes.mid(kBom.size()));
        file.encoding = SqlFileEncoding::Utf8WithBom;
    } else if ((text = decoded(QStringDecoder(QStringDecoder::Utf8), bytes))) {
        file.encoding = SqlFileEncoding::Utf8;
    } else if ((text = decoded(QStringDecoder(kShiftJis), bytes))) {
        file.encoding = SqlFileEncoding::ShiftJis;
    }
    if (!text) {
        error = QStringLiteral(
                    "ファイル %1 の文字コードを判別できません。UTF-8かShift_JISで"
                    "書かれたファイルを開いてください。")
                    .arg(path);
        return std::nullopt;
    }
    file.crlf = text->contains(QStringLiteral("\r\n"));
    text->replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    file.savedText = *text;
    return file;
}

bool encodable(const QString& text, SqlFileEncoding encoding) {
    if (encoding != SqlFileEncoding::ShiftJis)
        return true;
    QStringEncoder encoder(kShiftJis);
    const QByteArray bytes = encoder.encode(text);
    // A converter that knows no such character may put a substitute in its place rather than
    // report it: the bytes must read back as the text.
    return encoder.isValid() && !encoder.hasError() &&
           decoded(QStringDecoder(kShiftJis), bytes) == text;
}

bool writeSqlFile(SqlFile& file, const QString& text, QString& error) {
    if (!encodable(text, file.encoding)) {
        error = QStringLiteral("%1で表せない文字が含まれているため、ファイル %2 に保存できません。")
                    .arg(encodingName(file.encoding), file.path);
        return false;
    }
    QString lines = text;
    if (file.crlf)
        lines.replace(u'\n', QStringLiteral("\r\n"));
    QByteArray bytes;
    if (file.encoding == SqlFileEncoding::ShiftJis) {
        QStringEncoder encoder(kShiftJis);
        bytes = encoder.encode(lines);
    } else {
        bytes = lines.toUtf8();
        if (file.encoding == SqlFileEncoding::Utf8WithBom)
            bytes.prepend(kBom);
    }
    QSaveFile out(file.path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        error = out.errorString() + QStringLiteral("ファイル %1 に保存できません。").arg(file.path);
        return false;
    }
    file.savedText = text;
    return true;
}

QStringList RecentSqlFiles::paths() const {
    QStringList out;
    for (int n = 1; n <= kMax; ++n) {
        QString path;
        if (store_.read(recentKey(n), path) == StoreStatus::Ok && !path.isEmpty())
            out.append(path);
    }
    return out;
}

void RecentSqlFiles::write(const QStringList& paths) {
    store_.beginBatch();
    for (int n = 1; n <= kMax; ++n)
        store_.write(recentKey(n), n <= paths.size() ? paths[n - 1] : QString());
    store_.endBatch();
}

void RecentSqlFiles::add(const QString& path) {
    const SettingsStore::Update update(store_, kStoreWaitMs);
    const QString added = samePath(path);
    QStringList list = paths();
    list.removeIf([&](const QString& p) { return samePaths(p, added); });
    list.prepend(added);
    write(list.mid(0, kMax));
}

void RecentSqlFiles::remove(const QString& path) {
    const SettingsStore::Update update(store_, kStoreWaitMs);
    const QString gone = samePath(path);
    QStringList list = paths();
    list.removeIf([&](const QString& p) { return samePaths(p, gone); });
    write(list);
}

}  // namespace qv
