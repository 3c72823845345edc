#include "core/history/statementring.h"

#include "core/connection/offthread.h"
#include "core/settings/settingsstore.h"
#include "core/sql/secrettext.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QThread>

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
// How long the program's end waits for a save under way on its own thread: the save waits for
// the lock kLockWaitMs at most.
constexpr int kEndWaitMs = 3'000;
QString slotName(int32_t slot) {
    return QStringLiteral("sqlhist_") + QString::number(slot);
}
}  // namespace

// What a save on its own thread wrote: the ring as the store holds it after the save.
struct StatementRing::Saved {
    std::array<QString, kLastSlot + 1> texts;
    int32_t nextSlot = 0;
    int32_t highestSlot = 0;
    bool complete = false;  // everything it carried was written
    bool unlocked = false;  // it was written without the lock
};

StatementRing::~StatementRing() {
    // A save under way ends before the ring goes: a thread still writing the settings file when
    // the program's end takes Qt down with it would crash the program on its way out.
    if (QThread* thread = saving_)
        thread->wait(QDeadlineTimer(2 * SettingsStore::kLockWaitMs));
}

void StatementRing::add(const QString& sql) {
    int32_t i = nextSlot_;
    if (i > kLastSlot || i < 0)
        i = 0;
    const QString kept = maskSecrets(sql);
    slots_[static_cast<size_t>(i)] = kept;
    nextSlot_ = i + 1;
    if (i > highestSlot_)
        highestSlot_ = i;
    unsaved_.append(kept);
}

void StatementRing::clear() {
    // A save under way would bring back what it carries when it ends.
    if (QThread* thread = saving_) {
        thread->wait(kEndWaitMs);
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    }
    slots_.fill(QString());
    nextSlot_ = 0;
    highestSlot_ = 0;
    unsaved_.clear();
    if (!store_)
        return;
    SettingsStore& store = *store_;
    const SettingsStore::Update update(store, SettingsStore::kLockWaitMs);
    store.beginBatch();
    store.write(kHighestSlot, QStringLiteral("0"));
    store.write(kNextSlot, QStringLiteral("0"));
    for (int32_t n = 0; n <= kLastSlot; ++n)
        store.remove(slotName(n));
    store.endBatch();
}

void StatementRing::addAndSave(const QString& sql) {
    add(sql);
    saveAdditions(SettingsStore::kLockWaitMs, true);
}

void StatementRing::addAndSaveInBackground(const QString& sql, QObject* context,
                                           std::function<void(const QString&)> tell) {
    add(sql);
    tellContext_ = context;
    tell_ = std::move(tell);
    startSaving();
}

void StatementRing::startSaving() {
    if (saving_ || ending_ || unsaved_.isEmpty() || !store_)
        return;
    savingCount_ = unsaved_.size();
    auto saved = std::make_shared<Saved>();
    // The thread works on a ring of its own, made from this one as it is now, through a store
    // of its own (its settings object is made, used and dropped there).
    std::shared_ptr<SettingsStore> store = store_->twin();
    saving_ = runOffThread(
        this,
        [store, saved, texts = slots_, next = nextSlot_, highest = highestSlot_,
         carried = unsaved_]() mutable {
            {
                StatementRing ring(*store);
                ring.slots_ = texts;
                ring.nextSlot_ = next;
                ring.highestSlot_ = highest;
                ring.unsaved_ = carried;
                saved->complete = ring.saveAdditions(SettingsStore::kLockWaitMs, true);
                saved->unlocked = ring.savedUnlocked_;
                saved->texts = ring.slots_;
                saved->nextSlot = ring.nextSlot_;
                saved->highestSlot = ring.highestSlot_;
            }
            store.reset();
        },
        [this, saved](const std::optional<QString>& failure) {
            if (failure)
                saved->complete = false;
            takeSaved(*saved);
        });
}

void StatementRing::takeSaved(const Saved& saved) {
    saving_ = nullptr;
    const QStringList later = unsaved_.mid(savingCount_);
    savingCount_ = 0;
    // A save that failed leaves the ring as it is, everything in it still to be saved.
    if (saved.complete) {
        slots_ = saved.texts;
        nextSlot_ = saved.nextSlot;
        highestSlot_ = saved.highestSlot;
        unsaved_.clear();
        for (const QString& sql : later)
            add(sql);
    }
    if (!later.isEmpty())
        startSaving();
    Q_EMIT savingEnded(unsaved_.isEmpty());
    if (saved.unlocked && !toldUnlocked_ && tell_ && tellContext_) {
        toldUnlocked_ = true;
        tell_(kMsgRingSavedUnlocked.arg(QDir::toNativeSeparators(store_->lockPath())));
    }
}

bool StatementRing::saveAdditions(int waitMs, bool evenUnlocked) {
    savedUnlocked_ = false;
    if (unsaved_.isEmpty())
        return true;
    if (!store_)
        return false;
    SettingsStore& store = *store_;
    const SettingsStore::Update update(store, waitMs);
    if (!update.locked() && !evenUnlocked)
        return false;
    savedUnlocked_ = !update.locked();
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
    ending_ = true;
    if (QThread* thread = saving_) {
        thread->wait(kEndWaitMs);
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    }
    // A save that is still under way carries what is unsaved; saving it again would add it
    // twice.
    if (unsaved() && !saving_)
        saveAdditions(SettingsStore::kLockWaitMs, true);
}

}  // namespace qv
