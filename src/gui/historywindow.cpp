#include "gui/historywindow.h"

#include "core/history/historyfile.h"
#include "core/history/historynotifier.h"
#include "core/history/runcomparison.h"
#include "core/program.h"
#include "core/window/windowarrangement.h"
#include "gui/comparisonwindow.h"
#include "gui/historyrunmodel.h"
#include "gui/plaintext.h"
#include "gui/windowfont.h"

#include <algorithm>

#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

namespace qv {

namespace {

void warn(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, kAppTitle, text, QMessageBox::Ok, parent);
    plainBox(box);
    box.exec();
}

// Column widths from the font alone: measuring the rows would read every run of the file.
void setColumnWidths(QTableView* list) {
    const QFontMetrics fm(list->font());
    const int pad = 2 * fm.horizontalAdvance(u' ') + 8;
    auto width = [&](const QString& sample) { return fm.horizontalAdvance(sample) + pad; };
    QHeaderView* header = list->horizontalHeader();
    header->setMinimumSectionSize(width(QStringLiteral("No.")));
    list->setColumnWidth(HistoryRunModel::Number, width(QStringLiteral("000000")));
    list->setColumnWidth(HistoryRunModel::Time, width(QStringLiteral("0000-00-00 00:00:00")));
    list->setColumnWidth(HistoryRunModel::Service, width(QStringLiteral("sqlite:sample")));
    list->setColumnWidth(HistoryRunModel::User, width(QStringLiteral("SCOTT_USER")));
    list->setColumnWidth(HistoryRunModel::Rows, width(QStringLiteral("000000000")));
    list->setColumnWidth(HistoryRunModel::Elapsed, width(QStringLiteral("000.000秒")));
    list->setColumnWidth(HistoryRunModel::End, width(QStringLiteral("エラー")));
    header->setSectionResizeMode(HistoryRunModel::Sql, QHeaderView::Stretch);
}

QPointer<HistoryWindow> gHistoryWindow;

// Puts the window `w`, not shown yet, at `frame` (its frame's place on the screen, as
// placeOver() and placeBeside() give it); `decoration` is what the frame adds to the size.
void placeWindow(QWidget* w, const QRect& frame, const QSize& decoration) {
    w->resize(frame.size() - decoration);
    w->move(frame.topLeft());
}

// What a window's frame adds to its size: as `shown`'s, before a window of its own is shown.
QSize decorationOf(const QWidget* shown) {
    return shown->frameGeometry().size() - shown->size();
}

}  // namespace

