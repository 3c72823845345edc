#include "gui/logindialog.h"
#include "support/modalanswerer.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <memory>

using namespace Qt::StringLiterals;
using namespace qv;

namespace {

class LoginDialogTest : public ::testing::Test {
  protected:
    ~LoginDialogTest() override {
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        delete LoginDialog::current();  // the next test starts as a fresh process would
    }
    LoginDialog& dialog() { return LoginDialog::instance(names); }
    // Waits for the service list, which is read on a thread of its own.
    static void waitForNames(LoginDialog& d) {
        if (d.isLoadingServiceNames()) {
            QSignalSpy loaded(&d, &LoginDialog::serviceNamesLoaded);
            ASSERT_TRUE(loaded.wait(10'000));
        }
    }
    // Runs the dialog modally and, once it is up, lets `act` type and click.
    static void runDialog(LoginDialog& d, std::function<void()> act) {
        QTimer::singleShot(0, act);
        d.exec();
    }

    std::shared_ptr<std::atomic<int>> loads = std::make_shared<std::atomic<int>>(0);
    // Read on another thread, which may outlive the test: the count is shared with it.
    std::function<QStringList()> names = [loads = loads] {
        ++*loads;
        return QStringList{u"ORCL2"_s, u"ORCL"_s, u"sqlite:sample"_s};
    };
};

}  // namespace

TEST_F(LoginDialogTest, OpensEmptyOnTheServiceListAndRefusesAnEmptyServerThenAnEmptyUser) {
    LoginDialog& d = dialog();
    waitForNames(d);
    QStringList captions{d.windowTitle(), d.connectButton()->text(), d.cancelButton()->text()};
    for (const QLabel* l : d.findChildren<QLabel*>())
        captions << l->text();
    EXPECT_EQ(captions,
              (QStringList{u"Oracleログイン"_s, u"接  続"_s, u"取  消"_s, QString(), u"サーバ："_s,
                           u"ユーザ："_s, u"パスワード："_s, u"ドライバ："_s}));
    EXPECT_EQ(
        std::tuple(d.passwordEdit()->echoMode(), d.serviceBox()->isEditable(),
                   d.serviceBox()->currentText().isEmpty(), d.serviceBox()->count(), loads->load()),
        std::tuple(QLineEdit::Password, true, true, 3, 1));

    test::ModalAnswerer answerer;
    runDialog(d, [&] {
        d.connectButton()->click();
        EXPECT_TRUE(d.isVisible()) << "the dialog stays open";
        EXPECT_EQ(d.focusWidget(), d.serviceBox());
        d.serviceBox()->setEditText(u"ORCL"_s);
        d.connectButton()->click();
        EXPECT_EQ(d.focusWidget(), d.userEdit());
        d.cancelButton()->click();
    });
    EXPECT_EQ(answerer.seen, (QStringList{u"DB接続エラー|サーバを指定してください。"_s,
                                          u"DB接続エラー|ユーザを指定してください。"_s}));
    EXPECT_FALSE(d.wasAccepted());
}

TEST_F(LoginDialogTest, AcceptTakesTheValuesAsTypedCancelKeepsThemAndTheCloseBoxMakesItAnew) {
    LoginDialog* first = &dialog();
    waitForNames(*first);  // its reading counts once, whenever its thread gets to run
    // Typed, not completed: a tool that runs DML must connect to exactly the name typed.
    first->setup({QString(), u"scott"_s, QString()}, QString());
    runDialog(*first, [&] {
        QApplication::setActiveWindow(first);
        first->serviceBox()->setFocus();
        QTest::keyClicks(first->serviceBox()->lineEdit(), u"ORCL"_s);
        first->connectButton()->click();
    });
    const LoginValues& got = first->accepted();
    EXPECT_EQ(std::tuple(first->wasAccepted(), got.service, got.user, got.password),
              std::tuple(true, u"ORCL"_s, u"scott"_s, QString()));

    first->setup({u"DEV"_s, u"u"_s, u"p"_s}, u"Oracle 19 ODBC driver"_s);
    EXPECT_EQ(first->driverLabel()->text(), u"Oracle 19 ODBC driver"_s);
    EXPECT_FALSE(first->wasAccepted()) << "setup forgets the last acceptance";
    runDialog(*first, [&] { first->cancelButton()->click(); });
    EXPECT_EQ(std::pair(first->wasAccepted(), got.service), std::pair(false, u"ORCL"_s))
        << "cancel keeps the last accepted values";

    runDialog(*first, [&] { first->connectButton()->click(); });
    runDialog(*first, [&] { first->close(); });
    EXPECT_FALSE(first->wasAccepted()) << "the close box cancels";
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    waitForNames(dialog());
    EXPECT_EQ(std::pair(dialog().serviceBox()->currentText(), loads->load()),
              std::pair(QString(), 2))
        << "a new, empty dialog that read the list again";
}

// However long the names take to read, the dialog is there at once and can be typed in; the
// list fills when they arrive and what was typed stays.
TEST_F(LoginDialogTest, TheServiceListIsReadOffTheWindowsThread) {
    auto gate = std::make_shared<QSemaphore>();
    names = [gate] {
        gate->tryAcquire(1, 10'000);
        return QStringList{u"SLOW"_s};
    };
    LoginDialog& d = dialog();
    EXPECT_TRUE(d.isLoadingServiceNames());
    d.serviceBox()->setEditText(u"TYPED"_s);
    EXPECT_EQ(d.serviceBox()->count(), 0);
    QSignalSpy loaded(&d, &LoginDialog::serviceNamesLoaded);
    gate->release();
    ASSERT_TRUE(loaded.wait(10'000));
    EXPECT_EQ(std::pair(d.serviceBox()->itemText(0), d.serviceBox()->currentText()),
              std::pair(u"SLOW"_s, u"TYPED"_s));
}

// Reading the names may fail in any way: the dialog says so and stays usable, its list empty.
TEST_F(LoginDialogTest, AFailureReadingTheServiceListIsToldAndTheDialogStays) {
    names = []() -> QStringList { throw std::runtime_error("no memory left"); };
    test::ModalAnswerer answerer;
    LoginDialog& d = dialog();
    waitForNames(d);
    EXPECT_EQ(
        std::pair(answerer.seen, d.serviceBox()->count()),
        std::pair(QStringList{u"QuervinStudio|内部エラーが発生しました。\nno memory left"_s}, 0));
}

// Typing starts in the first box still to fill, wherever the focus was left last time.
TEST_F(LoginDialogTest, TheFocusStartsInTheFirstEmptyBox) {
    LoginDialog& d = dialog();
    const QList<LoginValues> presets = {{QString(), u"scott"_s, QString()},
                                        {u"ORCL"_s, QString(), QString()},
                                        {u"ORCL"_s, u"scott"_s, QString()},
                                        {QString(), QString(), QString()}};
    QStringList focused;
    for (const LoginValues& values : presets) {
        d.setup(values, QString());
        runDialog(d, [&] {
            const QWidget* f = d.focusWidget();
            focused << (!f                                                       ? u"none"_s
                        : f == d.serviceBox() || d.serviceBox()->isAncestorOf(f) ? u"service"_s
                                                                                 : f->objectName());
            // Left elsewhere for the next opening.
            d.userEdit()->setFocus();
            d.cancelButton()->click();
        });
    }
    EXPECT_EQ(focused, (QStringList{u"service"_s, u"userEdit"_s, u"passwordEdit"_s, u"service"_s}));
}
