#include "gui/appicon.h"

// The resources are compiled into the static GUI library: registering them here makes every
// program that shows the icon link them in.
static void initResources() {
    Q_INIT_RESOURCE(resources);
}

namespace qv {

QIcon appIcon() {
    static const bool registered = (initResources(), true);
    Q_UNUSED(registered);
    return QIcon(QStringLiteral(":/icons/quervinstudio.svg"));
}

}  // namespace qv
