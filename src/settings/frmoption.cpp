#include "settings/frmoption.h"

#include "app/frmmain.h"
#include "app/program.h"
#include "oracle/odbcdrivers.h"
#include "settings/optionrules.h"
#include "settings/publicvar.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <algorithm>

namespace qv {

namespace {

constexpr int kMaxDispRowsLength = 5;

template <typename W>
W* named(W* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

}  // namespace

FrmOption::FrmOption(const std::function<QStringList()>& odbcDrivers, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("frmOption"));
    setWindowTitle(QStringLiteral("Option"));
    setFont(FrmMain::windowFont());
    setFixedSize(twipsToPixels(5775, dpi()), twipsToPixels(3660, dpi()));

    fraDriver_ = named(new QGroupBox(QStringLiteral("ODBC Driver"), this), "fraDriver");
    place(fraDriver_, 240, 120, 5295, 615);
    cmbOracleDriver_ = named(new QComboBox(fraDriver_), "cmbOracleDriver");
    place(cmbOracleDriver_, 240, 240, 3015, 300);

    fraOption_ = named(new QGroupBox(QStringLiteral("実行オプション"), this), "fraOption");
    place(fraOption_, 240, 780, 5295, 1395);
    chkQuery_ = named(new QCheckBox(QStringLiteral("クエリを実行する。"), fraOption_), "chkQuery");
    place(chkQuery_, 120, 240, 2175, 255);
    chkQuery_->setToolTip(
        QStringLiteral("実行時にクエリを実行します。オフにすると統計情報も表示されなくなります。"));
    chkExplan_ =
        named(new QCheckBox(QStringLiteral("実行計画を取得する。"), fraOption_), "chkExplan");
    place(chkExplan_, 120, 600, 2175, 255);
    chkExplan_->setToolTip(QStringLiteral("実行計画を取得します。"));
    label1_ = named(new QLabel(QStringLiteral("実行計画表"), fraOption_), "Label1");
    place(label1_, 2520, 360, 975, 255);
    txtPlanTable_ = named(new QLineEdit(fraOption_), "txtPlanTable");
    place(txtPlanTable_, 2520, 600, 2295, 270);
    lblLabel0_ = named(new QLabel(QStringLiteral("クエリ表示行数"), fraOption_), "lblLabel0");
    place(lblLabel0_, 120, 1020, 1455, 255);
    txtMaxDispRows_ = named(new QLineEdit(fraOption_), "txtMaxDispRows");
    place(txtMaxDispRows_, 1560, 960, 735, 285);
    txtMaxDispRows_->setMaxLength(kMaxDispRowsLength);
    txtMaxDispRows_->setToolTip(
        QStringLiteral("クエリ結果の最大行数を設定します。この設定に関係なくクエリは最終行まで"
                       "フェッチが実行されます。"));

    fraOptimizer_ = named(new QGroupBox(QStringLiteral("オプティマイザ"), this), "fraOptimizer");
    place(fraOptimizer_, 240, 2280, 5295, 675);
    fraOptimizer_->setToolTip(
        QStringLiteral("オラクルのオプティマイザを選択します。他のセッションには影響しません。"));
    cmbOptimizer_ = named(new QComboBox(fraOptimizer_), "cmbOptimizer");
    place(cmbOptimizer_, 240, 240, 2295, 300);
    cmbOptimizer_->addItems(optimizerItems());
    cmbOptimizer_->setToolTip(
        QStringLiteral("CHOOSE,RULEはルールベース(RBO)/ALL_ROWS,FIRST_ROWSはコストベース(CBO)"
                       "オプティマイザです。"));

    // Frame captions sit on the frame's top line, so the first control inside keeps clear of
    // the line as in the dialog's designed geometry (Fusion would put the line under the caption).
    const int half = QFontMetrics(font()).height() / 2;
    for (QGroupBox* g : {fraDriver_, fraOption_, fraOptimizer_})
        g->setStyleSheet(
            QStringLiteral("QGroupBox { border: 1px solid palette(mid); border-radius: "
                           "2px; margin-top: %1px; }"
                           "QGroupBox::title { subcontrol-origin: margin; left: 6px; "
                           "padding: 0px 2px; }")
                .arg(half));

    cmdAccept_ = named(new QPushButton(QStringLiteral("決  定"), this), "cmdAccept");
    place(cmdAccept_, 4080, 3120, 1455, 375);
    cmdAccept_->setDefault(true);
    cmdCancel_ = named(new QPushButton(QStringLiteral("取  消"), this), "cmdCancel");
    place(cmdCancel_, 2400, 3120, 1455, 375);
    cmdCancel_->setAutoDefault(false);

