// The scripted Oracle driver's fetches: rowsets and SQLGetData, long values in pieces.

#include "oracledriver/handles.h"

#include <cstring>

using namespace oradriver;

namespace {

// The value of column `column` (from 0) of row `row`; "$SID" and "$INSTANCE" stand for the
// connection's own session.
Value cellValue(const Stmt& s, qsizetype row, int column) {
    Value v = s.row(row)[size_t(column)];
    if (v == u"$SID")
        return QString::number(s.conn->session.sid);
    if (v == u"$INSTANCE")
        return QString::number(s.conn->session.instance);
    return v;
}

// The bytes of C type `cType` for `text`, a value of `column`. None for a conversion the driver
// does not make (the program reads every value as text or bytes).
std::optional<QByteArray> converted(const Column& column, const QString& text, SQLSMALLINT cType) {
    const QString shown = column.binary ? text.toUpper() : text;  // binary as text: its hex
    switch (cType) {
        case SQL_C_WCHAR:
            return QByteArray(reinterpret_cast<const char*>(shown.utf16()),
                              shown.size() * qsizetype(sizeof(SQLWCHAR)));
        case SQL_C_CHAR:
            return shown.toUtf8();
        case SQL_C_BINARY:
            return column.binary ? QByteArray::fromHex(text.toLatin1()) : text.toUtf8();
        default:
            return std::nullopt;
    }
}

SQLLEN terminatorOf(SQLSMALLINT cType) {
    return cType == SQL_C_WCHAR ? SQLLEN(sizeof(SQLWCHAR)) : cType == SQL_C_CHAR ? 1 : 0;
}

// Writes bytes [offset, end) into `target` of `capacity` bytes as far as they fit with their
// terminator; the bytes written, without it.
SQLLEN writePiece(const QByteArray& bytes, qsizetype offset, char* target, SQLLEN capacity,
                  SQLLEN terminator) {
    const SQLLEN rest = SQLLEN(bytes.size() - offset);
    SQLLEN room = std::max<SQLLEN>(capacity - terminator, 0);
    if (terminator > 1)
        room -= room % terminator;
    const SQLLEN n = std::min(rest, room);
    if (target && capacity >= terminator) {
        std::memcpy(target, bytes.constData() + offset, size_t(n));
        std::memset(target + n, 0, size_t(terminator));
    }
    return n;
}

SQLRETURN truncated(Stmt& s) {
    s.diags.push_back(Diag{QStringLiteral("01004"), 0,
                           QStringLiteral("[Oracle][ODBC]String data, right truncated.")});
    return SQL_SUCCESS_WITH_INFO;
}

}  // namespace

extern "C" {

SQLRETURN SQL_API SQLFetch(SQLHSTMT h) {
    Stmt& s = *static_cast<Stmt*>(h);
    s.begin();
    if (!s.hasResult())
        return s.fail(QStringLiteral("24000"), QStringLiteral("Invalid cursor state"));
    const qsizetype n = std::min<qsizetype>(qsizetype(s.rowsetSize), s.answer->rowTotal() - s.next);
    if (s.rowsFetched)
        *s.rowsFetched = SQLULEN(std::max<qsizetype>(n, 0));
    if (n <= 0) {
        logCall(s, QStringLiteral("SQLFetch -> SQL_NO_DATA"));
        s.current = -1;
        return SQL_NO_DATA;
    }
    logCall(s, QStringLiteral("SQLFetch rowset=%1 -> %2 rows").arg(s.rowsetSize).arg(n));
    s.current = s.next;
    s.next += n;
    s.readBytes.clear();
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLGetData(SQLHSTMT h, SQLUSMALLINT number, SQLSMALLINT cType, SQLPOINTER target,
                             SQLLEN capacity, SQLLEN* indicator) {
    Stmt& s = *static_cast<Stmt*>(h);
    s.begin();
    if (!s.hasResult() || s.current < 0)
        return s.fail(QStringLiteral("24000"), QStringLiteral("Invalid cursor state"));
    if (number < 1 || number > s.answer->columns.size())
        return s.fail(QStringLiteral("07009"), QStringLiteral("Invalid descriptor index"));
    const qsizetype offset = s.readBytes.count(number) ? s.readBytes[number] : 0;
    const QString call = QStringLiteral("SQLGetData %1 %2 capacity=%3")
                             .arg(number)
                             .arg(cTypeName(cType))
                             .arg(capacity);
    if (offset < 0) {
        logCall(s, call + QStringLiteral(" -> SQL_NO_DATA"));
        return SQL_NO_DATA;
    }
    const Value v = cellValue(s, s.current, number - 1);
    s.readBytes[number] = -1;
    if (!v) {
        logCall(s, call + QStringLiteral(" -> NULL"));
        if (!indicator)
            return s.fail(QStringLiteral("22002"),
                          QStringLiteral("Indicator variable required but not supplied"));
        *indicator = SQL_NULL_DATA;
        return SQL_SUCCESS;
    }
    const std::optional<QByteArray> bytes = converted(s.answer->columns[number - 1], *v, cType);
    if (!bytes)
        return s.fail(QStringLiteral("07006"),
                      QStringLiteral("Restricted data type attribute violation"));
    if (indicator)
        *indicator = SQLLEN(bytes->size() - offset);
    const SQLLEN n =
        writePiece(*bytes, offset, static_cast<char*>(target), capacity, terminatorOf(cType));
    logCall(s, call + QStringLiteral(" -> %1 of %2 bytes").arg(n).arg(bytes->size() - offset));
    if (offset + n == bytes->size())
        return SQL_SUCCESS;
    s.readBytes[number] = offset + n;
    return truncated(s);
}

}  // extern "C"
