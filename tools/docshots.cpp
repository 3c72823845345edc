// Takes the README's screenshot: a query window after a run on the sample database, with its
// plan, rows and statistics. Run under Xvfb (tools/docshots.sh); the whole screen is saved.
#include "core/embedded/service/embeddedengine.h"
#include "core/settings/settingsstore.h"
#include "core/tuning/planstep.h"
#include "core/window/programstate.h"
#include "core/window/querywindowmodel.h"
#include "gui/appicon.h"
#include "gui/findbar.h"
#include "gui/historywindow.h"
#include "gui/mainframe.h"
#include "gui/qttranslations.h"
#include "gui/querywindow.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

using namespace qv;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setWindowIcon(appIcon());
    installQtTranslations(app);
    if (argc < 7) {
        std::fprintf(stderr,
                     "usage: docshots AFTER-A-RUN.png DURING-A-RUN.png COMPARISON.png QUESTION.png "
                     "ACTUALS.png SQLBOX.png\n");
        return 2;
    }
    QTemporaryDir dir;
    ProgramState program(
        std::make_unique<SettingsStore>(dir.filePath(QStringLiteral("quervin.ini"))));
    {
        // No plan table yet, as at the first run: the window asks to create it.
        auto db = openEmbeddedDatabase(QStringLiteral("sqlite:sample"), QStringLiteral("demo"));
        try {
            db->execute(QStringLiteral("drop table QUERVIN$PLAN_TABLE"));
        } catch (const DbError&) {
        }
    }
    MainFrame frame(program);
    frame.resize(frame.width() + 160, frame.height() + 90);
    frame.show();
    QueryWindow* window = frame.activeQueryWindow();
    if (auto* sub = window->parentWidget())
        sub->resize(sub->width() + 150, sub->height() + 80);
    ConnectionService& c = window->model().connection();
    c.setLogin({QStringLiteral("sqlite:sample"), QStringLiteral("demo"), QString()});
    c.connectToService();
    c.waitForAttempt(60000);  // the login runs on a worker
    // A comment, keywords, strings and a number: the SQL box's colours all show.
    window->sqlEdit()->setText(QStringLiteral(
        "select c.name, o.order_date, o.total_amount  -- 札幌への高額な出荷\n"
        "  from customers c join orders o on o.customer_id = c.customer_id\n"
        " where c.city = '札幌' and o.status = 'SHIPPED' and o.total_amount >= 50000\n"
        " order by o.total_amount desc"));
    auto settle = [](int ms) {
        for (int i = 0; i < ms / 50; ++i) {
            QApplication::processEvents();
            QThread::msleep(50);
        }
    };
    auto shoot = [&](const char* file, QWidget* shown = nullptr) {
        QWidget* w = shown ? shown : &frame;
        const QPixmap shot = frame.screen()->grabWindow(
            0, w->x(), w->y(), w->frameGeometry().width(), w->frameGeometry().height());
        return shot.save(QString::fromLocal8Bit(file));
    };
    // The question, shot over the window, then answered はい.
    bool asked = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || asked)
            return;
        asked = true;
        settle(500);
        shoot(argv[4]);
        box->button(QMessageBox::Yes)->click();
    });
    poll.start(100);
    window->executeButton()->click();
    settle(2500);
    poll.stop();
    if (!asked || !shoot(argv[1]))
        return 1;

    // The SQL box at work: 置換 open on a word, and the names after an alias listed.
    window->findBar()->open(true);
    window->findBar()->findEdit()->setText(QStringLiteral("total_amount"));
    window->findBar()->replaceEdit()->setText(QStringLiteral("shipped_amount"));
    window->sqlEdit()->setFocus();
    window->sqlEdit()->setCaretOffset(window->sqlEdit()->text().indexOf(u'.') + 1);
    window->completeAtCaret(true);
    settle(800);
    if (!shoot(argv[6]))
        return 1;
    window->sqlEdit()->cancelList();
    window->findBar()->close();

    // What each plan line did: a LIKE the optimizer takes for a quarter of the customers finds
    // 27, and the lines from there up are marked. The window is widened to show every column.
    if (auto* sub = window->parentWidget())
        sub->resize(sub->width() + 330, sub->height());
    window->sqlEdit()->setText(
        QStringLiteral("select c.name, o.order_id, o.total_amount\n"
                       "  from customers c join orders o on o.customer_id = c.customer_id\n"
                       " where c.name like '木村 悠%'\n"
                       " order by o.total_amount desc"));
    window->model().execute();
    window->model().waitForRun(60'000);
    settle(800);
    // The window itself, drawn whole whatever part of it the frame shows.
    if (!window->parentWidget()->grab().save(QString::fromLocal8Bit(argv[5])))
        return 1;
    if (auto* sub = window->parentWidget())
        sub->resize(sub->width() - 330, sub->height());

    // A statement that counts for a long time, caught while it fetches: the button stops it.
    window->sqlEdit()->setText(QStringLiteral(
        "select o.order_id, i.product_id, i.quantity\n  from orders o, order_items i"));
    window->executeButton()->click();
    settle(2000);
    if (!shoot(argv[2]))
        return 1;
    window->model().stop();
    window->model().waitForRun(kStopWaitMs);

    // Tuning: the statement recorded before and after an index on the column it filters by,
    // and the two runs compared.
    const QString statement = QStringLiteral(
        "select c.name, o.order_id, o.total_amount\n"
        "  from customers c join orders o on o.customer_id = c.customer_id\n"
        " where c.city = '京都'");
    QueryWindowModel& model = window->model();
    model.setHistoryFilePath(dir.filePath(QStringLiteral("quervhst.mdb")));
    model.startRecording();
    for (const QString& sql : {statement,
                               QStringLiteral("create index ix_customers_city on "
                                              "customers (city)"),
                               statement}) {
        window->sqlEdit()->setText(sql);
        model.execute();
        model.waitForRun(60'000);
    }
    model.stopRecording();
    HistoryWindow history(model.historyFilePath(), program.historyNotifier());
    history.show();
    history.runList()->selectRow(0);
    history.comparePreviousButton()->click();
    QWidget* comparison = history.lastComparison();
    if (!comparison)
        return 1;
    history.hide();
    comparison->move(0, 0);
    comparison->resize(860, 560);
    settle(1000);
    return shoot(argv[3], comparison) ? 0 : 1;
}
