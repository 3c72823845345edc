#include "gui/sqlhighlighter.h"

#include <QColor>
#include <QFont>
#include <QSet>
#include <QString>

namespace qv {

namespace {

// Oracle's reserved words, and the keywords a statement to tune is mostly made of. Words that
// often name columns (NAME, STATUS, TYPE, VALUE...) are left out.
const char kKeywords[] =
    // Reserved words.
    "ACCESS ADD ALL ALTER AND ANY AS ASC AUDIT BETWEEN BY CHAR CHECK CLUSTER COLUMN COMMENT "
    "COMPRESS CONNECT CREATE CURRENT DATE DECIMAL DEFAULT DELETE DESC DISTINCT DROP ELSE "
    "EXCLUSIVE EXISTS FLOAT FOR FROM GRANT GROUP HAVING IDENTIFIED IMMEDIATE IN INCREMENT "
    "INDEX INITIAL INSERT INTEGER INTERSECT INTO IS LEVEL LIKE LOCK LONG MAXEXTENTS MINUS "
    "MODE MODIFY NOAUDIT NOCOMPRESS NOT NOWAIT NULL NUMBER OF OFFLINE ON ONLINE OPTION OR "
    "ORDER PCTFREE PRIOR PUBLIC RAW RENAME RESOURCE REVOKE ROW ROWID ROWNUM ROWS SELECT "
    "SESSION SET SHARE SMALLINT START SYNONYM SYSDATE TABLE THEN TO TRIGGER UID UNION UNIQUE "
    "UPDATE USER VALIDATE VALUES VARCHAR VARCHAR2 VIEW WHENEVER WHERE WITH "
    // Joins, clauses and expressions.
    "JOIN INNER OUTER LEFT RIGHT FULL CROSS NATURAL USING CASE WHEN END FETCH FIRST NEXT "
    "ONLY OFFSET PERCENT TIES OVER PARTITION RANGE UNBOUNDED PRECEDING FOLLOWING NULLS LAST "
    "ROLLUP CUBE GROUPING SETS PIVOT UNPIVOT LATERAL APPLY NOCYCLE SIBLINGS CONNECT_BY_ROOT "
    "MERGE MATCHED RETURNING ESCAPE SOME CAST INTERVAL TIMESTAMP SYSTIMESTAMP MODEL "
    "DIMENSION MEASURES KEEP DENSE_RANK WITHIN SAMPLE SEED EXCEPT "
    // Statements and their clauses.
    "TRUNCATE COMMIT ROLLBACK SAVEPOINT EXPLAIN PLAN ANALYZE PURGE PRIMARY KEY FOREIGN "
    "REFERENCES CONSTRAINT CASCADE ENABLE DISABLE TEMPORARY GLOBAL PRESERVE SEQUENCE "
    "MATERIALIZED REPLACE NOLOGGING PARALLEL NOPARALLEL TABLESPACE BEGIN DECLARE EXCEPTION "
    "EXECUTE "
    // Types.
    "NCHAR NVARCHAR2 CLOB NCLOB BLOB BFILE BINARY_FLOAT BINARY_DOUBLE NUMERIC INT REAL "
    "DOUBLE PRECISION ZONE LOCAL YEAR MONTH DAY HOUR MINUTE SECOND";

const QSet<QString>& keywords() {
    static const QSet<QString> set = [] {
        QSet<QString> s;
        for (const QString& k : QString::fromLatin1(kKeywords).split(u' ', Qt::SkipEmptyParts))
            s.insert(k);
        return s;
    }();
    return set;
}

bool isLineEnd(QChar c) {
    return c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

bool startsWord(QChar c) {
    return c.isLetter() || c == u'_';
}

bool continuesWord(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c == u'$' || c == u'#';
}

bool isDigit(QStringView s, qsizetype i) {
    return i < s.size() && s[i] >= u'0' && s[i] <= u'9';
}

// The closing character of a q'X...X' string that opens with X.
char32_t qQuoteCloser(char32_t open) {
    switch (open) {
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

// The end (one past) of what was opened before `from` and is still open in `state`; -1 when
// the text ends before it does.
qsizetype closeOf(QStringView s, qsizetype from, int state) {
    const qsizetype n = s.size();
    switch (state) {
        case kSqlInString:
            for (qsizetype i = from; i < n; ++i) {
                if (s[i] != u'\'')
                    continue;
                if (i + 1 < n && s[i + 1] == u'\'') {
                    ++i;  // '' is a quote inside the string
                    continue;
                }
                return i + 1;
            }
            return -1;
        case kSqlInQuotedIdentifier: {
            const qsizetype i = s.indexOf(u'"', from);
            return i < 0 ? -1 : i + 1;
        }
        case kSqlInComment: {
            const qsizetype i = s.indexOf(u"*/", from);
            return i < 0 ? -1 : i + 2;
        }
        default: {
            // The closing character (a code point, which may take two UTF-16 units), then '.
            const char32_t closer = char32_t(state - kSqlInQQuote);
            const QString end = QString::fromUcs4(&closer, 1) + u'\'';
            const qsizetype i = s.indexOf(end, from);
            return i < 0 ? -1 : i + end.size();
        }
    }
}

SqlToken tokenOf(int state) {
    return state == kSqlInQuotedIdentifier ? SqlToken::QuotedIdentifier
           : state == kSqlInComment        ? SqlToken::Comment
                                           : SqlToken::String;
}

}  // namespace

bool isSqlKeyword(QStringView word) {
    return keywords().contains(word.toString().toUpper());
}

int scanSql(QStringView s, int state, const SqlTokenSink& sink) {
    const qsizetype n = s.size();
    qsizetype i = 0;
    // Runs from `start` to the end of what `open` opened at `body`; the state the text ends in.
    auto runOpen = [&](qsizetype start, qsizetype body, int open) {
        const qsizetype end = closeOf(s, body, open);
        sink(tokenOf(open), start, (end < 0 ? n : end) - start);
        i = end;
        return end < 0 ? open : int(kSqlInCode);
    };
    if (state > kSqlInCode && runOpen(0, 0, state) != kSqlInCode)
        return state;
    while (i < n) {
        const QChar c = s[i];
        const QChar next = i + 1 < n ? s[i + 1] : QChar();
        if (c.isSpace()) {
            ++i;
        } else if (c == u'-' && next == u'-') {
            qsizetype end = i + 2;
            while (end < n && !isLineEnd(s[end]))
                ++end;
            sink(SqlToken::Comment, i, end - i);
            i = end;
        } else if (c == u'/' && next == u'*') {
            if (runOpen(i, i + 2, kSqlInComment) != kSqlInCode)
                return kSqlInComment;
        } else if (c == u'"') {
            if (runOpen(i, i + 1, kSqlInQuotedIdentifier) != kSqlInCode)
                return kSqlInQuotedIdentifier;
        } else if (c == u'\'' || ((c == u'n' || c == u'N') && next == u'\'')) {
            if (runOpen(i, c == u'\'' ? i + 1 : i + 2, kSqlInString) != kSqlInCode)
                return kSqlInString;
        } else if (startsWord(c)) {
            // q'X...X' and nq'X...X': a string whose quotes are X (or a bracket pair).
            const qsizetype q = (c == u'n' || c == u'N') ? i + 1 : i;
            if (q + 2 < n && (s[q] == u'q' || s[q] == u'Q') && s[q + 1] == u'\'' &&
                !s[q + 2].isSpace()) {
                const bool pair =
                    s[q + 2].isHighSurrogate() && q + 3 < n && s[q + 3].isLowSurrogate();
                const char32_t delimiter =
                    pair ? QChar::surrogateToUcs4(s[q + 2], s[q + 3]) : s[q + 2].unicode();
                const int open = kSqlInQQuote + int(qQuoteCloser(delimiter));
                if (runOpen(i, q + (pair ? 4 : 3), open) != kSqlInCode)
                    return open;
                continue;
            }
            qsizetype end = i + 1;
            while (end < n && continuesWord(s[end]))
                ++end;
            const QStringView word = s.sliced(i, end - i);
            sink(isSqlKeyword(word) ? SqlToken::Keyword : SqlToken::Identifier, i, end - i);
            i = end;
        } else if (isDigit(s, i) || (c == u'.' && isDigit(s, i + 1))) {
            // 12, 1.5, .5, 1., 1e6, 2.5E-3
            qsizetype end = i;
            while (isDigit(s, end))
                ++end;
            if (end < n && s[end] == u'.' && !(end + 1 < n && s[end + 1] == u'.')) {
                ++end;
                while (isDigit(s, end))
                    ++end;
            }
            if (end < n && (s[end] == u'e' || s[end] == u'E')) {
                qsizetype exp = end + 1;
                if (exp < n && (s[exp] == u'+' || s[exp] == u'-'))
                    ++exp;
                if (isDigit(s, exp)) {
                    end = exp;
                    while (isDigit(s, end))
                        ++end;
                }
            }
            sink(SqlToken::Number, i, end - i);
            i = end;
        } else {
            sink(SqlToken::Other, i, 1);
            ++i;
        }
    }
    return kSqlInCode;
}

SqlHighlighter::SqlHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {
    keyword_.setForeground(QColor(0x00, 0x00, 0x8b));
    keyword_.setFontWeight(QFont::Bold);
    string_.setForeground(QColor(0xa3, 0x15, 0x15));
    comment_.setForeground(QColor(0x00, 0x80, 0x00));
    comment_.setFontItalic(true);
    number_.setForeground(QColor(0x00, 0x7a, 0x7a));
}

QTextCharFormat SqlHighlighter::formatFor(SqlToken kind) const {
    switch (kind) {
        case SqlToken::Keyword:
            return keyword_;
        case SqlToken::String:
            return string_;
        case SqlToken::Comment:
            return comment_;
        case SqlToken::Number:
            return number_;
        default:
            return QTextCharFormat();
    }
}

void SqlHighlighter::highlightBlock(const QString& text) {
    const int end = scanSql(text, previousBlockState(),
                            [this](SqlToken kind, qsizetype start, qsizetype length) {
                                const QTextCharFormat f = formatFor(kind);
                                if (f.propertyCount() > 0)
                                    setFormat(int(start), int(length), f);
                            });
    setCurrentBlockState(end);
}

}  // namespace qv
