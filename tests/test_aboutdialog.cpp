// The about box, its system-information report and how the Windows viewer is found.
#include "core/about/aboutinfo.h"
#include "core/about/systeminfo.h"
#include "gui/aboutdialog.h"
#include "gui/systeminfodialog.h"
#include "support/checks.h"
#include "support/tempprogram.h"

#include "core/embedded/session/sessions.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace qv;
using namespace Qt::StringLiterals;

// The boxes and the report belong to the frame and go with it.
TEST(AboutDialog, WhatTheBoxShowsAndOneBoxAtATimeMadeAnewAfterOkEscOrTheCloseBox) {
    test::TempProgram tmp;
    ProgramState& program = tmp.program();
    QWidget frame;
    frame.show();
    showAboutDialog(systemInfoSources(program), &frame);
    QPointer<AboutDialog> box = aboutDialogIfOpen();
    ASSERT_NE(box, nullptr);
    const QImage image = box->grab().toImage();  // the etched line: grey over white
    const QPoint mid = (box->greyLine().p1() + box->greyLine().p2()) / 2;
    EXPECT_EQ(
        (QStringList{box->windowTitle(), box->titleLabel()->text(), box->versionLabel()->text(),
                     box->descriptionLabel()->text(), box->okButton()->text(),
                     box->systemInfoButton()->text(), box->feedbackLabel()->text(),
                     versionText({10, 0, 23}), QColor(image.pixel(mid)).name(),
                     QColor(image.pixel(mid + QPoint(0, 1))).name()}),
        (QStringList{
            u"QuervinStudioのﾊﾞｰｼﾞｮﾝ情報"_s, u"QuervinStudio"_s, u"ﾊﾞｰｼﾞｮﾝ 1.2.1"_s,
            u"QuervinStudioはSQLチューニングを支援します。実行計画、統計情報より性能評価を行えます。"_s,
            u"OK"_s, u"ｼｽﾃﾑ情報(&S)..."_s,
            u"ご意見・ご要望、不具合のご報告は、ｼｽﾃﾑ情報を添えて次の宛先までお寄せください。\n"
            u"support@quervin.example"_s,
            u"ﾊﾞｰｼﾞｮﾝ 10.0.23"_s, u"#808080"_s, u"#ffffff"_s}));
    EXPECT_EQ(std::tuple(box->okButton()->isDefault(), box->isModal(),
                         box->iconLabel()->pixmap().isNull(), box->parentWidget() == &frame),
              std::tuple(true, false, false, true));
    // One box at a time; a closed box is destroyed and made anew by the next command.
    for (auto closeIt : {+[](AboutDialog* b) { b->okButton()->click(); },
                         +[](AboutDialog* b) { QTest::keyClick(b, Qt::Key_Escape); },
                         +[](AboutDialog* b) { b->close(); }}) {
        showAboutDialog(systemInfoSources(program), &frame);
        ASSERT_TRUE(aboutDialogIfOpen() && (box.isNull() || aboutDialogIfOpen() == box));
        box = aboutDialogIfOpen();
        closeIt(box);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(box.isNull());
    }

#ifndef Q_OS_WIN  // No viewer: the box shows a report to copy, and it outlives the box.
    program.machine().odbcDrivers = [] { return u"Oracle in XE|SQLite3"_s.split(u'|'); };
    program.machine().tnsnamesPath = [] { return u"/opt/tnsnames.ora"_s; };
    program.setRecordingFilePath(u"/home/u/quervhst.db"_s);
    showAboutDialog(systemInfoSources(program), &frame);
    aboutDialogIfOpen()->systemInfoButton()->click();
    aboutDialogIfOpen()->okButton()->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    SystemInfoDialog* info = systemInfoDialogIfOpen();
    // The OS and the driver manager vary.
    const auto items = systemInfoItems(systemInfoSources(program));
    ASSERT_TRUE(info && items.size() == 9);
    EXPECT_TRUE(items[3].second.startsWith(u"unixODBC "_s)) << "it answers without a connection";
    QApplication::clipboard()->clear();
    info->copyButton()->click();
    const QString report =
        u"QuervinStudio: ﾊﾞｰｼﾞｮﾝ 1.2.1\nOS: %1\nQt: %2\nODBC: %3\nSQLite: %4\nODBCﾄﾞﾗｲﾊﾞ:\n"
        u"  Oracle in XE\n  SQLite3\nTNSNAMES: /opt/tnsnames.ora\n設定: %5\n"
        u"履歴ﾌｧｲﾙ: /home/u/quervhst.db\n"_s.arg(items[1].second, QString::fromLatin1(qVersion()),
                                                 items[3].second, items[4].second, tmp.path());
    // Our own SQLite measures everything; a build on the system's says what it cannot.
    EXPECT_EQ(items[4].second,
              QString::fromLatin1(sqlite3_libversion()) +
                  (embedded::measuredByScanStatus() ? QString()
                                                    : u" (not measured: table fetch by "
                                                      u"rowid, index fetch by key, sorts "
                                                      u"(rows))"_s));
    EXPECT_EQ(std::tuple(info->isVisible(), info->text(), QApplication::clipboard()->text()),
              std::tuple(true, report, report));
    EXPECT_EQ(
        (QStringList{info->windowTitle(), info->copyButton()->text(), info->closeButton()->text()}),
        (QStringList{u"ｼｽﾃﾑ情報"_s, u"ｺﾋﾟｰ(&C)"_s, u"閉じる"_s}));
#endif
}

