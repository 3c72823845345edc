#include "core/editor/textsearch.h"

namespace qv {

namespace {

// A name's characters, as SQL's names have them.
const QString kWordChar = QStringLiteral("[\\p{L}\\p{N}_$#]");

}  // namespace

std::optional<TextSearch> TextSearch::make(const QString& pattern, const SearchOptions& options,
                                           QString& error) {
    if (pattern.isEmpty()) {
        error = QStringLiteral("検索する文字列を入力してください。");
        return std::nullopt;
    }
    QString source = options.regularExpression ? pattern : QRegularExpression::escape(pattern);
    if (options.wholeWord)
        source = QStringLiteral("(?<!%1)(?:%2)(?!%1)").arg(kWordChar, source);
    QRegularExpression::PatternOptions flags =
        QRegularExpression::UseUnicodePropertiesOption | QRegularExpression::MultilineOption;
    if (!options.matchCase)
        flags |= QRegularExpression::CaseInsensitiveOption;
    QRegularExpression re(source, flags);
    if (!re.isValid()) {
        error = QStringLiteral("正規表現が正しくありません: %1").arg(re.errorString());
        return std::nullopt;
    }
    re.optimize();
    return TextSearch(std::move(re), options.regularExpression);
}

std::optional<TextRange> TextSearch::next(const QString& text, qsizetype from) const {
    for (const qsizetype start : {from, qsizetype(0)}) {
        const QRegularExpressionMatch m = re_.match(text, start);
        if (m.hasMatch())
            return TextRange{m.capturedStart(), m.capturedEnd()};
    }
    return std::nullopt;
}

std::optional<TextRange> TextSearch::previous(const QString& text, qsizetype from) const {
    std::optional<TextRange> before, last;
    for (auto it = re_.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        last = TextRange{m.capturedStart(), m.capturedEnd()};
        if (last->end <= from && last->begin < from)
            before = last;
    }
    return before ? before : last;
}

bool TextSearch::matches(const QString& text, TextRange range) const {
    const QRegularExpressionMatch m = re_.match(text, range.begin, QRegularExpression::NormalMatch,
                                                QRegularExpression::AnchorAtOffsetMatchOption);
    return m.hasMatch() && m.capturedEnd() == range.end;
}

QString TextSearch::replacementAt(const QString& text, TextRange range,
                                  const QString& replacement) const {
    const QRegularExpressionMatch m = re_.match(text, range.begin, QRegularExpression::NormalMatch,
                                                QRegularExpression::AnchorAtOffsetMatchOption);
    return m.hasMatch() ? expand(m, replacement) : replacement;
}

std::vector<TextEdit> TextSearch::replaceAll(const QString& text,
                                             const QString& replacement) const {
    std::vector<TextEdit> edits;
    for (auto it = re_.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        edits.push_back({{m.capturedStart(), m.capturedEnd()}, expand(m, replacement)});
    }
    return edits;
}

QString TextSearch::expand(const QRegularExpressionMatch& m, const QString& replacement) const {
    if (!regular_)
        return replacement;
    QString out;
    out.reserve(replacement.size());
    for (qsizetype i = 0; i < replacement.size(); ++i) {
        const QChar c = replacement[i];
        if (c != u'\\' || i + 1 == replacement.size()) {
            out += c;
            continue;
        }
        const QChar n = replacement[++i];
        if (n.isDigit())
            out += m.captured(n.digitValue());
        else if (n == u'n')
            out += u'\n';
        else if (n == u't')
            out += u'\t';
        else
            out += n;
    }
    return out;
}

}  // namespace qv
