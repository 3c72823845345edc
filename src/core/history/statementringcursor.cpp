#include "core/history/statementringcursor.h"

#include "core/history/statementring.h"

#include <algorithm>

namespace qv {

int32_t StatementRingCursor::highestSlot() const {
    return ring_ ? ring_->highestSlot() : 0;
}

void StatementRingCursor::next() {
    position_ = position_ + 1;
    if (position_ > highestSlot())
        position_ = 0;
}

void StatementRingCursor::previous() {
    position_ = position_ - 1;
    if (position_ < 0)
        position_ = std::max(highestSlot(), 0);
}

QString StatementRingCursor::statement() const {
    return ring_ ? ring_->statement(position_) : QString();
}

}  // namespace qv
