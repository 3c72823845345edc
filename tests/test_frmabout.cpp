#include "app/frmabout.h"
#include "app/frmsysinfo.h"
#include "app/program.h"
#include "app/sysinfo.h"
#include "support/tempstore.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace qv;

namespace {

int px(QWidget* w, int twips) {
    return twipsToPixels(twips, w->logicalDpiY());
}

void flushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

class FrmAboutTest : public ::testing::Test {
  protected:
    void TearDown() override {
        if (FrmAbout* box = aboutBoxIfOpen())
            delete box;
        if (FrmSysInfo* w = sysInfoWindowIfOpen())
            delete w;
        flushDeletes();
        setSysInfoSources({});
    }
    test::TempStore tmp;
};

}  // namespace

TEST_F(FrmAboutTest, TextsAndPlaces) {
    FrmAbout box;
    EXPECT_EQ(box.windowTitle(), QStringLiteral("QuervinStudioのﾊﾞｰｼﾞｮﾝ情報"));
    EXPECT_EQ(box.lblTitle()->text(), QStringLiteral("QuervinStudio"));
    EXPECT_EQ(box.lblVersion()->text(), QStringLiteral("ﾊﾞｰｼﾞｮﾝ 1.2.1"));
    EXPECT_EQ(box.lblDescription()->text(),
              QStringLiteral("QuervinStudioはSQLチューニングを支援します。実行計画、統計情報より性"
                             "能評価を行えます。"));
    EXPECT_TRUE(box.lblDisclaimer()->text().endsWith(QStringLiteral("support@quervin.example")));
    EXPECT_EQ(box.cmdOK()->text(), QStringLiteral("OK"));
    EXPECT_TRUE(box.cmdOK()->isDefault());
    EXPECT_EQ(box.cmdSysInfo()->text(), QStringLiteral("ｼｽﾃﾑ情報(&S)..."));
    EXPECT_FALSE(box.isModal());
    EXPECT_FALSE(box.windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint));
    EXPECT_EQ(box.size(), QSize(px(&box, 5730), px(&box, 3420)));
    EXPECT_FALSE(box.picIcon()->pixmap().isNull());

    auto rect = [&](int l, int t, int w, int h) {
        return QRect(px(&box, l), px(&box, t), px(&box, w), px(&box, h));
    };
    EXPECT_EQ(box.picIcon()->geometry(), rect(240, 240, 480, 480));
    EXPECT_EQ(box.lblTitle()->geometry(), rect(1050, 240, 3885, 480));
    EXPECT_EQ(box.lblVersion()->geometry(), rect(1050, 780, 3885, 225));
    EXPECT_EQ(box.lblDescription()->geometry(), rect(1050, 1125, 4125, 570));
    EXPECT_EQ(box.lblDisclaimer()->geometry(), rect(240, 2400, 3870, 915));
    EXPECT_EQ(box.cmdOK()->geometry(), rect(4245, 2400, 1380, 345));
    EXPECT_EQ(box.cmdSysInfo()->geometry(), rect(4260, 2880, 1380, 345));
}

TEST_F(FrmAboutTest, EtchedLineIsGreyOverWhite) {
    FrmAbout box;
    box.show();
    const QImage image = box.grab().toImage();
    const QLine grey = box.greyLine();
    const int midX = (grey.x1() + grey.x2()) / 2;
    EXPECT_EQ(QColor(image.pixel(midX, grey.y1())), QColor(0x80, 0x80, 0x80));
    EXPECT_EQ(QColor(image.pixel(midX, grey.y1() + 1)), QColor(Qt::white));
    EXPECT_NE(QColor(image.pixel(midX, grey.y1() - 1)), QColor(0x80, 0x80, 0x80));
    EXPECT_NE(QColor(image.pixel(midX, grey.y1() + 4)), QColor(Qt::white)) << "only a line";
    EXPECT_EQ(box.whiteLine(),
              QLine(px(&box, 105), px(&box, 2160), px(&box, 5654), px(&box, 2160)));
    EXPECT_EQ(grey, QLine(px(&box, 120), px(&box, 2160), px(&box, 5684), px(&box, 2160)));
}

TEST_F(FrmAboutTest, OneBoxAtATimeMadeAnewAfterEachClose) {
    QWidget frame;
    frame.show();
    showAboutBox(&frame);
    QPointer<FrmAbout> first = aboutBoxIfOpen();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->parentWidget(), &frame);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "not modal";
    showAboutBox(&frame);
    EXPECT_EQ(aboutBoxIfOpen(), first.data());

    first->cmdOK()->click();
    flushDeletes();
    EXPECT_TRUE(first.isNull()) << "OK destroys the box";
    EXPECT_EQ(aboutBoxIfOpen(), nullptr);

    showAboutBox(&frame);
    QPointer<FrmAbout> second = aboutBoxIfOpen();
    ASSERT_NE(second, nullptr);
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(second, &esc);
    flushDeletes();
    EXPECT_TRUE(second.isNull()) << "Esc closes it as well";

    showAboutBox(&frame);
    QPointer<FrmAbout> third = aboutBoxIfOpen();
    third->close();
    flushDeletes();
    EXPECT_TRUE(third.isNull()) << "and so does the close box";
}

#ifndef Q_OS_WIN
TEST_F(FrmAboutTest, SystemInformationButtonShowsACopyableReport) {
    SysInfoSources sources;
    sources.odbcDrivers = [] { return QStringList{QStringLiteral("Oracle in XE")}; };
    sources.historyPath = [] { return QStringLiteral("/tmp/quervhst.db"); };
    setSysInfoSources(sources);
    QWidget frame;
    frame.show();
    showAboutBox(&frame);
    aboutBoxIfOpen()->cmdSysInfo()->click();
    FrmSysInfo* info = sysInfoWindowIfOpen();
    ASSERT_NE(info, nullptr);
    EXPECT_TRUE(info->isVisible());
    EXPECT_EQ(info->windowTitle(), QStringLiteral("ｼｽﾃﾑ情報"));
    EXPECT_EQ(info->text(), sysInfoText(sysInfoItems(sources)));
    EXPECT_TRUE(info->text().contains(QStringLiteral("ODBCﾄﾞﾗｲﾊﾞ: Oracle in XE\n")));

    QApplication::clipboard()->clear();
    info->cmdCopy()->click();
    EXPECT_EQ(QApplication::clipboard()->text(), info->text());

    // The report outlives the about box, and a second click reuses its window.
    aboutBoxIfOpen()->cmdOK()->click();
    flushDeletes();
    EXPECT_TRUE(info->isVisible());
    showAboutBox(&frame);
    aboutBoxIfOpen()->cmdSysInfo()->click();
    EXPECT_EQ(sysInfoWindowIfOpen(), info);
}
#endif
