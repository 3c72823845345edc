#include "app/mdimain.h"

#include "app/frmabout.h"
#include "app/frmmain.h"
#include "app/program.h"
#include "app/sysinfo.h"
#include "history/mdbproc.h"
#include "oracle/odbcdrivers.h"
#include "oracle/tnsnames.h"
#include "settings/frmoption.h"

#include <QAction>
#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>

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

}  // namespace

MdiMain::MdiMain(QWidget* parent) : QMainWindow(parent), mdiArea_(new QMdiArea(this)) {
    setObjectName(QStringLiteral("mdiMain"));
    setWindowTitle(QStringLiteral("Quervin"));
    mdiArea_->setObjectName(QStringLiteral("mdiArea"));
    setCentralWidget(mdiArea_);
    buildMenus();
    connect(mdiArea_, &QMdiArea::subWindowActivated, this, [this] { updateMenus(); });

    const double dpi = logicalDpi(*this);
    resize(twipsToPixels(9210, dpi), twipsToPixels(8040, dpi) + menuBar()->sizeHint().height());

    setOdbcDriverLister(&installedOdbcDrivers);
    setSysInfoSources({&installedOdbcDrivers, &findTnsnamesFile,
                       [] { return mdbPath().isEmpty() ? defaultMdbPath() : mdbPath(); }});

    gMainWidth = kMainWidth;
    gMainHeight = kMainHeight;
    openForm();
}

MdiMain::~MdiMain() {
    // Query windows that are still open go with the frame; the frame's release ends the
    // program like the last window's would.
    disconnect(mdiArea_, nullptr, this, nullptr);
    for (FrmMain* f : forms_)
        disconnect(f, nullptr, this, nullptr);
    forms_.clear();
    endProgram();
}

FrmMain* MdiMain::openForm() {
    auto* form = new FrmMain;
    auto* sub = new QuerySubWindow([this, form] { formClosed(form); });
    sub->setWidget(form);
    mdiArea_->addSubWindow(sub);
    forms_.append(form);
    connect(form, &QObject::destroyed, this, [this, form] { forms_.removeAll(form); });
    connect(form, &FrmMain::captionChanged, this, [this] { updateMenus(); });
    connect(&form->model().state(), &WindowState::menusChanged, this, [this, form] {
        if (form == activeForm())
            updateMenus();
    });
    const double dpi = logicalDpi(*this);
    sub->resize(twipsToPixels(gMainWidth, dpi), twipsToPixels(gMainHeight, dpi));
    sub->show();
    mdiArea_->setActiveSubWindow(sub);
    updateMenus();
    return form;
}

FrmMain* MdiMain::activeForm() const {
    QMdiSubWindow* sub = mdiArea_->currentSubWindow();
    if (!sub)
        sub = mdiArea_->activeSubWindow();
    FrmMain* form = sub ? qobject_cast<FrmMain*>(sub->widget()) : nullptr;
    if (form && forms_.contains(form))
        return form;
    return forms_.isEmpty() ? nullptr : forms_.last();
}

void MdiMain::formClosed(FrmMain* form) {
    forms_.removeAll(form);
    if (forms_.isEmpty()) {
        endProgram();
        return;
    }
    updateMenus();
}

void MdiMain::closeEvent(QCloseEvent* event) {
    mdiArea_->closeAllSubWindows();
    if (!forms_.isEmpty()) {
        event->ignore();
        return;
    }
    event->accept();
}

QAction* MdiMain::addItem(QMenu* menu, const char* name, const QString& caption) {
    QAction* a = menu->addAction(caption);
    a->setObjectName(QString::fromLatin1(name));
    return a;
}

QAction* MdiMain::action(const QString& name) const {
    return findChild<QAction*>(name);
}

