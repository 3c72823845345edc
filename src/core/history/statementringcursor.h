#pragma once

#include <QString>

#include <cstdint>

namespace qv {

class StatementRing;

// A query window's place in the statement ring, stepped by the SQL menu's next and previous
// commands. It starts at slot 0 and wraps at both ends of the slots in use.
class StatementRingCursor {
  public:
    void setRing(StatementRing* ring) { ring_ = ring; }
    void next();
    void previous();
    // The statement at the cursor; empty without a ring.
    QString statement() const;
    int32_t position() const { return position_; }

  private:
    int32_t highestSlot() const;

    StatementRing* ring_ = nullptr;
    int32_t position_ = 0;
};

}  // namespace qv
