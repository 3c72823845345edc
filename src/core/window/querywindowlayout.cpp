#include "core/window/querywindowlayout.h"

#include <algorithm>
#include <cmath>

namespace qv {

// The geometry table reads best one control a line.
// clang-format off
TwipRect QueryWindowLayout::initialRect(Control c) {
    switch (c) {
    case Control::Bar0: return {0, 0, 8775, 60};
    case Control::SqlHeading: return {120, 120, 270, 180};
    case Control::SqlEdit: return {120, 300, 8175, 1335};
    case Control::Bar1: return {0, 1620, 8775, 60};
    case Control::ExecuteButton: return {6960, 1680, 1335, 315};
    case Control::ResultHeading: return {120, 1920, 450, 180};
    case Control::ResultGrid: return {120, 2100, 8175, 1455};
    case Control::ResultMessage: return {120, 2100, 8295, 495};
    case Control::Bar2: return {0, 3540, 8775, 60};
    case Control::CountLabel: return {1560, 3600, 6735, 255};
    case Control::StatsHeading: return {120, 3660, 450, 180};
    case Control::StatsGrid: return {120, 3840, 8175, 1095};
    case Control::StatsMessage: return {120, 3840, 8295, 495};
    case Control::Bar3: return {0, 4920, 8775, 60};
    case Control::PlanHeading: return {120, 5040, 1260, 180};
    case Control::PlanGrid: return {120, 5220, 8175, 1455};
    case Control::PlanMessage: return {120, 5220, 8295, 495};
    case Control::Bar4: return {120, 6720, 8775, 60};
    case Control::Count: break;
    }
    return {};
}

Control QueryWindowLayout::barControl(int k) {
    switch (k) {
    case 0: return Control::Bar0;
    case 1: return Control::Bar1;
    case 2: return Control::Bar2;
    case 3: return Control::Bar3;
    default: return Control::Bar4;
    }
}
// clang-format on

QueryWindowLayout::QueryWindowLayout() {
    for (int i = 0; i < kControlCount; ++i)
        rects_[static_cast<std::size_t>(i)] = initialRect(static_cast<Control>(i));
}

void QueryWindowLayout::recordMargins(int refWidth, int refHeight) {
    margins_.button = refWidth - rect(Control::ExecuteButton).left;
    margins_.planGridWidth = refWidth - rect(Control::PlanGrid).width;
    margins_.planGridHeight = refHeight - rect(Control::PlanGrid).height;
    margins_.sqlWidth = refWidth - rect(Control::SqlEdit).width;
    margins_.dataGridWidth = refWidth - rect(Control::ResultGrid).width;
    margins_.count = refWidth - rect(Control::CountLabel).left;
    margins_.statsGridWidth = refWidth - rect(Control::StatsGrid).width;
    margins_.bottomBar = refHeight - rect(Control::Bar4).top;
    outerHeight_ = refHeight;
}

void QueryWindowLayout::resize(int outerWidth, int outerHeight) {
    outerHeight_ = outerHeight;
    auto assign = [](int& field, int value) {
        if (value > 0)
            field = value;
    };
    const int w = outerWidth;
    const int h = outerHeight;
    assign(rect(Control::PlanGrid).width, w - margins_.planGridWidth);
    assign(rect(Control::PlanGrid).height, h - margins_.planGridHeight);
    assign(rect(Control::SqlEdit).width, w - margins_.sqlWidth);
    assign(rect(Control::ResultGrid).width, w - margins_.dataGridWidth);
    assign(rect(Control::CountLabel).left, w - margins_.count);
    assign(rect(Control::StatsGrid).width, w - margins_.statsGridWidth);
    assign(rect(Control::ExecuteButton).left, w - margins_.button);
    assign(rect(Control::Bar4).top, h - margins_.bottomBar);
    for (int k = 1; k <= 4; ++k)
        assign(rect(barControl(k)).width, w);
}

QueryWindowLayout::OuterSize QueryWindowLayout::minimumOuterSize(const Measured& m) const {
    auto rightOf = [this](Control heading, int width) {
        const TwipRect& r = rect(heading);
        return r.left + std::max(r.width, width) + kHeadingGap;
    };
    const int width =
        std::max(margins_.count + rightOf(Control::StatsHeading, m.statsHeadingWidth),
                 margins_.button + rightOf(Control::ResultHeading, m.resultHeadingWidth));
    // The resize rule's height for the least plan grid; for the rows the window measured, also
    // the status bar's room below the grid, but never beyond a new window's height, which the
    // table fixes.
    const int least = margins_.planGridHeight + kMinPlanGridHeight;
    const int rows = std::max(margins_.planGridHeight + m.planGridHeight,
                              rect(Control::PlanGrid).top + m.planGridHeight + m.chrome);
    return {width, std::max(least, std::min(rows, kQueryWindowHeight))};
}

QueryWindowLayout::OuterSize QueryWindowLayout::minimumOuterSize() const {
    return minimumOuterSize(Measured{});
}

void QueryWindowLayout::pressBar(int k) {
    if (!isMovableBar(k))
        return;
    drag_.dragging = true;
    drag_.index = static_cast<int16_t>(k);
    drag_.startTop = static_cast<float>(barTop(k));
    drag_.dropTop = drag_.startTop;
    barsFramed_ = true;
}

void QueryWindowLayout::moveBar(float yInBar) {
    if (!drag_.dragging)
        return;
    drag_.dropTop = static_cast<float>(barTop(drag_.index)) + yInBar;
    rect(barControl(drag_.index)).top = static_cast<int>(std::lround(drag_.dropTop));
}

bool QueryWindowLayout::releaseBar() {
    // A release without a press of ours (the second release of a double click, a press that
    // began on an inert bar) must not replay the last drop.
    if (!drag_.dragging)
        return false;
    drag_.dragging = false;
    const int i = drag_.index;
    float t = drag_.dropTop;
    if (i > 0 && t < barTop(i - 1) + kMinBarDistance)
        t = static_cast<float>(barTop(i - 1) + kMinBarDistance);
    if (barTop(i + 1) - t < kMinBarDistance)
        t = static_cast<float>(barTop(i + 1) - kMinBarDistance);
    const int top = static_cast<int>(std::lround(t));
    rect(barControl(i)).top = top;

    const Control above = i == 1   ? Control::SqlEdit
                          : i == 2 ? Control::ResultGrid
                                   : Control::StatsGrid;
    const bool accepted = top >= rect(above).top && barTop(i) - barTop(i - 1) > kMinBarDistance;
    if (accepted)
        layOutBelowBar(i, top);
    else
        rect(barControl(i)).top = static_cast<int>(std::lround(drag_.startTop));
    barsFramed_ = false;
    return accepted;
}

void QueryWindowLayout::layOutBelowBar(int i, int t) {
    const int next = barTop(i + 1);
    switch (i) {
        case 1: {
            TwipRect& sql = rect(Control::SqlEdit);
            sql.height = t - sql.top;
            rect(Control::ResultGrid).height = next - t - 400;
            rect(Control::ResultGrid).top = t + 400;
            rect(Control::ResultHeading).top = t + 200;
            rect(Control::ResultMessage).top = rect(Control::ResultHeading).top + 300;
            rect(Control::ExecuteButton).top = t + 30;
            break;
        }
        case 2: {
            TwipRect& data = rect(Control::ResultGrid);
            data.height = t - data.top;
            rect(Control::StatsGrid).height = next - t - 300;
            rect(Control::StatsGrid).top = t + 300;
            rect(Control::CountLabel).top = t + 50;
            rect(Control::StatsHeading).top = t + 100;
            rect(Control::StatsMessage).top = rect(Control::StatsHeading).top + 200;
            break;
        }
        case 3: {
            TwipRect& stats = rect(Control::StatsGrid);
            stats.height = t - stats.top;
            rect(Control::PlanGrid).height = next - t - 300;
            rect(Control::PlanGrid).top = t + 300;
            rect(Control::PlanHeading).top = t + 100;
            rect(Control::PlanMessage).top = rect(Control::PlanHeading).top + 200;
            // Later resizes keep the plan grid's new distance from the bottom edge.
            margins_.planGridHeight = outerHeight_ - rect(Control::PlanGrid).height;
            break;
        }
        default:
            break;
    }
}

}  // namespace qv
