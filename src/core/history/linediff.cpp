#include "core/history/linediff.h"

#include <QHash>

#include <algorithm>
#include <climits>
#include <unordered_map>

namespace qv {

namespace {

// A box of the edit graph still to be aligned: lines [xBegin, xEnd) of a against [yBegin, yEnd)
// of b.
struct Box {
    int xBegin, xEnd, yBegin, yEnd;
};

// Myers' divide and conquer: the middle snake of each box splits it into two smaller boxes
// until what is left is a run of equal lines or lines of one side only. Only the two
// furthest-reaching frontiers are kept, one int per diagonal each.
class Differ {
  public:
    Differ(const std::vector<int>& a, const std::vector<int>& b, int costLimit)
        : a_(a),
          b_(b),
          costLimit_(costLimit),
          offset_(int(b.size()) + 1),
          forward_(a.size() + b.size() + 3),
          backward_(a.size() + b.size() + 3) {}

    std::vector<std::pair<int, int>> run() {
        std::vector<Box> pending{{0, int(a_.size()), 0, int(b_.size())}};
        while (!pending.empty()) {
            Box box = pending.back();
            pending.pop_back();
            matchEnds(box);
            if (box.xBegin == box.xEnd || box.yBegin == box.yEnd)
                continue;
            const auto [x, y] = split(box);
            // A split at a corner would leave the box as it is; its lines then stay unmatched.
            if ((x == box.xBegin && y == box.yBegin) || (x == box.xEnd && y == box.yEnd))
                continue;
            pending.push_back({x, box.xEnd, y, box.yEnd});
            pending.push_back({box.xBegin, x, box.yBegin, y});
        }
        std::sort(pairs_.begin(), pairs_.end());
        return std::move(pairs_);
    }

  private:
    // Matches the equal lines at the start, then at the end, and leaves the box between.
    void matchEnds(Box& box) {
        while (box.xBegin < box.xEnd && box.yBegin < box.yEnd && a_[box.xBegin] == b_[box.yBegin])
            pairs_.emplace_back(box.xBegin++, box.yBegin++);
        while (box.xBegin < box.xEnd && box.yBegin < box.yEnd &&
               a_[box.xEnd - 1] == b_[box.yEnd - 1])
            pairs_.emplace_back(--box.xEnd, --box.yEnd);
    }

    int& fwd(int diagonal) { return forward_[size_t(diagonal + offset_)]; }
    int& bwd(int diagonal) { return backward_[size_t(diagonal + offset_)]; }

    // A point that an optimal path through `box` passes (the end of the middle snake), or,
    // once `costLimit_` differences were searched, the point nearest to either corner reached.
    // Diagonal d holds the points with x - y == d; the forward search runs from the top-left
    // corner, the backward one from the bottom-right, one difference more per round each.
    std::pair<int, int> split(const Box& box) {
        const int lowest = box.xBegin - box.yEnd, highest = box.xEnd - box.yBegin;
        const int forwardMid = box.xBegin - box.yBegin, backwardMid = box.xEnd - box.yEnd;
        int fMin = forwardMid, fMax = forwardMid, bMin = backwardMid, bMax = backwardMid;
        const bool odd = (forwardMid - backwardMid) & 1;
        fwd(forwardMid) = box.xBegin;
        bwd(backwardMid) = box.xEnd;
        for (int cost = 1;; ++cost) {
            // Widen the searched diagonals by one each way while the box has them; outside,
            // a sentinel that loses every comparison.
            fMin > lowest ? fwd(--fMin - 1) = -1 : ++fMin;
            fMax < highest ? fwd(++fMax + 1) = -1 : --fMax;
            for (int d = fMax; d >= fMin; d -= 2) {
                // Coming from the diagonal below drops a line of a; preferred on a tie.
                const int fromBelow = fwd(d - 1), fromAbove = fwd(d + 1);
                int x = fromBelow < fromAbove ? fromAbove : fromBelow + 1;
                int y = x - d;
                while (x < box.xEnd && y < box.yEnd && a_[x] == b_[y])
                    ++x, ++y;
                fwd(d) = x;
                if (odd && bMin <= d && d <= bMax && bwd(d) <= x)
                    return {x, y};
            }
            bMin > lowest ? bwd(--bMin - 1) = INT_MAX : ++bMin;
            bMax < highest ? bwd(++bMax + 1) = INT_MAX : --bMax;
            for (int d = bMax; d >= bMin; d -= 2) {
                const int fromBelow = bwd(d - 1), fromAbove = bwd(d + 1);
                int x = fromBelow < fromAbove ? fromBelow : fromAbove - 1;
                int y = x - d;
                while (x > box.xBegin && y > box.yBegin && a_[x - 1] == b_[y - 1])
                    --x, --y;
                bwd(d) = x;
                if (!odd && fMin <= d && d <= fMax && x <= fwd(d))
                    return {x, y};
            }
            if (cost >= costLimit_)
                return furthestPoint(box, fMin, fMax, bMin, bMax);
        }
    }

