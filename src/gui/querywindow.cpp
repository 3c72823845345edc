#include "gui/querywindow.h"

#include "core/program.h"
#include "core/settings/sqlfont.h"
#include "core/sql/sqlformatter.h"
#include "core/tuning/gridactions.h"
#include "core/window/twips.h"
#include "core/window/windowmemory.h"
#include "gui/binddialog.h"
#include "gui/findbar.h"
#include "gui/gridview.h"
#include "gui/logindialog.h"
#include "gui/plaintext.h"
#include "gui/splitterbars.h"
#include "gui/sqleditor.h"
#include "gui/sqlfilecommands.h"
#include "gui/whatifdialog.h"
#include "gui/windowfont.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>

#include <cmath>

namespace qv {

namespace {

// How long a passing note stays in the status bar.
constexpr int kStatusNoteMs = 5000;

// What the status-bar panels show; their first texts and their tooltips.
const QString kPanelNames[3] = {QStringLiteral("オラクル接続ステータス"),
                                QStringLiteral("履歴ステータス"), QStringLiteral("履歴件数")};

}  // namespace

QueryWindow::QueryWindow(ProgramState& program, QWidget* parent)
    : QWidget(parent),
      model_(new QueryWindowModel(program, *this, this)),
      whatIf_(new WindowWhatIf(*model_, this)) {
    setObjectName(QStringLiteral("queryWindow"));
    setFont(windowFont());
    setWindowTitle(kAppTitle);

    sqlHeading_ = makeLabel("sqlHeading", QStringLiteral("SQL"));
    // Which file the box holds, so that windows can be told apart.
    sqlFileLabel_ = makeLabel("sqlFileLabel", QString());
    sqlEdit_ = new SqlEditor(this);
    sqlEdit_->setObjectName(QStringLiteral("sqlEdit"));
    sqlEdit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    applySqlFont();
    findBar_ = new FindBar(sqlEdit_, this);
    executeButton_ = new QPushButton(QStringLiteral("実 行"), this);
    executeButton_->setObjectName(QStringLiteral("executeButton"));
    resultHeading_ = makeLabel("resultHeading", QStringLiteral("Query"));
    statsHeading_ = makeLabel("statsHeading", QStringLiteral("Stats"));
    planHeading_ = makeLabel("planHeading", QStringLiteral("Execution Plan"));
    countLabel_ = makeLabel("countLabel", QStringLiteral("Count"));
    // The execute-and-fetch time, at the right end of the count label's line.
    elapsedLabel_ = makeLabel("elapsedLabel", QString());
    elapsedLabel_->setAlignment(Qt::AlignRight | Qt::AlignTop);
    elapsedLabel_->setToolTip(QStringLiteral("SQLの実行とフェッチにかかった時間"));

    // Message lines lie under their grids: a visible grid covers its line.
    resultMessage_ = makeLabel("resultMessage", QStringLiteral("XXX"));
    statsMessage_ = makeLabel("statsMessage", QStringLiteral("XXX"));
    planMessage_ = makeLabel("planMessage", QStringLiteral("XXX"));
    for (QLabel* l : {resultMessage_, statsMessage_, planMessage_}) {
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        l->setWordWrap(true);
    }
    resultGrid_ = new GridView(model_->resultGrid(), this);
    resultGrid_->setObjectName(QStringLiteral("resultGrid"));
    statsGrid_ = new GridView(model_->statsGrid(), this);
    statsGrid_->setObjectName(QStringLiteral("statsGrid"));
    resultGrid_->enableExport();
    statsGrid_->enableExport();
    statsGrid_->enableRowViews(1);  // Value: the statistic's difference
    planGrid_ = new GridView(model_->planGrid(), this);
    planGrid_->setObjectName(QStringLiteral("planGrid"));
    planGrid_->enablePlanFigures();
    for (GridView* grid : {resultGrid_, statsGrid_, planGrid_})
        connect(grid->tableModel(), &GridTableModel::visibilityChanged, this,
                &QueryWindow::applyLayout);

    setUpSplitters();

    makeStatusBar();

    connect(executeButton_, &QPushButton::clicked, this, [this] { model_->execute(); });
    // Ctrl+Enter in the SQL box is the button, but never the stop the button becomes in a run.
    connect(sqlEdit_, &SqlEditor::runRequested, this, &QueryWindow::runFromKeyboard);
    connect(sqlEdit_, &SqlEditor::completionWanted, this, &QueryWindow::completeAtCaret);
    connect(findBar_, &FindBar::layoutChanged, this, &QueryWindow::applyLayout);
    connect(sqlEdit_, &QsciScintilla::modificationChanged, this,
            [this] { sqlFileLabel_->setText(sqlFileName()); });
    // An owner's names read for the list asked for: shown, while the box is as it was then.
    connect(&model_->dictionary(), &DictionaryLoader::read, this, [this](const QString& owner) {
        if (!owner.isEmpty() && owner == std::exchange(completionOwner_, QString()) &&
            sqlEdit_->caretOffset() == completionCaret_ && sqlEdit_->hasFocus())
            completeAtCaret(completionNamesOnly_);
    });
    setUpKeyboard();
    connect(resultGrid_, &GridView::cellDoubleClicked, this,
            [this](int row, int col) { model_->insertConditionFromCell(row, col); });
    setUpPlanGrid();

    bindState();
    model_->load();
    restoreBarTops(model_->layout(), loadBarTops(program.store()));
    applyLayout();
}

QueryWindow::~QueryWindow() = default;

void QueryWindow::setUpSplitters() {
    for (int k = 0; k < 5; ++k) {
        QLabel* bar = new SplitterBar(this);
        bar->setObjectName(QStringLiteral("splitterBar%1").arg(k));
        bars_[static_cast<size_t>(k)] = bar;
    }

    // A drop of bar 3 changes how short the window may become.
    auto* splitters = new SplitterBars(
        model_->layout(), bars_,
        [this] {
            applyLayout();
            updateMinimumSize();
        },
        this);
    // Where the user drops a bar is where the next window's bar goes.
    connect(splitters, &SplitterBars::barDropped, this, [this](int k) {
        saveBarTop(model_->program().store(), k,
                   model_->layout().rect(QueryWindowLayout::barControl(k)).top);
    });
}

QLabel* QueryWindow::makeLabel(const char* name, const QString& text) {
    // Message lines show the server's errors and the statement's names: never as markup.
    QLabel* l = plainLabel(new QLabel(text, this));
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

void QueryWindow::makeStatusBar() {
    statusBar_ = new QStatusBar(this);
    statusBar_->setObjectName(QStringLiteral("statusBar"));
    statusBar_->setSizeGripEnabled(false);
    const int stretch[3] = {3, 5, 1};
    for (int i = 0; i < 3; ++i) {
        QLabel* p = plainLabel(new QLabel(kPanelNames[i], statusBar_));
        p->setObjectName(QStringLiteral("statusPanel%1").arg(i + 1));
        p->setFrameShape(QFrame::Panel);
        p->setFrameShadow(QFrame::Sunken);
        p->setToolTip(kPanelNames[i]);
        p->setMinimumWidth(1);
        statusBar_->addWidget(p, stretch[i]);
        panels_[static_cast<size_t>(i)] = p;
    }
    // The commit mode, right of the panels: what the data after a run will be.
    commitMode_ = plainLabel(new QLabel(statusBar_));
    commitMode_->setObjectName(QStringLiteral("commitMode"));
    commitMode_->setFrameShape(QFrame::Panel);
    commitMode_->setFrameShadow(QFrame::Sunken);
    // The last run's notes, left of the commit mode: the panels keep their own texts.
    noteLabel_ = plainLabel(new QLabel(statusBar_));
    noteLabel_->setObjectName(QStringLiteral("runNote"));
    noteLabel_->setMaximumWidth(fontMetrics().averageCharWidth() * 48);
    statusBar_->addPermanentWidget(noteLabel_);
    statusBar_->addPermanentWidget(commitMode_);
    // The history panel opens the list of recorded runs.
    panels_[1]->installEventFilter(this);
    panels_[1]->setCursor(Qt::PointingHandCursor);
}

void QueryWindow::bindState() {
    WindowState& st = model_->state();
    connect(&st, &WindowState::captionChanged, this, [this](const QString& caption) {
        setWindowTitle(caption);
        Q_EMIT captionChanged(caption);
    });
    connect(&st, &WindowState::lineChanged, this, [this](WindowState::Line line, const QString& t) {
        QLabel* l = line == WindowState::Line::Plan     ? planMessage_
                    : line == WindowState::Line::Result ? resultMessage_
                    : line == WindowState::Line::Stats  ? statsMessage_
                    : line == WindowState::Line::Count  ? countLabel_
                    : line == WindowState::Line::Note   ? noteLabel_
                                                        : elapsedLabel_;
        l->setText(t);
        if (l == noteLabel_)
            l->setToolTip(plainToolTip(t));
        if (l == planMessage_ || l == resultMessage_ || l == statsMessage_)
            applyLayout();
    });
    connect(&st, &WindowState::panelChanged, this, [this](int panel) {
        QLabel* p = panels_[static_cast<size_t>(panel - 1)];
        p->setText(model_->state().panelText(panel));
        // The tooltip always says what the panel shows, with the detail the run adds.
        const QString detail = model_->state().panelToolTip(panel);
        p->setToolTip(detail.isEmpty() ? kPanelNames[panel - 1]
                                       : plainToolTip(kPanelNames[panel - 1] + u'\n' + detail));
    });
    connect(&st, &WindowState::runningChanged, this, [this](bool running) {
        executeButton_->setText(running ? QStringLiteral("中 止") : QStringLiteral("実 行"));
    });
    commitMode_->setText(st.commitMode());
    connect(&st, &WindowState::commitModeChanged, commitMode_, &QLabel::setText);
}

double QueryWindow::dpi() const {
    return logicalDpi(*this);
}

void QueryWindow::place(QWidget* w, Control c) {
    const TwipRect& r = model_->layout().rect(c);
    const double d = dpi();
    w->setGeometry(twipsToPixels(r.left, d), twipsToPixels(r.top, d),
                   std::max(twipsToPixels(r.width, d), 0), std::max(twipsToPixels(r.height, d), 0));
}

void QueryWindow::applyLayout() {
    place(sqlHeading_, Control::SqlHeading);
    place(sqlEdit_, Control::SqlEdit);
    // The find bar takes the bottom of the box, above its horizontal scroll bar.
    const int barHeight = findBar_->isVisible() ? findBar_->barHeight() : 0;
    sqlEdit_->setBottomMargin(barHeight);
    if (barHeight > 0) {
        const QRect view = sqlEdit_->viewport()->geometry();
        findBar_->setGeometry(sqlEdit_->x() + view.left(), sqlEdit_->y() + view.bottom() + 1,
                              view.width(), barHeight);
        findBar_->raise();
    }
    place(executeButton_, Control::ExecuteButton);
    place(resultHeading_, Control::ResultHeading);
    place(resultGrid_, Control::ResultGrid);
    place(resultMessage_, Control::ResultMessage);
    place(countLabel_, Control::CountLabel);
    place(elapsedLabel_, Control::CountLabel);
    place(statsHeading_, Control::StatsHeading);
    place(statsGrid_, Control::StatsGrid);
    place(statsMessage_, Control::StatsMessage);
    place(planHeading_, Control::PlanHeading);
    // A heading is never clipped, whatever font stands in for the window's.
    for (QLabel* heading : {sqlHeading_, resultHeading_, statsHeading_, planHeading_})
        heading->resize(std::max(heading->width(), heading->sizeHint().width()), heading->height());
    place(planGrid_, Control::PlanGrid);
    place(planMessage_, Control::PlanMessage);
    // The file's name from just right of the heading to the box's right edge.
    const int fileLeft = sqlHeading_->geometry().right() + sqlHeading_->fontMetrics().height() / 2;
    sqlFileLabel_->setGeometry(fileLeft, sqlHeading_->y(),
                               std::max(0, sqlEdit_->geometry().right() - fileLeft),
                               sqlHeading_->height());
    // The count label's last twips reach into the statistics grid, and a message line is wider
    // than a narrow window: trimmed, so nothing is painted over or cut.
    for (QLabel* count : {countLabel_, elapsedLabel_}) {
        const int room = statsGrid_->y() - count->y();
        if (room > 0 && room < count->height())
            count->resize(count->width(), room);
    }
    for (QLabel* message : {resultMessage_, statsMessage_, planMessage_}) {
        const int room = width() - message->x();
        if (room > 0 && room < message->width())
            message->resize(room, message->height());
    }
    keepMessagesInSight();
    for (int k = 0; k < 5; ++k)
        place(bars_[static_cast<size_t>(k)], QueryWindowLayout::barControl(k));
    const int h = statusBar_->sizeHint().height();
    statusBar_->setGeometry(0, height() - h, width(), h);
    // After a drop of bar 3 the plan grid reaches down to bar 4, which a status bar taller
    // than the table allows for lies under: the grid ends where the status bar begins.
    const int room = statusBar_->y() - planGrid_->y();
    if (room > 0 && room < planGrid_->height())
        planGrid_->resize(planGrid_->width(), room);
}

void QueryWindow::setUpPlanGrid() {
    // The plan as DBMS_XPLAN.DISPLAY_CURSOR prints it, from the menu or by its key in the grid.
    auto* xplanCopy = new QAction(QStringLiteral("DBMS_XPLAN形式でコピー(&X)"), planGrid_);
    xplanCopy->setObjectName(QStringLiteral("copyPlanAsXplan"));
    xplanCopy->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_X));
    xplanCopy->setShortcutContext(Qt::WidgetShortcut);
    planGrid_->addAction(xplanCopy);
    connect(xplanCopy, &QAction::triggered, this, [this] {
        if (const QString text = model_->planXplanText(); !text.isNull())
            QGuiApplication::clipboard()->setText(text);
    });
    // An adaptive plan's inactive lines, left out unless asked for, as DBMS_XPLAN shows them.
    planGrid_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(planGrid_, &QWidget::customContextMenuRequested, this, [this, xplanCopy](QPoint at) {
        QMenu menu(this);
        QAction* whole = menu.addAction(QStringLiteral("適応計画の使われない行を表示(&A)"));
        whole->setObjectName(QStringLiteral("showInactivePlanLines"));
        whole->setCheckable(true);
        whole->setChecked(model_->showsInactivePlanLines());
        whole->setEnabled(model_->planHasInactiveLines());
        connect(whole, &QAction::toggled, model_, &QueryWindowModel::setShowInactivePlanLines);
        menu.addAction(xplanCopy);
        xplanCopy->setEnabled(!model_->planXplanText().isNull());
        QAction* tryIndex = menu.addAction(QStringLiteral("索引を試す...(&I)"));
        tryIndex->setObjectName(QStringLiteral("tryIndexesFromPlan"));
        tryIndex->setEnabled(whatIf_->canStart());
        connect(tryIndex, &QAction::triggered, this, &QueryWindow::tryIndexes);
        menu.exec(planGrid_->viewport()->mapToGlobal(at));
        xplanCopy->setEnabled(true);
    });
    connect(planGrid_, &GridView::copyPressed, this, [this] {
        const QString text = model_->planCopyText();
        if (text.isNull())
            return;
        QClipboard* cb = QGuiApplication::clipboard();
        cb->clear();
        cb->setText(text);
    });
}

