#include "support/e2e.h"

#include "gui/logindialog.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace qv::test {

WindowTest::WindowTest() {
    program().setSampleDirectory(sampleDir.path());
    program().machine().serviceNames = [] { return QStringList{u"sqlite:sample"_s}; };
    frame = std::make_unique<MainFrame>(program());
    frame->show();
    model().setHistoryFilePath(historyDir.filePath(u"quervhst.mdb"_s));
}

WindowTest::~WindowTest() {
    frame.reset();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    delete LoginDialog::current();
}

void WindowTest::login(const QString& service, const QString& user, const QString& password) {
    answerLogin(service, user, password);
    frame->action(u"login"_s)->trigger();
    // The connections open on a thread of their own; the window shows the outcome.
    EXPECT_TRUE(waitUntil([this] { return !model().isConnecting(); }));
}

void WindowTest::answerLogin(const QString& service, const QString& user, const QString& password) {
    QTimer::singleShot(0, [=] {
        LoginDialog& d = *LoginDialog::current();
        d.serviceBox()->setEditText(service);
        d.userEdit()->setText(user);
        d.passwordEdit()->setText(password);
        d.connectButton()->click();
    });
}

void WindowTest::start(const QString& sql) {
    window()->sqlEdit()->setText(sql);
    window()->executeButton()->click();
}

void WindowTest::run(const QString& sql) {
    start(sql);
    // The run goes on its own thread (after a login the button started, if any); a question
    // it asks is answered through the event loop.
    EXPECT_TRUE(waitUntil([this] { return !model().isRunning() && !model().isConnecting(); }));
}

bool WindowTest::waitUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

QString WindowTest::statValue(const QString& name) {
    const GridModel& g = model().statsGrid();
    for (int r = 1; r < g.rows(); ++r) {
        if (g.text(r, 2) == name)
            return g.text(r, 1);
    }
    return QString();
}

}  // namespace qv::test
