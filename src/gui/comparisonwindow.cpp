#include "gui/comparisonwindow.h"

#include "core/history/changechart.h"
#include "core/history/comparisonexport.h"
#include "core/program.h"
#include "core/tuning/runbinds.h"
#include "gui/plaintext.h"
#include "gui/planchangecolour.h"
#include "gui/planoperationtext.h"
#include "gui/windowfont.h"

#include <algorithm>

#include <QApplication>
#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QClipboard>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHorizontalStackedBarSeries>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTextEdit>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>

namespace qv {

namespace {

// How many of the largest changes the chart shows.
constexpr int kChartBars = 12;
// A statistic the second run needed less of, and one it needed more of.
const QColor kFewerColour(0x2e, 0x7d, 0x32);
const QColor kMoreColour(0xc6, 0x28, 0x28);

QString planCell(const std::optional<RecordedPlanLine>& line) {
    return line ? line->operation : QString();
}

// The line whole (the column may cut it), its estimates and its predicates, as its tooltip.
QString planLineTip(const RecordedPlanLine& line) {
    QString tip = line.operation.trimmed() + QStringLiteral("\nCardinality %1 / Cost %2 / Byte %3")
                                                 .arg(line.cardinality, line.cost, line.bytes);
    if (!line.accessPredicates.isEmpty())
        tip += QStringLiteral("\naccess: ") + line.accessPredicates;
    if (!line.filterPredicates.isEmpty())
        tip += QStringLiteral("\nfilter: ") + line.filterPredicates;
    return tip;
}

// The marks and colours of the plan's lines, each with what it says. Our own texts and the run
// numbers only: nothing from the server goes into this markup.
QString legendText(const RunComparison& c) {
    QString html = QStringLiteral("凡例:");
    for (const auto& [kind, text] : planLegend(c))
        html += QStringLiteral("&nbsp;&nbsp;<span style=\"background:%1\">&nbsp;%2&nbsp;</span> %3")
                    .arg(planChangeBackground(kind).name(), changeMark(kind).toHtmlEscaped(),
                         text.toHtmlEscaped());
    return html;
}

}  // namespace

ComparisonWindow::ComparisonWindow(RunComparison comparison, QWidget* parent)
    : QWidget(parent, Qt::Window), comparison_(std::move(comparison)) {
    setObjectName(QStringLiteral("comparisonWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(windowFont());
    setWindowTitle(QStringLiteral("実行の比較 No.%1 → No.%2")
                       .arg(comparison_.a.summary.number)
                       .arg(comparison_.b.summary.number));

    summary_ = plainLabel(new QLabel(comparison_.summary(), this));
    summary_->setObjectName(QStringLiteral("summaryLabel"));
    summary_->setWordWrap(true);
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* notes = plainLabel(new QLabel(comparison_.notes.join(u'\n'), this));
    notes->setStyleSheet(QStringLiteral("color: #a33;"));
    notes->setVisible(!comparison_.notes.isEmpty());

    tabs_ = new QTabWidget(this);
    // Statistics.
    auto* statsPage = new QWidget(tabs_);
    onlyChanged_ = new QCheckBox(QStringLiteral("変化した統計だけ(&D)"), statsPage);
    threshold_ = new QDoubleSpinBox(statsPage);
    threshold_->setRange(0, 1e15);
    threshold_->setDecimals(0);
    threshold_->setPrefix(QStringLiteral("差が "));
    threshold_->setSuffix(QStringLiteral(" 以上"));
    threshold_->setEnabled(false);
    statisticsModel_ = new QStandardItemModel(this);
    statistics_ = new QTableView(statsPage);
    statistics_->setModel(statisticsModel_);
    statistics_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    statistics_->verticalHeader()->hide();
    auto* statsBar = new QHBoxLayout;
    statsBar->addWidget(onlyChanged_);
    statsBar->addWidget(threshold_);
    statsBar->addStretch();
    auto* statsLayout = new QVBoxLayout(statsPage);
    statsLayout->addLayout(statsBar);
    statsLayout->addWidget(statistics_);
    tabs_->addTab(statsPage, QStringLiteral("統計"));
    // The chart, the plans, the statements.
    chartPage_ = new QWidget(tabs_);
    new QVBoxLayout(chartPage_);
    tabs_->addTab(chartPage_, QStringLiteral("グラフ"));
    auto* planPage = new QWidget(tabs_);
    plan_ = new QTableWidget(planPage);
    plan_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A long operation loses the middle of its words, never the object it names.
    plan_->setWordWrap(false);
    for (int col : {1, 2})
        plan_->setItemDelegateForColumn(col, new PlanOperationDelegate(plan_));
    planLegend_ = new QLabel(legendText(comparison_), planPage);
    planLegend_->setObjectName(QStringLiteral("planLegend"));
    planLegend_->setTextFormat(Qt::RichText);
    auto* planLayout = new QVBoxLayout(planPage);
    planLayout->addWidget(planLegend_);
    planLayout->addWidget(plan_, 1);
    tabs_->addTab(planPage, QStringLiteral("実行計画"));
    sql_ = new QTextEdit(tabs_);
    sql_->setReadOnly(true);
    tabs_->addTab(sql_, QStringLiteral("SQL"));
    if (!comparison_.binds.isEmpty()) {
        binds_ = new QTableWidget(tabs_);
        binds_->setEditTriggers(QAbstractItemView::NoEditTriggers);
        tabs_->addTab(binds_, QStringLiteral("バインド変数"));
    }

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    const std::pair<QString, QString> exports[] = {
        {QStringLiteral("Markdownで保存(&M)..."), QStringLiteral("md")},
        {QStringLiteral("CSVで保存(&V)..."), QStringLiteral("csv")},
        {QStringLiteral("HTMLで保存(&H)..."), QStringLiteral("html")}};
    for (const auto& [caption, kind] : exports) {
        auto* button = new QPushButton(caption, this);
        connect(button, &QPushButton::clicked, this, [this, kind] { save(kind); });
        buttons->addWidget(button);
    }
    auto* copy = new QPushButton(QStringLiteral("コピー(&C)"), this);
    connect(copy, &QPushButton::clicked, this, [this] {
        QApplication::clipboard()->setText(
            comparisonMarkdown(comparison_, onlyChanged_->isChecked(), threshold_->value()));
    });
    buttons->addWidget(copy);
    auto* close = new QPushButton(QStringLiteral("閉じる"), this);
    close->setObjectName(QStringLiteral("closeButton"));
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary_);
    layout->addWidget(notes);
    layout->addWidget(tabs_, 1);
    layout->addLayout(buttons);

    connect(onlyChanged_, &QCheckBox::toggled, this, [this](bool on) {
        threshold_->setEnabled(on);
        showStatistics();
    });
    connect(threshold_, &QDoubleSpinBox::valueChanged, this, &ComparisonWindow::showStatistics);
    showStatistics();
    showChart();
    showPlan();
    showSql();
    showBinds();
    // Within the screen, however small.
    resize(QSize(1000, 600).boundedTo(screen()->availableGeometry().size() * 0.9));
}

ComparisonWindow::~ComparisonWindow() = default;

// Esc closes the window, as it closes a dialog: a key the focused control does not take comes
// here.
void ComparisonWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier)
        close();
    else
        QWidget::keyPressEvent(event);
}

