#include "core/history/statementring.h"

#include "core/settings/settingsstore.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace qv {

bool storedNumberToInt32(const QString& text, int32_t& out) {
    static const QRegularExpression number(
        QStringLiteral("^\\s*([+-]?(?:\\d+\\.?\\d*|\\.\\d+)(?:[eE][+-]?\\d+)?)"));
    const auto m = number.match(text);
    if (!m.hasMatch()) {
        out = 0;
        return true;
    }
    const double v = std::nearbyint(m.captured(1).toDouble());  // default rounding: half to even
    if (!std::isfinite(v) || v < -2147483648.0 || v > 2147483647.0)
        return false;
    out = static_cast<int32_t>(v);
    return true;
}

namespace {
const QString kHighestSlot = QStringLiteral("sqlhist_max");
const QString kNextSlot = QStringLiteral("sqlhist_nextp");
// How long an addition waits for another copy of the program that is saving its own; the
// wait is on the window's thread, and an addition not saved now is saved with the next one.
constexpr int kAddWaitMs = 3'000;
// At the end the program waits longer, and then writes without the lock rather than not at
// all.
constexpr int kEndWaitMs = 10'000;
QString slotName(int32_t slot) {
    return QStringLiteral("sqlhist_") + QString::number(slot);
}
}  // namespace

void StatementRing::add(const QString& sql) {
    int32_t i = nextSlot_;
    if (i > kLastSlot || i < 0)
        i = 0;
    slots_[static_cast<size_t>(i)] = sql;
    nextSlot_ = i + 1;
    if (i > highestSlot_)
        highestSlot_ = i;
    unsaved_.append(sql);
}

void StatementRing::addAndSave(const QString& sql) {
    add(sql);
    saveAdditions(kAddWaitMs);
}

bool StatementRing::saveAdditions(int waitMs, bool evenUnlocked) {
    if (unsaved_.isEmpty())
        return true;
    if (!store_)
        return false;
    SettingsStore& store = *store_;
    const SettingsStore::Update update(store, waitMs);
    if (!update.locked() && !evenUnlocked)
        return false;
    QString probe;
    if (store.read(kNextSlot, probe) != StoreStatus::Unavailable) {
        const QStringList added = unsaved_;
        load();
        for (const QString& sql : added)
            add(sql);
    }
    save();
    return unsaved_.isEmpty();
}

QString StatementRing::statement(int32_t slot) const {
    if (slot < 0 || slot > highestSlot_ || slot > kLastSlot)
        return QString();
    return slots_[static_cast<size_t>(slot)];
}

void StatementRing::load() {
    if (!store_)
        return;
    unsaved_.clear();
    nextSlot_ = 0;
    highestSlot_ = 0;
    slots_.fill(QString());
    SettingsStore& store = *store_;
    bool failed = false;
    QString text;
    int32_t v = 0;
    if (store.read(kHighestSlot, text) == StoreStatus::Ok) {
        if (storedNumberToInt32(text, v))
            highestSlot_ = v;
        else
            failed = true;
    }
    if (store.read(kNextSlot, text) == StoreStatus::Ok) {
        if (storedNumberToInt32(text, v))
            nextSlot_ = v;
        else
            failed = true;
    }
    if (failed) {
        nextSlot_ = 0;
        highestSlot_ = 0;
    }
    // A hand-edited store may hold anything; no slot index may leave 0..100.
    highestSlot_ = std::clamp(highestSlot_, 0, kLastSlot);
    nextSlot_ = std::clamp(nextSlot_, 0, kLastSlot + 1);

    for (int32_t n = 0; n <= highestSlot_; ++n) {
        QString sql;
        if (store.read(slotName(n), sql) == StoreStatus::Ok)
            slots_[static_cast<size_t>(n)] = sql;
    }
}

void StatementRing::save() {
    if (!store_)
        return;
    SettingsStore& store = *store_;
    store.beginBatch();
    store.write(kHighestSlot, QString::number(highestSlot_));
    store.write(kNextSlot, QString::number(nextSlot_));
    for (int32_t n = 0; n <= highestSlot_ && n <= kLastSlot; ++n)
        store.write(slotName(n), slots_[static_cast<size_t>(n)]);
    if (store.endBatch() == StoreStatus::Ok)
        unsaved_.clear();
}

void StatementRing::saveBeforeEnd() {
    if (unsaved())
        saveAdditions(kEndWaitMs, true);
}

}  // namespace qv
