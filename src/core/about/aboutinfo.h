#pragma once

#include "core/version.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

namespace qv {

struct AppVersion {
    int major = 0;
    int minor = 0;
    int revision = 0;
};
inline constexpr AppVersion kAppVersion{QUERVIN_VERSION_MAJOR, QUERVIN_VERSION_MINOR,
                                        QUERVIN_VERSION_PATCH};

inline const QString kAboutDescription = QStringLiteral(
    "QuervinStudioはSQLチューニングを支援します。実行計画、統計情報より性能評価を行えます。");
// Where users send feedback and problem reports.
inline const QString kFeedbackAddress = QStringLiteral("support@quervin.example");
inline const QString kMsgSystemInfoUnavailable =
    QStringLiteral("現時点ではｼｽﾃﾑ情報を使用できません");

// "<title>のﾊﾞｰｼﾞｮﾝ情報"
QString aboutCaption(const QString& title);
// "ﾊﾞｰｼﾞｮﾝ 1.2.1"
QString versionText(const AppVersion& v);
// The feedback line of the about box; it ends in kFeedbackAddress.
QString feedbackText();

// One registry value under HKEY_LOCAL_MACHINE\<key>: a string as stored, a 32-bit number as
// "&h" and its bytes in hexadecimal, last byte first, two digits each. nullopt when the key or
// the value cannot be read, and always on platforms without a registry.
using RegistryLookup =
    std::function<std::optional<QString>(const QString& key, const QString& valueName)>;
std::optional<QString> readRegistryValue(const QString& key, const QString& valueName);
QString regDwordText(uint32_t value);

// The system-information viewer to start, found through the registry: the MSINFO "PATH" value,
// else MSINFO32.EXE in the "Shared Tools Location" folder when that file exists. Empty when
// there is none.
QString findSystemInfoProgram(const RegistryLookup& lookup,
                              const std::function<bool(const QString&)>& fileExists);

}  // namespace qv