void QueryWindow::keepMessagesInSight() {
    // A grid that shows rows while its line has something to say (the rows fetched before a
    // stop, a warning) begins below the line's text, so both are read.
    const std::pair<GridView*, QLabel*> panes[] = {
        {resultGrid_, resultMessage_}, {statsGrid_, statsMessage_}, {planGrid_, planMessage_}};
    for (const auto& [grid, message] : panes) {
        if (message->text().isEmpty() || !grid->grid().visible())
            continue;
        const int h = std::min(message->heightForWidth(message->width()), grid->height() / 2);
        grid->setGeometry(grid->x(), message->y() + h, grid->width(),
                          grid->height() - (message->y() + h - grid->y()));
    }
}

void QueryWindow::setUpKeyboard() {
    // Tab goes from the SQL box to the button and down the panes, as they stand on the screen
    // (the box indents lines selected instead). Arrow keys move within a grid; Tab leaves it.
    for (GridView* grid : {resultGrid_, statsGrid_, planGrid_}) {
        grid->setTabKeyNavigation(false);
        grid->setFocusPolicy(Qt::StrongFocus);
    }
    executeButton_->setFocusPolicy(Qt::StrongFocus);
    setTabOrder(sqlEdit_, executeButton_);
    setTabOrder(executeButton_, resultGrid_);
    setTabOrder(resultGrid_, statsGrid_);
    setTabOrder(statsGrid_, planGrid_);
}

