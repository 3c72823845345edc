#include "core/history/historynotifier.h"

namespace qv {

HistoryNotifier& historyNotifier() {
    static HistoryNotifier notifier;
    return notifier;
}

}  // namespace qv
