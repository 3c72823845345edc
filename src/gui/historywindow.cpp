#include "gui/historywindow.h"

#include "core/history/historyfile.h"
#include "core/history/historynotifier.h"
#include "core/history/runcomparison.h"
#include "core/program.h"
#include "gui/comparisonwindow.h"
#include "gui/plaintext.h"
#include "gui/windowfont.h"

#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace qv {

namespace {

const QStringList kHeadings{QStringLiteral("No."),      QStringLiteral("時刻"),
                            QStringLiteral("サービス"), QStringLiteral("ユーザ"),
                            QStringLiteral("SQL"),      QStringLiteral("行数"),
                            QStringLiteral("経過時間"), QStringLiteral("結果")};

QString endText(RunEnd end) {
    switch (end) {
        case RunEnd::Failed:
            return QStringLiteral("エラー");
        case RunEnd::Stopped:
            return QStringLiteral("中止");
        case RunEnd::Done:
            break;
    }
    return QStringLiteral("完了");
}

void warn(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, kAppTitle, text, QMessageBox::Ok, parent);
    plainBox(box);
    box.exec();
}

}  // namespace

HistoryWindow::HistoryWindow(const QString& path, QWidget* parent) : QWidget(parent, Qt::Window) {
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
    model_ = new QStandardItemModel(0, int(kHeadings.size()), this);
    model_->setHorizontalHeaderLabels(kHeadings);
    list_ = new QTableView(this);
    list_->setObjectName(QStringLiteral("runList"));
    list_->setModel(model_);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->verticalHeader()->hide();
    list_->horizontalHeader()->setStretchLastSection(false);
    list_->setWordWrap(false);
    compare_ = new QPushButton(QStringLiteral("選んだ2件を比較(&C)"), this);
    comparePrevious_ = new QPushButton(QStringLiteral("前回の実行と比較(&P)"), this);

    auto* top = new QHBoxLayout;
    top->addWidget(fileLabel_, 1);
    top->addWidget(open_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(comparePrevious_);
    buttons->addWidget(compare_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(filter_);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);

    connect(filter_, &QLineEdit::textChanged, this, &HistoryWindow::reload);
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &HistoryWindow::updateButtons);
    connect(list_, &QTableView::doubleClicked, this, &HistoryWindow::compareWithPrevious);
    connect(compare_, &QPushButton::clicked, this, &HistoryWindow::compareSelected);
    connect(comparePrevious_, &QPushButton::clicked, this, &HistoryWindow::compareWithPrevious);
    connect(open_, &QPushButton::clicked, this, [this] {
        const QString file = QFileDialog::getOpenFileName(
            this, QStringLiteral("履歴ファイルを開く"), QFileInfo(path_).absolutePath(),
            QStringLiteral("履歴ファイル (*.mdb *.db);;すべてのファイル (*)"));
        if (!file.isEmpty())
            setPath(file);
    });
    connect(&historyNotifier(), &HistoryNotifier::runRecorded, this,
            [this](const QString& file, qint32) {
                if (QFileInfo(file) == QFileInfo(path_))
                    reload();
            });
    resize(900, 480);
    setPath(path);
}

HistoryWindow::~HistoryWindow() = default;

void HistoryWindow::setPath(const QString& path) {
    path_ = path;
    fileLabel_->setText(QStringLiteral("履歴ファイル: ") + QDir::toNativeSeparators(path));
    setWindowTitle(QStringLiteral("履歴の比較 - ") + QFileInfo(path).fileName());
    reload();
}

void HistoryWindow::reload() {
    model_->removeRows(0, model_->rowCount());
    QList<RunSummary> runs;
    if (QFileInfo(path_).isFile()) {
        try {
            runs = HistoryFile(path_).runs(filter_->text());
        } catch (const DbError& e) {
            fileLabel_->setText(QStringLiteral("履歴ファイル: ") + QDir::toNativeSeparators(path_) +
                                QStringLiteral("（読めません: ") + e.description() +
                                QStringLiteral("）"));
        }
    }
    model_->setRowCount(int(runs.size()));
    for (int row = 0; row < runs.size(); ++row) {
        const RunSummary& r = runs[row];
        const auto& f = r.facts;
        const QStringList cells{QString::number(r.number),
                                r.timestamp,
                                f ? f->service : QString(),
                                f ? f->user : QString(),
                                r.firstLine(),
                                f && f->rowCount ? QString::number(*f->rowCount) : QString(),
                                f ? elapsedText(f->elapsedMs) : QString(),
                                f ? endText(f->end) : QString()};
        for (int col = 0; col < cells.size(); ++col) {
            auto* item = new QStandardItem(cells[col]);
            if (col == 4)
                item->setToolTip(plainToolTip(r.sql));
            if (col == 0 || col == 5 || col == 6)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            model_->setItem(row, col, item);
        }
    }
    list_->resizeColumnsToContents();
    list_->setColumnWidth(4, std::min(list_->columnWidth(4), 420));
    updateButtons();
}

QList<int> HistoryWindow::shownRuns() const {
    QList<int> numbers;
    for (int row = 0; row < model_->rowCount(); ++row)
        numbers << model_->item(row, 0)->text().toInt();
    return numbers;
}

QList<int> HistoryWindow::selectedRuns() const {
    QList<int> numbers;
    for (const QModelIndex& index : list_->selectionModel()->selectedRows())
        numbers << model_->item(index.row(), 0)->text().toInt();
    std::sort(numbers.begin(), numbers.end());
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
        window->show();
        lastComparison_ = window;
    } catch (const DbError& e) {
        warn(this, e.description());
    }
}

QWidget* HistoryWindow::lastComparison() const {
    return lastComparison_;
}

HistoryWindow* showHistoryWindow(const QString& path, QWidget* parent) {
    auto* window = new HistoryWindow(path, parent ? parent->window() : nullptr);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

}  // namespace qv