    // Of the two frontiers, the point that got furthest from its own corner.
    std::pair<int, int> furthestPoint(const Box& box, int fMin, int fMax, int bMin, int bMax) {
        long long forwardBest = -1, forwardX = box.xBegin;
        for (int d = fMax; d >= fMin; d -= 2) {
            int x = std::min(fwd(d), box.xEnd), y = x - d;
            if (y > box.yEnd)
                x = box.yEnd + d, y = box.yEnd;
            if (forwardBest < x + y)
                forwardBest = x + y, forwardX = x;
        }
        long long backwardBest = LLONG_MAX, backwardX = box.xEnd;
        for (int d = bMax; d >= bMin; d -= 2) {
            int x = std::max(bwd(d), box.xBegin), y = x - d;
            if (y < box.yBegin)
                x = box.yBegin + d, y = box.yBegin;
            if (x + y < backwardBest)
                backwardBest = x + y, backwardX = x;
        }
        if (forwardBest - (box.xBegin + box.yBegin) > (box.xEnd + box.yEnd) - backwardBest)
            return {int(forwardX), int(forwardBest - forwardX)};
        return {int(backwardX), int(backwardBest - backwardX)};
    }

    const std::vector<int>& a_;
    const std::vector<int>& b_;
    const int costLimit_;
    const int offset_;
    std::vector<int> forward_, backward_;
    std::vector<std::pair<int, int>> pairs_;
};

// The limit of the search for one split. The whole search costs about the lines times the
// limit, so the limit shrinks as the lines grow, down to 256; up to 4096 lines in all it
// never cuts a search short.
int defaultCostLimit(size_t lines) {
    constexpr size_t kWork = size_t(1) << 24;
    return int(std::clamp(kWork / std::max<size_t>(lines, 1), size_t(256), size_t(4096)));
}

// The walk through the full table of longest common suffixes. Only the choice at each pair of
// unequal lines is kept (drop the line of a, or add the line of b), one bit per pair; the
// lengths need two rows.
std::vector<std::pair<int, int>> commonLinesByTable(const std::vector<int>& a,
                                                    const std::vector<int>& b) {
    const size_t n = a.size(), m = b.size();
    std::vector<bool> dropA(n * m);
    std::vector<int> below(m + 1, 0), row(m + 1, 0);
    for (size_t i = n; i-- > 0;) {
        row[m] = 0;
        for (size_t j = m; j-- > 0;) {
            if (a[i] == b[j]) {
                row[j] = below[j + 1] + 1;
            } else {
                const bool drop = below[j] >= row[j + 1];
                dropA[i * m + j] = drop;
                row[j] = drop ? below[j] : row[j + 1];
            }
        }
        std::swap(row, below);
    }
    std::vector<std::pair<int, int>> pairs;
    size_t i = 0, j = 0;
    while (i < n && j < m) {
        if (a[i] == b[j])
            pairs.emplace_back(int(i++), int(j++));
        else if (dropA[i * m + j])
            ++i;
        else
            ++j;
    }
    return pairs;
}

}  // namespace

std::vector<std::pair<int, int>> commonLines(const std::vector<int>& a, const std::vector<int>& b) {
    if (static_cast<long long>(a.size()) * static_cast<long long>(b.size()) <= kLineTableCells)
        return commonLinesByTable(a, b);
    return commonLinesInLinearSpace(a, b);
}

std::vector<std::pair<int, int>> commonLinesInLinearSpace(const std::vector<int>& a,
                                                          const std::vector<int>& b,
                                                          int costLimit) {
    // A line without an equal on the other side is never matched: leaving such lines out
    // changes nothing in the result and shrinks texts that differ almost everywhere.
    std::unordered_map<int, int> seen;  // bit 1: in a, bit 2: in b
    for (int v : a)
        seen[v] |= 1;
    for (int v : b)
        seen[v] |= 2;
    std::vector<int> keptA, keptB, whereA, whereB;
    for (int i = 0; i < int(a.size()); ++i) {
        if (seen[a[size_t(i)]] == 3)
            keptA.push_back(a[size_t(i)]), whereA.push_back(i);
    }
    for (int j = 0; j < int(b.size()); ++j) {
        if (seen[b[size_t(j)]] == 3)
            keptB.push_back(b[size_t(j)]), whereB.push_back(j);
    }
    if (costLimit <= 0)
        costLimit = defaultCostLimit(keptA.size() + keptB.size());
    std::vector<std::pair<int, int>> pairs = Differ(keptA, keptB, costLimit).run();
    // Where a line of b equals an earlier one that nothing matches, the earlier one is matched
    // instead: the same length, the lines of b matched as early as they can be.
    int previous = -1;
    for (auto& [i, j] : pairs) {
        i = whereA[size_t(i)];
        j = whereB[size_t(j)];
        for (int k = previous + 1; k < j; ++k) {
            if (b[size_t(k)] == b[size_t(j)]) {
                j = k;
                break;
            }
        }
        previous = j;
    }
    return pairs;
}

std::pair<std::vector<int>, std::vector<int>> lineIds(const QStringList& a, const QStringList& b) {
    QHash<QString, int> ids;
    auto idsOf = [&ids](const QStringList& lines) {
        std::vector<int> out;
        out.reserve(size_t(lines.size()));
        for (const QString& line : lines) {
            auto it = ids.constFind(line);
            if (it == ids.constEnd())
                it = ids.insert(line, int(ids.size()));
            out.push_back(*it);
        }
        return out;
    };
    std::vector<int> x = idsOf(a);
    return {std::move(x), idsOf(b)};
}

std::vector<std::pair<int, int>> commonLines(const QStringList& a, const QStringList& b) {
    const auto [x, y] = lineIds(a, b);
    return commonLines(x, y);
}

}  // namespace qv
