#include "gui/optionsdialog.h"

#include "core/connection/odbcdrivers.h"
#include "core/program.h"
#include "core/settings/optionsform.h"
#include "core/settings/sharedsettings.h"
#include "core/window/twips.h"
#include "gui/plaintext.h"
#include "gui/windowfont.h"

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

constexpr int kMaxRowsLength = 5;

template <typename W>
W* named(W* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

}  // namespace

OptionsDialog::OptionsDialog(const std::function<QStringList()>& odbcDrivers, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("optionsDialog"));
    setWindowTitle(QStringLiteral("Option"));
    setFont(windowFont());
    setFixedSize(twipsToPixels(5775, dpi()), twipsToPixels(3660, dpi()));

    driverGroup_ = named(new QGroupBox(QStringLiteral("ODBC Driver"), this), "driverGroup");
    place(driverGroup_, 240, 120, 5295, 615);
    driverBox_ = named(new QComboBox(driverGroup_), "driverBox");
    place(driverBox_, 240, 240, 3015, 300);

    runGroup_ = named(new QGroupBox(QStringLiteral("実行オプション"), this), "runGroup");
    place(runGroup_, 240, 780, 5295, 1395);
    runQueryBox_ =
        named(new QCheckBox(QStringLiteral("クエリを実行する。"), runGroup_), "runQueryBox");
    place(runQueryBox_, 120, 240, 2175, 255);
    runQueryBox_->setToolTip(
        QStringLiteral("実行時にクエリを実行します。オフにすると統計情報も表示されなくなります。"));
    showPlanBox_ =
        named(new QCheckBox(QStringLiteral("実行計画を取得する。"), runGroup_), "showPlanBox");
    place(showPlanBox_, 120, 600, 2175, 255);
    showPlanBox_->setToolTip(QStringLiteral("実行計画を取得します。"));
    planTableLabel_ = named(new QLabel(QStringLiteral("実行計画表"), runGroup_), "planTableLabel");
    place(planTableLabel_, 2520, 360, 975, 255);
    planTableEdit_ = named(new QLineEdit(runGroup_), "planTableEdit");
    place(planTableEdit_, 2520, 600, 2295, 270);
    maxRowsLabel_ = named(new QLabel(QStringLiteral("クエリ表示行数"), runGroup_), "maxRowsLabel");
    place(maxRowsLabel_, 120, 1020, 1455, 255);
    maxRowsEdit_ = named(new QLineEdit(runGroup_), "maxRowsEdit");
    place(maxRowsEdit_, 1560, 960, 735, 285);
    maxRowsEdit_->setMaxLength(kMaxRowsLength);
    maxRowsEdit_->setToolTip(
        QStringLiteral("クエリ結果の最大行数を設定します。この設定に関係なくクエリは最終行まで"
                       "フェッチが実行されます。"));

    optimizerGroup_ =
        named(new QGroupBox(QStringLiteral("オプティマイザ"), this), "optimizerGroup");
    place(optimizerGroup_, 240, 2280, 5295, 675);
    optimizerGroup_->setToolTip(
        QStringLiteral("オラクルのオプティマイザを選択します。他のセッションには影響しません。"));
    optimizerBox_ = named(new QComboBox(optimizerGroup_), "optimizerBox");
    place(optimizerBox_, 240, 240, 2295, 300);
    optimizerBox_->addItems(optimizerItems());
    optimizerBox_->setToolTip(
        QStringLiteral("CHOOSE,RULEはルールベース(RBO)/ALL_ROWS,FIRST_ROWSはコストベース(CBO)"
                       "オプティマイザです。"));

    // Frame captions sit on the frame's top line, so the first control inside keeps clear of
    // the line as in the dialog's designed geometry (Fusion would put the line under the caption).
    const int half = QFontMetrics(font()).height() / 2;
    for (QGroupBox* g : {driverGroup_, runGroup_, optimizerGroup_})
        g->setStyleSheet(
            QStringLiteral("QGroupBox { border: 1px solid palette(mid); border-radius: "
                           "2px; margin-top: %1px; }"
                           "QGroupBox::title { subcontrol-origin: margin; left: 6px; "
                           "padding: 0px 2px; }")
                .arg(half));

    acceptButton_ = named(new QPushButton(QStringLiteral("決  定"), this), "acceptButton");
    place(acceptButton_, 4080, 3120, 1455, 375);
    acceptButton_->setDefault(true);
    cancelButton_ = named(new QPushButton(QStringLiteral("取  消"), this), "cancelButton");
    place(cancelButton_, 2400, 3120, 1455, 375);
    cancelButton_->setAutoDefault(false);

    QWidget* order[] = {driverBox_,   runQueryBox_,  showPlanBox_,  planTableEdit_,
                        maxRowsEdit_, optimizerBox_, acceptButton_, cancelButton_};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
    driverBox_->setFocus();

    connect(acceptButton_, &QPushButton::clicked, this, &OptionsDialog::acceptOptions);
    // Cancel, Esc and the close box all hide the dialog and change nothing.
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);

    driverBox_->addItems(oracleDriverNames(odbcDrivers ? odbcDrivers() : QStringList()));
}

