#include "core/window/programexit.h"

#include "core/history/statementring.h"
#include "core/settings/settings.h"
#include "core/settings/settingsstore.h"

#include <QCoreApplication>

namespace qv {

namespace {
std::function<void()>& endHandler() {
    static std::function<void()> handler = [] { QCoreApplication::exit(0); };
    return handler;
}
}  // namespace

void setProgramEndHandler(std::function<void()> handler) {
    endHandler() = std::move(handler);
}

void endProgram() {
    SettingsStore& store = settingsStore();
    store.beginBatch();
    saveAndReleaseSettings();
    saveAndReleaseStatementRing();
    store.endBatch();
    if (endHandler())
        endHandler()();
}

}  // namespace qv