    QWidget* order[] = {cmbOracleDriver_, chkQuery_,     chkExplan_, txtPlanTable_,
                        txtMaxDispRows_,  cmbOptimizer_, cmdAccept_, cmdCancel_};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
    cmbOracleDriver_->setFocus();

    connect(cmdAccept_, &QPushButton::clicked, this, &FrmOption::cmdAcceptClick);
    // Cancel, Esc and the close box all hide the dialog and change nothing.
    connect(cmdCancel_, &QPushButton::clicked, this, &QDialog::reject);

    cmbOracleDriver_->addItems(oracleDriverNames(odbcDrivers ? odbcDrivers() : QStringList()));
}

FrmOption::~FrmOption() = default;

double FrmOption::dpi() const {
    return logicalDpi(*this);
}

void FrmOption::place(QWidget* w, int left, int top, int width, int height) {
    const double d = dpi();
    w->setGeometry(twipsToPixels(left, d), twipsToPixels(top, d), twipsToPixels(width, d),
                   twipsToPixels(height, d));
}

void FrmOption::setup() {
    closedByCloseBox_ = false;
    QStringList drivers;
    for (int i = 0; i < cmbOracleDriver_->count(); ++i)
        drivers.append(cmbOracleDriver_->itemText(i));
    const OptionForm form = setupOptionForm(gPublicVar(), drivers);
    chkExplan_->setChecked(form.explan);
    chkQuery_->setChecked(form.query);
    // The limit holds what is typed; a longer stored value (set through an exponent) is still
    // shown whole, or accepting would silently cut it.
    txtMaxDispRows_->setMaxLength(
        std::max(kMaxDispRowsLength, static_cast<int>(form.maxDispRows.size())));
    txtMaxDispRows_->setText(form.maxDispRows);
    txtPlanTable_->setText(form.planTable);
    cmbOracleDriver_->setCurrentIndex(form.driverIndex);
    cmbOptimizer_->setCurrentIndex(form.optimizerIndex);
}

void FrmOption::cmdAcceptClick() {
    OptionForm form;
    form.explan = chkExplan_->isChecked();
    form.query = chkQuery_->isChecked();
    form.maxDispRows = txtMaxDispRows_->text();
    form.planTable = txtPlanTable_->text();
    for (int i = 0; i < cmbOracleDriver_->count(); ++i)
        form.drivers.append(cmbOracleDriver_->itemText(i));
    form.driverIndex = cmbOracleDriver_->currentIndex();
    form.optimizerIndex = cmbOptimizer_->currentIndex();

    const RowsCheck check = acceptOptionForm(form, gPublicVar());
    if (check != RowsCheck::Ok) {
        QMessageBox box(QMessageBox::NoIcon, kAppTitle, rowsCheckMessage(check), QMessageBox::Ok,
                        this);
        box.exec();
        txtMaxDispRows_->setFocus(Qt::OtherFocusReason);
        return;
    }
    QDialog::accept();
    applyOptimizerChoice(form.optimizerIndex, gPublicVar());
}

void FrmOption::closeEvent(QCloseEvent* event) {
    closedByCloseBox_ = true;
    QDialog::closeEvent(event);
}

namespace {

std::function<QStringList()>& lister() {
    static std::function<QStringList()> f;
    return f;
}

QPointer<FrmOption>& instance() {
    static QPointer<FrmOption> p;
    return p;
}

}  // namespace

void setOdbcDriverLister(std::function<QStringList()> f) {
    lister() = std::move(f);
}

FrmOption* optionDialogIfCreated() {
    return instance().data();
}

FrmOption& optionDialog() {
    QPointer<FrmOption>& p = instance();
    if (!p)
        p = new FrmOption(lister());
    return *p;
}

void releaseOptionDialog() {
    delete instance().data();
}

void showOptionDialog(QWidget* parent) {
    FrmOption& dialog = optionDialog();
    // Owned by the frame once shown over it, so it goes with the frame and opens centred on it.
    QWidget* owner = parent ? parent->window() : nullptr;
    if (owner && dialog.parentWidget() != owner)
        dialog.setParent(owner, dialog.windowFlags());
    dialog.setup();
    dialog.exec();
    if (optionDialogIfCreated() == &dialog && dialog.closedByCloseBox())
        releaseOptionDialog();
}

}  // namespace qv
