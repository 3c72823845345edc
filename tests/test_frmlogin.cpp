#include "oracle/frmlogin.h"
#include "support/modalanswerer.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

using namespace Qt::StringLiterals;

using namespace qv;

namespace {

class LoginDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FrmLogin::setServiceNameSource([this] {
            ++loads;
            return QStringList{u"ORCL"_s, u"DEV"_s, u"sqlite:sample"_s};
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
    EXPECT_EQ(d.windowTitle(), u"Oracleログイン"_s);
    EXPECT_EQ(d.cmdAccept()->text(), u"接  続"_s);
    EXPECT_EQ(d.cmdCancel()->text(), u"取  消"_s);
    EXPECT_EQ(d.txtPass()->echoMode(), QLineEdit::Password);
    ASSERT_EQ(d.cmbDBQ()->count(), 3);
    EXPECT_EQ(d.cmbDBQ()->itemText(2), u"sqlite:sample"_s);
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
        d.cmbDBQ()->setEditText(u"ORCL"_s);
        d.cmdAccept()->click();
        EXPECT_EQ(d.focusWidget(), d.txtUID());
        d.cmdCancel()->click();
    });
    EXPECT_EQ(answerer.seen, (QStringList{u"DB接続エラー|サーバを指定してください。"_s,
                                          u"DB接続エラー|ユーザを指定してください。"_s}));
    EXPECT_FALSE(d.oraLoginModify);
}

TEST_F(LoginDialogTest, AcceptTakesTheValuesAsTyped) {
    FrmLogin& d = FrmLogin::instance();
    d.setup(u" ORCL "_s, u"scott"_s, QString());
    runDialog(d, [&] { d.cmdAccept()->click(); });
    EXPECT_TRUE(d.oraLoginModify);
    EXPECT_EQ(d.oraDBQ, u" ORCL "_s);
    EXPECT_EQ(d.oraUser, u"scott"_s);
    EXPECT_EQ(d.oraPass, QString());

    d.setup(u"DEV"_s, u"u"_s, u"p"_s);
    EXPECT_FALSE(d.oraLoginModify) << "setup clears the accepted flag";
    runDialog(d, [&] { d.cmdCancel()->click(); });
    EXPECT_FALSE(d.oraLoginModify);
    EXPECT_EQ(d.oraDBQ, u" ORCL "_s) << "cancel keeps the last accepted values";
}

TEST_F(LoginDialogTest, CloseBoxCancelsAndTheDialogIsMadeAnewWithItsListReadAgain) {
    FrmLogin* first = &FrmLogin::instance();
    first->setup(u"ORCL"_s, u"scott"_s, u"pw"_s);
    runDialog(*first, [first] { first->close(); });
    EXPECT_FALSE(first->oraLoginModify);
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    FrmLogin& second = FrmLogin::instance();
    EXPECT_EQ(loads, 2);
    EXPECT_EQ(second.cmbDBQ()->currentText(), QString());
}