void QueryWindow::keyPressEvent(QKeyEvent* event) {
    // Whichever control has the focus (none of them takes these keys): F5 and Ctrl+Enter run,
    // Esc stops a run, as the button does, or gives up a login.
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if ((event->key() == Qt::Key_F5 && mods == Qt::NoModifier) ||
        (enter && mods == Qt::ControlModifier)) {
        runFromKeyboard();
        event->accept();
        return;
    }
    // Esc closes the find bar first (a completion list is closed by the box itself).
    if (event->key() == Qt::Key_Escape && findBar_->isVisible()) {
        findBar_->close();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Escape && (model_->isRunning() || model_->isConnecting())) {
        model_->stop();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void QueryWindow::runFromKeyboard() {
    if (!model_->isRunning() && executeButton_->isEnabled())
        executeButton_->click();
}

void QueryWindow::updateMinimumSize() {
    const double d = dpi();
    QWidget* outer = qobject_cast<QMdiSubWindow*>(parentWidget()) ? parentWidget() : this;
    if (outer == this && !isWindow())
        return;
    // Three plan rows under the headings.
    const int planRows = 2 * planGrid_->frameWidth() +
                         planGrid_->horizontalHeader()->sizeHint().height() +
                         3 * planGrid_->verticalHeader()->defaultSectionSize();
    const int frame =
        outer == this ? frameGeometry().height() - height() : outer->height() - height();
    QueryWindowLayout::Measured measured;
    measured.statsHeadingWidth = pixelsToTwips(statsHeading_->width(), d);
    measured.resultHeadingWidth = pixelsToTwips(resultHeading_->width(), d);
    measured.planGridHeight = pixelsToTwips(planRows, d);
    measured.chrome = pixelsToTwips(frame + statusBar_->sizeHint().height(), d);
    const QueryWindowLayout::OuterSize least = model_->layout().minimumOuterSize(measured);
    // Rounded up: a pixel less would already let two controls touch.
    auto px = [d](int twips) { return static_cast<int>(std::ceil(twips * d / 1440.0)); };
    outer->setMinimumSize(px(least.width), px(least.height));
}

bool QueryWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == panels_[1] && event->type() == QEvent::MouseButtonRelease) {
        Q_EMIT historyPanelClicked();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void QueryWindow::tryIndexes() {
    if (!whatIf_->canStart())
        return;
    WhatIfDialog dialog(*whatIf_, this);
    dialog.exec();
}

void QueryWindow::closeEvent(QCloseEvent* event) {
    // Unsaved edits of the SQL file are saved or dropped as the user says, a run under way is
    // stopped (when the user agrees) before the window goes, and what its session has pending
    // is committed or rolled back as the user says.
    if (settleSqlFileBefore(*this) && model_->settleRunBefore(kMsgStopToClose) &&
        model_->settleChangesBefore()) {
        whatIf_->closeDown();
        event->accept();
    } else
        event->ignore();
}

void QueryWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const QSize outer = outerSizeTwips(this);
    model_->layout().resize(outer.width(), outer.height());
    applyLayout();
    updateMinimumSize();
}

QString QueryWindow::sqlText() const {
    return sqlEdit_->text();
}

void QueryWindow::setSqlText(const QString& text) {
    // One edit that Ctrl+Z takes back: what was typed is never lost to a recalled statement.
    sqlEdit_->replaceText(text);
    sqlEdit_->setCaretOffset(text.size());
}

void QueryWindow::replaceSqlSelection(const QString& text) {
    sqlEdit_->replaceRange(sqlEdit_->selectedRange(), text);
}

void QueryWindow::sqlFileSaved() {
    sqlEdit_->setModified(false);
    sqlFileLabel_->setText(sqlFileName());
}

QString QueryWindow::sqlFileName() const {
    if (!sqlFile_.isOpen())
        return QString();
    return QFileInfo(sqlFile_.path).fileName() +
           (sqlEdit_->isModified() ? QStringLiteral("*") : QString());
}

void QueryWindow::completeAtCaret(bool namesOnly) {
    const qsizetype caret = sqlEdit_->caretOffset();
    Completion c = model_->completionAt(sqlEdit_->text(), caret);
    if (namesOnly)
        std::erase_if(c.items, [](const CompletionItem& item) {
            return item.kind == CompletionKind::Keyword || item.kind == CompletionKind::Function;
        });
    completionOwner_ = c.ownerToRead;
    completionCaret_ = caret;
    completionNamesOnly_ = namesOnly;
    sqlEdit_->showCompletion(c);
}

void QueryWindow::formatSql() {
    const TextRange selected = sqlEdit_->selectedRange();
    const bool whole = selected.begin == selected.end;
    const QString text = whole ? sqlEdit_->text() : sqlEdit_->selectedText();
    const QString laidOut = sql::formatSql(text);
    if (laidOut == text)
        return;
    if (whole)
        sqlEdit_->replaceText(laidOut);
    else
        sqlEdit_->replaceRange(selected, laidOut);
}

void QueryWindow::applySqlFont() {
    sqlEdit_->setSqlFont(sqlBoxFont(SqlFont::load(model_->program().store())));
}

void QueryWindow::focusSql() {
    sqlEdit_->setFocus(Qt::OtherFocusReason);
}

void QueryWindow::markSqlError(qsizetype position) {
    sqlEdit_->markError(int(position));
}

void QueryWindow::repaintNow() {
    window()->repaint();
}

Answer QueryWindow::ask(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, kAppTitle, text,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
    plainBox(box);
    box.setDefaultButton(QMessageBox::Yes);
    switch (box.exec()) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        default:
            return Answer::Cancel;
    }
}

