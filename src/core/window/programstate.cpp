#include "core/window/programstate.h"

#include "core/connection/odbcdrivers.h"
#include "core/connection/tnsnames.h"

#include <QCoreApplication>

#include <utility>

namespace qv {

MachineSources MachineSources::thisMachine() {
    return {&installedOdbcDrivers, &findTnsnamesFile, [] {
                QStringList names = loadServiceNamesFromFile(findTnsnamesFile());
                names.append(QStringLiteral("sqlite:sample"));
                return names;
            }};
}

ProgramState::ProgramState(std::unique_ptr<SettingsStore> store)
    : store_(std::move(store)),
      settings_(std::make_shared<SharedSettings>(store_)),
      endHandler_([] { QCoreApplication::exit(0); }) {}

ProgramState::~ProgramState() = default;

StatementRing& ProgramState::statementRing() {
    if (!ring_) {
        ring_ = std::make_unique<StatementRing>(*store_);
        ring_->load();
    }
    return *ring_;
}

BindMemory& ProgramState::bindMemory() {
    if (!std::exchange(bindMemoryLoaded_, true))
        bindMemory_.load(*store_);
    return bindMemory_;
}

DatabaseOpener ProgramState::databaseOpener() const {
    return opener_ ? opener_ : defaultDatabaseOpener(sampleDirectory_);
}

void ProgramState::end() {
    // One write of the file for all.
    store_->beginBatch();
    settings_->save();
    if (ring_)
        ring_->saveBeforeEnd();
    bindMemory_.save(*store_);
    store_->endBatch();
    if (endHandler_)
        endHandler_();
}

}  // namespace qv
