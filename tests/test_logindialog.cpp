#include "gui/logindialog.h"
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
        LoginDialog::setServiceNameSource([this] {
            ++loads;
            return QStringList{u"ORCL"_s, u"DEV"_s, u"sqlite:sample"_s};
        });
    }
    void TearDown() override {
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        delete &LoginDialog::instance();  // the next test starts as a fresh process would
        LoginDialog::setServiceNameSource(nullptr);
    }

    // Runs the dialog modally and, once it is up, lets `act` type and click.
    void runDialog(LoginDialog& d, std::function<void()> act) {
        QTimer::singleShot(0, [act] { act(); });
        d.exec();
    }

    int loads = 0;
};

}  // namespace

TEST_F(LoginDialogTest, ControlsReadAsDesignedAndListTheServices) {
    LoginDialog& d = LoginDialog::instance();
    EXPECT_EQ(d.windowTitle(), u"Oracleログイン"_s);
    EXPECT_EQ(d.connectButton()->text(), u"接  続"_s);
    EXPECT_EQ(d.cancelButton()->text(), u"取  消"_s);
    EXPECT_EQ(d.passwordEdit()->echoMode(), QLineEdit::Password);
    ASSERT_EQ(d.serviceBox()->count(), 3);
    EXPECT_EQ(d.serviceBox()->itemText(2), u"sqlite:sample"_s);
    EXPECT_TRUE(d.serviceBox()->isEditable());
    EXPECT_EQ(d.serviceBox()->currentText(), QString());
    EXPECT_FALSE(d.wasAccepted());
    EXPECT_EQ(loads, 1);
}

TEST_F(LoginDialogTest, EmptyServerIsRefusedBeforeTheUserIsLookedAt) {
    LoginDialog& d = LoginDialog::instance();
    d.setup({QString(), QString(), QString()});
    test::ModalAnswerer answerer;
    runDialog(d, [&] {
        d.connectButton()->click();
        EXPECT_TRUE(d.isVisible()) << "the dialog stays open";
        EXPECT_TRUE(d.serviceBox()->hasFocus() || d.focusWidget() == d.serviceBox() ||
                    d.serviceBox()->isAncestorOf(d.focusWidget()));
        d.serviceBox()->setEditText(u"ORCL"_s);
        d.connectButton()->click();
        EXPECT_EQ(d.focusWidget(), d.userEdit());
        d.cancelButton()->click();
    });
    EXPECT_EQ(answerer.seen, (QStringList{u"DB接続エラー|サーバを指定してください。"_s,
                                          u"DB接続エラー|ユーザを指定してください。"_s}));
    EXPECT_FALSE(d.wasAccepted());
}

TEST_F(LoginDialogTest, AcceptTakesTheValuesAsTyped) {
    LoginDialog& d = LoginDialog::instance();
    d.setup({u" ORCL "_s, u"scott"_s, QString()});
    runDialog(d, [&] { d.connectButton()->click(); });
    EXPECT_TRUE(d.wasAccepted());
    EXPECT_EQ(d.accepted().service, u" ORCL "_s);
    EXPECT_EQ(d.accepted().user, u"scott"_s);
    EXPECT_EQ(d.accepted().password, QString());

    d.setup({u"DEV"_s, u"u"_s, u"p"_s});
    EXPECT_FALSE(d.wasAccepted()) << "setup clears the accepted flag";
    runDialog(d, [&] { d.cancelButton()->click(); });
    EXPECT_FALSE(d.wasAccepted());
    EXPECT_EQ(d.accepted().service, u" ORCL "_s) << "cancel keeps the last accepted values";
}

TEST_F(LoginDialogTest, CloseBoxCancelsAndTheDialogIsMadeAnewWithItsListReadAgain) {
    LoginDialog* first = &LoginDialog::instance();
    first->setup({u"ORCL"_s, u"scott"_s, u"pw"_s});
    runDialog(*first, [first] { first->close(); });
    EXPECT_FALSE(first->wasAccepted());
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    LoginDialog& second = LoginDialog::instance();
    EXPECT_EQ(loads, 2);
    EXPECT_EQ(second.serviceBox()->currentText(), QString());
}
