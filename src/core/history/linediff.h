#pragma once

#include <QStringList>

#include <utility>
#include <vector>

namespace qv {

// Inputs up to this many pairs of lines (lines of a times lines of b) are matched with a table
// of one bit per pair, 2 MB at most; larger ones in linear space.
inline constexpr long long kLineTableCells = 1LL << 24;

// The lines two texts share, as pairs of positions (i in a, j in b, a[i] == b[j]), in order: a
// longest common subsequence. Of several, the one met by a walk from the start that matches
// equal lines at once and otherwise drops a line of a before it adds a line of b, as long as
// that still leads to a longest one. Larger inputs than kLineTableCells go to
// commonLinesInLinearSpace.
std::vector<std::pair<int, int>> commonLines(const std::vector<int>& a, const std::vector<int>& b);
// The same for texts: equal strings are equal lines.
std::vector<std::pair<int, int>> commonLines(const QStringList& a, const QStringList& b);

// The same in space linear in the lines and in time that grows with the lines times the
// differences (Myers' O(ND) algorithm, by its middle snake). Of several longest ones, the
// common start is matched line by line and each line of b is matched as early as it can be.
//
// When the two differ almost everywhere, each halving of the problem gives up searching for
// the best split after `costLimit` differences and takes the furthest point reached: the
// result is still a common subsequence, so a valid difference, but not necessarily the
// longest. 0 chooses a limit from the input's size that keeps the whole search to about 2^24
// steps or 256 per line, whichever is more; two texts of up to 2,900 lines each (not counting
// lines that have no equal on the other side) always get a longest one.
std::vector<std::pair<int, int>> commonLinesInLinearSpace(const std::vector<int>& a,
                                                          const std::vector<int>& b,
                                                          int costLimit = 0);

// The lines of two texts as numbers, equal lines as equal numbers.
std::pair<std::vector<int>, std::vector<int>> lineIds(const QStringList& a, const QStringList& b);

}  // namespace qv
