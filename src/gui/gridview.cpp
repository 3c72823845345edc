#include "gui/gridview.h"

#include "core/program.h"
#include "core/tuning/gridactions.h"
#include "core/tuning/planfigures.h"
#include "core/window/twips.h"
#include "gui/plaintext.h"
#include "gui/planoperationtext.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QSaveFile>
#include <QStyleOptionHeader>
#include <QStylePainter>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <set>

namespace qv {

// Paints the grid's cells: a long plan operation cut in the middle of its words, so the
// object it names stays in sight (elidedPlanOperation()), and a plan figure that its column is
// too narrow for in the longest of its short forms that fits; the model's text stays exact for
// Ctrl+C and the history. A cell cut by its column shows its whole text in a tooltip.
class GridDelegate : public QStyledItemDelegate {
  public:
    explicit GridDelegate(GridView* view) : QStyledItemDelegate(view), view_(view) {}

    void setPlanFigures(bool on) { figures_ = on; }

    QString shownText(QStyleOptionViewItem option, const QModelIndex& index) const {
        initStyleOption(&option, index);
        return option.text;
    }

    // Whether the cell's text is shown in part only: abbreviated, or too wide for its room.
    bool isCut(QStyleOptionViewItem option, const QModelIndex& index) const {
        initStyleOption(&option, index);
        if (option.text != index.data(Qt::DisplayRole).toString())
            return true;
        return !fits(option.text, QFontMetrics(option.font), room(option));
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        // What the cell needs whole (a double-click on a header divider fits the column), with
        // the pixel room() keeps to spare.
        QStyleOptionViewItem o = option;
        o.rect.setWidth(QWIDGETSIZE_MAX / 2);
        return QStyledItemDelegate::sizeHint(o, index) + QSize(1, 0);
    }

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
        if (event->type() != QEvent::ToolTip || !index.isValid())
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        const QString tip = view_->tableModel()->cellToolTip(index, isCut(option, index));
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(event->globalPos(), plainToolTip(tip), view->viewport(),
                               view->visualRect(index));
        return true;
    }

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const GridModel& g = view_->grid();
        if (!figures_ || g.fixedRows() == 0)
            return;
        const int col = index.column() + g.fixedCols();
        if (col == 0) {
            option->text = elidedPlanOperation(option->text, QFontMetrics(option->font),
                                               itemTextRoom(*option));
            return;
        }
        const auto scale = planFigureScale(g.text(0, col));
        if (!scale)
            return;
        const QFontMetrics metrics(option->font);
        const int space = room(*option);
        for (const QString& form : shortFigureForms(option->text, *scale)) {
            option->text = form;
            if (fits(form, metrics, space))
                break;
        }
    }

  private:
    static int room(const QStyleOptionViewItem& option) { return itemTextRoom(option); }
    static bool fits(const QString& text, const QFontMetrics& metrics, int room) {
        return metrics.horizontalAdvance(text) <= room &&
               metrics.elidedText(text, Qt::ElideRight, room) == text;
    }

    GridView* view_;
    bool figures_ = false;
};

GridView::GridView(GridModel& gridModel, QWidget* parent)
    : QTableView(parent),
      model_(new GridTableModel(gridModel, this)),
      delegate_(new GridDelegate(this)) {
    setModel(model_);
    setItemDelegate(delegate_);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    verticalHeader()->setHighlightSections(false);
    verticalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(model_, &GridTableModel::refreshed, this, &GridView::applyShape);
    connect(model_, &QAbstractItemModel::modelAboutToBeReset, this, [this] { shaping_ = true; });
    connect(horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int section, int, int width) { rememberHandWidth(section, width); });
    connect(model_, &GridTableModel::visibilityChanged, this, &GridView::setVisible);
    connect(this, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        Q_EMIT cellDoubleClicked(model_->gridRow(index.row()), index.column() + grid().fixedCols());
    });
    horizontalHeader()->viewport()->installEventFilter(this);
    setVisible(gridModel.visible());
    if ((corner_ = findChild<QAbstractButton*>()))
        corner_->installEventFilter(this);
    applyShape();
}