// Missing sources read as unknown, empty ones as none; the driver manager reads as its name,
// major and minor version, and ODBC level.
TEST(SysInfo, MissingSourcesAndTheDriverManager) {
    const auto none =
        systemInfoItems({[] { return QStringList(); }, [] { return QString(); }, {}, {}});
    EXPECT_EQ((QStringList{none[5].second, none[6].second, none[7].second, none[8].second,
                           systemInfoItems({}).at(6).second,
                           describeDriverManager(u"03.52.0002.0003"_s, u"unixODBC"_s),
                           describeDriverManager(u"3.8 beta"_s, u"DM"_s),
                           describeDriverManager(QString(), u"unixODBC"_s)}),
              (QStringList{u"(なし)"_s, u"(なし)"_s, u"(不明)"_s, u"(不明)"_s, u"(不明)"_s,
                           u"unixODBC 2.3 (ODBC 3.52)"_s, u"DM 3.8 beta"_s, u"(不明)"_s}));
}

TEST(AboutInfo, SystemInformationViewerIsFoundThroughTheRegistry) {
    std::optional<QString> path, folder;  // the registry's MSINFO PATH and MSINFO folder values
    QStringList files, asked;
    const auto lookup = [&](const QString& key, const QString& name) {
        asked << key + u'|' + name;
        return name == u"PATH"_s ? path : folder;
    };
    auto find = [&] {
        return findSystemInfoProgram(lookup, [&](auto& f) { return files.contains(f); });
    };
    EXPECT_EQ(find(), QString());
    EXPECT_EQ(asked, (QStringList{u"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO|PATH"_s,
                                  u"SOFTWARE\\Microsoft\\Shared Tools Location|MSINFO"_s}));
    folder = u"C:\\Tools\\MSInfo"_s;
    EXPECT_EQ(find(), QString()) << "folder without the program";
    files << u"C:\\Tools\\MSInfo\\MSINFO32.EXE"_s;
    EXPECT_EQ(find(), u"C:\\Tools\\MSInfo\\MSINFO32.EXE"_s);
    path = u"\"C:\\Program Files\\Common Files\\MSInfo\\msinfo32.exe\""_s;
    EXPECT_EQ(find(), u"C:\\Program Files\\Common Files\\MSInfo\\msinfo32.exe"_s);

    // Two digits a byte, or 0x00000102 and 0x00001002 would read alike.
    EXPECT_EQ((QStringList{regDwordText(0x00001002u), regDwordText(0xDEADBEEFu)}),
              (QStringList{u"&h00001002"_s, u"&hDEADBEEF"_s}));
}