void QueryWindow::showStatus(const QString& text) {
    statusBar_->showMessage(text, kStatusNoteMs);
}

void QueryWindow::showMessage(const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, this);
    plainBox(box);
    box.exec();
}

bool QueryWindow::runLoginDialog(LoginValues& values) {
    LoginDialog& dialog = LoginDialog::instance(model_->program().machine().serviceNames);
    dialog.setup(values, model_->connection().nextDriver());
    dialog.exec();
    if (!dialog.wasAccepted())
        return false;
    values = dialog.accepted();
    return true;
}

std::optional<BindList> QueryWindow::askBinds(const BindList& prefilled) {
    BindDialog dialog(prefilled, this);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.values();
}

double QueryWindow::twipsPerBlank() const {
    QFontMetricsF fm(font(), const_cast<QueryWindow*>(this));
    // In the window's own font a blank is as wide as any half-width character. A fallback
    // font may have a narrower blank, which would cut every value; take a digit's width then.
    const double blank =
        std::max(fm.horizontalAdvance(QLatin1Char(' ')), fm.horizontalAdvance(QLatin1Char('0')));
    return blank * 1440.0 / dpi();
}

bool QueryWindow::confirm(const QString& text, Answer preset) {
    QMessageBox box(QMessageBox::NoIcon, kAppTitle, text, QMessageBox::Yes | QMessageBox::No, this);
    plainBox(box);
    box.setDefaultButton(preset == Answer::No ? QMessageBox::No : QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace qv
