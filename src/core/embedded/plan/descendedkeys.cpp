// Constants as a descending index key holds them: see descendedConstant().
#include "core/embedded/plan/descendedkeys.h"

#include <QByteArray>

namespace qv::embedded {

namespace {

// Oracle's NUMBER bytes of the decimal `digits` (no sign, at most one '.'): an exponent byte
// (base 100, excess 192 + 1) and a byte of each base-100 digit plus one; negated, the exponent
// byte's and the digits' complements (101 - digit) and a 102 after them unless 20 digits fill
// it. Zero is one byte 0x80. Empty when `digits` is no number.
QByteArray numberBytes(QString digits, bool negative) {
    const qsizetype point = digits.indexOf(u'.');
    QString whole = point < 0 ? digits : digits.left(point);
    QString part = point < 0 ? QString() : digits.mid(point + 1);
    for (const QChar c : whole + part) {
        if (!c.isDigit())
            return {};
    }
    while (whole.startsWith(u'0'))
        whole.remove(0, 1);
    if (whole.size() % 2)
        whole.prepend(u'0');
    if (part.size() % 2)
        part.append(u'0');
    QString pairs = whole + part;
    int exponent = int(whole.size() / 2);
    while (pairs.startsWith(QStringLiteral("00"))) {
        pairs.remove(0, 2);
        --exponent;
    }
    while (pairs.endsWith(QStringLiteral("00")))
        pairs.chop(2);
    if (pairs.isEmpty())
        return QByteArray(1, char(0x80));
    QByteArray bytes;
    bytes.append(char(negative ? 63 - exponent : 192 + exponent));
    for (qsizetype i = 0; i < pairs.size(); i += 2) {
        const int d = pairs.mid(i, 2).toInt();
        bytes.append(char(negative ? 101 - d : d + 1));
    }
    if (negative && bytes.size() < 21)
        bytes.append(char(102));
    return bytes;
}

}  // namespace

std::optional<QString> descendedConstant(const std::vector<sql::Token>& t, sql::Range value) {
    QByteArray bytes;
    size_t at = value.first;
    const bool negative = value.size() == 2 && t[at].isOp(u'-');
    if (negative || (value.size() == 2 && t[at].isOp(u'+')))
        ++at;
    if (at + 1 != value.last)
        return std::nullopt;
    if (t[at].kind == sql::TokenKind::Number)
        bytes = numberBytes(t[at].text.toString(), negative);
    else if (t[at].kind == sql::TokenKind::String && at == value.first)
        bytes = sql::stringValue(t[at]).toUtf8();
    if (bytes.isEmpty())
        return std::nullopt;
    for (char& b : bytes)
        b = char(0xFF - uint8_t(b));
    bytes.append(char(0xFF));
    return QStringLiteral("HEXTORAW('%1')").arg(QString::fromLatin1(bytes.toHex().toUpper()));
}

}  // namespace qv::embedded
