#pragma once

#include <array>
#include <cstddef>

namespace qv {

// A rectangle in twips, relative to the query window's client area.
struct TwipRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const TwipRect&) const = default;
};

// The controls of a query window whose place the layout decides.
enum class Ctl {
    Split0,
    Label2,
    TxtSQL,
    Split1,
    CmdExec,
    LblLabel1,
    GrdData,
    LblQMessage,
    Split2,
    LblCount,
    LblLabel2,
    GrdStats,
    LblSMessage,
    Split3,
    LblLabel3,
    GrdExplan,
    LblEMessage,
    Split4,
    Count
};

inline constexpr int kCtlCount = static_cast<int>(Ctl::Count);

// Geometry of one query window in twips: where every control starts, and the margins the
// window keeps to its right and bottom edges.
class QueryWindowLayout {
public:
    QueryWindowLayout();

    const TwipRect& rect(Ctl c) const { return rects_[static_cast<std::size_t>(c)]; }
    TwipRect& rect(Ctl c) { return rects_[static_cast<std::size_t>(c)]; }

    static TwipRect initialRect(Ctl c);
    static Ctl splitBar(int k);

    // Distances from the reference size (gMainWidth by gMainHeight) recorded when the window
    // loads; the resize rule keeps them.
    struct Margins {
        int button = 0;
        int planGridWidth = 0;
        int planGridHeight = 0;
        int sqlWidth = 0;
        int dataGridWidth = 0;
        int count = 0;
        int statsGridWidth = 0;
        int bottomBar = 0;
    };
    void recordMargins(int refWidth, int refHeight);
    const Margins& margins() const { return margins_; }
    Margins& margins() { return margins_; }

private:
    std::array<TwipRect, kCtlCount> rects_;
    Margins margins_;
};

}  // namespace qv