HistoryWindow::HistoryWindow(const QString& path, HistoryNotifier& notifier, QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("historyWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(windowFont());
    fileLabel_ = plainLabel(new QLabel(this));
    fileLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    open_ = new QPushButton(QStringLiteral("開く(&O)..."), this);
    filter_ = new QLineEdit(this);
    filter_->setObjectName(QStringLiteral("filterEdit"));
    filter_->setPlaceholderText(QStringLiteral("SQLで絞り込み"));
    filter_->setClearButtonEnabled(true);
    filterDelay_.setSingleShot(true);
    filterDelay_.setInterval(kFilterDelayMs);
    model_ = new HistoryRunModel(this);
    list_ = new QTableView(this);
    list_->setObjectName(QStringLiteral("runList"));
    list_->setModel(model_);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list_->setWordWrap(false);
    // Statements of one query often differ only at their end (the WHERE clause): the middle of
    // a long one gives way.
    list_->setTextElideMode(Qt::ElideMiddle);
    setColumnWidths(list_);
    preview_ = new QPlainTextEdit(this);
    preview_->setObjectName(QStringLiteral("statementPreview"));
    preview_->setReadOnly(true);
    preview_->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(list_);
    split->addWidget(preview_);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    split->setChildrenCollapsible(false);
    compare_ = new QPushButton(QStringLiteral("選んだ2件を比較(&C)"), this);
    comparePrevious_ = new QPushButton(QStringLiteral("前回の実行と比較(&P)"), this);
    close_ = new QPushButton(QStringLiteral("閉じる"), this);

    auto* top = new QHBoxLayout;
    top->addWidget(fileLabel_, 1);
    top->addWidget(open_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(comparePrevious_);
    buttons->addWidget(compare_);
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(filter_);
    layout->addWidget(split, 1);
    layout->addLayout(buttons);

    connect(filter_, &QLineEdit::textChanged, &filterDelay_, qOverload<>(&QTimer::start));
    connect(&filterDelay_, &QTimer::timeout, this, &HistoryWindow::reload);
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &HistoryWindow::updateButtons);
    connect(list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &HistoryWindow::updatePreview);
    connect(model_, &QAbstractItemModel::modelReset, this, &HistoryWindow::updatePreview);
    connect(list_, &QTableView::doubleClicked, this, &HistoryWindow::compareWithPrevious);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        QAction* open = menu.addAction(QStringLiteral("クエリウィンドウで開く"));
        open->setObjectName(QStringLiteral("openRunInWindow"));
        open->setEnabled(selectedRuns().size() == 1);
        connect(open, &QAction::triggered, this, &HistoryWindow::openSelectedRun);
        QAction* remove = menu.addAction(QStringLiteral("削除(&D)..."));
        remove->setObjectName(QStringLiteral("deleteRuns"));
        remove->setEnabled(list_->selectionModel()->hasSelection());
        connect(remove, &QAction::triggered, this, &HistoryWindow::deleteSelectedRuns);
        menu.exec(list_->viewport()->mapToGlobal(at));
    });
    connect(compare_, &QPushButton::clicked, this, &HistoryWindow::compareSelected);
    connect(comparePrevious_, &QPushButton::clicked, this, &HistoryWindow::compareWithPrevious);
    connect(close_, &QPushButton::clicked, this, &QWidget::close);
    connect(open_, &QPushButton::clicked, this, [this] {
        const QString file = QFileDialog::getOpenFileName(
            this, QStringLiteral("履歴ファイルを開く"), QFileInfo(path_).absolutePath(),
            QStringLiteral("履歴ファイル (*.mdb *.db);;すべてのファイル (*)"));
        if (!file.isEmpty())
            setPath(file);
    });
    connect(&notifier, &HistoryNotifier::runRecorded, this, [this](const QString& file, qint32) {
        if (QFileInfo(file) == QFileInfo(path_))
            followFile();
    });
    // A search is what the window is opened for most: typing goes to the filter first.
    setTabOrder(filter_, list_);
    setTabOrder(list_, preview_);
    setTabOrder(preview_, comparePrevious_);
    setTabOrder(comparePrevious_, compare_);
    setTabOrder(compare_, close_);
    setTabOrder(close_, open_);
    filter_->setFocus();
    // Within the screen, however small.
    resize(QSize(1000, 600).boundedTo(screen()->availableGeometry().size() * 0.9));
    setPath(path);
}

HistoryWindow::~HistoryWindow() = default;

// Esc closes the window, as it closes a dialog: a key the focused control does not take comes
// here.
void HistoryWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier)
        close();
    else if (event->key() == Qt::Key_Delete && list_->hasFocus())
        deleteSelectedRuns();
    else
        QWidget::keyPressEvent(event);
}

void HistoryWindow::setPath(const QString& path) {
    path_ = path;
    setWindowTitle(QStringLiteral("履歴の比較 - ") + QFileInfo(path).fileName());
    reload();
}

void HistoryWindow::showFileError(const QString& description) {
    fileLabel_->setText(QStringLiteral("履歴ファイル: ") + QDir::toNativeSeparators(path_) +
                        QStringLiteral("（読めません: ") + description + QStringLiteral("）"));
}

void HistoryWindow::reload() {
    filterDelay_.stop();
    fileLabel_->setText(QStringLiteral("履歴ファイル: ") + QDir::toNativeSeparators(path_));
    try {
        model_->load(path_, filter_->text());
    } catch (const DbError& e) {
        showFileError(e.description());
    }
    // The newest run comes selected, its statement in the pane below.
    if (model_->rowCount() > 0)
        list_->selectRow(0);
    updateButtons();
    emit runsShown();
}

void HistoryWindow::followFile() {
    try {
        model_->refresh();
    } catch (const DbError& e) {
        showFileError(e.description());
    }
    updateButtons();
    emit runsShown();
}

void HistoryWindow::updatePreview() {
    const QModelIndex current = list_->currentIndex();
    preview_->setPlainText(current.isValid() ? model_->statementAt(current.row()) : QString());
}

QList<int> HistoryWindow::shownRuns() const {
    QList<int> numbers;
    for (int row = 0; row < model_->rowCount(); ++row)
        numbers << model_->numberAt(row);
    return numbers;
}

