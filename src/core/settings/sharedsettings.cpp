#include "core/settings/sharedsettings.h"

#include "core/settings/optionsform.h"
#include "core/settings/settingsstore.h"

#include <utility>

namespace qv {

SharedSettings::SharedSettings(std::shared_ptr<SettingsStore> store) : store_(std::move(store)) {}

SharedSettings::SharedSettings(const Settings& values) : values_(values) {}

Settings& SharedSettings::loaded() const {
    if (!values_) {
        values_.emplace();
        if (store_)
            values_->load(*store_);
    }
    return *values_;
}

Settings SharedSettings::values() const {
    const std::lock_guard lock(mutex_);
    return loaded();
}

namespace {

bool offered(const QString& goal) {
    return optimizerItems().indexOf(goal) > 0;  // index 0 is the system default
}

}  // namespace

QString SharedSettings::sessionOptimizerGoal() const {
    const std::lock_guard lock(mutex_);
    const Settings& s = loaded();
    if (!s.overrideOptimizer || (store_ && !offered(s.optimizerGoal)))
        return QString();
    return s.optimizerGoal;
}

bool SharedSettings::storedGoalNotOffered() const {
    const std::lock_guard lock(mutex_);
    const Settings& s = loaded();
    return store_ && s.overrideOptimizer && !offered(s.optimizerGoal);
}

void SharedSettings::change(const std::function<void(Settings&)>& edit) {
    const std::lock_guard lock(mutex_);
    edit(loaded());
}

void SharedSettings::save() const {
    const std::lock_guard lock(mutex_);
    if (store_ && values_)
        values_->save(*store_);
}

}  // namespace qv
