// Takes the README's screenshot: a query window after a run on the sample database, with its
// plan, rows and statistics. Run under Xvfb (tools/docshots.sh); the whole screen is saved.
#include "core/embedded/embeddedengine.h"
#include "core/settings/settingsstore.h"
#include "core/tuning/planstep.h"
#include "gui/mainframe.h"
#include "gui/querywindow.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>

using namespace qv;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: docshots OUTPUT.png\n");
        return 2;
    }
    QTemporaryDir dir;
    setSettingsStore(std::make_unique<SettingsStore>(dir.filePath(QStringLiteral("quervin.ini"))));
    {
        // The plan table exists already, as after a first run that created it.
        auto db = openEmbeddedDatabase(QStringLiteral("sqlite:sample"), QStringLiteral("demo"));
        try {
            db->execute(planTableCreateStatement(QStringLiteral("QUERVIN$PLAN_TABLE")));
        } catch (const DbError&) {
        }
    }
    MainFrame frame;
    frame.resize(frame.width() + 160, frame.height() + 90);
    frame.show();
    QueryWindow* window = frame.activeQueryWindow();
    if (auto* sub = window->parentWidget())
        sub->resize(sub->width() + 150, sub->height() + 80);
    ConnectionService& c = window->model().connection();
    c.setLogin({QStringLiteral("sqlite:sample"), QStringLiteral("demo"), QString()});
    c.connectToService();
    window->sqlEdit()->setPlainText(
        QStringLiteral("select c.name, o.order_date, o.total_amount\n"
                       "  from customers c join orders o on o.customer_id = c.customer_id\n"
                       " where c.city = '札幌' and o.status = 'SHIPPED'\n"
                       " order by o.total_amount desc"));
    window->executeButton()->click();
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
        QThread::msleep(50);
    }
    const QPixmap shot = frame.screen()->grabWindow(
        0, frame.x(), frame.y(), frame.frameGeometry().width(), frame.frameGeometry().height());
    return shot.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
