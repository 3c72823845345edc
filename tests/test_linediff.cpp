// The lines two texts share: a longest common subsequence, through the table or in linear
// space, a valid one when the search is cut short; the statement differences built from it.
#include "core/history/linediff.h"
#include "core/history/runcomparison.h"

#include <gtest/gtest.h>

#include <random>

using namespace Qt::StringLiterals;
using namespace qv;

namespace {

using Pairs = std::vector<std::pair<int, int>>;

// The length of a longest common subsequence, by the full table.
int longestCommon(const std::vector<int>& a, const std::vector<int>& b) {
    std::vector<std::vector<int>> t(a.size() + 1, std::vector<int>(b.size() + 1, 0));
    for (size_t i = a.size(); i-- > 0;)
        for (size_t j = b.size(); j-- > 0;)
            t[i][j] = a[i] == b[j] ? t[i + 1][j + 1] + 1 : std::max(t[i + 1][j], t[i][j + 1]);
    return t[0][0];
}

// Pairs in order, each of two equal lines.
bool isCommonSubsequence(const Pairs& pairs, const std::vector<int>& a, const std::vector<int>& b) {
    int lastI = -1, lastJ = -1;
    for (const auto& [i, j] : pairs) {
        if (i <= lastI || j <= lastJ || i >= int(a.size()) || j >= int(b.size()) ||
            a[size_t(i)] != b[size_t(j)])
            return false;
        lastI = i;
        lastJ = j;
    }
    return true;
}

// `a` with `edits` random lines replaced, dropped or added, from `words` distinct lines.
std::vector<int> edited(std::vector<int> a, int edits, int words, std::mt19937& random) {
    for (int k = 0; k < edits; ++k) {
        const size_t at = a.empty() ? 0 : random() % a.size();
        const int kind = int(random() % 3);
        if (kind == 0 && !a.empty())
            a[at] = int(random() % words);
        else if (kind == 1 && !a.empty())
            a.erase(a.begin() + long(at));
        else
            a.insert(a.begin() + long(at), int(random() % words));
    }
    return a;
}

QString textOf(const std::vector<int>& lines) {
    QStringList out;
    for (int v : lines)
        out << u"line %1"_s.arg(v);
    return out.join(u'\n');
}

}  // namespace

// Random edits of random texts: the statement differences give back both texts, and keep as
// many lines as the longest common subsequence has, as does the search in linear space.
TEST(LineDiff, RandomEditsGiveBothTextsBackWithTheFewestChanges) {
    std::mt19937 random(4711);
    for (int round = 0; round < 400; ++round) {
        const int words = 1 + round % 7;
        std::vector<int> a(random() % 40);
        for (int& v : a)
            v = int(random() % words);
        const std::vector<int> b = edited(a, int(random() % 12), words, random);
        RecordedRun ra, rb;
        ra.summary.sql = textOf(a);
        rb.summary.sql = textOf(b);
        QStringList gotA, gotB;
        int kept = 0;
        for (const TextLineChange& line : compareRuns(ra, rb).sql) {
            if (line.kind != TextLineChange::Kind::Added)
                gotA << line.text;
            if (line.kind != TextLineChange::Kind::Removed)
                gotB << line.text;
            kept += line.kind == TextLineChange::Kind::Same;
        }
        ASSERT_EQ(gotA.join(u'\n'), ra.summary.sql) << round;
        ASSERT_EQ(gotB.join(u'\n'), rb.summary.sql) << round;
        // An empty text is one empty line, which both share.
        const int longest = longestCommon(a, b);
        ASSERT_EQ(kept, longest + int(a.empty() && b.empty())) << round;
        const Pairs linear = commonLinesInLinearSpace(a, b);
        ASSERT_TRUE(isCommonSubsequence(linear, a, b)) << round;
        ASSERT_EQ(int(linear.size()), longest) << round;
    }
}

// Where the search is cut short, or the texts are long and alike only by chance, the lines
// kept are still common to both, never more than the longest.
TEST(LineDiff, ACutShortSearchStillGivesACommonSubsequence) {
    std::mt19937 random(17);
    for (int round = 0; round < 50; ++round) {
        std::vector<int> a(200 + random() % 200), b(200 + random() % 200);
        for (int& v : a)
            v = int(random() % 4);
        for (int& v : b)
            v = int(random() % 4);
        const Pairs pairs = commonLinesInLinearSpace(a, b, 1 + round % 5);
        EXPECT_TRUE(isCommonSubsequence(pairs, a, b)) << round;
        EXPECT_LE(int(pairs.size()), longestCommon(a, b)) << round;
        EXPECT_GT(pairs.size(), 0u) << round;
    }
    // Beyond the table's size the search goes on in linear space with its own limit.
    std::vector<int> a(5000), b(5000);
    ASSERT_GT(5000LL * 5000LL, kLineTableCells);
    for (int& v : a)
        v = int(random() % 3);
    for (int& v : b)
        v = int(random() % 3);
    EXPECT_TRUE(isCommonSubsequence(commonLines(a, b), a, b));
}

// Of the longest ones: equal lines matched at once, else a line of A dropped before a line of
// B is added.
TEST(LineDiff, OfTheLongestTheOneAWalkFromTheStartMeetsFirst) {
    EXPECT_EQ(commonLines(QStringList{u"x"_s}, QStringList{u"x"_s, u"x"_s}), (Pairs{{0, 0}}));
    EXPECT_EQ(commonLines(QStringList{u"p"_s, u"y"_s}, QStringList{u"q"_s, u"y"_s, u"y"_s}),
              (Pairs{{1, 1}}));
    EXPECT_EQ(commonLines(QStringList{u"a"_s, u"b"_s, u"c"_s}, QStringList{u"b"_s, u"c"_s, u"a"_s}),
              (Pairs{{1, 0}, {2, 1}}));
    EXPECT_EQ(commonLines(std::vector<int>{8, 3, 3, 1}, std::vector<int>{8, 6, 3, 1}),
              (Pairs{{0, 0}, {2, 2}, {3, 3}}));
}
