#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QThread>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

namespace qv {

class SettingsStore;

// What the window program says, once, when the ring was saved without the store's update lock
// (`%1`: the lock file's path).
inline const QString kMsgRingSavedUnlocked = QStringLiteral(
    "ロックファイル %1 を使用できないため、実行したSQLの履歴をロックせずに保存します。");

// The ring of the last 101 executed statements, shared by every query window of a program and
// kept in the settings store between runs of the program. Used on one thread (the windows').
class StatementRing : public QObject {
    Q_OBJECT
  public:
    static constexpr int32_t kLastSlot = 100;

    // A ring held in memory only: nothing is loaded or saved.
    StatementRing() = default;
    // A ring kept in `store`, which must outlive it.
    explicit StatementRing(SettingsStore& store) : store_(&store) {}
    ~StatementRing() override;

    // Stores `sql` in the next slot, wrapping after slot 100, with any password in it masked
    // (maskSecrets()); it is saved with the next saveAdditions().
    void add(const QString& sql);
    // Empties the ring, here and in the settings store at once (after a save under way ended):
    // every slot's text is gone and the next add() writes slot 0.
    void clear();
    // Adds `sql` and saves it at once (saveAdditions, waiting up to kLockWaitMs for the lock and
    // then saving without it), so a crash loses nothing.
    void addAndSave(const QString& sql);
    // Adds `sql` and saves what is unsaved on a thread of its own, as addAndSave() does, so the
    // caller's thread never waits for the lock; the ring takes what was saved when the save
    // ends (savingEnded()). A save asked for while one is under way follows it. The first time
    // in this ring's life that a save went without the lock, `tell` is given the message to
    // show (kMsgRingSavedUnlocked), while `context` lives; else the next asker is.
    void addAndSaveInBackground(const QString& sql, QObject* context,
                                std::function<void(const QString& message)> tell);
    // Whether a save is under way on its thread.
    bool saving() const { return saving_ != nullptr; }

    // Writes what was added since the last save on top of the ring as the settings store holds
    // it now, so that what another running copy of the program added stays: re-reading, adding
    // and writing are one step under the store's update lock. When the store cannot be read
    // the ring in memory is kept and saved. Waits up to `waitMs` for the lock; without it
    // nothing is written (unless `evenUnlocked`) and the additions wait for the next save.
    // A save that fails keeps them for the next save too. True when nothing is left unsaved.
    bool saveAdditions(int waitMs, bool evenUnlocked = false);
    // The highest slot in use (0 for an empty ring).
    int32_t highestSlot() const { return highestSlot_; }
    // The slot the next add() writes; 101 means it wraps to 0.
    int32_t nextSlot() const { return nextSlot_; }
    // The text of `slot`; empty for a slot above highestSlot() (or below 0).
    QString statement(int32_t slot) const;

    // Loads the ring from the settings store ("sqlhist_max", "sqlhist_nextp", "sqlhist_<n>").
    // Stored numbers are brought into range: the highest slot into 0..100, the next one into
    // 0..101.
    void load();
    // Writes the ring back as it is in memory; failures are not reported.
    void save();
    // Whether something was added since the last save.
    bool unsaved() const { return !unsaved_.isEmpty(); }
    // At the program's end: lets a save under way end (for a few seconds at most), then saves
    // what is unsaved, writing without the lock rather than not at all. A ring with nothing new
    // is not written, which would undo what another copy of the program added.
    void saveBeforeEnd();

  Q_SIGNALS:
    // A save on its own thread ended and the ring took what it saved; `complete` when nothing
    // is left unsaved.
    void savingEnded(bool complete);

  private:
    struct Saved;
    void startSaving();
    void takeSaved(const Saved& saved);

    SettingsStore* store_ = nullptr;
    std::array<QString, kLastSlot + 1> slots_;
    int32_t nextSlot_ = 0;
    int32_t highestSlot_ = 0;
    QStringList unsaved_;         // the texts added since the last save, in order
    bool savedUnlocked_ = false;  // the last saveAdditions() wrote without the lock

    QPointer<QThread> saving_;   // the save under way
    qsizetype savingCount_ = 0;  // how many of unsaved_ it carries
    QPointer<QObject> tellContext_;
    std::function<void(const QString&)> tell_;
    bool toldUnlocked_ = false;
    bool ending_ = false;  // saveBeforeEnd() has begun: no save starts on its own thread
};

// The number a stored text begins with, read the way a user would (blanks, sign, decimal point,
// exponent), rounded half to even. A text without a leading number gives 0; false when the
// number does not fit 32 bits.
bool storedNumberToInt32(const QString& text, int32_t& out);

}  // namespace qv
