#include "app/layout.h"

#include <cmath>

namespace qv {

// The geometry table reads best one control a line.
// clang-format off
TwipRect QueryWindowLayout::initialRect(Ctl c) {
    switch (c) {
    case Ctl::Split0: return {0, 0, 8775, 60};
    case Ctl::Label2: return {120, 120, 270, 180};
    case Ctl::TxtSQL: return {120, 300, 8175, 1335};
    case Ctl::Split1: return {0, 1620, 8775, 60};
    case Ctl::CmdExec: return {6960, 1680, 1335, 315};
    case Ctl::LblLabel1: return {120, 1920, 450, 180};
    case Ctl::GrdData: return {120, 2100, 8175, 1455};
    case Ctl::LblQMessage: return {120, 2100, 8295, 495};
    case Ctl::Split2: return {0, 3540, 8775, 60};
    case Ctl::LblCount: return {1560, 3600, 6735, 255};
    case Ctl::LblLabel2: return {120, 3660, 450, 180};
    case Ctl::GrdStats: return {120, 3840, 8175, 1095};
    case Ctl::LblSMessage: return {120, 3840, 8295, 495};
    case Ctl::Split3: return {0, 4920, 8775, 60};
    case Ctl::LblLabel3: return {120, 5040, 1260, 180};
    case Ctl::GrdExplan: return {120, 5220, 8175, 1455};
    case Ctl::LblEMessage: return {120, 5220, 8295, 495};
    case Ctl::Split4: return {120, 6720, 8775, 60};
    case Ctl::Count: break;
    }
    return {};
}

Ctl QueryWindowLayout::splitBar(int k) {
    switch (k) {
    case 0: return Ctl::Split0;
    case 1: return Ctl::Split1;
    case 2: return Ctl::Split2;
    case 3: return Ctl::Split3;
    default: return Ctl::Split4;
    }
}
// clang-format on

QueryWindowLayout::QueryWindowLayout() {
    for (int i = 0; i < kCtlCount; ++i)
        rects_[static_cast<std::size_t>(i)] = initialRect(static_cast<Ctl>(i));
}

void QueryWindowLayout::recordMargins(int refWidth, int refHeight) {
    margins_.button = refWidth - rect(Ctl::CmdExec).left;
    margins_.planGridWidth = refWidth - rect(Ctl::GrdExplan).width;
    margins_.planGridHeight = refHeight - rect(Ctl::GrdExplan).height;
    margins_.sqlWidth = refWidth - rect(Ctl::TxtSQL).width;
    margins_.dataGridWidth = refWidth - rect(Ctl::GrdData).width;
    margins_.count = refWidth - rect(Ctl::LblCount).left;
    margins_.statsGridWidth = refWidth - rect(Ctl::GrdStats).width;
    margins_.bottomBar = refHeight - rect(Ctl::Split4).top;
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
    assign(rect(Ctl::GrdExplan).width, w - margins_.planGridWidth);
    assign(rect(Ctl::GrdExplan).height, h - margins_.planGridHeight);
    assign(rect(Ctl::TxtSQL).width, w - margins_.sqlWidth);
    assign(rect(Ctl::GrdData).width, w - margins_.dataGridWidth);
    assign(rect(Ctl::LblCount).left, w - margins_.count);
    assign(rect(Ctl::GrdStats).width, w - margins_.statsGridWidth);
    assign(rect(Ctl::CmdExec).left, w - margins_.button);
    assign(rect(Ctl::Split4).top, h - margins_.bottomBar);
    for (int k = 1; k <= 4; ++k)
        assign(rect(splitBar(k)).width, w);
}

void QueryWindowLayout::splitPress(int k) {
    if (!isMovableBar(k))
        return;
    drag_.dragging = true;
    drag_.index = static_cast<int16_t>(k);
    drag_.startTop = static_cast<float>(barTop(k));
    drag_.dropTop = drag_.startTop;
    splitBorder_ = true;
}

void QueryWindowLayout::splitMove(float yInBar) {
    if (!drag_.dragging)
        return;
    drag_.dropTop = static_cast<float>(barTop(drag_.index)) + yInBar;
    rect(splitBar(drag_.index)).top = static_cast<int>(std::lround(drag_.dropTop));
}

bool QueryWindowLayout::splitRelease() {
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
    rect(splitBar(i)).top = top;

    const Ctl above = i == 1 ? Ctl::TxtSQL : i == 2 ? Ctl::GrdData : Ctl::GrdStats;
    const bool accepted = top >= rect(above).top && barTop(i) - barTop(i - 1) > kMinBarDistance;
    if (accepted)
        layOutBelowBar(i, top);
    else
        rect(splitBar(i)).top = static_cast<int>(std::lround(drag_.startTop));
    splitBorder_ = false;
    return accepted;
}

void QueryWindowLayout::layOutBelowBar(int i, int t) {
    const int next = barTop(i + 1);
    switch (i) {
        case 1: {
            TwipRect& sql = rect(Ctl::TxtSQL);
            sql.height = t - sql.top;
            rect(Ctl::GrdData).height = next - t - 400;
            rect(Ctl::GrdData).top = t + 400;
            rect(Ctl::LblLabel1).top = t + 200;
            rect(Ctl::LblQMessage).top = rect(Ctl::LblLabel1).top + 300;
            rect(Ctl::CmdExec).top = t + 30;
            break;
        }
        case 2: {
            TwipRect& data = rect(Ctl::GrdData);
            data.height = t - data.top;
            rect(Ctl::GrdStats).height = next - t - 300;
            rect(Ctl::GrdStats).top = t + 300;
            rect(Ctl::LblCount).top = t + 50;
            rect(Ctl::LblLabel2).top = t + 100;
            rect(Ctl::LblSMessage).top = rect(Ctl::LblLabel2).top + 200;
            break;
        }
        case 3: {
            TwipRect& stats = rect(Ctl::GrdStats);
            stats.height = t - stats.top;
            rect(Ctl::GrdExplan).height = next - t - 300;
            rect(Ctl::GrdExplan).top = t + 300;
            rect(Ctl::LblLabel3).top = t + 100;
            rect(Ctl::LblEMessage).top = rect(Ctl::LblLabel3).top + 200;
            // Later resizes keep the plan grid's new distance from the bottom edge.
            margins_.planGridHeight = outerHeight_ - rect(Ctl::GrdExplan).height;
            break;
        }
        default:
            break;
    }
}

}  // namespace qv
