#include "core/sql/tokenlist.h"

#include <array>

using namespace Qt::StringLiterals;

namespace qv::sql {

bool isOneOf(const Token& t, std::initializer_list<const char16_t*> words) {
    for (const char16_t* w : words) {
        if (t.is(QStringView(w)))
            return true;
    }
    return false;
}

bool isKeyword(const Token& t) {
    static constexpr QStringView kWords[] = {
        u"SELECT",   u"FROM",      u"WHERE",  u"GROUP",   u"BY",        u"HAVING",   u"ORDER",
        u"UNION",    u"INTERSECT", u"EXCEPT", u"MINUS",   u"ALL",       u"DISTINCT", u"UNIQUE",
        u"AS",       u"ON",        u"USING",  u"JOIN",    u"INNER",     u"LEFT",     u"RIGHT",
        u"FULL",     u"OUTER",     u"CROSS",  u"NATURAL", u"AND",       u"OR",       u"NOT",
        u"IS",       u"IN",        u"LIKE",   u"GLOB",    u"REGEXP",    u"MATCH",    u"BETWEEN",
        u"ESCAPE",   u"EXISTS",    u"WHEN",   u"THEN",    u"ELSE",      u"END",      u"ASC",
        u"DESC",     u"NULLS",     u"LIMIT",  u"OFFSET",  u"FETCH",     u"WITH",     u"START",
        u"CONNECT",  u"NOCYCLE",   u"INTO",   u"VALUES",  u"SET",       u"DEFAULT",  u"COLLATE",
        u"OVER",     u"PARTITION", u"FILTER", u"WINDOW",  u"RETURNING", u"ISNULL",   u"NOTNULL",
        u"SIBLINGS", u"INDEXED"};
    // Asked of nearly every word, so looked up among the keywords of its length only.
    static const auto kByLength = [] {
        std::array<std::vector<QStringView>, 10> byLength;
        for (QStringView word : kWords)
            byLength[size_t(word.size())].push_back(word);
        return byLength;
    }();
    if (t.kind != TokenKind::Word || size_t(t.text.size()) >= kByLength.size())
        return false;
    for (QStringView word : kByLength[size_t(t.text.size())]) {
        if (t.is(word))
            return true;
    }
    return false;
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
        const qsizetype width = !body.isEmpty() && body.front().isHighSurrogate() ? 2 : 1;
        body = body.mid(width);
        if (body.size() >= width + 1 && body.endsWith(u'\''))
            body.chop(width + 1);
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

// The readers of a range's top level, over any way of finding where a group closes: `close(i,
// last)` for a token that opens one.

template <class Close>
size_t findTopLevelWith(const std::vector<Token>& t, size_t first, size_t last, QStringView word,
                        Close close) {
    for (size_t i = first; i < last; ++i) {
        if (opensGroup(t[i]))
            i = close(i, last);
        else if (t[i].is(word))
            return i;
    }
    return last;
}

template <class Close>
std::vector<Range> splitTopLevelWith(const std::vector<Token>& t, size_t first, size_t last,
                                     QChar separator, Close close) {
    std::vector<Range> parts;
    size_t start = first;
    for (size_t i = first; i < last; ++i) {
        if (opensGroup(t[i])) {
            i = close(i, last);
        } else if (t[i].isOp(separator)) {
            parts.push_back({start, i});
            start = i + 1;
        }
    }
    parts.push_back({start, last});
    return parts;
}

template <class Close>
std::vector<Range> conjunctsWith(const std::vector<Token>& t, size_t first, size_t last,
                                 Close close) {
    std::vector<Range> terms;
    size_t start = first;
    bool between = false;
    for (size_t i = first; i < last; ++i) {
        if (opensGroup(t[i])) {
            i = close(i, last);
        } else if (t[i].is(u"OR")) {
            return {{first, last}};  // AND binds closer: the whole is one OR
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

constexpr uint32_t kOpen = UINT32_MAX;

}  // namespace

size_t findTopLevel(const std::vector<Token>& t, size_t first, size_t last, QStringView word) {
    return findTopLevelWith(t, first, last, word,
                            [&](size_t i, size_t end) { return closing(t, i, end); });
}

std::vector<Range> splitTopLevel(const std::vector<Token>& t, size_t first, size_t last,
                                 QChar separator) {
    return splitTopLevelWith(t, first, last, separator,
                             [&](size_t i, size_t end) { return closing(t, i, end); });
}

std::vector<Range> conjuncts(const std::vector<Token>& t, size_t first, size_t last) {
    return conjunctsWith(t, first, last, [&](size_t i, size_t end) { return closing(t, i, end); });
}

// A ')' closes the nearest '(' and leaves the CASEs opened inside it unclosed, as closing() of
// that '(' counts parentheses alone; an END closes a CASE only at the CASE's own level, as
// closing() of a CASE skips whole parentheses. A closer without its opener closes nothing.
Groups::Groups(const std::vector<Token>& tokens) : t_(tokens), closer_(tokens.size(), kOpen) {
    std::vector<uint32_t> open;
    for (size_t i = 0; i < t_.size(); ++i) {
        const Token& k = t_[i];
        if (opensGroup(k)) {
            open.push_back(uint32_t(i));
        } else if (k.isOp(u')')) {
            size_t at = open.size();
            while (at > 0 && !t_[open[at - 1]].isOp(u'('))
                --at;
            if (at > 0) {
                closer_[open[at - 1]] = uint32_t(i);
                open.resize(at - 1);
            }
        } else if (k.is(u"END") && !open.empty() && t_[open.back()].is(u"CASE")) {
            closer_[open.back()] = uint32_t(i);
            open.pop_back();
        }
    }
    // Only a closed group is read level by level; an unclosed one is passed on as written.
    int depth = 0;
    std::vector<uint32_t> ends;
    for (size_t i = 0; i < t_.size(); ++i) {
        while (!ends.empty() && ends.back() == i) {
            ends.pop_back();
            --depth;
        }
        if (closer_[i] != kOpen) {
            ends.push_back(closer_[i]);
            depth_ = qMax(depth_, ++depth);
        }
    }
}

size_t Groups::closing(size_t open, size_t last) const {
    const uint32_t close = closer_[open];
    return close != kOpen && close < last ? close : last;
}

size_t Groups::findTopLevel(size_t first, size_t last, QStringView word) const {
    return findTopLevelWith(t_, first, last, word,
                            [this](size_t i, size_t end) { return closing(i, end); });
}

std::vector<Range> Groups::splitTopLevel(size_t first, size_t last, QChar separator) const {
    return splitTopLevelWith(t_, first, last, separator,
                             [this](size_t i, size_t end) { return closing(i, end); });
}

std::vector<Range> Groups::conjuncts(size_t first, size_t last) const {
    return conjunctsWith(t_, first, last, [this](size_t i, size_t end) { return closing(i, end); });
}

Placeholders placeholders(const QString& sql) {
    Placeholders found;
    const std::vector<Token> t = tokenize(sql);
    if (!t.empty() && t[0].is(u"CREATE")) {
        for (size_t k = 1; k < std::min<size_t>(t.size(), 5); ++k) {
            if (isOneOf(t[k], {u"TRIGGER", u"PROCEDURE", u"FUNCTION", u"PACKAGE", u"TYPE"}))
                return found;
        }
    }
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind != TokenKind::Param || !t[i].text.startsWith(u':'))
            continue;
        // "x::int" casts in PostgreSQL, whose statements reach it through ODBC as typed.
        if (i > 0 && t[i - 1].isOp(u':') && t[i - 1].end == t[i].begin)
            continue;
        const QString name = t[i].text.mid(1).toString();
        found.occurrences.push_back(Placeholder{name, t[i].begin, t[i].end});
        if (!found.names.contains(name, Qt::CaseInsensitive))
            found.names.append(name);
    }
    return found;
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
    for (size_t k = first; k < last && text.size() < kMaxHeadingLength; ++k) {
        const QStringView written = t[k].text;
        const qsizetype at = text.size();
        text += written;
        if (t[k].kind == TokenKind::Quoted)
            continue;
        bool ascii = true;
        for (qsizetype i = at; i < text.size() && ascii; ++i) {
            ascii = text[i].unicode() < 0x80;
            text[i] = text[i].toUpper();
        }
        if (!ascii)
            text.replace(at, written.size(), written.toString().toUpper());
    }
    qsizetype length = qMin(text.size(), kMaxHeadingLength);
    if (length < text.size() && text[length - 1].isHighSurrogate())
        --length;
    return text.left(length);
}

}  // namespace qv::sql
