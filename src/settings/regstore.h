#pragma once

#include <QString>
#include <QVariant>

#include <cstdint>
#include <memory>

class QSettings;

namespace qv {

// The settings store: named text values under one key. On Windows it is the registry key
// HKEY_LOCAL_MACHINE\SOFTWARE\QUERVIN (REG_SZ values); elsewhere an INI file. The location is
// given when the store is made, so tests point it at a temporary file.
class RegStore {
  public:
    // An INI file at `iniPath`.
    explicit RegStore(QString iniPath);
    ~RegStore();
    RegStore(const RegStore&) = delete;
    RegStore& operator=(const RegStore&) = delete;

    // The platform's store: the registry key on Windows, defaultIniPath() elsewhere.
    static std::unique_ptr<RegStore> platformStore();
    // <user configuration directory>/QUERVIN/quervin.ini
    static QString defaultIniPath();

    // Where the values live, for the user to read (a file path or a registry key).
    QString location() const;

    // 0 = read, `value` replaced by the whole stored text; -1 = the store cannot be opened
    // (missing, unreadable, not a valid store); -2 = no such value. `value` is left unchanged
    // unless 0 is returned.
    int16_t getRegValue(const QString& name, QString& value);
    // 0 = written; -1 = the store cannot be opened for writing; -2 = the write failed.
    // The file is replaced atomically, so a crash never leaves half a store behind.
    int16_t setRegValue(const QString& name, const QString& value);

    // Between beginBatch and endBatch the values are written to disk once, at the outermost
    // endBatch, rather than once per setRegValue. endBatch returns the status of that write.
    void beginBatch();
    int16_t endBatch();

  private:
    bool storeExists() const;
    bool canWrite() const;
    QSettings& settings();

    QString path_;
    bool native_ = false;
    int batch_ = 0;
    bool batchRefused_ = false;
    std::unique_ptr<QSettings> settings_;
};

// The process-wide store that the settings object and the statement ring use. Until
// setRegStore is called it is the platform's store.
RegStore& regStore();
void setRegStore(std::unique_ptr<RegStore> store);

int16_t getRegValue(const QString& name, QString& value);
int16_t setRegValue(const QString& name, const QString& value);

// Empty text for a null value, the value's text form otherwise.
QString nullToEmpty(const QVariant& value);

}  // namespace qv
