#pragma once

#include "core/history/runcomparison.h"

#include <QColor>

namespace qv {

// The background a plan line is marked with for its change, in the comparison window and in the
// what-if dialog alike; invalid (none) for an unchanged line.
inline QColor planChangeBackground(PlanLineChange::Kind kind) {
    switch (kind) {
        case PlanLineChange::Kind::Changed:
            return QColor(0xff, 0xf3, 0xc4);
        case PlanLineChange::Kind::Operation:
            return QColor(0xe4, 0xd8, 0xf5);
        case PlanLineChange::Kind::Added:
            return QColor(0xd9, 0xf2, 0xd9);
        case PlanLineChange::Kind::Removed:
            return QColor(0xf8, 0xd7, 0xd7);
        case PlanLineChange::Kind::Same:
            break;
    }
    return QColor();
}

}  // namespace qv