void MdiMain::buildMenus() {
    QMenuBar* bar = menuBar();
    auto onForm = [this](auto fn) {
        return [this, fn] {
            if (FrmMain* f = activeForm())
                fn(*f);
        };
    };

    QMenu* file = bar->addMenu(QStringLiteral("ﾌｧｲﾙ(&F)"));
    file->setObjectName(QStringLiteral("mnuFile"));
    connect(addItem(file, "mnuHistStart", QStringLiteral("履歴開始(&S)")), &QAction::triggered,
            this, onForm([](FrmMain& f) { f.model().mnuHistStartClick(); }));
    connect(addItem(file, "mnuHistEnd", QStringLiteral("履歴終了(&E)")), &QAction::triggered, this,
            onForm([](FrmMain& f) { f.model().mnuHistEndClick(); }));
    file->addSeparator();
    QAction* quit = addItem(file, "mnuQuit", QStringLiteral("終了(&X)"));
    connect(quit, &QAction::triggered, this, onForm([](FrmMain& f) {
                if (auto* sub = qobject_cast<QMdiSubWindow*>(f.parentWidget()))
                    sub->close();
            }));

    QMenu* edit = bar->addMenu(QStringLiteral("編集(&E)"));
    edit->setObjectName(QStringLiteral("Edit"));
    addItem(edit, "Cut", QStringLiteral("切り取り(&X)"));
    addItem(edit, "Copy", QStringLiteral("ｺﾋﾟｰ(&C)"));
    addItem(edit, "Paste", QStringLiteral("貼り付け(&V)"));
    edit->menuAction()->setObjectName(QStringLiteral("EditMenu"));
    edit->menuAction()->setVisible(false);
    edit->menuAction()->setEnabled(false);

    QMenu* oracle = bar->addMenu(QStringLiteral("ｵﾗｸﾙ(&C)"));
    oracle->setObjectName(QStringLiteral("mnuOracle"));
    connect(addItem(oracle, "mnuLogin", QStringLiteral("ログイン...(&L)")), &QAction::triggered,
            this, onForm([](FrmMain& f) { f.model().mnuLoginClick(); }));
    connect(addItem(oracle, "mnuLogout", QStringLiteral("ログアウト(&D)")), &QAction::triggered,
            this, onForm([](FrmMain& f) { f.model().mnuLogoutClick(); }));

    QMenu* option = bar->addMenu(QStringLiteral("ｵﾌﾟｼｮﾝ(&O)"));
    option->setObjectName(QStringLiteral("mnuOption"));
    connect(addItem(option, "mnuExecOption", QStringLiteral("ｵﾌﾟｼｮﾝ設定...(&E)")),
            &QAction::triggered, this, onForm([](FrmMain& f) { showOptionDialog(&f); }));

    windowMenu_ = bar->addMenu(QStringLiteral("ｳｨﾝﾄﾞｳ(&W)"));
    windowMenu_->setObjectName(QStringLiteral("window"));
    QAction* nw = addItem(windowMenu_, "nrewindow", QStringLiteral("新ウィンドウ(&N)"));
    connect(nw, &QAction::triggered, this, [this] { openForm(); });
    windowListSep_ = windowMenu_->addSeparator();
    connect(windowMenu_, &QMenu::aboutToShow, this, &MdiMain::rebuildWindowMenu);

    QMenu* sql = bar->addMenu(QStringLiteral("SQL(&S)"));
    sql->setObjectName(QStringLiteral("mnuSQL"));
    QAction* next = addItem(sql, "mnuNextSQL", QStringLiteral("次のSQL(&N)"));
    next->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    connect(next, &QAction::triggered, this,
            onForm([](FrmMain& f) { f.model().mnuNextSQLClick(); }));
    QAction* prev = addItem(sql, "mnuPrevSQL", QStringLiteral("前のSQL(&B)"));
    prev->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    connect(prev, &QAction::triggered, this,
            onForm([](FrmMain& f) { f.model().mnuPrevSQLClick(); }));

    QMenu* help = bar->addMenu(QStringLiteral("ﾍﾙﾌﾟ(&H)"));
    help->setObjectName(QStringLiteral("help"));
    connect(addItem(help, "Ver", QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報(&V)")), &QAction::triggered, this,
            onForm([](FrmMain& f) { showAboutBox(&f); }));
}

void MdiMain::rebuildWindowMenu() {
    for (QAction* a : windowList_) {
        windowMenu_->removeAction(a);
        a->deleteLater();
    }
    windowList_.clear();
    FrmMain* current = activeForm();
    int n = 0;
    for (QMdiSubWindow* sub : mdiArea_->subWindowList()) {
        auto* form = qobject_cast<FrmMain*>(sub->widget());
        if (!form || !forms_.contains(form))
            continue;
        ++n;
        QAction* a =
            windowMenu_->addAction(QStringLiteral("&%1 %2").arg(n).arg(form->windowTitle()));
        a->setCheckable(true);
        a->setChecked(form == current);
        connect(a, &QAction::triggered, this, [this, sub] { mdiArea_->setActiveSubWindow(sub); });
        windowList_.append(a);
    }
    windowListSep_->setVisible(n > 0);
}

QStringList MdiMain::windowMenuEntries() {
    rebuildWindowMenu();
    QStringList out;
    for (QAction* a : windowList_)
        out.append(a->text());
    return out;
}

void MdiMain::updateMenus() {
    FrmMain* f = activeForm();
    const bool has = f != nullptr;
    auto set = [this](const char* name, bool enabled) {
        if (QAction* a = action(QString::fromLatin1(name)))
            a->setEnabled(enabled);
    };
    using M = WindowState::Menu;
    set("mnuLogin", has && f->model().state().menuEnabled(M::Login));
    set("mnuLogout", has && f->model().state().menuEnabled(M::Logout));
    set("mnuHistStart", has && f->model().state().menuEnabled(M::HistStart));
    set("mnuHistEnd", has && f->model().state().menuEnabled(M::HistEnd));
    for (const char* name : {"mnuQuit", "mnuExecOption", "mnuNextSQL", "mnuPrevSQL", "Ver"})
        set(name, has);
}

}  // namespace qv
