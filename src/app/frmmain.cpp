#include "app/frmmain.h"

#include "app/program.h"
#include "app/splitterbars.h"
#include "oracle/frmlogin.h"
#include "tuning/gridactions.h"
#include "tuning/gridview.h"

#include <QClipboard>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTextCursor>

namespace qv {

QFont FrmMain::windowFont() {
    QFont f;
    f.setFamilies({QStringLiteral("ＭＳ 明朝"), QStringLiteral("MS Mincho"),
                   QStringLiteral("Noto Serif CJK JP"), QStringLiteral("Noto Sans CJK JP"),
                   QStringLiteral("IPAMincho")});
    f.setPointSize(9);
    return f;
}

FrmMain::FrmMain(QWidget* parent) : QWidget(parent), model_(new QueryWindowModel(*this, this)) {
    setObjectName(QStringLiteral("frmMain"));
    setFont(windowFont());
    setWindowTitle(kAppTitle);

    label2_ = makeLabel("Label2", QStringLiteral("SQL"));
    txtSQL_ = new QPlainTextEdit(this);
    txtSQL_->setObjectName(QStringLiteral("txtSQL"));
    txtSQL_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    cmdExec_ = new QPushButton(QStringLiteral("実 行"), this);
    cmdExec_->setObjectName(QStringLiteral("cmdExec"));
    lblLabel_[1] = makeLabel("lblLabel1", QStringLiteral("Query"));
    lblLabel_[2] = makeLabel("lblLabel2", QStringLiteral("Stats"));
    lblLabel_[3] = makeLabel("lblLabel3", QStringLiteral("Execution Plan"));
    lblCount_ = makeLabel("lblCount", QStringLiteral("Count"));

    // Message lines lie under their grids: a visible grid covers its line.
    lblQMessage_ = makeLabel("lblQMessage", QStringLiteral("XXX"));
    lblSMessage_ = makeLabel("lblSMessage", QStringLiteral("XXX"));
    lblEMessage_ = makeLabel("lblEMessage", QStringLiteral("XXX"));
    for (QLabel* l : {lblQMessage_, lblSMessage_, lblEMessage_}) {
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        l->setWordWrap(true);
    }
    grdData_ = new GridView(model_->grdData(), this);
    grdData_->setObjectName(QStringLiteral("grdData"));
    grdStats_ = new GridView(model_->grdStats(), this);
    grdStats_->setObjectName(QStringLiteral("grdStats"));
    grdExplan_ = new GridView(model_->grdExplan(), this);
    grdExplan_->setObjectName(QStringLiteral("grdExplan"));

    for (int k = 0; k < 5; ++k) {
        QLabel* bar = new QLabel(this);
        bar->setObjectName(QStringLiteral("split%1").arg(k));
        bar->setCursor(Qt::SizeVerCursor);
        bar->setFrameShape(QFrame::NoFrame);
        split_[static_cast<size_t>(k)] = bar;
    }

    new SplitterBars(
        model_->layout(), split_, [this] { applyLayout(); }, this);

    statusBar_ = new QStatusBar(this);
    statusBar_->setObjectName(QStringLiteral("StatusBar"));
    statusBar_->setSizeGripEnabled(false);
    const QString labels[3] = {QStringLiteral("オラクル接続ステータス"),
                               QStringLiteral("履歴ステータス"), QStringLiteral("履歴件数")};
    const int stretch[3] = {3, 5, 1};
    for (int i = 0; i < 3; ++i) {
        QLabel* p = new QLabel(labels[i], statusBar_);
        p->setObjectName(QStringLiteral("panel%1").arg(i + 1));
        p->setFrameShape(QFrame::Panel);
        p->setFrameShadow(QFrame::Sunken);
        p->setToolTip(labels[i]);
        p->setMinimumWidth(1);
        statusBar_->addWidget(p, stretch[i]);
        panels_[static_cast<size_t>(i)] = p;
    }

    connect(cmdExec_, &QPushButton::clicked, this, [this] { model_->cmdExecClick(); });
    connect(grdData_, &GridView::cellDoubleClicked, this,
            [this](int row, int col) { model_->grdDataDblClick(row, col); });
    connect(grdExplan_, &GridView::copyPressed, this, [this] {
        const QString text = planClipboardText(model_->grdExplan());
        if (text.isNull())
            return;
        QClipboard* cb = QGuiApplication::clipboard();
        cb->clear();
        cb->setText(text);
    });

    bindState();
    model_->load();
    applyLayout();
}

FrmMain::~FrmMain() = default;

QLabel* FrmMain::makeLabel(const char* name, const QString& text) {
    QLabel* l = new QLabel(text, this);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

void FrmMain::bindState() {
    WindowState& st = model_->state();
    connect(&st, &WindowState::captionChanged, this, [this](const QString& caption) {
        setWindowTitle(caption);
        Q_EMIT captionChanged(caption);
    });
    connect(&st, &WindowState::lineChanged, this, [this](WindowState::Line line, const QString& t) {
        QLabel* l = line == WindowState::Line::Plan    ? lblEMessage_
                    : line == WindowState::Line::Query ? lblQMessage_
                    : line == WindowState::Line::Stats ? lblSMessage_
                                                       : lblCount_;
        l->setText(t);
        // The caller blocks in a database call next; paint the line now.
        l->repaint();
    });
    connect(&st, &WindowState::panelChanged, this, [this](int panel) {
        QLabel* p = panels_[static_cast<size_t>(panel - 1)];
        p->setText(model_->state().panelText(panel));
        p->setToolTip(model_->state().panelToolTip(panel));
    });
    connect(&st, &WindowState::execEnabledChanged, this, [this](bool enabled) {
        cmdExec_->setEnabled(enabled);
        cmdExec_->repaint();
    });
}

double FrmMain::dpi() const {
    return logicalDpi(*this);
}

void FrmMain::place(QWidget* w, Ctl c) {
    const TwipRect& r = model_->layout().rect(c);
    const double d = dpi();
    w->setGeometry(twipsToPixels(r.left, d), twipsToPixels(r.top, d),
                   std::max(twipsToPixels(r.width, d), 0), std::max(twipsToPixels(r.height, d), 0));
}

void FrmMain::applyLayout() {
    place(label2_, Ctl::Label2);
    place(txtSQL_, Ctl::TxtSQL);
    place(cmdExec_, Ctl::CmdExec);
    place(lblLabel_[1], Ctl::LblLabel1);
    place(grdData_, Ctl::GrdData);
    place(lblQMessage_, Ctl::LblQMessage);
    place(lblCount_, Ctl::LblCount);
    place(lblLabel_[2], Ctl::LblLabel2);
    place(grdStats_, Ctl::GrdStats);
    place(lblSMessage_, Ctl::LblSMessage);
    place(lblLabel_[3], Ctl::LblLabel3);
    // A heading is never clipped, whatever font stands in for the window's.
    for (QLabel* heading : {label2_, lblLabel_[1], lblLabel_[2], lblLabel_[3]})
        heading->resize(std::max(heading->width(), heading->sizeHint().width()), heading->height());
    place(grdExplan_, Ctl::GrdExplan);
    place(lblEMessage_, Ctl::LblEMessage);
    for (int k = 0; k < 5; ++k)
        place(split_[static_cast<size_t>(k)], QueryWindowLayout::splitBar(k));
    const int h = statusBar_->sizeHint().height();
    statusBar_->setGeometry(0, height() - h, width(), h);
}

void FrmMain::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const QSize outer = outerSizeTwips(this);
    model_->layout().resize(outer.width(), outer.height());
    applyLayout();
}

QString FrmMain::sqlText() const {
    return txtSQL_->toPlainText();
}

void FrmMain::setSqlText(const QString& text) {
    txtSQL_->setPlainText(text);
    QTextCursor c = txtSQL_->textCursor();
    c.movePosition(QTextCursor::End);
    txtSQL_->setTextCursor(c);
}

void FrmMain::replaceSqlSelection(const QString& text) {
    txtSQL_->insertPlainText(text);
}

void FrmMain::focusSql() {
    txtSQL_->setFocus(Qt::OtherFocusReason);
}

void FrmMain::repaintNow() {
    window()->repaint();
}

Answer FrmMain::ask(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, kAppTitle, text,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
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

void FrmMain::showMessage(const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, this);
    box.exec();
}

bool FrmMain::runLoginDialog(LoginValues& values) {
    FrmLogin& dialog = FrmLogin::instance();
    dialog.setup(values.dbq, values.user, values.pass);
    dialog.exec();
    if (!dialog.oraLoginModify)
        return false;
    values.dbq = dialog.oraDBQ;
    values.user = dialog.oraUser;
    values.pass = dialog.txtPass()->text();
    return true;
}

int FrmMain::blankWidthTwips(int count) const {
    if (count <= 0)
        return 0;
    QFontMetricsF fm(font(), const_cast<FrmMain*>(this));
    // In the window's own font a blank is as wide as any half-width character. A fallback
    // font may have a narrower blank, which would cut every value; take a digit's width then.
    const double blank =
        std::max(fm.horizontalAdvance(QLatin1Char(' ')), fm.horizontalAdvance(QLatin1Char('0')));
    const double px = blank * count;
    return static_cast<int>(px * 1440.0 / dpi() + 0.5);
}

}  // namespace qv