void ComparisonWindow::showStatistics() {
    statisticsModel_->clear();
    statisticsModel_->setHorizontalHeaderLabels(
        {QStringLiteral("統計"), QStringLiteral("No.%1").arg(comparison_.a.summary.number),
         QStringLiteral("No.%1").arg(comparison_.b.summary.number), QStringLiteral("差"),
         QStringLiteral("比")});
    for (const StatisticChange& s :
         comparison_.statisticsShown(onlyChanged_->isChecked(), threshold_->value())) {
        QList<QStandardItem*> row{new QStandardItem(s.name), new QStandardItem(valueText(s.a)),
                                  new QStandardItem(valueText(s.b)),
                                  new QStandardItem(valueText(QVariant(s.difference))),
                                  new QStandardItem(ratioText(s.ratio))};
        for (int i = 1; i < row.size(); ++i)
            row[i]->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        statisticsModel_->appendRow(row);
    }
    statistics_->resizeColumnsToContents();
}

void ComparisonWindow::showChart() {
    const ChangeChart chart = changeChart(comparison_, kChartBars);
    // Decreases and increases as two sets stacked on one bar per statistic: each bar takes the
    // colour of its direction and keeps its full thickness.
    auto* fewer = new QBarSet(QStringLiteral("減った（改善）"));
    auto* more = new QBarSet(QStringLiteral("増えた（悪化）"));
    fewer->setColor(kFewerColour);
    more->setColor(kMoreColour);
    QStringList names;
    for (const ChangeBar& bar : chart.bars) {
        // The largest at the top. The chart draws its labels as HTML: the server's names are
        // escaped so they show as they are.
        names.prepend(bar.label.toHtmlEscaped());
        fewer->insert(0, bar.length < 0 ? bar.length : 0);
        more->insert(0, bar.length > 0 ? bar.length : 0);
    }
    auto* series = new QHorizontalStackedBarSeries;
    series->append(fewer);
    series->append(more);
    auto* qchart = new QChart;
    qchart->addSeries(series);
    qchart->setTitle(QStringLiteral("変化の大きい統計（No.%1 に対する No.%2 の増減、%）")
                         .arg(comparison_.a.summary.number)
                         .arg(comparison_.b.summary.number));
    qchart->setFont(font());
    auto* axis = new QBarCategoryAxis;
    axis->append(names);
    qchart->addAxis(axis, Qt::AlignLeft);
    series->attachAxis(axis);
    auto* values = new QValueAxis;
    values->setRange(-chart.scale, chart.scale);
    values->setTickType(QValueAxis::TicksDynamic);
    values->setTickAnchor(0);
    values->setTickInterval(chart.tick);
    values->setLabelFormat(QStringLiteral("%d%%"));
    qchart->addAxis(values, Qt::AlignBottom);
    series->attachAxis(values);
    qchart->legend()->setVisible(true);
    // The figures of a bar under the pointer, as they were in either run.
    const QList<ChangeBar> bars = chart.bars;
    connect(series, &QHorizontalStackedBarSeries::hovered, this,
            [bars](bool on, int index, QBarSet*) {
                const qsizetype i = bars.size() - 1 - index;
                if (!on || i < 0 || i >= bars.size()) {
                    QToolTip::hideText();
                    return;
                }
                QToolTip::showText(QCursor::pos(), plainToolTip(bars[i].label));
            });
    chartView_ = new QChartView(qchart, chartPage_);
    chartView_->setRenderHint(QPainter::Antialiasing);
    chartPage_->layout()->addWidget(chartView_);
}

