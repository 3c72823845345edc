#include "core/sql/secrettext.h"

#include "core/sql/sqltokens.h"

#include <QRegularExpression>

#include <algorithm>
#include <utility>
#include <vector>

namespace qv {

namespace {

using sql::Token;
using sql::TokenKind;

bool isValue(const Token& t) {
    return t.kind == TokenKind::Word || t.kind == TokenKind::Quoted ||
           t.kind == TokenKind::String || t.kind == TokenKind::Number;
}

// The stretch of a USING string that is a password: "user/password@service" or
// "user/password" (the quotes are outside the stretch). None: {0, 0}.
std::pair<int, int> passwordInConnectText(const Token& t) {
    static const QRegularExpression form(QStringLiteral("^[^/@\\s]+/([^@]*)(?:@|$)"));
    const QStringView text = t.text;
    const qsizetype open = text.indexOf(u'\'');
    if (open < 0 || text.size() < open + 2)
        return {0, 0};
    const QString inner = text.mid(open + 1, text.size() - open - 2).toString();
    const QRegularExpressionMatch m = form.match(inner);
    if (!m.hasMatch() || m.capturedLength(1) == 0)
        return {0, 0};
    const int begin = t.begin + int(open) + 1 + int(m.capturedStart(1));
    return {begin, begin + int(m.capturedLength(1))};
}

}  // namespace

QString maskSecrets(const QString& sqlText) {
    const std::vector<Token> tokens = sql::tokenize(sqlText);
    const bool definition = !tokens.empty() && (tokens[0].is(u"CREATE") || tokens[0].is(u"ALTER"));
    std::vector<std::pair<int, int>> secrets;  // [begin, end) in the text, in order
    // The value at `i`; a bare one goes on through what follows it without a blank
    // (p@ss!word), up to a separator.
    auto take = [&](size_t i) {
        if (i >= tokens.size() || !isValue(tokens[i]))
            return;
        int end = tokens[i].end;
        const bool bare = tokens[i].kind == TokenKind::Word || tokens[i].kind == TokenKind::Number;
        for (size_t j = i + 1; bare && j < tokens.size() && tokens[j].begin == end; ++j) {
            const Token& n = tokens[j];
            if (n.isOp(u';') || n.isOp(u',') || n.isOp(u'(') || n.isOp(u')'))
                break;
            end = n.end;
        }
        secrets.emplace_back(tokens[i].begin, end);
    };
    bool identified = false;  // after IDENTIFIED BY, until the statement's end
    for (size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        const Token* next = i + 1 < tokens.size() ? &tokens[i + 1] : nullptr;
        if (t.is(u"IDENTIFIED") && next && next->is(u"BY")) {
            identified = true;
            const size_t at = i + 2 < tokens.size() && tokens[i + 2].is(u"VALUES") ? i + 3 : i + 2;
            take(at);
            i = at;
        } else if (identified && t.is(u"REPLACE")) {
            take(++i);
        } else if (t.is(u"USING") && next && next->kind == TokenKind::String) {
            const auto stretch = passwordInConnectText(*next);
            if (stretch.second > stretch.first)
                secrets.push_back(stretch);
            ++i;
        } else if (t.is(u"PASSWORD") && next) {
            size_t at = next->isOp(u'=') ? i + 2 : i + 1;
            if (at >= tokens.size())
                continue;
            const Token& v = tokens[at];
            const bool quoted = v.kind == TokenKind::String || v.kind == TokenKind::Quoted;
            const bool bare =
                definition && v.kind == TokenKind::Word && !v.is(u"EXPIRE") && !v.is(u"NULL");
            if (quoted || bare) {
                take(at);
                i = at;
            }
        }
    }
    if (secrets.empty())
        return sqlText;
    QString out;
    out.reserve(sqlText.size());
    int from = 0;
    for (auto [begin, end] : secrets) {
        if (end <= from)
            continue;  // within the secret before it
        begin = std::max(begin, from);
        out += QStringView(sqlText).mid(from, begin - from);
        out += kSecretMask;
        from = end;
    }
    out += QStringView(sqlText).mid(from);
    return out;
}

}  // namespace qv