OptionsDialog::~OptionsDialog() = default;

double OptionsDialog::dpi() const {
    return logicalDpi(*this);
}

void OptionsDialog::place(QWidget* w, int left, int top, int width, int height) {
    const double d = dpi();
    w->setGeometry(twipsToPixels(left, d), twipsToPixels(top, d), twipsToPixels(width, d),
                   twipsToPixels(height, d));
}

void OptionsDialog::setup(SharedSettings& settings) {
    settings_ = &settings;
    closedByCloseBox_ = false;
    QStringList drivers;
    for (int i = 0; i < driverBox_->count(); ++i)
        drivers.append(driverBox_->itemText(i));
    const OptionsForm form = optionsFormFor(settings.values(), drivers);
    showPlanBox_->setChecked(form.showPlan);
    runQueryBox_->setChecked(form.runQuery);
    // The limit holds what is typed; a longer stored value (set through an exponent) is still
    // shown whole, or accepting would silently cut it.
    maxRowsEdit_->setMaxLength(
        std::max(kMaxRowsLength, static_cast<int>(form.maxDisplayRows.size())));
    maxRowsEdit_->setText(form.maxDisplayRows);
    planTableEdit_->setText(form.planTable);
    driverBox_->setCurrentIndex(form.driverIndex);
    optimizerBox_->setCurrentIndex(form.optimizerIndex);
}

void OptionsDialog::acceptOptions() {
    if (!settings_)
        return;  // never set up: nothing to write to
    OptionsForm form;
    form.showPlan = showPlanBox_->isChecked();
    form.runQuery = runQueryBox_->isChecked();
    form.maxDisplayRows = maxRowsEdit_->text();
    form.planTable = planTableEdit_->text();
    for (int i = 0; i < driverBox_->count(); ++i)
        form.drivers.append(driverBox_->itemText(i));
    form.driverIndex = driverBox_->currentIndex();
    form.optimizerIndex = optimizerBox_->currentIndex();

    FormCheck check = FormCheck::Ok;
    settings_->change([&](Settings& s) { check = applyOptionsForm(form, s); });
    if (check != FormCheck::Ok) {
        QMessageBox box(QMessageBox::NoIcon, kAppTitle, formCheckMessage(check), QMessageBox::Ok,
                        this);
        plainBox(box).exec();
        (check == FormCheck::BadPlanTable ? planTableEdit_ : maxRowsEdit_)
            ->setFocus(Qt::OtherFocusReason);
        return;
    }
    QDialog::accept();
    settings_->change([&](Settings& s) { applyOptimizerChoice(form.optimizerIndex, s); });
}

void OptionsDialog::closeEvent(QCloseEvent* event) {
    closedByCloseBox_ = true;
    QDialog::closeEvent(event);
}

namespace {

QPointer<OptionsDialog>& instance() {
    static QPointer<OptionsDialog> p;
    return p;
}

}  // namespace

OptionsDialog* optionsDialogIfCreated() {
    return instance().data();
}

OptionsDialog& optionsDialog(const std::function<QStringList()>& odbcDrivers) {
    QPointer<OptionsDialog>& p = instance();
    if (!p)
        p = new OptionsDialog(odbcDrivers);
    return *p;
}

void releaseOptionsDialog() {
    delete instance().data();
}

void showOptionsDialog(SharedSettings& settings, const std::function<QStringList()>& odbcDrivers,
                       QWidget* parent) {
    OptionsDialog& dialog = optionsDialog(odbcDrivers);
    // Owned by the frame once shown over it, so it goes with the frame and opens centred on it.
    QWidget* owner = parent ? parent->window() : nullptr;
    if (owner && dialog.parentWidget() != owner)
        dialog.setParent(owner, dialog.windowFlags());
    dialog.setup(settings);
    dialog.exec();
    if (optionsDialogIfCreated() == &dialog && dialog.closedByCloseBox())
        releaseOptionsDialog();
}

}  // namespace qv
