#pragma once

#include "core/db/bindvalue.h"

#include <QStringList>

namespace qv {

class SettingsStore;

// The values last used for each bind variable name, so that the bind dialog offers them again:
// a tuner runs one statement many times and changes one value at a time. Names compare without
// regard to case, as Oracle's do. The program has one, shared by its query windows
// (ProgramState), kept in the settings store across runs of the program. Used on the windows'
// thread.
class BindMemory {
  public:
    // How many names the store keeps: those used last.
    static constexpr int kMaxStored = 100;

    // One value for each of `names`, as spelled there: the last one used for that name, or an
    // empty VARCHAR2 for a name not seen before.
    BindList recall(const QStringList& names) const;
    // Remembers `used` over what was used before.
    void remember(const BindList& used);

    // Takes the values the store keeps under "s_bind_values" (a JSON array of objects with
    // "name", "type" and "value"), before anything remembered here; a value that cannot be read
    // is left out.
    void load(SettingsStore& store);
    // Writes the values remembered here over those the store holds now (another copy of the
    // program may have added some since load), the kMaxStored used last.
    void save(SettingsStore& store) const;

  private:
    BindList values_;  // the one used last at the end
    BindList usedHere_;
};

}  // namespace qv