QList<int> HistoryWindow::selectedRuns() const {
    QList<int> numbers;
    const QItemSelection selection = list_->selectionModel()->selection();
    // Whole ranges, not rows: a selection of every run stays cheap.
    for (const QItemSelectionRange& range : selection) {
        for (int row = range.top(); row <= range.bottom() && numbers.size() < 3; ++row)
            numbers << model_->numberAt(row);
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

void HistoryWindow::updateButtons() {
    const qsizetype n = selectedRuns().size();
    compare_->setEnabled(n == 2);
    comparePrevious_->setEnabled(n == 1);
}

void HistoryWindow::compareSelected() {
    const QList<int> runs = selectedRuns();
    if (runs.size() == 2)
        openComparison(runs[0], runs[1]);
}

void HistoryWindow::compareWithPrevious() {
    const QList<int> runs = selectedRuns();
    if (runs.size() != 1)
        return;
    try {
        const auto previous = HistoryFile(path_).previousRunOf(runs[0]);
        if (!previous) {
            warn(this,
                 QStringLiteral("No.%1 と同じSQLの前回の実行は記録されていません。").arg(runs[0]));
            return;
        }
        openComparison(*previous, runs[0]);
    } catch (const DbError& e) {
        warn(this, e.description());
    }
}

void HistoryWindow::openSelectedRun() {
    const QList<int> runs = selectedRuns();
    if (runs.size() != 1)
        return;
    try {
        const auto run = HistoryFile(path_).run(runs[0]);
        if (!run) {
            warn(this, QStringLiteral("No.%1 の実行が見つかりません。").arg(runs[0]));
            return;
        }
        emit openRunRequested(run->summary.sql, run->binds);
    } catch (const DbError& e) {
        warn(this, e.description());
    }
}

void HistoryWindow::deleteSelectedRuns() {
    QList<int32_t> numbers;
    for (const QModelIndex& row : list_->selectionModel()->selectedRows())
        numbers << model_->numberAt(row.row());
    if (numbers.isEmpty())
        return;
    std::sort(numbers.begin(), numbers.end());
    const QString which = numbers.size() == 1
                              ? QStringLiteral("No.%1 の実行").arg(numbers[0])
                              : QStringLiteral("選んだ%1件の実行").arg(numbers.size());
    QMessageBox ask(QMessageBox::NoIcon, kAppTitle,
                    which + QStringLiteral("を履歴ファイルから削除します。元に戻せません。"
                                           "よろしいですか？"),
                    QMessageBox::Yes | QMessageBox::No, this);
    ask.setDefaultButton(QMessageBox::No);
    plainBox(ask);
    if (ask.exec() != QMessageBox::Yes)
        return;
    try {
        HistoryFile(path_).deleteRuns(numbers);
    } catch (const DbError& e) {
        warn(this, e.description());
    }
    reload();
}

void HistoryWindow::openComparison(int a, int b) {
    try {
        const HistoryFile file(path_);
        auto runA = file.run(a);
        auto runB = file.run(b);
        if (!runA || !runB) {
            warn(this, QStringLiteral("No.%1 の実行が見つかりません。").arg(runA ? b : a));
            return;
        }
        auto* window =
            new ComparisonWindow(compareRuns(std::move(*runA), std::move(*runB)), parentWidget());
        // Beside the list, or over it with its title and left edge showing; another one beside
        // or over the comparison shown last.
        const QWidget* anchor = lastComparison_ && lastComparison_->isVisible()
                                    ? lastComparison_.data()
                                    : static_cast<QWidget*>(this);
        const QSize decoration = decorationOf(this);
        placeWindow(window,
                    placeBeside(window->size() + decoration, anchor->frameGeometry(),
                                screen()->availableGeometry(), 2 * fontMetrics().height()),
                    decoration);
        window->show();
        lastComparison_ = window;
    } catch (const DbError& e) {
        warn(this, e.description());
    }
}

QWidget* HistoryWindow::lastComparison() const {
    return lastComparison_;
}

HistoryWindow* showHistoryWindow(const QString& path, HistoryNotifier& notifier, QWidget* parent) {
    HistoryWindow* window = gHistoryWindow;
    if (!window) {
        QWidget* frame = parent ? parent->window() : nullptr;
        window = new HistoryWindow(path, notifier, frame);
        gHistoryWindow = window;
        if (frame && frame->isVisible()) {
            const QSize decoration = decorationOf(frame);
            placeWindow(window,
                        placeOver(window->size() + decoration, frame->frameGeometry(),
                                  frame->screen()->availableGeometry()),
                        decoration);
        }
    } else if (QFileInfo(window->path()) != QFileInfo(path)) {
        window->setPath(path);
    }
    window->showNormal();
    window->raise();
    window->activateWindow();
    return window;
}

}  // namespace qv
