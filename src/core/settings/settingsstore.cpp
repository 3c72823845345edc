#include "core/settings/settingsstore.h"

#include "core/privatefile.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QThread>

#include <algorithm>
#include <utility>

namespace qv {

namespace {
const char kNativeKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\QUERVIN";
}  // namespace

SettingsStore::SettingsStore(QString iniPath) : path_(std::move(iniPath)) {}

SettingsStore::~SettingsStore() = default;

std::unique_ptr<SettingsStore> SettingsStore::platformStore() {
#ifdef Q_OS_WIN
    auto store = std::make_unique<SettingsStore>(QString::fromLatin1(kNativeKey));
    store->native_ = true;
    return store;
#else
    return std::make_unique<SettingsStore>(defaultIniPath());
#endif
}

std::unique_ptr<SettingsStore> SettingsStore::twin() const {
    auto store = std::make_unique<SettingsStore>(path_);
    store->native_ = native_;
    return store;
}

QString SettingsStore::defaultIniPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/QUERVIN/quervin.ini");
}

QString SettingsStore::location() const {
    return path_;
}

bool SettingsStore::storeExists() const {
    if (native_) {
        QSettings probe(path_, QSettings::NativeFormat);
        return !probe.allKeys().isEmpty() || !probe.childGroups().isEmpty();
    }
    QFileInfo info(path_);
    return info.isFile() && info.isReadable();
}

bool SettingsStore::canWrite() const {
    if (native_)
        return true;  // the registry reports a refused write through the status after sync
    QFileInfo info(path_);
    if (info.exists())
        return info.isFile() && info.isWritable() && QFileInfo(info.absolutePath()).isWritable();
    // The folder the program makes is the user's alone: the ring holds statements.
    QDir dir = info.absoluteDir();
    if (!dir.exists() && !makePrivateFolder(dir.absolutePath()))
        return false;
    return QFileInfo(dir.absolutePath()).isWritable();
}

QSettings& SettingsStore::settings() {
    if (!settings_) {
        settings_ = native_ ? std::make_unique<QSettings>(path_, QSettings::NativeFormat)
                            : std::make_unique<QSettings>(path_, QSettings::IniFormat);
    }
    return *settings_;
}

void SettingsStore::keepCopyIfBroken() {
    if (native_ || brokenKept_ || !settings_ || settings_->status() != QSettings::FormatError)
        return;
    brokenKept_ = true;
    const QString copy = path_ + QStringLiteral(".broken-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QFile::copy(path_, copy);
}

StoreStatus SettingsStore::read(const QString& name, QString& value) {
    if (batch_ == 0 && !storeExists())
        return StoreStatus::Unavailable;
    QSettings& s = settings();
    if (batch_ == 0)
        s.sync();  // pick up changes made by another process since the last read
    keepCopyIfBroken();
    if (!s.contains(name))
        return StoreStatus::NoSuchValue;
    const QVariant v = s.value(name);
    // A hand-edited INI line with unquoted commas comes back as a list; keep its text.
    if (v.metaType().id() == QMetaType::QStringList)
        value = v.toStringList().join(QStringLiteral(", "));
    else
        value = v.toString();
    return StoreStatus::Ok;
}

StoreStatus SettingsStore::write(const QString& name, const QString& value) {
    if (!canWrite()) {
        batchRefused_ = batch_ > 0;
        return StoreStatus::Unavailable;
    }
    QSettings& s = settings();
    // Rewriting a file that does not parse would drop what Qt could not read of it.
    keepCopyIfBroken();
    s.setValue(name, value);
    if (batch_ > 0)
        return StoreStatus::Ok;
    return syncChanges();
}

StoreStatus SettingsStore::remove(const QString& name) {
    if (!canWrite()) {
        batchRefused_ = batch_ > 0;
        return StoreStatus::Unavailable;
    }
    QSettings& s = settings();
    keepCopyIfBroken();
    s.remove(name);
    if (batch_ > 0)
        return StoreStatus::Ok;
    return syncChanges();
}

void SettingsStore::beginBatch() {
    ++batch_;
}

StoreStatus SettingsStore::endBatch() {
    if (batch_ > 0 && --batch_ > 0)
        return StoreStatus::Ok;
    if (std::exchange(batchRefused_, false))
        return StoreStatus::Unavailable;
    if (!settings_)
        return StoreStatus::Ok;
    if (!canWrite())
        return StoreStatus::Unavailable;
    return syncChanges();
}

StoreStatus SettingsStore::syncChanges() {
    QSettings& s = settings();
    if (native_) {
        s.sync();
        return s.status() == QSettings::NoError ? StoreStatus::Ok : StoreStatus::WriteFailed;
    }
    // Without the lock the write still goes ahead: QSettings keeps the file whole, and a
    // value lost to a concurrent change is better than every value lost.
    const bool locked = lockUpdates(kLockWaitMs);
    const QDateTime before = QFileInfo(path_).lastModified();
    // A new file is the user's alone, whatever the umask: QSettings keeps the rights of the
    // file it replaces.
    createPrivateFile(path_);
    s.sync();
    const StoreStatus status =
        s.status() == QSettings::NoError ? StoreStatus::Ok : StoreStatus::WriteFailed;
    // QSettings takes a file of the size and modification time (to the millisecond) it saw
    // last for unchanged, and then writes its own older copy back over what another program
    // changed. The file system's clock moves in ticks of several milliseconds, so two writes
    // in one tick, of the same size, look the same: each write moves the time past the one
    // before, and a copy of the program that saw the file before this write sees it changed.
    const QDateTime after = QFileInfo(path_).lastModified();
    if (status == StoreStatus::Ok && before.isValid() && after.isValid() && after <= before) {
        QFile file(path_);
        if (file.open(QIODevice::ReadWrite))
            file.setFileTime(before.addMSecs(1), QFileDevice::FileModificationTime);
    }
    if (locked)
        unlockUpdates();
    return status;
}

QString SettingsStore::lockPath() const {
    if (native_)
        return QDir::temp().filePath(QStringLiteral("QUERVIN-settings.lock"));
    return path_ + QStringLiteral(".update.lock");  // QSettings itself uses <file>.lock
}

bool SettingsStore::lockUpdates(int waitMs) {
    if (lockDepth_ > 0) {
        ++lockDepth_;
        return true;
    }
    if (!lock_) {
        QDir().mkpath(QFileInfo(lockPath()).absolutePath());
        lock_ = std::make_unique<QLockFile>(lockPath());
        lock_->setStaleLockTime(kStaleLockMs);
    }
    // QLockFile::tryLock(timeout) sleeps 100 ms and more between tries; the lock is held for
    // a few milliseconds, so it is tried again soon.
    const QDeadlineTimer deadline(waitMs);
    for (int pause = 1;; pause = std::min(pause * 2, 20)) {
        if (lock_->tryLock(0)) {
            lockDepth_ = 1;
            return true;
        }
        // A folder (or anything but a file) in the lock file's place never goes away by itself.
        const QFileInfo file(lockPath());
        if (lock_->error() != QLockFile::LockFailedError || deadline.hasExpired() ||
            (file.exists() && !file.isFile()))
            return false;
        QThread::msleep(static_cast<unsigned long>(pause));
    }
}

void SettingsStore::unlockUpdates() {
    if (lockDepth_ > 0 && --lockDepth_ == 0)
        lock_->unlock();
}

SettingsStore::Update::Update(SettingsStore& store, int waitMs)
    : store_(store), locked_(store.lockUpdates(waitMs)) {}

SettingsStore::Update::~Update() {
    if (locked_)
        store_.unlockUpdates();
}

}  // namespace qv
