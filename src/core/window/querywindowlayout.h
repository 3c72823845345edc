#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace qv {

// Outer size in twips of every new query window; also the reference size from which a window
// records its layout margins.
inline constexpr int kQueryWindowWidth = 8550;
inline constexpr int kQueryWindowHeight = 7500;

// A rectangle in twips, relative to the query window's client area.
struct TwipRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const TwipRect&) const = default;
};

// The controls of a query window whose place the layout decides.
enum class Control {
    Bar0,
    SqlHeading,
    SqlEdit,
    Bar1,
    ExecuteButton,
    ResultHeading,
    ResultGrid,
    ResultMessage,
    Bar2,
    CountLabel,
    StatsHeading,
    StatsGrid,
    StatsMessage,
    Bar3,
    PlanHeading,
    PlanGrid,
    PlanMessage,
    Bar4,
    Count
};

inline constexpr int kControlCount = static_cast<int>(Control::Count);

// Geometry of one query window in twips: where every control starts, and the margins the
// window keeps to its right and bottom edges.
class QueryWindowLayout {
  public:
    QueryWindowLayout();

    const TwipRect& rect(Control c) const { return rects_[static_cast<std::size_t>(c)]; }
    TwipRect& rect(Control c) { return rects_[static_cast<std::size_t>(c)]; }

    static TwipRect initialRect(Control c);
    static Control barControl(int k);

    // Distances from the reference size (kQueryWindowWidth by kQueryWindowHeight) recorded when the
    // window loads; the resize rule keeps them.
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
    // Also takes the reference size as the window's size until resize() says otherwise.
    void recordMargins(int refWidth, int refHeight);
    const Margins& margins() const { return margins_; }
    Margins& margins() { return margins_; }

    // The window's outer size changed to W by H: the SQL box and the grids stretch with the
    // width, the button and the count label keep their distance from the right edge, the plan
    // grid takes the height and bar 4 follows the bottom. A value that would be 0 or less is
    // not assigned, so a tiny window keeps the last usable geometry.
    void resize(int outerWidth, int outerHeight);
    int outerHeight() const { return outerHeight_; }

    // The plan grid's height when the window is as short as it may be, unless the window
    // says what three of its rows take: what a drop of bar 3 next to bar 4 leaves it.
    static constexpr int kMinPlanGridHeight = 250;
    // Room kept between a heading and the label or button beside it.
    static constexpr int kHeadingGap = 60;
    struct OuterSize {
        int width = 0;
        int height = 0;
    };
    // What the window measures of itself for minimumOuterSize(), in twips; 0 where it has
    // nothing to say.
    struct Measured {
        int statsHeadingWidth = 0;   // the headings' texts in the font that stands in, when
        int resultHeadingWidth = 0;  // wider than the table says
        int planGridHeight = 0;      // what the plan grid needs to show three rows
        int chrome = 0;  // outer height not in the client area, plus the status bar's height
    };
    // The smallest outer size at which the resize rule still lays every control out apart and
    // inside the window: the plan grid keeps kMinPlanGridHeight (whatever bar 3's last drop
    // left as its bottom margin) and, up to a new window's height, the height measured for its
    // rows above the status bar; the count label starts right of the statistics heading and
    // the button right of the result heading. Above this size the resize rule applies
    // unchanged.
    OuterSize minimumOuterSize(const Measured& measured) const;
    OuterSize minimumOuterSize() const;

    // Only the inner bars 1 to 3 can be dragged; bars 0 and 4 ignore the mouse.
    static bool isMovableBar(int k) { return k >= 1 && k <= 3; }
    // Closest two neighbouring bars may come after a drop.
    static constexpr int kMinBarDistance = 550;

    struct DragState {
        bool dragging = false;
        int16_t index = 0;
        float startTop = 0;
        float dropTop = 0;
    };
    const DragState& drag() const { return drag_; }
    // Bars 1 to 3 show a single-line border while one of them is dragged.
    bool barsFramed() const { return barsFramed_; }

    // A mouse button went down on bar k; ignored for bars other than 1 to 3.
    void pressBar(int k);
    // The pointer moved to `yInBar` twips below the dragged bar's top; the bar follows it.
    void moveBar(float yInBar);
    // The button came up: the drop is kept at least kMinBarDistance from the neighbouring bars
    // and the panes around the bar are laid out again, or, when the bar would leave no room
    // above it, the bar goes back to where the drag started. Returns whether the drop was
    // accepted; false also when no drag was in progress.
    bool releaseBar();

  private:
    int barTop(int k) const { return rect(barControl(k)).top; }
    void layOutBelowBar(int i, int t);

    std::array<TwipRect, kControlCount> rects_;
    Margins margins_;
    int outerHeight_ = 0;
    DragState drag_;
    bool barsFramed_ = false;
};

}  // namespace qv
