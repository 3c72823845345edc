// 索引を試す (whatifdialog.h).
#include "gui/whatifdialog.h"

#include "core/history/comparisonexport.h"
#include "core/program.h"
#include "gui/planchangecolour.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace qv {

namespace {

QTableWidget* planTable(QWidget* parent, const QString& name) {
    auto* t = new QTableWidget(0, 5, parent);
    t->setObjectName(name);
    t->setHorizontalHeaderLabels({QString(), QStringLiteral("Operation"),
                                  QStringLiteral("Cardinality"), QStringLiteral("Cost"),
                                  QStringLiteral("Byte")});
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->verticalHeader()->hide();
    t->setWordWrap(false);
    t->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    for (int c : {0, 2, 3, 4})
        t->horizontalHeader()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    return t;
}

void setPlanRow(QTableWidget* t, int row, PlanLineChange::Kind kind,
                const std::optional<RecordedPlanLine>& line) {
    const QStringList cells =
        line ? QStringList{kind == PlanLineChange::Kind::Same ? QString() : changeMark(kind),
                           line->operation, line->cardinality, line->cost, line->bytes}
             : QStringList{changeMark(kind), QString(), QString(), QString(), QString()};
    for (int c = 0; c < cells.size(); ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        if (c > 1)
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        if (const QColor colour = planChangeBackground(kind); colour.isValid())
            item->setBackground(colour);
        if (line && c == 1) {
            QStringList tip;
            if (!line->accessPredicates.isEmpty())
                tip << QStringLiteral("access: ") + line->accessPredicates;
            if (!line->filterPredicates.isEmpty())
                tip << QStringLiteral("filter: ") + line->filterPredicates;
            item->setToolTip(tip.join(u'\n'));
        }
        t->setItem(row, c, item);
    }
}

}  // namespace

WhatIfDialog::WhatIfDialog(WindowWhatIf& whatIf, QWidget* parent)
    : QDialog(parent), whatIf_(whatIf) {
    setObjectName(QStringLiteral("whatIfDialog"));
    setWindowTitle(QStringLiteral("索引を試す"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("試す索引（チェックした索引を、作成せずに仮想索引として試します）"), this));
    candidates_ = new QTableWidget(0, 2, this);
    candidates_->setObjectName(QStringLiteral("candidates"));
    candidates_->setHorizontalHeaderLabels(
        {QStringLiteral("CREATE INDEX"), QStringLiteral("対象の述語")});
    candidates_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    candidates_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    candidates_->verticalHeader()->hide();
    candidates_->setSelectionBehavior(QAbstractItemView::SelectRows);
    candidates_->setSelectionMode(QAbstractItemView::SingleSelection);
    layout->addWidget(candidates_, 2);

    auto* row = new QHBoxLayout;
    auto* add = new QPushButton(QStringLiteral("索引を追加(&A)"), this);
    row->addWidget(add);
    row->addSpacing(16);
    row->addWidget(new QLabel(QStringLiteral("クラスタ化係数の仮定:"), this));
    clustering_ = new QComboBox(this);
    clustering_->setObjectName(QStringLiteral("clustering"));
    clustering_->addItems({QStringLiteral("最良（表のブロック数 BLOCKS）"),
                           QStringLiteral("最悪（表の行数 NUM_ROWS）")});
    row->addWidget(clustering_);
    row->addStretch();
    try_ = new QPushButton(QStringLiteral("試す(&T)"), this);
    create_ = new QPushButton(QStringLiteral("作成して実行(&R)"), this);
    auto* close = new QPushButton(QStringLiteral("閉じる"), this);
    row->addWidget(try_);
    row->addWidget(create_);
    row->addWidget(close);
    layout->addLayout(row);

    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("message"));
    message_->setWordWrap(true);
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Room for an ORA text and its explanation, so that setting one does not squeeze the plans.
    message_->setMinimumHeight(2 * message_->fontMetrics().lineSpacing() + 4);
    message_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(message_);
    cost_ = new QLabel(this);
    cost_->setObjectName(QStringLiteral("cost"));
    layout->addWidget(cost_);

    auto* plans = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel(QStringLiteral("現在の実行計画"), this));
    current_ = planTable(this, QStringLiteral("currentPlan"));
    left->addWidget(current_);
    auto* right = new QVBoxLayout;
    right->addWidget(new QLabel(QStringLiteral("索引がある場合の実行計画"), this));
    after_ = planTable(this, QStringLiteral("whatIfPlan"));
    right->addWidget(after_);
    plans->addLayout(left);
    plans->addLayout(right);
    layout->addLayout(plans, 3);

    connect(add, &QPushButton::clicked, this, [this] {
        addRow(QStringLiteral("CREATE INDEX IX_ ON  ()"), QString(), true);
        candidates_->setCurrentCell(candidates_->rowCount() - 1, 0);
        candidates_->editItem(candidates_->currentItem());
    });
    connect(try_, &QPushButton::clicked, this, &WhatIfDialog::tryChecked);
    connect(create_, &QPushButton::clicked, this, &WhatIfDialog::createAndRun);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(&whatIf_, &WindowWhatIf::beforeRunEnded, this, &WhatIfDialog::createAndRun);
    resize(1000, 640);
    loadCandidates();
}

