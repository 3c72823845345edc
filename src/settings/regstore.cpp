#include "settings/regstore.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

#include <utility>

namespace qv {

namespace {
const char kNativeKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\QUERVIN";
}

RegStore::RegStore(QString iniPath) : path_(std::move(iniPath)) {}

RegStore::~RegStore() = default;

std::unique_ptr<RegStore> RegStore::platformStore() {
#ifdef Q_OS_WIN
    auto store = std::make_unique<RegStore>(QString::fromLatin1(kNativeKey));
    store->native_ = true;
    return store;
#else
    return std::make_unique<RegStore>(defaultIniPath());
#endif
}

QString RegStore::defaultIniPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/QUERVIN/quervin.ini");
}

QString RegStore::location() const {
    return path_;
}

bool RegStore::storeExists() const {
    if (native_) {
        QSettings probe(path_, QSettings::NativeFormat);
        return !probe.allKeys().isEmpty() || !probe.childGroups().isEmpty();
    }
    QFileInfo info(path_);
    return info.isFile() && info.isReadable();
}

bool RegStore::canWrite() const {
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

QSettings& RegStore::settings() {
    if (!settings_) {
        settings_ = native_ ? std::make_unique<QSettings>(path_, QSettings::NativeFormat)
                            : std::make_unique<QSettings>(path_, QSettings::IniFormat);
    }
    return *settings_;
}

int16_t RegStore::getRegValue(const QString& name, QString& value) {
    if (batch_ == 0 && !storeExists())
        return -1;
    QSettings& s = settings();
    if (batch_ == 0)
        s.sync();  // pick up changes made by another process since the last read
    if (s.status() == QSettings::FormatError)
        return -1;
    if (!s.contains(name))
        return -2;
    const QVariant v = s.value(name);
    // A hand-edited INI line with unquoted commas comes back as a list; keep its text.
    if (v.metaType().id() == QMetaType::QStringList)
        value = v.toStringList().join(QStringLiteral(", "));
    else
        value = v.toString();
    return 0;
}

int16_t RegStore::setRegValue(const QString& name, const QString& value) {
    if (!canWrite()) {
        batchRefused_ = batch_ > 0;
        return -1;
    }
    QSettings& s = settings();
    s.setValue(name, value);
    if (batch_ > 0)
        return 0;
    s.sync();
    return s.status() == QSettings::NoError ? 0 : -2;
}

void RegStore::beginBatch() {
    ++batch_;
}

int16_t RegStore::endBatch() {
    if (batch_ > 0 && --batch_ > 0)
        return 0;
    if (std::exchange(batchRefused_, false))
        return -1;
    if (!settings_)
        return 0;
    if (!canWrite())
        return -1;
    settings_->sync();
    return settings_->status() == QSettings::NoError ? 0 : -2;
}

namespace {
std::unique_ptr<RegStore>& currentStore() {
    static std::unique_ptr<RegStore> store;
    return store;
}
}  // namespace

RegStore& regStore() {
    auto& store = currentStore();
    if (!store)
        store = RegStore::platformStore();
    return *store;
}

void setRegStore(std::unique_ptr<RegStore> store) {
    currentStore() = std::move(store);
}

int16_t getRegValue(const QString& name, QString& value) {
    return regStore().getRegValue(name, value);
}

int16_t setRegValue(const QString& name, const QString& value) {
    return regStore().setRegValue(name, value);
}

QString nullToEmpty(const QVariant& value) {
    if (value.isNull() || !value.isValid())
        return QString();
    return value.toString();
}

}  // namespace qv
