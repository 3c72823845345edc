#include "core/about/aboutinfo.h"

#include <QSettings>
#include <QVariant>

namespace qv {

QString aboutCaption(const QString& title) {
    return title + QStringLiteral("のﾊﾞｰｼﾞｮﾝ情報");
}

QString versionText(const AppVersion& v) {
    return QStringLiteral("ﾊﾞｰｼﾞｮﾝ %1.%2.%3").arg(v.major).arg(v.minor).arg(v.revision);
}

QString feedbackText() {
    return QStringLiteral(
               "ご意見・ご要望、不具合のご報告は、ｼｽﾃﾑ情報を添えて次の宛先までお寄せください。"
               "\n") +
           kFeedbackAddress;
}

QString regDwordText(uint32_t value) {
    // Two digits per byte: "&h" + an unpadded byte each would read 0x00000102 and 0x00001002
    // alike.
    QString out = QStringLiteral("&h");
    for (int shift = 24; shift >= 0; shift -= 8)
        out +=
            QStringLiteral("%1").arg((value >> shift) & 0xFFu, 2, 16, QLatin1Char('0')).toUpper();
    return out;
}

std::optional<QString> readRegistryValue(const QString& key, const QString& valueName) {
#ifdef Q_OS_WIN
    QSettings reg(QStringLiteral("HKEY_LOCAL_MACHINE\\") + key, QSettings::NativeFormat);
    if (reg.status() != QSettings::NoError || !reg.contains(valueName))
        return std::nullopt;
    const QVariant v = reg.value(valueName);
    const int type = v.typeId();
    if (type == QMetaType::Int || type == QMetaType::UInt)
        return regDwordText(v.toUInt());
    return v.toString();
#else
    // Elsewhere a native QSettings path would name an INI file, not the registry.
    Q_UNUSED(key);
    Q_UNUSED(valueName);
    return std::nullopt;
#endif
}

namespace {
QString unquoted(QString path) {
    path = path.trimmed();
    if (path.size() >= 2 && path.startsWith(u'"') && path.endsWith(u'"'))
        path = path.mid(1, path.size() - 2);
    return path;
}
}  // namespace

QString findSystemInfoProgram(const RegistryLookup& lookup,
                              const std::function<bool(const QString&)>& fileExists) {
    if (const auto path = lookup(QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                                 QStringLiteral("PATH"));
        path && !unquoted(*path).isEmpty())
        return unquoted(*path);
    if (const auto dir = lookup(QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"),
                                QStringLiteral("MSINFO"))) {
        const QString exe = unquoted(*dir) + QStringLiteral("\\MSINFO32.EXE");
        if (fileExists(exe))
            return exe;
    }
    return QString();
}

}  // namespace qv
