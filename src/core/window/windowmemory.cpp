#include "core/window/windowmemory.h"

#include "core/settings/settings.h"
#include "core/settings/settingsstore.h"
#include "core/window/querywindowlayout.h"

namespace qv {

namespace {

const QString kMaximized = QStringLiteral("f_window_maximized");

QString barKey(int k) {
    return QStringLiteral("i_split%1_top").arg(k);
}

// Far enough for any screen, short of overflowing the twips arithmetic.
constexpr int64_t kMaxStoredTop = 1'000'000;

}  // namespace

StoredBarTops loadBarTops(SettingsStore& store) {
    StoredBarTops tops;
    for (int k = 1; k <= 3; ++k) {
        QString text;
        int64_t top = 0;
        if (store.read(barKey(k), text) == StoreStatus::Ok &&
            parseStoredInt(text, 0, kMaxStoredTop, top))
            tops[static_cast<size_t>(k - 1)] = static_cast<int>(top);
    }
    return tops;
}

void saveBarTop(SettingsStore& store, int k, int top) {
    store.write(barKey(k), QString::number(top));
}

void restoreBarTops(QueryWindowLayout& layout, const StoredBarTops& tops) {
    // A bar stored below where its lower neighbour starts can only go there once that one has
    // moved down, and one stored above its upper neighbour once that one has moved up: from the
    // bottom up, then from the top down, then once more each way.
    constexpr int kOrder[] = {3, 2, 1, 1, 2, 3, 3, 2, 1, 1, 2, 3};
    for (int k : kOrder) {
        const std::optional<int> top = tops[static_cast<size_t>(k - 1)];
        const int now = layout.rect(QueryWindowLayout::barControl(k)).top;
        if (!top || *top == now)
            continue;
        layout.pressBar(k);
        layout.moveBar(static_cast<float>(*top - now));
        layout.releaseBar();
    }
}

bool loadWindowMaximized(SettingsStore& store) {
    QString text;
    return store.read(kMaximized, text) == StoreStatus::Ok && text.trimmed() == u'1';
}

void saveWindowMaximized(SettingsStore& store, bool maximized) {
    store.write(kMaximized, maximized ? QStringLiteral("1") : QStringLiteral("0"));
}

}  // namespace qv
