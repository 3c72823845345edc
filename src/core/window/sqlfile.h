#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace qv {

class SettingsStore;

// How a SQL file's bytes stand for its text. A file is saved back as it was read.
enum class SqlFileEncoding {
    Utf8,
    Utf8WithBom,
    ShiftJis,  // as Japanese Windows editors write it
};

// The SQL box's file: where it is, how its bytes were written and the text last read from or
// written to it. A window without a file has an empty path.
struct SqlFile {
    QString path;
    SqlFileEncoding encoding = SqlFileEncoding::Utf8;
    bool crlf = false;  // lines end with CR LF in the file (the box holds LF only)
    QString savedText;  // as the box showed it after the last read or write

    bool isOpen() const { return !path.isEmpty(); }
    // Whether `text` (the box's) differs from the file's.
    bool modified(const QString& text) const { return isOpen() && text != savedText; }
};

// The encoding's name as a user knows it: "UTF-8", "UTF-8 (BOM付き)", "Shift_JIS".
QString encodingName(SqlFileEncoding encoding);

// Larger files are no statement to tune; they are not read into the SQL box.
inline constexpr qint64 kMaxSqlFileBytes = 10 * 1024 * 1024;

// Why a FIFO, a device or a directory is not read into the SQL box (`%1`: its path).
inline const QString kMsgNotRegularFile =
    QStringLiteral("ファイル %1 は通常のファイルではないため開けません。");

// Reads the file at `path`: UTF-8 when its bytes are valid UTF-8 (a byte order mark is dropped),
// else Shift_JIS when they decode as Shift_JIS without a fault. Line ends become LF. Only a
// regular file is read, and never more than kMaxSqlFileBytes of it, without waiting on it (a
// FIFO or a device is refused unopened). Nullopt and `error` set to the message to show when the
// file cannot be read, is no regular file, is too large, or is neither encoding.
std::optional<SqlFile> readSqlFile(const QString& path, QString& error);

// Writes `text` to `file.path` in `file.encoding` with `file.crlf` line ends, replacing the file
// whole or not at all; on success `file.savedText` becomes `text`. False and `error` set to the
// message to show when it cannot be written, or when `text` holds a character the encoding has
// no bytes for (nothing is written then).
bool writeSqlFile(SqlFile& file, const QString& text, QString& error);

// Whether `text` can be written in `encoding` without losing a character.
bool encodable(const QString& text, SqlFileEncoding encoding);

// The SQL files opened or saved last, newest first, kept in the settings store under
// "sqlfile_1" to "sqlfile_8" (an empty value is no entry), shared by every window and by copies
// of the program running side by side.
class RecentSqlFiles {
  public:
    static constexpr int kMax = 8;
    // The list `store` keeps, which must outlive this object.
    explicit RecentSqlFiles(SettingsStore& store) : store_(store) {}
    // The stored list, read now.
    QStringList paths() const;
    // Puts `path` at the top (once), the oldest beyond kMax dropping off.
    void add(const QString& path);
    // Takes `path` off the list (a file that is gone).
    void remove(const QString& path);

  private:
    void write(const QStringList& paths);

    SettingsStore& store_;
};

}  // namespace qv
