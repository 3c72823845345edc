#pragma once

#include "core/db/bindvalue.h"

#include <QStringList>

namespace qv {

// The values last used for each bind variable name while the program runs, so that the bind
// dialog offers them again: a tuner runs one statement many times and changes one value at a
// time. Names compare without regard to case, as Oracle's do. The program has one, shared by its
// query windows (ProgramState). Used on the windows' thread.
class BindMemory {
  public:
    // One value for each of `names`, as spelled there: the last one used for that name, or an
    // empty VARCHAR2 for a name not seen before.
    BindList recall(const QStringList& names) const;
    // Remembers `used` over what was used before.
    void remember(const BindList& used);

  private:
    BindList values_;
};

}  // namespace qv
