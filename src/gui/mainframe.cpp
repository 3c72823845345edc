#include "gui/mainframe.h"

#include "core/about/systeminfo.h"
#include "core/program.h"
#include "core/window/programstate.h"
#include "core/window/twips.h"
#include "core/window/windowarrangement.h"
#include "core/window/windowmemory.h"
#include "gui/aboutdialog.h"
#include "gui/appicon.h"
#include "gui/historywindow.h"
#include "gui/optionsdialog.h"
#include "gui/passwordprompt.h"
#include "gui/querywindow.h"
#include "gui/sqleditorcommands.h"
#include "gui/sqlfilecommands.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>

namespace qv {

namespace {

// Tells the frame when one of its query windows is closing, whichever way it was closed.
class QuerySubWindow : public QMdiSubWindow {
  public:
    QuerySubWindow(std::function<void()> onClose) : onClose_(std::move(onClose)) {
        setAttribute(Qt::WA_DeleteOnClose);
    }

  protected:
    void closeEvent(QCloseEvent* event) override {
        QMdiSubWindow::closeEvent(event);
        if (event->isAccepted() && onClose_) {
            auto f = std::move(onClose_);
            onClose_ = nullptr;
            f();
        }
    }

  private:
    std::function<void()> onClose_;
};

// The frame's size, position and maximised state, as Qt saves them (Base64).
constexpr char kGeometryKey[] = "frame_geometry";

// How far a cascaded window lies right of and below the one before: its title bar shows.
int cascadeStep(const QWidget* sub) {
    return std::max(16, sub->style()->pixelMetric(QStyle::PM_TitleBarHeight));
}

}  // namespace

MainFrame::MainFrame(ProgramState& program, QWidget* parent)
    : QMainWindow(parent), program_(program), mdiArea_(new QMdiArea(this)) {
    setObjectName(QStringLiteral("mainFrame"));
    setWindowTitle(QStringLiteral("Quervin"));
    setWindowIcon(appIcon());
    mdiArea_->setObjectName(QStringLiteral("mdiArea"));
    setCentralWidget(mdiArea_);
    buildMenus();
    connect(mdiArea_, &QMdiArea::subWindowActivated, this, [this] { updateMenus(); });

    // Scroll bars show a query window the user has moved partly outside.
    mdiArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    const double dpi = logicalDpi(*this);
    resize(twipsToPixels(9210, dpi), twipsToPixels(8040, dpi) + menuBar()->sizeHint().height());
    restoreFrameGeometry();

    openQueryWindow();
}

MainFrame::~MainFrame() {
    // Query windows that are still open go with the frame; the frame's release ends the
    // program like the last window's would.
    disconnect(mdiArea_, nullptr, this, nullptr);
    for (QueryWindow* f : windows_)
        disconnect(f, nullptr, this, nullptr);
    windows_.clear();
    program_.end();
}

QueryWindow* MainFrame::openQueryWindow() {
    auto* qw = new QueryWindow(program_);
    auto* sub = new QuerySubWindow([this, qw] { queryWindowClosed(qw); });
    sub->setWidget(qw);
    qw->updateMinimumSize();
    sub->setWindowIcon(appIcon());
    // Ctrl+F4 closes the window as Ctrl+W does, whichever of them the desktop gives Close.
    const QList<QKeySequence> closeKeys = QKeySequence::keyBindings(QKeySequence::Close);
    for (QAction* a : sub->systemMenu() ? sub->systemMenu()->actions() : QList<QAction*>()) {
        if (!closeKeys.isEmpty() && a->shortcuts() == closeKeys)
            a->setShortcuts(
                {QKeySequence(Qt::CTRL | Qt::Key_F4), QKeySequence(Qt::CTRL | Qt::Key_W)});
    }
    mdiArea_->addSubWindow(sub);
    windows_.append(qw);
    connect(qw, &QObject::destroyed, this, [this, qw] { windows_.removeAll(qw); });
    connect(qw, &QueryWindow::captionChanged, this, [this] { updateMenus(); });
    connect(qw, &QueryWindow::historyPanelClicked, this, [this, qw] { showHistory(*qw); });
    connect(&qw->model().state(), &WindowState::menusChanged, this, [this, qw] {
        if (qw == activeQueryWindow())
            updateMenus();
    });
    const double dpi = logicalDpi(*this);
    QSize size(twipsToPixels(kQueryWindowWidth, dpi), twipsToPixels(kQueryWindowHeight, dpi));
    QPoint at(0, 0);
    if (isVisible()) {
        // Cascaded from the current window and always wholly inside the visible area: a
        // window near the edge gives up a little of its size, and one that would have to give
        // up more than a third, or go below its minimum size, starts again at the top left.
        const QRect area = mdiArea_->viewport()->rect();
        const QSize full = size.boundedTo(area.size());
        size = full;
        const int step = cascadeStep(sub);
        if (QMdiSubWindow* current = mdiArea_->activeSubWindow(); current && current != sub) {
            at = current->pos() + QPoint(step, step);
            size = full.boundedTo(QSize(area.width() - at.x(), area.height() - at.y()));
            const QSize least = sub->minimumSize();
            if (at.x() < 0 || at.y() < 0 || size.width() * 3 < full.width() * 2 ||
                size.height() * 3 < full.height() * 2 || size.width() < least.width() ||
                size.height() < least.height()) {
                at = QPoint(0, 0);
                size = full;
            }
        }
    }
    sub->resize(size);
    sub->move(at);
    sub->show();
    if (loadWindowMaximized(program_.store()))
        sub->showMaximized();
    // Maximised or not, as the user left the windows, for the next start; a window minimised
    // says nothing of the others.
    connect(sub, &QMdiSubWindow::windowStateChanged, this,
            [this](Qt::WindowStates before, Qt::WindowStates now) {
                const bool maximized = now.testFlag(Qt::WindowMaximized);
                if (!now.testFlag(Qt::WindowMinimized) &&
                    maximized != before.testFlag(Qt::WindowMaximized))
                    saveWindowMaximized(program_.store(), maximized);
            });
    mdiArea_->setActiveSubWindow(sub);
    updateMenus();
    return qw;
}

QueryWindow* MainFrame::openLoggedInWindow() {
    QueryWindow* from = activeQueryWindow();
    if (!from || !from->model().connection().isConnected())
        return nullptr;
    const ConnectionService& current = from->model().connection();
    LoginValues login = current.login();
    login.password.clear();
    if (ConnectionService::needsPassword(login.service)) {
        PasswordPrompt prompt(login, this);
        if (prompt.exec() != QDialog::Accepted)
            return nullptr;
        login.password = prompt.password();
    }
    QueryWindow* qw = openQueryWindow();
    ConnectionService& connection = qw->model().connection();
    connection.setDriver(current.driver());
    connection.setLogin(login);
    connection.connectToService();
    return qw;
}

QueryWindow* MainFrame::openRecordedRun(const QString& statement, const BindList& binds) {
    // The values go where the bind dialog takes its values from: the ones last used by name.
    program_.bindMemory().remember(binds);
    QueryWindow* qw = openQueryWindow();
    qw->setSqlText(statement);
    return qw;
}

void MainFrame::showHistory(QueryWindow& window) {
    HistoryWindow* history =
        showHistoryWindow(window.model().historyFilePath(), program_.historyNotifier(), &window);
    connect(history, &HistoryWindow::openRunRequested, this, &MainFrame::openRecordedRun,
            Qt::UniqueConnection);
}

void MainFrame::cascadeWindows() {
    // As Qt's cascade takes them: the window used last ends on top; minimised ones stay.
    QList<QMdiSubWindow*> subs;
    QList<QSize> sizes;
    for (QMdiSubWindow* sub : mdiArea_->subWindowList(QMdiArea::ActivationHistoryOrder)) {
        if (!sub->isVisible() || sub->isMinimized())
            continue;
        if (sub->isMaximized())
            sub->showNormal();
        subs.append(sub);
        sizes.append(sub->size());
    }
    if (subs.isEmpty())
        return;
    QMdiSubWindow* active = mdiArea_->activeSubWindow();
    const QList<QRect> places =
        cascadeGeometry(sizes, mdiArea_->viewport()->size(), cascadeStep(subs.first()));
    for (qsizetype i = 0; i < subs.size(); ++i) {
        subs[i]->setGeometry(places[i]);
        subs[i]->raise();
    }
    if (active)
        mdiArea_->setActiveSubWindow(active);
}

QueryWindow* MainFrame::activeQueryWindow() const {
    QMdiSubWindow* sub = mdiArea_->currentSubWindow();
    if (!sub)
        sub = mdiArea_->activeSubWindow();
    QueryWindow* qw = sub ? qobject_cast<QueryWindow*>(sub->widget()) : nullptr;
    if (qw && windows_.contains(qw))
        return qw;
    return windows_.isEmpty() ? nullptr : windows_.last();
}

void MainFrame::queryWindowClosed(QueryWindow* qw) {
    windows_.removeAll(qw);
    if (windows_.isEmpty()) {
        saveFrameGeometry();
        program_.end();
        return;
    }
    updateMenus();
}

bool MainFrame::closeAllQueryWindows() {
    for (QMdiSubWindow* sub : mdiArea_->subWindowList()) {
        // The window that asks is the one in front.
        mdiArea_->setActiveSubWindow(sub);
        if (!sub->close())
            return false;
    }
    return windows_.isEmpty();
}

void MainFrame::closeEvent(QCloseEvent* event) {
    if (!closeAllQueryWindows()) {
        event->ignore();
        return;
    }
    event->accept();
}

QAction* MainFrame::addItem(QMenu* menu, const char* name, const QString& caption) {
    QAction* a = menu->addAction(caption);
    a->setObjectName(QString::fromLatin1(name));
    return a;
}

QAction* MainFrame::action(const QString& name) const {
    return findChild<QAction*>(name);
}

void MainFrame::buildMenus() {
    QMenuBar* bar = menuBar();
    auto onActiveWindow = [this](auto fn) {
        return [this, fn] {
            if (QueryWindow* f = activeQueryWindow())
                fn(*f);
        };
    };

    QMenu* file = bar->addMenu(QStringLiteral("ﾌｧｲﾙ(&F)"));
    file->setObjectName(QStringLiteral("fileMenu"));
    addSqlFileItems(file, program_.store(), [this] { return activeQueryWindow(); });
    connect(addItem(file, "startRecording", QStringLiteral("履歴開始(&S)")), &QAction::triggered,
            this, onActiveWindow([](QueryWindow& f) { f.model().startRecording(); }));
    connect(addItem(file, "stopRecording", QStringLiteral("履歴終了(&E)")), &QAction::triggered,
            this, onActiveWindow([](QueryWindow& f) { f.model().stopRecording(); }));
    connect(addItem(file, "compareHistory", QStringLiteral("履歴の比較(&C)...")),
            &QAction::triggered, this, onActiveWindow([this](QueryWindow& f) { showHistory(f); }));
    file->addSeparator();
    QAction* quit = addItem(file, "quit", QStringLiteral("終了(&X)"));
    connect(quit, &QAction::triggered, this, onActiveWindow([](QueryWindow& f) {
                if (auto* sub = qobject_cast<QMdiSubWindow*>(f.parentWidget()))
                    sub->close();
            }));

    QMenu* edit = bar->addMenu(QStringLiteral("編集(&E)"));
    edit->setObjectName(QStringLiteral("editMenu"));
    addItem(edit, "cut", QStringLiteral("切り取り(&X)"));
    addItem(edit, "copy", QStringLiteral("ｺﾋﾟｰ(&C)"));
    addItem(edit, "paste", QStringLiteral("貼り付け(&V)"));
    edit->menuAction()->setObjectName(QStringLiteral("editMenuAction"));
    edit->menuAction()->setVisible(false);
    edit->menuAction()->setEnabled(false);

    QMenu* oracle = bar->addMenu(QStringLiteral("ｵﾗｸﾙ(&C)"));
    oracle->setObjectName(QStringLiteral("oracleMenu"));
    connect(addItem(oracle, "login", QStringLiteral("ログイン...(&L)")), &QAction::triggered, this,
            onActiveWindow([](QueryWindow& f) { f.model().logIn(); }));
    connect(addItem(oracle, "logout", QStringLiteral("ログアウト(&D)")), &QAction::triggered, this,
            onActiveWindow([](QueryWindow& f) {
                f.whatIf().closeDown();
                f.model().logOut();
            }));
    oracle->addSeparator();
    connect(addItem(oracle, "commit", QStringLiteral("コミット(&M)")), &QAction::triggered, this,
            onActiveWindow([](QueryWindow& f) { f.model().commitChanges(); }));
    connect(addItem(oracle, "rollback", QStringLiteral("ロールバック(&R)")), &QAction::triggered,
            this, onActiveWindow([](QueryWindow& f) { f.model().rollBackChanges(); }));
    oracle->addSeparator();
    connect(addItem(oracle, "tryIndexes", QStringLiteral("索引を試す...(&I)")), &QAction::triggered,
            this, onActiveWindow([](QueryWindow& f) { f.tryIndexes(); }));

    QMenu* option = bar->addMenu(QStringLiteral("ｵﾌﾟｼｮﾝ(&O)"));
    option->setObjectName(QStringLiteral("optionsMenu"));
    connect(addItem(option, "options", QStringLiteral("ｵﾌﾟｼｮﾝ設定...(&E)")), &QAction::triggered,
            this, onActiveWindow([this](QueryWindow& f) {
                showOptionsDialog(program_.settings(), program_.machine().odbcDrivers, &f);
            }));
    addSqlFontItem(option, program_.store(), [this] { return windows_; });
    // Program-wide like the other options; the next run of any window uses it.
    QAction* actuals = addItem(option, "collectActuals", QStringLiteral("実行統計を取得(&A)"));
    actuals->setCheckable(true);
    SharedSettings& settings = program_.settings();
    actuals->setChecked(settings.collectActuals());
    connect(option, &QMenu::aboutToShow, actuals,
            [actuals, &settings] { actuals->setChecked(settings.collectActuals()); });
    connect(actuals, &QAction::toggled, this,
            [&settings](bool on) { settings.set(&Settings::collectActuals, on); });
    addCommitOptions(option);

    windowMenu_ = bar->addMenu(QStringLiteral("ｳｨﾝﾄﾞｳ(&W)"));
    windowMenu_->setObjectName(QStringLiteral("windowMenu"));
    QAction* nw = addItem(windowMenu_, "newWindow", QStringLiteral("新ウィンドウ(&N)"));
    connect(nw, &QAction::triggered, this, [this] { openQueryWindow(); });
    // Ctrl+N is the statement ring's; the shift makes it the new window already logged in.
    QAction* same =
        addItem(windowMenu_, "newLoggedInWindow", QStringLiteral("同じ接続で新ウィンドウ(&S)"));
    same->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    connect(same, &QAction::triggered, this, [this] { openLoggedInWindow(); });
    connect(addItem(windowMenu_, "cascadeWindows", QStringLiteral("重ねて表示(&C)")),
            &QAction::triggered, this, &MainFrame::cascadeWindows);
    connect(addItem(windowMenu_, "tileWindows", QStringLiteral("並べて表示(&T)")),
            &QAction::triggered, mdiArea_, &QMdiArea::tileSubWindows);
    connect(addItem(windowMenu_, "arrangeIcons", QStringLiteral("アイコンの整列(&A)")),
            &QAction::triggered, this, &MainFrame::arrangeIcons);
    connect(addItem(windowMenu_, "closeAllWindows", QStringLiteral("すべて閉じる(&L)")),
            &QAction::triggered, this, &MainFrame::closeAllQueryWindows);
    windowListSep_ = windowMenu_->addSeparator();
    connect(windowMenu_, &QMenu::aboutToShow, this, &MainFrame::rebuildWindowMenu);

    QMenu* sql = bar->addMenu(QStringLiteral("SQL(&S)"));
    sql->setObjectName(QStringLiteral("sqlMenu"));
    QAction* next = addItem(sql, "nextStatement", QStringLiteral("次のSQL(&N)"));
    next->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    connect(next, &QAction::triggered, this,
            onActiveWindow([](QueryWindow& f) { f.model().recallNextStatement(); }));
    QAction* prev = addItem(sql, "previousStatement", QStringLiteral("前のSQL(&B)"));
    prev->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    connect(prev, &QAction::triggered, this,
            onActiveWindow([](QueryWindow& f) { f.model().recallPreviousStatement(); }));
    connect(addItem(sql, "clearStatementRing", QStringLiteral("SQL履歴の消去...(&D)")),
            &QAction::triggered, this,
            onActiveWindow([](QueryWindow& f) { f.model().clearStatementRing(); }));
    addSqlEditorItems(sql, [this] { return activeQueryWindow(); });

    QMenu* help = bar->addMenu(QStringLiteral("ﾍﾙﾌﾟ(&H)"));
    help->setObjectName(QStringLiteral("helpMenu"));
    connect(addItem(help, "about", QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報(&V)")), &QAction::triggered, this,
            onActiveWindow(
                [this](QueryWindow& f) { showAboutDialog(systemInfoSources(program_), &f); }));
}

void MainFrame::rebuildWindowMenu() {
    for (QAction* a : windowList_) {
        windowMenu_->removeAction(a);
        a->deleteLater();
    }
    windowList_.clear();
    QueryWindow* current = activeQueryWindow();
    int n = 0;
    for (QMdiSubWindow* sub : mdiArea_->subWindowList()) {
        auto* qw = qobject_cast<QueryWindow*>(sub->widget());
        if (!qw || !windows_.contains(qw))
            continue;
        ++n;
        // The caption is the user's and the service's names, then the SQL file's, which tells
        // windows on one login apart: an & in them is no access key.
        QString caption = qw->windowTitle();
        if (const QString file = qw->sqlFileName(); !file.isEmpty())
            caption += QStringLiteral(" - ") + file;
        QAction* a = windowMenu_->addAction(QStringLiteral("&%1 %2").arg(n).arg(
            caption.replace(QStringLiteral("&"), QStringLiteral("&&"))));
        a->setCheckable(true);
        a->setChecked(qw == current);
        connect(a, &QAction::triggered, this, [this, sub] { mdiArea_->setActiveSubWindow(sub); });
        windowList_.append(a);
    }
    windowListSep_->setVisible(n > 0);
}

void MainFrame::arrangeIcons() {
    // Minimized windows side by side along the bottom edge, a row higher when one is full.
    const QRect area = mdiArea_->viewport()->rect();
    int x = 0, bottom = area.height();
    for (QMdiSubWindow* sub : mdiArea_->subWindowList()) {
        if (!sub->isMinimized())
            continue;
        const QSize size = sub->size();
        if (x > 0 && x + size.width() > area.width()) {
            x = 0;
            bottom -= size.height();
        }
        sub->move(x, bottom - size.height());
        x += size.width();
    }
}

void MainFrame::restoreFrameGeometry() {
    QString stored;
    if (program_.store().read(QString::fromLatin1(kGeometryKey), stored) == StoreStatus::Ok &&
        restoreGeometry(QByteArray::fromBase64(stored.toLatin1())))
        return;
    // The first start, or nothing usable stored: the default size in the middle of the
    // screen.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void MainFrame::saveFrameGeometry() {
    program_.store().write(QString::fromLatin1(kGeometryKey),
                           QString::fromLatin1(saveGeometry().toBase64()));
}

QStringList MainFrame::windowMenuEntries() {
    rebuildWindowMenu();
    QStringList out;
    for (QAction* a : windowList_)
        out.append(a->text());
    return out;
}

void MainFrame::addCommitOptions(QMenu* option) {
    SharedSettings& settings = program_.settings();
    // Program-wide; a window applies it at its next run.
    QAction* autoCommit = addItem(option, "autoCommit", QStringLiteral("自動コミット(&C)"));
    autoCommit->setCheckable(true);
    QAction* rollbackAfter =
        addItem(option, "rollbackAfterRun", QStringLiteral("実行後にロールバック(&U)"));
    rollbackAfter->setCheckable(true);
    auto show = [autoCommit, rollbackAfter, &settings] {
        const QSignalBlocker a(autoCommit), b(rollbackAfter);
        autoCommit->setChecked(settings.autoCommit());
        rollbackAfter->setChecked(settings.rollbackAfterRun());
    };
    show();
    connect(option, &QMenu::aboutToShow, this, show);
    connect(autoCommit, &QAction::toggled, this, [this, show, &settings](bool on) {
        // Nothing pending is decided silently: each window that has changes asks first, and
        // Cancel keeps manual commit.
        if (on) {
            for (QueryWindow* w : windows_) {
                if (!w->model().settleChangesBefore()) {
                    show();
                    return;
                }
            }
        }
        settings.set(&Settings::autoCommit, on);
        for (QueryWindow* w : windows_)
            w->model().refreshCommitState();
    });
    connect(rollbackAfter, &QAction::toggled, this,
            [&settings](bool on) { settings.set(&Settings::rollbackAfterRun, on); });
}

void MainFrame::updateMenus() {
    QueryWindow* f = activeQueryWindow();
    const bool has = f != nullptr;
    auto set = [this](const char* name, bool enabled) {
        if (QAction* a = action(QString::fromLatin1(name)))
            a->setEnabled(enabled);
    };
    using M = WindowState::Menu;
    set("login", has && f->model().state().menuEnabled(M::Login));
    set("logout", has && f->model().state().menuEnabled(M::Logout));
    set("startRecording", has && f->model().state().menuEnabled(M::StartRecording));
    set("stopRecording", has && f->model().state().menuEnabled(M::StopRecording));
    set("commit", has && f->model().state().menuEnabled(M::Commit));
    set("tryIndexes", has && f->model().state().menuEnabled(M::Logout));
    set("rollback", has && f->model().state().menuEnabled(M::Rollback));
    set("newLoggedInWindow", has && f->model().connection().isConnected());
    set("runScript", has && f->model().connection().isConnected());
    for (const char* name :
         {"quit", "compareHistory", "options", "nextStatement", "previousStatement", "about",
          "openSqlFile", "saveSqlFile", "saveSqlFileAs", "findText", "replaceText", "findNext",
          "findPrevious", "formatSql", "completeSql", "sqlFont", "closeAllWindows"})
        set(name, has);
}

}  // namespace qv
