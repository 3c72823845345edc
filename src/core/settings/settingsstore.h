#pragma once

#include <QString>

#include <memory>

class QLockFile;
class QSettings;

namespace qv {

// How a read or a write of the settings store went.
enum class StoreStatus {
    Ok,
    Unavailable,  // the store cannot be opened (missing or unreadable)
    NoSuchValue,  // read: the store has no value of that name
    WriteFailed,  // write: the store was open but the value could not be saved
};

// The settings store: named text values under one key. On Windows it is the registry key
// HKEY_LOCAL_MACHINE\SOFTWARE\QUERVIN (REG_SZ values); elsewhere an INI file. The location is
// given when the store is made, so tests point it at a temporary file.
class SettingsStore {
  public:
    // An INI file at `iniPath`.
    explicit SettingsStore(QString iniPath);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // The platform's store: the registry key on Windows, defaultIniPath() elsewhere.
    static std::unique_ptr<SettingsStore> platformStore();
    // Another store over the same values, for another thread (a store is used on one thread at
    // a time).
    std::unique_ptr<SettingsStore> twin() const;
    // <user configuration directory>/QUERVIN/quervin.ini
    static QString defaultIniPath();

    // Where the values live, for the user to read (a file path or a registry key).
    QString location() const;

    // Reads the whole stored text of `name` into `value`; `value` is left unchanged unless Ok
    // is returned.
    StoreStatus read(const QString& name, QString& value);
    // Unavailable when the store cannot be opened for writing. The file is replaced
    // atomically, so a crash never leaves half a store behind.
    StoreStatus write(const QString& name, const QString& value);
    // Takes the value `name` out of the store, as write() writes one.
    StoreStatus remove(const QString& name);

    // Between beginBatch and endBatch the values are written to disk once, at the outermost
    // endBatch, rather than once per write. endBatch returns the status of that write.
    void beginBatch();
    StoreStatus endBatch();

    // While an Update holds the store's update lock, no other copy of the program writes the
    // store, so a value can be read, changed and written back without losing what another
    // copy wrote meanwhile. Writes take the lock themselves when no Update holds it, waiting up
    // to kLockWaitMs, and write without it when they cannot have it.
    class Update {
      public:
        // Waits up to `waitMs` for a copy that holds the lock. A lock left behind by a program
        // that ended without letting go is taken over at once; one held by a program that
        // hangs, after kStaleLockMs. A lock that cannot be had at all (its file is a folder,
        // or in a folder that cannot be written) is not waited for.
        Update(SettingsStore& store, int waitMs);
        ~Update();
        Update(const Update&) = delete;
        Update& operator=(const Update&) = delete;
        // False when the lock could not be had (held elsewhere past the wait, or no right to
        // make the lock file).
        bool locked() const { return locked_; }

      private:
        SettingsStore& store_;
        bool locked_ = false;
    };
    static constexpr int kStaleLockMs = 10'000;
    static constexpr int kLockWaitMs = 1'000;
    // The file that holds the update lock: next to the INI file, or in the temporary directory
    // for the registry.
    QString lockPath() const;

  private:
    bool lockUpdates(int waitMs);
    void unlockUpdates();
    // Writes the changed values to disk under the update lock.
    StoreStatus syncChanges();
    bool storeExists() const;
    bool canWrite() const;
    QSettings& settings();
    // A file that does not parse is copied aside (<file>.broken-<time>) once, before anything
    // is written to it; its values are still read as far as they parse.
    void keepCopyIfBroken();

    QString path_;
    bool native_ = false;
    int batch_ = 0;
    bool batchRefused_ = false;
    bool brokenKept_ = false;
    std::unique_ptr<QSettings> settings_;
    std::unique_ptr<QLockFile> lock_;
    int lockDepth_ = 0;
};

}  // namespace qv
