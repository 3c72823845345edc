#pragma once

#include "core/settings/settings.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace qv {

class SettingsStore;

// The one settings object of a program. The windows and the options dialog change it on the
// windows' thread while a run reads it on a thread of its own, so every read and every change
// takes its lock. A run reads each value here at the moment it uses it, never from a copy: a
// change made while it runs is seen at its next use of that value.
class SharedSettings {
  public:
    // Settings kept in `store`: read from it at first use (on the windows' thread), written
    // back by save().
    explicit SharedSettings(std::shared_ptr<SettingsStore> store);
    // Settings kept nowhere (the command line's, a test's): `values` from the start.
    explicit SharedSettings(const Settings& values);
    SharedSettings(const SharedSettings&) = delete;
    SharedSettings& operator=(const SharedSettings&) = delete;

    // Every value as it is now, read at once.
    Settings values() const;
    bool showPlan() const { return value(&Settings::showPlan); }
    bool runQuery() const { return value(&Settings::runQuery); }
    int32_t maxDisplayRows() const { return value(&Settings::maxDisplayRows); }
    QString planTable() const { return value(&Settings::planTable); }
    QString odbcDriver() const { return value(&Settings::odbcDriver); }
    bool collectActuals() const { return value(&Settings::collectActuals); }
    bool autoCommit() const { return value(&Settings::autoCommit); }
    bool rollbackAfterRun() const { return value(&Settings::rollbackAfterRun); }
    // The goal a run sets on its session: optimizerGoal while overrideOptimizer is on, else
    // empty (the server's own). Both are read at once, so a change of both is never seen half.
    // A goal read from the settings file goes to the server only when the options dialog
    // offers it (optimizerItems()): it is pasted into ALTER SESSION.
    QString sessionOptimizerGoal() const;
    // Whether the settings file asks for a goal the options dialog does not offer, which
    // sessionOptimizerGoal() leaves out.
    bool storedGoalNotOffered() const;

    // One value, read under the lock.
    template <class T>
    T value(T Settings::*field) const {
        const std::lock_guard lock(mutex_);
        return loaded().*field;
    }
    // Sets one value.
    template <class T, class V>
    void set(T Settings::*field, V&& v) {
        const std::lock_guard lock(mutex_);
        loaded().*field = std::forward<V>(v);
    }
    // Changes several values in one step: a reader sees all of the change or none of it.
    // `edit` must not use this object.
    void change(const std::function<void(Settings&)>& edit);

    // Writes every value to the store (switches as 1 or 0); failures are not reported. Does
    // nothing for settings kept nowhere, or not read yet.
    void save() const;

  private:
    // The values, read from the store first when they have not been; under the lock.
    Settings& loaded() const;

    std::shared_ptr<SettingsStore> store_;
    mutable std::mutex mutex_;
    mutable std::optional<Settings> values_;
};

}  // namespace qv