void WhatIfDialog::addRow(const QString& text, const QString& serves, bool checked) {
    const int r = candidates_->rowCount();
    candidates_->insertRow(r);
    auto* item = new QTableWidgetItem(text);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsEditable);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    candidates_->setItem(r, 0, item);
    auto* servesItem = new QTableWidgetItem(serves);
    servesItem->setFlags(servesItem->flags() & ~Qt::ItemIsEditable);
    servesItem->setToolTip(serves);
    candidates_->setItem(r, 1, servesItem);
}

void WhatIfDialog::loadCandidates() {
    QList<PlanLine> current;
    try {
        const QList<IndexCandidate> list = whatIf_.candidates(&current);
        for (int i = 0; i < list.size(); ++i)
            addRow(list[i].createText(list[i].suggestedName()), list[i].serves, i == 0);
        if (list.isEmpty())
            message_->setText(
                QStringLiteral("この文の実行計画からは索引の候補がありません。"
                               "CREATE INDEX を追加して試せます。"));
    } catch (const DbError& e) {
        message_->setText(e.description());
    }
    showPlans(current, {});
    if (candidates_->rowCount() > 0)
        candidates_->selectRow(0);
}

QStringList WhatIfDialog::checkedTexts() const {
    QStringList texts;
    for (int r = 0; r < candidates_->rowCount(); ++r) {
        if (candidates_->item(r, 0)->checkState() == Qt::Checked)
            texts << candidates_->item(r, 0)->text();
    }
    return texts;
}

void WhatIfDialog::tryChecked() {
    const ClusteringAssumption clustering =
        clustering_->currentIndex() == 1 ? ClusteringAssumption::Worst : ClusteringAssumption::Best;
    const WhatIfResult r = whatIf_.tryIndexes(checkedTexts(), clustering);
    message_->setText(r.message);
    if (r.outcome == WhatIfOutcome::Refused && r.message.isEmpty())
        return;
    // Without the privileges a what-if needs, only a real index can show what it does.
    const bool privilege = r.outcome == WhatIfOutcome::NoIndexPrivilege ||
                           r.outcome == WhatIfOutcome::NoParameterPrivilege;
    try_->setEnabled(!privilege);
    if (r.done())
        showPlans(r.current, r.whatIf);
}

void WhatIfDialog::showPlans(const QList<PlanLine>& before, const QList<PlanLine>& after) {
    const QList<PlanLineChange> pairs =
        after.isEmpty() ? pairPlans(comparablePlan(before), comparablePlan(before))
                        : pairPlans(comparablePlan(before), comparablePlan(after));
    current_->setRowCount(int(pairs.size()));
    after_->setRowCount(after.isEmpty() ? 0 : int(pairs.size()));
    for (int i = 0; i < pairs.size(); ++i) {
        setPlanRow(current_, i, pairs[i].kind, pairs[i].a);
        if (!after.isEmpty())
            setPlanRow(after_, i, pairs[i].kind, pairs[i].b);
    }
    cost_->setText(after.isEmpty() ? QString() : costChangeText(before, after));
}

void WhatIfDialog::createAndRun() {
    const int r = candidates_->currentRow();
    if (r < 0)
        return;
    const QString text = candidates_->item(r, 0)->text();
    if (!readCreateIndex(text)) {
        message_->setText(kMsgNotCreateIndex + text);
        return;
    }
    if (!whatIf_.hasRecordedBefore()) {
        if (QMessageBox::question(this, kAppTitle, kMsgWhatIfNeedsBefore) == QMessageBox::Yes)
            whatIf_.recordBefore();
        return;
    }
    if (QMessageBox::question(this, kAppTitle, kMsgWhatIfCreate + text) != QMessageBox::Yes)
        return;
    const QString failure = whatIf_.createAndRun(text);
    message_->setText(failure);
    if (failure.isEmpty())
        accept();
}

void WhatIfDialog::done(int result) {
    whatIf_.closeDown();
    QDialog::done(result);
}

}  // namespace qv
