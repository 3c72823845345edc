#include "app/layout.h"

namespace qv {

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
}

}  // namespace qv
