#include "core/embedded/base/sqlitenames.h"

#include <QRegularExpression>

namespace qv::embedded {

bool needsQuoting(const Token& token) {
    return token.kind == TokenKind::Word && token.text.contains(u'#');
}

QString sqliteName(const Token& token) {
    if (!needsQuoting(token))
        return token.text.toString();
    return QStringLiteral("[%1]").arg(token.text);
}

QString sliceText(const QString& sql, const std::vector<Token>& tokens, size_t first, size_t last) {
    if (first >= last)
        return {};
    QString out;
    int copied = tokens[first].begin;
    for (size_t i = first; i < last; ++i) {
        if (!needsQuoting(tokens[i]))
            continue;
        out += QStringView(sql).mid(copied, tokens[i].begin - copied);
        out += sqliteName(tokens[i]);
        copied = tokens[i].end;
    }
    out += QStringView(sql).mid(copied, tokens[last - 1].end - copied);
    return out;
}

QString quoteIdentifiers(const QString& sql, const std::vector<Token>& tokens) {
    bool any = false;
    for (const Token& t : tokens)
        any = any || needsQuoting(t);
    if (!any)
        return sql;
    // Keep what stands before the first token and after the last (comments, blanks).
    const QString body = sliceText(sql, tokens, 0, tokens.size());
    return sql.left(tokens.front().begin) + body + sql.mid(tokens.back().end);
}

QString dictionaryName(const QString& name) {
    static const QRegularExpression kPlain(QStringLiteral(R"(^[A-Za-z][A-Za-z0-9_$#]*$)"));
    return kPlain.match(name).hasMatch() ? name.toUpper() : name;
}

}  // namespace qv::embedded
