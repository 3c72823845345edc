#include "app/program.h"

#include "history/sqlhist.h"
#include "settings/publicvar.h"
#include "settings/regstore.h"

#include <QCoreApplication>

namespace qv {

int gMainWidth = kMainWidth;
int gMainHeight = kMainHeight;

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
    RegStore& store = regStore();
    store.beginBatch();
    releasePublicVar();
    releaseSQLHist();
    store.endBatch();
    if (endHandler())
        endHandler()();
}

}  // namespace qv