bool GridView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == horizontalHeader()->viewport() && event->type() == QEvent::ToolTip) {
        showHeadingToolTip(static_cast<QHelpEvent*>(event));
        return true;
    }
    if (watched != corner_ || event->type() != QEvent::Paint)
        return QTableView::eventFilter(watched, event);
    QStyleOptionHeader opt;
    opt.initFrom(corner_);
    opt.rect = corner_->rect();
    opt.position = QStyleOptionHeader::OnlyOneSection;
    opt.textAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    if (grid().fixedRows() > 0 && grid().fixedCols() > 0)
        opt.text = grid().text(0, 0);
    QStylePainter painter(corner_);
    painter.drawControl(QStyle::CE_Header, opt);
    return true;
}

double GridView::dpi() const {
    return logicalDpiX() > 0 ? logicalDpiX() : 96.0;
}

void GridView::applyShape() {
    GridModel& g = grid();
    horizontalHeader()->setVisible(g.fixedRows() > 0);
    verticalHeader()->setVisible(g.fixedCols() > 0);
    if (g.fixedCols() > 0)
        verticalHeader()->setFixedWidth(twipsToPixels(g.colWidth(0), dpi()));
    if (corner_) {
        // Its heading ("ROWNUM", "Stats#") is cut by the column's fixed width in many fonts.
        corner_->setToolTip(g.fixedRows() > 0 && g.fixedCols() > 0 ? plainToolTip(g.text(0, 0))
                                                                   : QString());
        corner_->update();
    }
    shaping_ = true;
    for (int c = g.fixedCols(); c < g.cols(); ++c)
        horizontalHeader()->resizeSection(c - g.fixedCols(), twipsToPixels(g.colWidth(c), dpi()));
    const QStringList now = headings();
    if (!handWidths_.empty() && now == handHeadings_) {
        for (const auto& [section, width] : handWidths_)
            horizontalHeader()->resizeSection(section, width);
    } else if (!now.join(QString()).isEmpty()) {
        // Other columns: the grid's own widths, and the hand-set ones are forgotten.
        handWidths_.clear();
        handHeadings_.clear();
    }
    shaping_ = false;
}

QStringList GridView::headings() const {
    const GridModel& g = model_->grid();
    QStringList list;
    if (g.fixedRows() > 0) {
        for (int c = g.fixedCols(); c < g.cols(); ++c)
            list.append(g.text(0, c));
    }
    return list;
}

void GridView::rememberHandWidth(int section, int width) {
    if (shaping_)
        return;
    const QStringList now = headings();
    if (now != handHeadings_) {
        handWidths_.clear();
        handHeadings_ = now;
    }
    handWidths_[section] = width;
}

void GridView::enablePlanFigures() {
    delegate_->setPlanFigures(true);
    model_->setCellToolTips(true);
}

QStyleOptionViewItem GridView::cellOption(const QModelIndex& index) const {
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    return option;
}

QString GridView::shownText(const QModelIndex& index) const {
    return delegate_->shownText(cellOption(index), index);
}

bool GridView::isCut(const QModelIndex& index) const {
    return delegate_->isCut(cellOption(index), index);
}

bool GridView::isHeadingCut(int section) const {
    const QHeaderView* h = horizontalHeader();
    const QString text = model_->headerData(section, Qt::Horizontal, Qt::DisplayRole).toString();
    const int margin = h->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, h);
    return QFontMetrics(h->font()).horizontalAdvance(text) + 2 * margin > h->sectionSize(section);
}

void GridView::showHeadingToolTip(QHelpEvent* event) {
    const int section = horizontalHeader()->logicalIndexAt(event->pos());
    QString tip = model_->grid().rowToolTip(0);
    if (section >= 0 && isHeadingCut(section)) {
        const QString heading =
            model_->headerData(section, Qt::Horizontal, Qt::DisplayRole).toString();
        tip = tip.isEmpty() ? heading : heading + u'\n' + tip;
    }
    if (tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event->globalPos(), plainToolTip(tip), horizontalHeader()->viewport());
}

int GridView::currentGridRow() const {
    const QModelIndex i = currentIndex();
    return i.isValid() ? model_->gridRow(i.row()) : -1;
}

int GridView::currentGridCol() const {
    const QModelIndex i = currentIndex();
    return i.isValid() ? i.column() + model_->grid().fixedCols() : -1;
}

