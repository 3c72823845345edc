#pragma once

#include <array>
#include <optional>

namespace qv {

class QueryWindowLayout;
class SettingsStore;

// What the user last set of the query windows' arrangement, kept in the settings store so that
// every new window, in this run of the program and the next, offers it again: where each inner
// splitter bar was dropped ("i_split1_top" to "i_split3_top", twips from the window's top) and
// whether the windows were maximised ("f_window_maximized", 1 or 0). A bar the user never moved
// has no value and keeps the designed place.
using StoredBarTops = std::array<std::optional<int>, 3>;  // bars 1 to 3

StoredBarTops loadBarTops(SettingsStore& store);
// Bar k (1 to 3) was dropped at `top`.
void saveBarTop(SettingsStore& store, int k, int top);

// Drops each stored bar where it was stored, by the release rule, so that it keeps its distance
// from its neighbours in this window; a bar whose drop the rule refuses stays where it is.
void restoreBarTops(QueryWindowLayout& layout, const StoredBarTops& tops);

bool loadWindowMaximized(SettingsStore& store);
void saveWindowMaximized(SettingsStore& store, bool maximized);

}  // namespace qv