void ComparisonWindow::showPlan() {
    // Both plans line by line, then the figures of each line: the same figure once, a changed
    // one as before → after, in bold.
    const bool figures = std::any_of(
        comparison_.plan.begin(), comparison_.plan.end(),
        [](const PlanLineChange& p) { return (p.a && p.a->actuals) || (p.b && p.b->actuals); });
    QStringList headings{QString(),
                         QStringLiteral("No.%1").arg(comparison_.a.summary.number),
                         QStringLiteral("No.%1").arg(comparison_.b.summary.number),
                         QStringLiteral("Cardinality"),
                         QStringLiteral("Cost"),
                         QStringLiteral("Byte")};
    if (figures)
        headings << QStringLiteral("A-Rows") << QStringLiteral("Buffers");
    plan_->setColumnCount(int(headings.size()));
    plan_->setHorizontalHeaderLabels(headings);
    plan_->setRowCount(int(comparison_.plan.size()));
    plan_->verticalHeader()->hide();
    for (int row = 0; row < comparison_.plan.size(); ++row) {
        const PlanLineChange& p = comparison_.plan[row];
        auto actual = [](const std::optional<RecordedPlanLine>& line, auto member) {
            const auto v = line && line->actuals ? (*line->actuals).*member : std::nullopt;
            return v ? QString::number(*v) : QString();
        };
        QList<std::pair<QString, QString>> cells{
            {p.kind == PlanLineChange::Kind::Same ? QString() : changeMark(p.kind), {}},
            {planCell(p.a), {}},
            {planCell(p.b), {}},
            {p.a ? p.a->cardinality : QString(), p.b ? p.b->cardinality : QString()},
            {p.a ? p.a->cost : QString(), p.b ? p.b->cost : QString()},
            {p.a ? p.a->bytes : QString(), p.b ? p.b->bytes : QString()}};
        if (figures)
            cells << std::pair(actual(p.a, &PlanLineActuals::rows),
                               actual(p.b, &PlanLineActuals::rows))
                  << std::pair(actual(p.a, &PlanLineActuals::buffers),
                               actual(p.b, &PlanLineActuals::buffers));
        for (int col = 0; col < cells.size(); ++col) {
            const auto& [before, after] = cells[col];
            const bool both = col >= 3 && p.a && p.b;
            const bool changed = both && before != after;
            auto* item = new QTableWidgetItem(changed ? before + QStringLiteral(" → ") + after
                                              : col >= 3 && !p.a ? after
                                                                 : before);
            if (col == 1 && p.a)
                item->setToolTip(plainToolTip(planLineTip(*p.a)));
            else if (col == 2 && p.b)
                item->setToolTip(plainToolTip(planLineTip(*p.b)));
            if (col >= 3)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (col == 0)
                item->setTextAlignment(Qt::AlignCenter);
            if (changed) {
                QFont bold = item->font();
                bold.setBold(true);
                item->setFont(bold);
            }
            if (const QColor color = planChangeBackground(p.kind); color.isValid())
                item->setBackground(color);
            plan_->setItem(row, col, item);
        }
    }
    QHeaderView* header = plan_->horizontalHeader();
    for (int c = 0; c < plan_->columnCount(); ++c)
        header->setSectionResizeMode(
            c, c == 1 || c == 2 ? QHeaderView::Stretch : QHeaderView::ResizeToContents);
}

