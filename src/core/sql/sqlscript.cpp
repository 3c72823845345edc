// A script read line by line as SQL*Plus reads it (sqlscript.h). Only what decides where a
// statement ends is read here: quotes and comments across lines, the last thing on a line, the
// first words of a statement. The statements themselves go to the server as written.
#include "core/sql/sqlscript.h"

#include <QStringList>

#include <array>

namespace qv::sql {

namespace {

// Where a line leaves the reading: in code, in a quoted text (q'[...]' closing on `close`) or in
// a /* comment.
struct LineState {
    enum class Mode { Code, Text, Comment } mode = Mode::Code;
    QChar close;  // for q'X...X': the character before the closing quote; null for '...'
};

bool isNameCharacter(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c == u'$' || c == u'#';
}

QChar closingOf(QChar open) {
    switch (open.unicode()) {
        case u'[':
            return u']';
        case u'{':
            return u'}';
        case u'(':
            return u')';
        case u'<':
            return u'>';
        default:
            return open;
    }
}

// Reads `line` on from `state`; the position of a `;` that is the last thing of code on it
// (comments after it aside), else -1.
qsizetype readLine(QStringView line, LineState& state) {
    const qsizetype n = line.size();
    qsizetype last = -1;  // the last character of code or text
    QChar lastChar;
    qsizetype p = 0;
    while (p < n) {
        if (state.mode == LineState::Mode::Comment) {
            const qsizetype end = line.indexOf(u"*/", p);
            if (end < 0)
                return -1;
            state.mode = LineState::Mode::Code;
            p = end + 2;
            continue;
        }
        if (state.mode == LineState::Mode::Text) {
            if (!state.close.isNull()) {
                const qsizetype end = line.indexOf(QString(state.close) + u'\'', p);
                if (end < 0)
                    return -1;
                p = end + 2;
            } else {
                const qsizetype end = line.indexOf(u'\'', p);
                if (end < 0)
                    return -1;
                if (end + 1 < n && line[end + 1] == u'\'') {
                    p = end + 2;  // '' stands for one quote
                    continue;
                }
                p = end + 1;
            }
            state.mode = LineState::Mode::Code;
            last = p - 1;
            lastChar = u'\'';
            continue;
        }
        const QChar c = line[p];
        const QChar next = p + 1 < n ? line[p + 1] : QChar();
        if (c == u'-' && next == u'-')
            break;
        if (c == u'/' && next == u'*') {
            state.mode = LineState::Mode::Comment;
            p += 2;
            continue;
        }
        if (c == u'\'') {
            // q'X...X', also after N: the quote's delimiter is the character after it.
            const bool q = p > 0 && (line[p - 1] == u'q' || line[p - 1] == u'Q') &&
                           (p == 1 || !isNameCharacter(line[p - 2]) || line[p - 2] == u'n' ||
                            line[p - 2] == u'N') &&
                           p + 1 < n;
            state.mode = LineState::Mode::Text;
            state.close = q ? closingOf(line[p + 1]) : QChar();
            p += q ? 2 : 1;
            continue;
        }
        if (c == u'"') {
            const qsizetype end = line.indexOf(u'"', p + 1);
            p = end < 0 ? n : end + 1;
            last = p - 1;
            lastChar = u'"';
            continue;
        }
        if (!c.isSpace()) {
            last = p;
            lastChar = c;
        }
        ++p;
    }
    return lastChar == u';' ? last : -1;
}

// The first word of `text` in upper case: letters, digits, _, $ and #.
QString firstWord(QStringView text, qsizetype* end = nullptr) {
    qsizetype p = 0;
    while (p < text.size() && text[p].isSpace())
        ++p;
    const qsizetype begin = p;
    while (p < text.size() && isNameCharacter(text[p]))
        ++p;
    if (end)
        *end = p;
    return text.mid(begin, p - begin).toString().toUpper();
}

QStringList firstWords(QStringView text, int count) {
    QStringList words;
    qsizetype at = 0;
    while (words.size() < count) {
        qsizetype end = 0;
        const QString w = firstWord(text.mid(at), &end);
        if (w.isEmpty())
            break;
        words << w;
        at += end;
    }
    return words;
}

// SQL*Plus's commands, with the shortest forms it takes.
bool isCommand(const QStringList& words) {
    static const std::array kCommands = {
        u"ACC",   u"ACCEPT",    u"APPEND",   u"ARCHIVE",   u"ATTRIBUTE",  u"BRE",   u"BREAK",
        u"BTI",   u"BTITLE",    u"CHANGE",   u"CL",        u"CLEAR",      u"COL",   u"COLUMN",
        u"COMP",  u"COMPUTE",   u"CONN",     u"CONNECT",   u"COPY",       u"DEF",   u"DEFINE",
        u"DEL",   u"DESC",      u"DESCRIBE", u"DISC",      u"DISCONNECT", u"ED",    u"EDIT",
        u"EXIT",  u"GET",       u"HO",       u"HOST",      u"I",          u"INPUT", u"L",
        u"LIST",  u"PASSW",     u"PASSWORD", u"PAU",       u"PAUSE",      u"PRI",   u"PRINT",
        u"PRO",   u"PROMPT",    u"QUIT",     u"R",         u"RECOVER",    u"REM",   u"REMARK",
        u"REPF",  u"REPFOOTER", u"REPH",     u"REPHEADER", u"RUN",        u"SAV",   u"SAVE",
        u"SET",   u"SHO",       u"SHOW",     u"SHUTDOWN",  u"SPO",        u"SPOOL", u"STARTUP",
        u"STORE", u"TIMI",      u"TIMING",   u"TTI",       u"TTITLE",     u"UNDEF", u"UNDEFINE",
        u"VAR",   u"VARIABLE",  u"WHENEVER", u"XQUERY"};
    if (words.isEmpty())
        return false;
    // SET TRANSACTION, SET ROLE and SET CONSTRAINT[S] are SQL.
    if (words[0] == u"SET" && words.size() > 1 &&
        (words[1] == u"TRANSACTION" || words[1] == u"ROLE" || words[1].startsWith(u"CONSTRAINT")))
        return false;
    for (const char16_t* c : kCommands) {
        if (words[0] == QStringView(c))
            return true;
    }
    return false;
}

// A PL/SQL unit, which keeps its semicolons and ends at a "/" line.
bool startsUnit(const QStringList& words) {
    if (words.isEmpty())
        return false;
    if (words[0] == u"BEGIN" || words[0] == u"DECLARE")
        return true;
    if (words[0] != u"CREATE")
        return false;
    int k = 1;
    if (k + 1 < words.size() && words[k] == u"OR" && words[k + 1] == u"REPLACE")
        k += 2;
    if (k < words.size() && (words[k] == u"EDITIONABLE" || words[k] == u"NONEDITIONABLE"))
        ++k;
    if (k >= words.size())
        return false;
    for (const char16_t* unit :
         {u"PROCEDURE", u"FUNCTION", u"PACKAGE", u"TRIGGER", u"TYPE", u"LIBRARY"}) {
        if (words[k] == QStringView(unit))
            return true;
    }
    return false;
}

// A SQL*Plus line goes on on the next when it ends in " -" (or is "-" alone).
bool continues(QStringView line) {
    const QStringView t = line.trimmed();
    return t.endsWith(u'-') && (t.size() == 1 || t[t.size() - 2].isSpace());
}

QString joined(const QStringList& lines, qsizetype from, qsizetype to) {
    QStringList part;
    for (qsizetype k = from; k < to; ++k)
        part << lines[k];
    return part.join(u'\n');
}

// The lines of a command from `from` on while they continue; their text without the " -".
QString commandLines(const QStringList& lines, qsizetype& i) {
    QStringList parts;
    while (i < lines.size()) {
        QString line = lines[i++];
        const bool more = continues(line);
        if (more)
            line = line.trimmed().chopped(1);
        parts << line.trimmed();
        if (!more)
            break;
    }
    return parts.join(u' ');
}

}  // namespace

QString commandWord(const QString& command) {
    return firstWord(command);
}

std::vector<ScriptPiece> splitScript(const QString& script) {
    std::vector<ScriptPiece> pieces;
    QStringList lines = script.split(u'\n');
    for (QString& line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
    }
    qsizetype i = 0;
    while (i < lines.size()) {
        const QString t = lines[i].trimmed();
        const int lineNumber = int(i + 1);
        // Blank lines, comment lines and a "/" with nothing to run again are passed over.
        if (t.isEmpty() || t == u"/" || t.startsWith(u"--")) {
            ++i;
            continue;
        }
        if (t.startsWith(u"/*")) {
            LineState state;
            qsizetype k = i;
            readLine(lines[k], state);
            while (state.mode == LineState::Mode::Comment && ++k < lines.size())
                readLine(lines[k], state);
            // A comment with code after it on its last line starts a statement there.
            const qsizetype close = lines[qMin(k, lines.size() - 1)].indexOf(u"*/");
            if (k >= lines.size() || lines[k].mid(close + 2).trimmed().isEmpty()) {
                i = k + 1;
                continue;
            }
        }
        if (t.startsWith(u'@')) {
            const bool nested = t.startsWith(u"@@");
            QString file = commandLines(lines, i).mid(nested ? 2 : 1).trimmed();
            pieces.push_back({ScriptPiece::Kind::Include, file, lineNumber, nested});
            continue;
        }
        const QStringList words = firstWords(t, 6);
        if (!words.isEmpty() && (words[0] == u"START" || words[0] == u"STA") && words.size() > 1 &&
            words[1] != u"WITH") {
            const QString line = commandLines(lines, i);
            qsizetype end = 0;
            firstWord(line, &end);
            pieces.push_back(
                {ScriptPiece::Kind::Include, line.mid(end).trimmed(), lineNumber, false});
            continue;
        }
        if (!words.isEmpty() && (words[0] == u"EXEC" || words[0] == u"EXECUTE")) {
            const QString line = commandLines(lines, i);
            qsizetype end = 0;
            firstWord(line, &end);
            QString call = line.mid(end).trimmed();
            while (call.endsWith(u';'))
                call = call.chopped(1).trimmed();
            pieces.push_back({ScriptPiece::Kind::Statement,
                              QStringLiteral("BEGIN ") + call + QStringLiteral("; END;"),
                              lineNumber});
            continue;
        }
        if (isCommand(words)) {
            pieces.push_back({ScriptPiece::Kind::Command, commandLines(lines, i), lineNumber});
            continue;
        }
        const bool unit = startsUnit(words);
        LineState state;
        const qsizetype start = i;
        QString text;
        bool ended = false;
        for (; i < lines.size(); ++i) {
            // A "/" line ends a unit, and a statement not yet ended by ';'.
            if (i > start && state.mode == LineState::Mode::Code && lines[i].trimmed() == u"/") {
                text = joined(lines, start, i);
                ++i;
                ended = true;
                break;
            }
            const qsizetype semicolon = readLine(lines[i], state);
            if (!unit && semicolon >= 0) {
                text = joined(lines, start, i);
                text += (i > start ? QStringLiteral("\n") : QString()) + lines[i].left(semicolon);
                ++i;
                ended = true;
                break;
            }
        }
        if (!ended)
            text = joined(lines, start, lines.size());  // the script's end ends it too
        while (!text.isEmpty() && text.back().isSpace())
            text.chop(1);
        if (!text.trimmed().isEmpty())
            pieces.push_back({ScriptPiece::Kind::Statement, text, lineNumber});
    }
    return pieces;
}

QString substitute(const QString& text, const QHash<QString, QString>& defined,
                   QStringList& missing) {
    QString out;
    out.reserve(text.size());
    qsizetype p = 0;
    while (p < text.size()) {
        const qsizetype amp = text.indexOf(u'&', p);
        if (amp < 0) {
            out += QStringView(text).mid(p);
            break;
        }
        out += QStringView(text).mid(p, amp - p);
        qsizetype q = amp + 1;
        if (q < text.size() && text[q] == u'&')
            ++q;
        const qsizetype nameStart = q;
        while (q < text.size() && isNameCharacter(text[q]))
            ++q;
        if (q == nameStart || !text[nameStart].isLetter()) {
            out += QStringView(text).mid(amp, q - amp);
            p = q;
            continue;
        }
        const QString name = text.mid(nameStart, q - nameStart).toUpper();
        if (q < text.size() && text[q] == u'.')
            ++q;  // the name's end, as SQL*Plus's concatenation character
        const auto value = defined.find(name);
        if (value == defined.end()) {
            if (!missing.contains(name))
                missing << name;
            out += QStringView(text).mid(amp, q - amp);
        } else {
            out += *value;
        }
        p = q;
    }
    return out;
}

}  // namespace qv::sql
