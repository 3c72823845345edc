#pragma once

#include <QRegularExpression>
#include <QString>

#include <optional>
#include <vector>

namespace qv {

// How the find bar reads what it is given to find.
struct SearchOptions {
    bool matchCase = false;
    bool wholeWord = false;  // not inside a longer name: letters, digits, _, $ and # around it
    bool regularExpression = false;
};

// A piece of the text, in UTF-16 positions [begin, end).
struct TextRange {
    qsizetype begin = 0;
    qsizetype end = 0;
    bool operator==(const TextRange&) const = default;
};

// One replacement of a text range by `text`.
struct TextEdit {
    TextRange range;
    QString text;
};

// What the find bar looks for, made once from its fields. Searches wrap around the text's end.
class TextSearch {
  public:
    // Nullopt and `error` set to the message to show when `pattern` is empty or, as a regular
    // expression, does not compile.
    static std::optional<TextSearch> make(const QString& pattern, const SearchOptions& options,
                                          QString& error);

    // The first match starting at or after `from`, else the first one in the text.
    std::optional<TextRange> next(const QString& text, qsizetype from) const;
    // The last match ending at or before `from`, else the last one in the text.
    std::optional<TextRange> previous(const QString& text, qsizetype from) const;
    // Whether `range` is exactly a match (the selection 置換 replaces).
    bool matches(const QString& text, TextRange range) const;
    // What `replacement` makes of the match at `range`: with a regular expression \0 to \9
    // stand for the match and its groups, \n and \t for a line feed and a tab, \\ for \.
    QString replacementAt(const QString& text, TextRange range, const QString& replacement) const;
    // Every match and its replacement, in order; an empty match is replaced too, and the search
    // goes on after it.
    std::vector<TextEdit> replaceAll(const QString& text, const QString& replacement) const;

  private:
    explicit TextSearch(QRegularExpression re, bool regular)
        : re_(std::move(re)), regular_(regular) {}
    QString expand(const QRegularExpressionMatch& m, const QString& replacement) const;

    QRegularExpression re_;
    bool regular_ = false;
};

// The message when nothing matches.
inline const QString kMsgNotFound = QStringLiteral("見つかりません: %1");
// The status after すべて置換 (%1: how many).
inline const QString kMsgReplaced = QStringLiteral("%1 か所を置換しました");

}  // namespace qv