void ComparisonWindow::showSql() {
    QString html = QStringLiteral("<pre>");
    for (const TextLineChange& t : comparison_.sql) {
        const QString line = t.text.toHtmlEscaped();
        switch (t.kind) {
            case TextLineChange::Kind::Added:
                html += QStringLiteral("<span style=\"background:#d9f2d9\">+ ") + line +
                        QStringLiteral("</span>\n");
                break;
            case TextLineChange::Kind::Removed:
                html += QStringLiteral("<span style=\"background:#f8d7d7\">- ") + line +
                        QStringLiteral("</span>\n");
                break;
            case TextLineChange::Kind::Same:
                html += QStringLiteral("  ") + line + u'\n';
                break;
        }
    }
    sql_->setHtml(html + QStringLiteral("</pre>"));
}

void ComparisonWindow::showBinds() {
    if (!binds_)
        return;
    binds_->setColumnCount(3);
    binds_->setHorizontalHeaderLabels({QStringLiteral("変数"),
                                       QStringLiteral("No.%1").arg(comparison_.a.summary.number),
                                       QStringLiteral("No.%1").arg(comparison_.b.summary.number)});
    binds_->setRowCount(int(comparison_.binds.size()));
    for (int row = 0; row < comparison_.binds.size(); ++row) {
        const BindChange& b = comparison_.binds[row];
        const QString cells[] = {u':' + b.name, b.a ? bindValueText(*b.a) : QString(),
                                 b.b ? bindValueText(*b.b) : QString()};
        for (int col = 0; col < 3; ++col) {
            auto* item = new QTableWidgetItem(cells[col]);
            if (const QColor color = planChangeBackground(b.kind); color.isValid())
                item->setBackground(color);
            binds_->setItem(row, col, item);
        }
    }
    binds_->verticalHeader()->hide();
    binds_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
}

void ComparisonWindow::save(const QString& kind) {
    const QString file = QFileDialog::getSaveFileName(this, QStringLiteral("比較を保存"),
                                                      QStringLiteral("comparison-%1-%2.%3")
                                                          .arg(comparison_.a.summary.number)
                                                          .arg(comparison_.b.summary.number)
                                                          .arg(kind));
    if (file.isEmpty())
        return;
    const bool only = onlyChanged_->isChecked();
    const double min = threshold_->value();
    const QString text = kind == u"csv"    ? comparisonCsv(comparison_, only, min)
                         : kind == u"html" ? comparisonHtml(comparison_, only, min)
                                           : comparisonMarkdown(comparison_, only, min);
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(text.toUtf8()) < 0) {
        QMessageBox box(QMessageBox::NoIcon, kAppTitle,
                        out.errorString() + QStringLiteral("　比較を保存できませんでした。"),
                        QMessageBox::Ok, this);
        plainBox(box).exec();
    }
}

}  // namespace qv
