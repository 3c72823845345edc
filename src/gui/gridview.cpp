#include "gui/gridview.h"

#include "core/program.h"
#include "core/tuning/gridactions.h"
#include "core/tuning/planfigures.h"
#include "core/window/twips.h"
#include "gui/plaintext.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QSaveFile>
#include <QStyleOptionHeader>
#include <QStylePainter>
#include <QStyledItemDelegate>

#include <set>

namespace qv {

// Paints a figure that its column is too narrow for in the longest of its short forms that
// fits; the model's text stays exact for Ctrl+C and the history.
class FigureDelegate : public QStyledItemDelegate {
  public:
    explicit FigureDelegate(GridView* view) : QStyledItemDelegate(view), view_(view) {}

    QString shownText(QStyleOptionViewItem option, const QModelIndex& index) const {
        initStyleOption(&option, index);
        return option.text;
    }

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const GridModel& g = view_->grid();
        if (g.fixedRows() == 0)
            return;
        const auto scale = planFigureScale(g.text(0, index.column() + g.fixedCols()));
        if (!scale)
            return;
        const QWidget* w = option->widget;
        const QStyle* style = w ? w->style() : view_->style();
        // The margin the style keeps on each side of an item's text.
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, w) + 1;
        // Measured as the style elides, with a pixel to spare: a figure that only just fits by
        // its advance can still be cut by the bearing of its last digit.
        const int room = option->rect.width() - 2 * margin - 1;
        const QFontMetrics metrics(option->font);
        for (const QString& form : shortFigureForms(option->text, *scale)) {
            option->text = form;
            if (metrics.horizontalAdvance(form) <= room &&
                metrics.elidedText(form, Qt::ElideRight, room) == form)
                break;
        }
    }

  private:
    GridView* view_;
};

GridView::GridView(GridModel& gridModel, QWidget* parent)
    : QTableView(parent), model_(new GridTableModel(gridModel, this)) {
    setModel(model_);
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
        Q_EMIT cellDoubleClicked(index.row() + grid().fixedRows(),
                                 index.column() + grid().fixedCols());
    });
    setVisible(gridModel.visible());
    if ((corner_ = findChild<QAbstractButton*>()))
        corner_->installEventFilter(this);
    applyShape();
}

bool GridView::eventFilter(QObject* watched, QEvent* event) {
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
    if (corner_)
        corner_->update();
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
    if (!figures_) {
        figures_ = new FigureDelegate(this);
        setItemDelegate(figures_);
    }
    model_->setCellToolTips(true);
}

QString GridView::shownText(const QModelIndex& index) const {
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    if (figures_)
        return figures_->shownText(option, index);
    return model_->data(index, Qt::DisplayRole).toString();
}

int GridView::currentGridRow() const {
    const QModelIndex i = currentIndex();
    return i.isValid() ? i.row() + model_->grid().fixedRows() : -1;
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
    std::set<int> rows, cols;
    for (const QItemSelectionRange& range : selection) {
        for (int r = range.top(); r <= range.bottom(); ++r)
            rows.insert(r + g.fixedRows());
        for (int c = range.left(); c <= range.right(); ++c)
            cols.insert(c + g.fixedCols());
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
    menu.exec(viewport()->mapToGlobal(at));
}

}  // namespace qv
