#pragma once

#include <QString>

namespace qv {

// What the runs of one login learnt of its two sessions and what they set on them, kept with
// the connections from one run to the next; a new login starts afresh.
struct SessionMemory {
    // The optimizer goal the runs last set on the query session; empty while it has its own.
    QString optimizerGoal;
    // The goal the query session had before a run set one, read then: what choosing the
    // system default restores.
    QString ownOptimizerGoal;
    // Whether the statistics session is on the query session's instance, where V$ views show
    // the query session (on a RAC database each connection lands on an instance of its own):
    // unknown until a run that reads statistics has looked.
    enum class Instance { Unknown, Same, Other };
    Instance statsInstance = Instance::Unknown;
};

}  // namespace qv
