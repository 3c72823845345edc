// How a column's declared type tells the rule its stored values keep (oraclevalues.h).
#include "core/embedded/values/oraclevalues.h"

#include <QRegularExpression>

namespace qv::embedded {

std::optional<StoreCheck> storeCheck(const QString& declaredType) {
    static const QRegularExpression kInterval(
        QStringLiteral(R"(^\s*INTERVAL\s+(YEAR|DAY)\s*(?:\(\s*(\d)\s*\))?\s+TO\s+(MONTH|SECOND)\s*)"
                       R"((?:\(\s*(\d)\s*\))?\s*$)"),
        QRegularExpression::CaseInsensitiveOption);
    if (const QRegularExpressionMatch m = kInterval.match(declaredType); m.hasMatch()) {
        const bool yearMonth = m.captured(1).compare(u"YEAR", Qt::CaseInsensitive) == 0;
        if (yearMonth != (m.captured(3).compare(u"MONTH", Qt::CaseInsensitive) == 0))
            return std::nullopt;
        return StoreCheck{yearMonth ? StoreRule::YearToMonth : StoreRule::DayToSecond,
                          m.hasCaptured(2) ? m.captured(2).toInt() : 2,
                          m.hasCaptured(4) ? m.captured(4).toInt() : 6};
    }
    static const QRegularExpression kDecl(QStringLiteral(
        R"(^\s*([A-Za-z][A-Za-z0-9_ ]*?)\s*(?:\(\s*(\d+)\s*(?:,\s*(-?\d+)\s*)?\))?\s*$)"));
    const QRegularExpressionMatch m = kDecl.match(declaredType);
    if (!m.hasMatch())
        return std::nullopt;
    const QString base = m.captured(1).toUpper().simplified();
    const bool sized = m.hasCaptured(2);
    const int64_t size = m.captured(2).toLongLong();
    const int64_t scale = m.captured(3).toLongLong();
    if (base == u"NUMBER" || base == u"NUMERIC" || base == u"DECIMAL" || base == u"DEC") {
        if (!sized || size < 1 || size > 38)
            return StoreCheck{StoreRule::Number};
        return StoreCheck{StoreRule::SizedNumber, size, scale};
    }
    if (base == u"INTEGER" || base == u"INT" || base == u"SMALLINT")
        return StoreCheck{StoreRule::SizedNumber, 38, 0};
    const bool characters = base.startsWith(u'N') || base.endsWith(u" CHAR");
    if (base.startsWith(u"VARCHAR") || base.startsWith(u"NVARCHAR") ||
        base == u"CHARACTER VARYING") {
        if (!sized || size < 1)
            return std::nullopt;
        return StoreCheck{characters ? StoreRule::TextInCharacters : StoreRule::TextInBytes, size};
    }
    if (base == u"DATE")
        return StoreCheck{StoreRule::Date};
    if (base == u"CHAR" || base == u"NCHAR" || base == u"CHARACTER" || base == u"CHAR CHAR" ||
        base == u"NCHAR CHAR") {
        const int64_t length = sized && size > 0 ? size : 1;
        return StoreCheck{characters ? StoreRule::CharInCharacters : StoreRule::CharInBytes,
                          length};
    }
    return std::nullopt;
}

}  // namespace qv::embedded
