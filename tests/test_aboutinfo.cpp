#include "app/aboutinfo.h"

#include <gtest/gtest.h>
#include <QMap>

using namespace qv;

TEST(AboutInfo, CaptionVersionAndTexts) {
    EXPECT_EQ(aboutCaption(QStringLiteral("QuervinStudio")),
              QStringLiteral("QuervinStudioのﾊﾞｰｼﾞｮﾝ情報"));
    EXPECT_EQ(versionText(kAppVersion), QStringLiteral("ﾊﾞｰｼﾞｮﾝ 1.2.1"));
    EXPECT_EQ(versionText({10, 0, 23}), QStringLiteral("ﾊﾞｰｼﾞｮﾝ 10.0.23"));
    EXPECT_TRUE(feedbackText().endsWith(kFeedbackAddress));
    EXPECT_TRUE(kFeedbackAddress.contains(u'@'));
}

TEST(AboutInfo, RegistryNumbersReadLastByteFirstTwoDigitsEach) {
    EXPECT_EQ(regDwordText(0x00000102u), QStringLiteral("&h00000102"));
    EXPECT_EQ(regDwordText(0x00001002u), QStringLiteral("&h00001002"));
    EXPECT_EQ(regDwordText(0xDEADBEEFu), QStringLiteral("&hDEADBEEF"));
}

TEST(AboutInfo, SystemInformationViewerIsFoundThroughTheRegistry) {
    const QString msinfoKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
    const QString locationKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");
    QMap<QString, QString> reg;
    QStringList files;
    QStringList asked;
    auto lookup = [&](const QString& key, const QString& name) -> std::optional<QString> {
        asked << key + QStringLiteral("|") + name;
        const auto it = reg.find(key + QStringLiteral("|") + name);
        if (it == reg.end())
            return std::nullopt;
        return *it;
    };
    auto exists = [&](const QString& path) { return files.contains(path); };

    EXPECT_EQ(findSysInfoProgram(lookup, exists), QString());
    EXPECT_EQ(asked, (QStringList{msinfoKey + QStringLiteral("|PATH"),
                                  locationKey + QStringLiteral("|MSINFO")}));

    reg[locationKey + QStringLiteral("|MSINFO")] = QStringLiteral("C:\\Tools\\MSInfo");
    EXPECT_EQ(findSysInfoProgram(lookup, exists), QString()) << "folder without the program";
    files << QStringLiteral("C:\\Tools\\MSInfo\\MSINFO32.EXE");
    EXPECT_EQ(findSysInfoProgram(lookup, exists),
              QStringLiteral("C:\\Tools\\MSInfo\\MSINFO32.EXE"));

    reg[msinfoKey + QStringLiteral("|PATH")] =
        QStringLiteral("\"C:\\Program Files\\Common Files\\MSInfo\\msinfo32.exe\"");
    EXPECT_EQ(findSysInfoProgram(lookup, exists),
              QStringLiteral("C:\\Program Files\\Common Files\\MSInfo\\msinfo32.exe"));
}

#ifndef Q_OS_WIN
TEST(AboutInfo, NoRegistryElsewhere) {
    EXPECT_FALSE(getKeyValue(QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                             QStringLiteral("PATH"))
                     .has_value());
}
#endif
