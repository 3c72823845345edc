// The find bar's rules: what matches, where the next and previous matches are, what a
// replacement makes of a match.
#include "core/editor/textsearch.h"
#include "support/checks.h"

using namespace Qt::StringLiterals;
using namespace qv;

namespace {

std::optional<TextSearch> made(const QString& pattern, SearchOptions options = {}) {
    QString error;
    return TextSearch::make(pattern, options, error);
}

}  // namespace

TEST(TextSearch, FindsForwardAndBackwardWrappingAroundWithItsOptions) {
    const QString text = u"select a$b, A, a from t where a = 'a'"_s;
    const std::optional<TextSearch> any = made(u"a"_s);
    ASSERT_TRUE(any);
    EXPECT_EQ(any->next(text, 7), (TextRange{7, 8})) << "at the position itself";
    EXPECT_EQ(any->next(text, 8), (TextRange{12, 13})) << "in any case";
    EXPECT_EQ(any->previous(text, 9), (TextRange{7, 8}));
    EXPECT_EQ(any->next(text, int(text.size())), (TextRange{7, 8})) << "wrapped to the start";
    EXPECT_EQ(any->previous(text, 0), (TextRange{35, 36})) << "wrapped to the end";

    SearchOptions word;
    word.wholeWord = true;
    word.matchCase = true;
    const std::optional<TextSearch> whole = made(u"a"_s, word);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->next(text, 0), (TextRange{15, 16})) << "not in a$b, not A";
    EXPECT_TRUE(whole->matches(text, {15, 16}));
    EXPECT_FALSE(whole->matches(text, {12, 13}));
    EXPECT_FALSE(made(u"zz"_s)->next(text, 0));
}

TEST(TextSearch, RegularExpressionsReplaceWithTheirGroupsAndEveryMatchOnce) {
    SearchOptions re;
    re.regularExpression = true;
    const QString text = u"a = 1\nb = 22"_s;
    const std::optional<TextSearch> pairs = made(u"(\\w) = (\\d+)"_s, re);
    ASSERT_TRUE(pairs);
    const std::vector<TextEdit> edits = pairs->replaceAll(text, u"\\2\\t\\1\\\\"_s);
    ASSERT_EQ(edits.size(), 2u);
    EXPECT_EQ(std::pair(edits[1].range, edits[1].text), std::pair(TextRange{6, 12}, u"22\tb\\"_s));
    EXPECT_EQ(pairs->replacementAt(text, {0, 5}, u"\\0;"_s), u"a = 1;"_s);
    const std::vector<TextEdit> starts = made(u"^"_s, re)->replaceAll(text, u"-- "_s);
    EXPECT_EQ(starts.size(), 2u) << "an empty match at each line start";
    EXPECT_EQ(made(u"a"_s)->replacementAt(text, {0, 1}, u"\\1"_s), u"\\1"_s)
        << "plain text is put as it is";

    QString error;
    EXPECT_FALSE(TextSearch::make(u"(a"_s, re, error));
    EXPECT_TRUE(error.startsWith(u"正規表現が正しくありません: "_s)) << error.toStdString();
    EXPECT_FALSE(TextSearch::make(QString(), {}, error));
}
