#include "gui/binddialog.h"

#include "gui/windowfont.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace qv {

namespace {

enum Column { NameColumn, TypeColumn, ValueColumn };

constexpr BindType kTypes[] = {BindType::Varchar2, BindType::Number, BindType::Date,
                               BindType::Timestamp, BindType::Null};

}  // namespace

BindDialog::BindDialog(const BindList& prefilled, QWidget* parent)
    : QDialog(parent), variables_(prefilled) {
    setObjectName(QStringLiteral("bindDialog"));
    setWindowTitle(QStringLiteral("バインド変数"));
    setFont(windowFont());
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    table_ = new QTableWidget(int(prefilled.size()), 3, this);
    table_->setObjectName(QStringLiteral("bindTable"));
    table_->setHorizontalHeaderLabels(
        {QStringLiteral("変数"), QStringLiteral("型"), QStringLiteral("値")});
    table_->verticalHeader()->hide();
    table_->setSelectionMode(QAbstractItemView::NoSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab goes from one type or value to the next, not from cell to cell behind them.
    table_->setTabKeyNavigation(false);
    // Every type and value is a widget of its own: what is typed is there at once, and Enter
    // in any of them reaches the dialog's default button.
    for (int row = 0; row < prefilled.size(); ++row) {
        const BindValue& v = prefilled[row];
        auto* name = new QTableWidgetItem(u':' + v.name);
        name->setFlags(Qt::ItemIsEnabled);
        table_->setItem(row, NameColumn, name);
        auto* type = new QComboBox(table_);
        for (BindType t : kTypes)
            type->addItem(bindTypeName(t));
        type->setCurrentText(bindTypeName(v.type));
        table_->setCellWidget(row, TypeColumn, type);
        auto* value = new QLineEdit(v.type == BindType::Null ? QString() : v.value, table_);
        value->setFrame(false);
        value->installEventFilter(this);
        table_->setCellWidget(row, ValueColumn, value);
        showType(row);
        connect(type, &QComboBox::currentIndexChanged, this, [this, row] { showType(row); });
    }
    table_->resizeColumnsToContents();
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->horizontalHeader()->setMinimumSectionSize(80);

    runButton_ = new QPushButton(QStringLiteral("実行"), this);
    runButton_->setObjectName(QStringLiteral("runButton"));
    runButton_->setDefault(true);
    cancelButton_ = new QPushButton(QStringLiteral("取消"), this);
    cancelButton_->setObjectName(QStringLiteral("cancelButton"));
    cancelButton_->setAutoDefault(false);
    connect(runButton_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(runButton_);
    buttons->addWidget(cancelButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addLayout(buttons);
    // As tall as its lines, up to ten; more scroll.
    const int shown = int(std::min<qsizetype>(prefilled.size(), 10));
    int height = table_->horizontalHeader()->sizeHint().height() + 2 * table_->frameWidth();
    for (int row = 0; row < shown; ++row)
        height += table_->rowHeight(row);
    table_->setMinimumHeight(height);
    table_->setMaximumHeight(height);
    resize(480, sizeHint().height());

    // The first value is ready to be typed over.
    for (int row = 0; row < prefilled.size(); ++row) {
        if (valueEdit(row)->isEnabled()) {
            valueEdit(row)->setFocus();
            valueEdit(row)->selectAll();
            break;
        }
    }
}

bool BindDialog::eventFilter(QObject* watched, QEvent* event) {
    // A tuner changes values far more often than types: Tab from a value goes to the next one
    // that takes a value, after the last to 実行.
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Tab || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return QDialog::eventFilter(watched, event);
    int row = 0;
    while (row < table_->rowCount() && valueEdit(row) != watched)
        ++row;
    for (++row; row < table_->rowCount(); ++row) {
        if (valueEdit(row)->isEnabled()) {
            valueEdit(row)->setFocus(Qt::TabFocusReason);
            valueEdit(row)->selectAll();
            return true;
        }
    }
    runButton_->setFocus(Qt::TabFocusReason);
    return true;
}

QComboBox* BindDialog::typeBox(int row) const {
    return qobject_cast<QComboBox*>(table_->cellWidget(row, TypeColumn));
}

QLineEdit* BindDialog::valueEdit(int row) const {
    return qobject_cast<QLineEdit*>(table_->cellWidget(row, ValueColumn));
}

void BindDialog::showType(int row) {
    // A NULL has no value to type; the text goes, so that what is shown is what is bound.
    const bool null = typeBox(row)->currentText() == bindTypeName(BindType::Null);
    if (null)
        valueEdit(row)->clear();
    valueEdit(row)->setEnabled(!null);
}

BindList BindDialog::values() const {
    BindList values;
    for (int row = 0; row < variables_.size(); ++row) {
        BindValue v{variables_[row].name, BindType::Varchar2, QString()};
        bindTypeFromName(typeBox(row)->currentText(), v.type);
        if (v.type != BindType::Null)
            v.value = valueEdit(row)->text();
        values.append(v);
    }
    return values;
}

}  // namespace qv
