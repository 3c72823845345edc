#include "core/settings/settingsstore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

#include <utility>

namespace qv {

namespace {
const char kNativeKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\QUERVIN";
}

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
    QDir dir = info.absoluteDir();
    if (!dir.exists() && !QDir().mkpath(dir.absolutePath()))
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
    s.sync();
    return s.status() == QSettings::NoError ? StoreStatus::Ok : StoreStatus::WriteFailed;
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
    settings_->sync();
    return settings_->status() == QSettings::NoError ? StoreStatus::Ok : StoreStatus::WriteFailed;
}

namespace {
std::unique_ptr<SettingsStore>& currentStore() {
    static std::unique_ptr<SettingsStore> store;
    return store;
}
}  // namespace

SettingsStore& settingsStore() {
    auto& store = currentStore();
    if (!store)
        store = SettingsStore::platformStore();
    return *store;
}

void setSettingsStore(std::unique_ptr<SettingsStore> store) {
    currentStore() = std::move(store);
}

}  // namespace qv
