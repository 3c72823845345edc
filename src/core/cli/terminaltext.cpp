#include "core/cli/terminaltext.h"

namespace qv {

namespace {

// The escape `ch` is shown as; empty for a character shown as it is.
QString escapeOf(char16_t ch) {
    switch (ch) {
        case u'\t':
            return QStringLiteral("\\t");
        case u'\n':
            return QStringLiteral("\\n");
        case u'\r':
            return QStringLiteral("\\r");
        default:
            break;
    }
    if (ch < 0x20 || (ch >= 0x7F && ch <= 0x9F))
        return QStringLiteral("\\x%1").arg(uint(ch), 2, 16, QLatin1Char('0'));
    if (ch == 0x2028 || ch == 0x2029 || (ch >= 0x202A && ch <= 0x202E) ||
        (ch >= 0x2066 && ch <= 0x2069))
        return QStringLiteral("\\u%1").arg(uint(ch), 4, 16, QLatin1Char('0'));
    return QString();
}

QString escaped(const QString& text, bool wholeValue) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t ch = c.unicode();
        if (wholeValue && ch == u'\\') {
            out += QStringLiteral("\\\\");
            continue;
        }
        if (!wholeValue && ch == u'\n') {
            out += c;
            continue;
        }
        const QString escape = escapeOf(ch);
        if (escape.isEmpty())
            out += c;
        else
            out += escape;
    }
    return out;
}

}  // namespace

QString terminalText(const QString& value) {
    return escaped(value, true);
}

QString terminalDocument(const QString& document) {
    return escaped(document, false);
}

}  // namespace qv
