#include "support/e2e.h"

#include "app/program.h"
#include "embedded/embeddedengine.h"
#include "oracle/frmlogin.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace qv::test {

WindowTest::WindowTest() {
    setSampleDirectory(sampleDir.path());
    setProgramEndHandler(nullptr);
    FrmLogin::setServiceNameSource([] { return QStringList{u"sqlite:sample"_s}; });
    frame = std::make_unique<MdiMain>();
    frame->show();
    model().setHistoryPath(historyDir.filePath(u"quervhst.mdb"_s));
}

WindowTest::~WindowTest() {
    frame.reset();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    delete &FrmLogin::instance();
    FrmLogin::setServiceNameSource(nullptr);
    setSampleDirectory(QString());
}

void WindowTest::login(const QString& service, const QString& user, const QString& pass) {
    answerLogin(service, user, pass);
    frame->action(u"mnuLogin"_s)->trigger();
}

void WindowTest::answerLogin(const QString& service, const QString& user, const QString& pass) {
    QTimer::singleShot(0, [=] {
        FrmLogin& d = FrmLogin::instance();
        d.cmbDBQ()->setEditText(service);
        d.txtUID()->setText(user);
        d.txtPass()->setText(pass);
        d.cmdAccept()->click();
    });
}

void WindowTest::run(const QString& sql) {
    form()->txtSQL()->setPlainText(sql);
    form()->cmdExec()->click();
    QApplication::processEvents();
}

QString WindowTest::statValue(const QString& name) {
    const GridModel& g = model().grdStats();
    for (int r = 1; r < g.rows(); ++r) {
        if (g.text(r, 2) == name)
            return g.text(r, 1);
    }
    return QString();
}

}  // namespace qv::test
