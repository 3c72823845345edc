#include "core/sql/tokenlist.h"

#include <QSet>

using namespace Qt::StringLiterals;

namespace qv::sql {

bool isName(const Token& t) {
    return t.kind == TokenKind::Word || t.kind == TokenKind::Quoted;
}

bool isOneOf(const Token& t, std::initializer_list<const char16_t*> words) {
    for (const char16_t* w : words) {
        if (t.is(QStringView(w)))
            return true;
    }
    return false;
}

bool isKeyword(const Token& t) {
    static const QSet<QString> kWords = {
        u"SELECT"_s,    u"FROM"_s,    u"WHERE"_s,     u"GROUP"_s,     u"BY"_s,      u"HAVING"_s,
        u"ORDER"_s,     u"UNION"_s,   u"INTERSECT"_s, u"EXCEPT"_s,    u"MINUS"_s,   u"ALL"_s,
        u"DISTINCT"_s,  u"UNIQUE"_s,  u"AS"_s,        u"ON"_s,        u"USING"_s,   u"JOIN"_s,
        u"INNER"_s,     u"LEFT"_s,    u"RIGHT"_s,     u"FULL"_s,      u"OUTER"_s,   u"CROSS"_s,
        u"NATURAL"_s,   u"AND"_s,     u"OR"_s,        u"NOT"_s,       u"IS"_s,      u"IN"_s,
        u"LIKE"_s,      u"GLOB"_s,    u"REGEXP"_s,    u"MATCH"_s,     u"BETWEEN"_s, u"ESCAPE"_s,
        u"EXISTS"_s,    u"WHEN"_s,    u"THEN"_s,      u"ELSE"_s,      u"END"_s,     u"ASC"_s,
        u"DESC"_s,      u"NULLS"_s,   u"LIMIT"_s,     u"OFFSET"_s,    u"FETCH"_s,   u"WITH"_s,
        u"START"_s,     u"CONNECT"_s, u"NOCYCLE"_s,   u"INTO"_s,      u"VALUES"_s,  u"SET"_s,
        u"DEFAULT"_s,   u"COLLATE"_s, u"OVER"_s,      u"PARTITION"_s, u"FILTER"_s,  u"WINDOW"_s,
        u"RETURNING"_s, u"ISNULL"_s,  u"NOTNULL"_s,   u"SIBLINGS"_s,  u"INDEXED"_s};
    return t.kind == TokenKind::Word && kWords.contains(t.text.toString().toUpper());
}

QString unquoted(const Token& t) {
    if (t.kind != TokenKind::Quoted || t.text.size() < 2)
        return t.text.toString();
    const QChar open = t.text.front();
    const QString inner = t.text.mid(1, t.text.size() - 2).toString();
    if (open == u'[')
        return inner;
    return QString(inner).replace(QString(2, open), QString(open));
}

QString stringValue(const Token& t) {
    const qsizetype quote = t.text.indexOf(u'\'');
    if (quote < 0)
        return {};
    QStringView body = t.text.mid(quote + 1);
    if (quote > 0 && t.text[quote - 1].toUpper() == u'Q') {
        // q'[text]': what stands between the delimiters, as it is.
        body = body.mid(1);
        if (body.size() >= 2 && body.endsWith(u'\''))
            body.chop(2);
        return body.toString();
    }
    if (body.endsWith(u'\''))
        body.chop(1);
    return body.toString().replace(u"''"_s, u"'"_s);
}

QString quotedName(const QString& name) {
    return u'"' + QString(name).replace(u'"', u"\"\""_s) + u'"';
}

QString quotedString(const QString& text) {
    return u'\'' + QString(text).replace(u'\'', u"''"_s) + u'\'';
}

QString textOf(const QString& sql, const std::vector<Token>& t, size_t first, size_t last) {
    if (first >= last)
        return {};
    return sql.mid(t[first].begin, t[last - 1].end - t[first].begin);
}

size_t closing(const std::vector<Token>& t, size_t open, size_t last) {
    const bool parenthesis = t[open].isOp(u'(');
    int depth = 0;
    for (size_t i = open; i < last; ++i) {
        if (parenthesis) {
            if (t[i].isOp(u'('))
                ++depth;
            else if (t[i].isOp(u')') && --depth == 0)
                return i;
        } else if (t[i].isOp(u'(')) {
            i = closing(t, i, last);
        } else if (t[i].is(u"CASE")) {
            ++depth;
        } else if (t[i].is(u"END") && --depth == 0) {
            return i;
        }
    }
    return last;
}

namespace {

bool opensGroup(const Token& t) {
    return t.isOp(u'(') || t.is(u"CASE");
}

}  // namespace

size_t findTopLevel(const std::vector<Token>& t, size_t first, size_t last, QStringView word) {
    for (size_t i = first; i < last; ++i) {
        if (opensGroup(t[i]))
            i = closing(t, i, last);
        else if (t[i].is(word))
            return i;
    }
    return last;
}

std::vector<Range> splitTopLevel(const std::vector<Token>& t, size_t first, size_t last,
                                 QChar separator) {
    std::vector<Range> parts;
    size_t start = first;
    for (size_t i = first; i < last; ++i) {
        if (opensGroup(t[i])) {
            i = closing(t, i, last);
        } else if (t[i].isOp(separator)) {
            parts.push_back({start, i});
            start = i + 1;
        }
    }
    parts.push_back({start, last});
    return parts;
}

std::vector<Range> conjuncts(const std::vector<Token>& t, size_t first, size_t last) {
    std::vector<Range> terms;
    size_t start = first;
    bool between = false;
    for (size_t i = first; i < last; ++i) {
        if (opensGroup(t[i])) {
            i = closing(t, i, last);
        } else if (t[i].is(u"BETWEEN")) {
            between = true;
        } else if (t[i].is(u"AND")) {
            if (between) {
                between = false;
            } else {
                terms.push_back({start, i});
                start = i + 1;
            }
        }
    }
    terms.push_back({start, last});
    return terms;
}

QString columnHeading(const std::vector<Token>& t, size_t first, size_t last) {
    // name, or name.name...: the last name
    bool column = (last - first) % 2 == 1;
    for (size_t k = first; column && k < last; ++k)
        column = (k - first) % 2 == 0 ? isName(t[k]) : t[k].isOp(u'.');
    if (column) {
        const Token& name = t[last - 1];
        return name.kind == TokenKind::Quoted ? unquoted(name) : name.text.toString().toUpper();
    }
    QString text;
    for (size_t k = first; k < last; ++k)
        text +=
            t[k].kind == TokenKind::Quoted ? t[k].text.toString() : t[k].text.toString().toUpper();
    return text;
}

}  // namespace qv::sql
