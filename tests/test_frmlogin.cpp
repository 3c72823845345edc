#include "oracle/frmlogin.h"
#include "support/modalanswerer.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

using namespace qv;

namespace {

class LoginDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FrmLogin::setServiceNameSource([this] {
            ++loads;
            return QStringList{QStringLiteral("ORCL"), QStringLiteral("DEV"),
                               QStringLiteral("sqlite:sample")};
        });
    }
    void TearDown() override {
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        delete &FrmLogin::instance();  // the next test starts as a fresh process would
        FrmLogin::setServiceNameSource(nullptr);
    }

    // Runs the dialog modally and, once it is up, lets `act` type and click.
    void runDialog(FrmLogin& d, std::function<void()> act) {
        QTimer::singleShot(0, [act] { act(); });
        d.exec();
    }

    int loads = 0;
};

}  // namespace

TEST_F(LoginDialogTest, ControlsReadAsDesignedAndListTheServices) {
    FrmLogin& d = FrmLogin::instance();
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Oracleログイン"));
    EXPECT_EQ(d.cmdAccept()->text(), QStringLiteral("接  続"));
    EXPECT_EQ(d.cmdCancel()->text(), QStringLiteral("取  消"));
    EXPECT_EQ(d.txtPass()->echoMode(), QLineEdit::Password);
    ASSERT_EQ(d.cmbDBQ()->count(), 3);
    EXPECT_EQ(d.cmbDBQ()->itemText(2), QStringLiteral("sqlite:sample"));
    EXPECT_TRUE(d.cmbDBQ()->isEditable());
    EXPECT_EQ(d.cmbDBQ()->currentText(), QString());
    EXPECT_FALSE(d.oraLoginModify);
    EXPECT_EQ(loads, 1);
}

TEST_F(LoginDialogTest, EmptyServerIsRefusedBeforeTheUserIsLookedAt) {
    FrmLogin& d = FrmLogin::instance();
    d.setup(QString(), QString(), QString());
    test::ModalAnswerer answerer;
    runDialog(d, [&] {
        d.cmdAccept()->click();
        EXPECT_TRUE(d.isVisible()) << "the dialog stays open";
        EXPECT_TRUE(d.cmbDBQ()->hasFocus() || d.focusWidget() == d.cmbDBQ() ||
                    d.cmbDBQ()->isAncestorOf(d.focusWidget()));
        d.cmbDBQ()->setEditText(QStringLiteral("ORCL"));
        d.cmdAccept()->click();
        EXPECT_EQ(d.focusWidget(), d.txtUID());
        d.cmdCancel()->click();
    });
    EXPECT_EQ(answerer.seen,
              (QStringList{QStringLiteral("DB接続エラー|サーバを指定してください。"),
                           QStringLiteral("DB接続エラー|ユーザを指定してください。")}));
    EXPECT_FALSE(d.oraLoginModify);
}

TEST_F(LoginDialogTest, AcceptTakesTheValuesAsTyped) {
    FrmLogin& d = FrmLogin::instance();
    d.setup(QStringLiteral(" ORCL "), QStringLiteral("scott"), QString());
    runDialog(d, [&] { d.cmdAccept()->click(); });
    EXPECT_TRUE(d.oraLoginModify);
    EXPECT_EQ(d.oraDBQ, QStringLiteral(" ORCL "));
    EXPECT_EQ(d.oraUser, QStringLiteral("scott"));
    EXPECT_EQ(d.oraPass, QString());

    d.setup(QStringLiteral("DEV"), QStringLiteral("u"), QStringLiteral("p"));
    EXPECT_FALSE(d.oraLoginModify) << "setup clears the accepted flag";
    runDialog(d, [&] { d.cmdCancel()->click(); });
    EXPECT_FALSE(d.oraLoginModify);
    EXPECT_EQ(d.oraDBQ, QStringLiteral(" ORCL ")) << "cancel keeps the last accepted values";
}

TEST_F(LoginDialogTest, CloseBoxCancelsAndTheDialogIsMadeAnewWithItsListReadAgain) {
    FrmLogin* first = &FrmLogin::instance();
    first->setup(QStringLiteral("ORCL"), QStringLiteral("scott"), QStringLiteral("pw"));
    runDialog(*first, [first] { first->close(); });
    EXPECT_FALSE(first->oraLoginModify);
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    FrmLogin& second = FrmLogin::instance();
    EXPECT_EQ(loads, 2);
    EXPECT_EQ(second.cmbDBQ()->currentText(), QString());
}