void GridView::keyPressEvent(QKeyEvent* event) {
    QTableView::keyPressEvent(event);
    if (!event->matches(QKeySequence::Copy))
        return;
    if (exports_)
        copySelection();
    Q_EMIT copyPressed();
}

void GridView::enableExport() {
    exports_ = true;
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &GridView::showExportMenu);
}

QString GridView::selectionText() const {
    const GridModel& g = model_->grid();
    // Ranges, not cells: a whole grid selected is a few ranges but a million cells.
    QItemSelection selection = selectionModel()->selection();
    if (selection.isEmpty() && currentIndex().isValid())
        selection.select(currentIndex(), currentIndex());
    if (selection.isEmpty())
        return QString();
    // The grid's rows in its own order, whatever order the view shows them in; every view row
    // selected (Ctrl+A) is every row of the grid, also those the view leaves out.
    std::set<int> rows, cols;
    for (const QItemSelectionRange& range : selection) {
        for (int r = range.top(); r <= range.bottom(); ++r)
            rows.insert(model_->gridRow(r));
        for (int c = range.left(); c <= range.right(); ++c)
            cols.insert(c + g.fixedCols());
    }
    if (!(model_->rowView() == RowView{}) && qsizetype(rows.size()) == model_->rowCount()) {
        for (int r = g.fixedRows(); r < g.rows(); ++r)
            rows.insert(r);
    }
    return gridCellsText(g, QList<int>(rows.begin(), rows.end()),
                         QList<int>(cols.begin(), cols.end()), u'\t', QStringLiteral("\n"));
}

void GridView::copySelection() {
    const QString text = selectionText();
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

QString GridView::saveCsv(const QString& path) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    file.write("\xEF\xBB\xBF");
    file.write(gridCsv(model_->grid()).toUtf8());
    if (!file.commit())
        return file.errorString();
    return QString();
}

void GridView::askAndSaveCsv() {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("CSVで保存"),
                                                      QStringLiteral("%1.csv").arg(objectName()),
                                                      QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty())
        return;
    if (const QString reason = saveCsv(path); !reason.isEmpty()) {
        QMessageBox box(QMessageBox::Warning, kAppTitle,
                        QStringLiteral("CSVを保存できませんでした:%1\n%2").arg(path, reason),
                        QMessageBox::Ok, this);
        plainBox(box).exec();
    }
}

void GridView::showExportMenu(const QPoint& at) {
    QMenu menu(this);
    QAction* copy = menu.addAction(QStringLiteral("コピー(&C)"), this, &GridView::copySelection);
    copy->setShortcut(QKeySequence::Copy);
    menu.addAction(QStringLiteral("CSVで保存..."), this, &GridView::askAndSaveCsv);
    if (differenceCol_ >= 0)
        addRowViewItems(menu);
    menu.exec(viewport()->mapToGlobal(at));
}

void GridView::enableRowViews(int differenceCol) {
    differenceCol_ = differenceCol;
}

void GridView::addRowViewItems(QMenu& menu) {
    const GridModel& g = model_->grid();
    const RowView now = model_->rowView();
    menu.addSeparator();
    // A heading chosen again turns the order round.
    QMenu* sort = menu.addMenu(QStringLiteral("並べ替え"));
    sort->setObjectName(QStringLiteral("sortMenu"));
    for (int c = 0; c < g.cols() && g.fixedRows() > 0; ++c) {
        QAction* by = sort->addAction(g.text(0, c));
        by->setCheckable(true);
        by->setChecked(now.sortCol == c);
        connect(by, &QAction::triggered, this, [this, c] {
            RowView view = model_->rowView();
            view.descending = view.sortCol == c && !view.descending;
            view.sortCol = c;
            model_->setRowView(view);
        });
    }
    QAction* changed = menu.addAction(QStringLiteral("変化した統計だけ"));
    changed->setObjectName(QStringLiteral("changedOnly"));
    changed->setCheckable(true);
    changed->setChecked(now.nonZeroCol >= 0);
    connect(changed, &QAction::toggled, this, [this](bool on) {
        RowView view = model_->rowView();
        view.nonZeroCol = on ? differenceCol_ : -1;
        model_->setRowView(view);
    });
}

}  // namespace qv
