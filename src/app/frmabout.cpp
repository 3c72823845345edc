#include "app/frmabout.h"

#include "app/aboutinfo.h"
#include "app/frmmain.h"
#include "app/frmsysinfo.h"
#include "app/program.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QStyle>

namespace qv {

namespace {

template <typename W>
W* named(W* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

}  // namespace

FrmAbout::FrmAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("frmAbout"));
    setFont(FrmMain::windowFont());
    setFixedSize(px(5730), px(3420));

    picIcon_ = named(new QLabel(this), "picIcon");
    place(picIcon_, 240, 240, 480, 480);
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull())
        icon = style()->standardIcon(QStyle::SP_ComputerIcon);
    picIcon_->setPixmap(icon.pixmap(picIcon_->size()));

    lblTitle_ = named(new QLabel(this), "lblTitle");
    place(lblTitle_, 1050, 240, 3885, 480);
    QFont titleFont = font();
    titleFont.setPointSize(14);
    titleFont.setBold(true);
    lblTitle_->setFont(titleFont);
    lblVersion_ = named(new QLabel(this), "lblVersion");
    place(lblVersion_, 1050, 780, 3885, 225);
    lblDescription_ = named(new QLabel(kAboutDescription, this), "lblDescription");
    place(lblDescription_, 1050, 1125, 4125, 570);
    lblDisclaimer_ = named(new QLabel(feedbackText(), this), "lblDisclaimer");
    place(lblDisclaimer_, 240, 2400, 3870, 915);
    for (QLabel* l : {lblDescription_, lblDisclaimer_}) {
        l->setWordWrap(true);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    lblDisclaimer_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    cmdOK_ = named(new QPushButton(QStringLiteral("OK"), this), "cmdOK");
    place(cmdOK_, 4245, 2400, 1380, 345);
    cmdOK_->setDefault(true);
    cmdSysInfo_ = named(new QPushButton(QStringLiteral("ｼｽﾃﾑ情報(&S)..."), this), "cmdSysInfo");
    place(cmdSysInfo_, 4260, 2880, 1380, 345);
    cmdSysInfo_->setAutoDefault(false);
    cmdOK_->setFocus();

    // Esc, the close box and OK all end in finished; the box is made anew next time.
    connect(cmdOK_, &QPushButton::clicked, this, &QDialog::accept);
    connect(this, &QDialog::finished, this, &QObject::deleteLater);
    connect(cmdSysInfo_, &QPushButton::clicked, this, &FrmAbout::StartSysInfo);

    setWindowTitle(aboutCaption(kAppTitle));
    lblVersion_->setText(versionText(kAppVersion));
    lblTitle_->setText(kAppTitle);
}

FrmAbout::~FrmAbout() = default;

int FrmAbout::px(int twips) const {
    return twipsToPixels(twips, logicalDpi(*this));
}

void FrmAbout::place(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(px(left), px(top), px(width), px(height));
}

QLine FrmAbout::whiteLine() const {
    return {px(105), px(2160), px(5654), px(2160)};
}
QLine FrmAbout::greyLine() const {
    return {px(120), px(2160), px(5684), px(2160)};
}

void FrmAbout::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter p(this);
    const QLine white = whiteLine();
    p.fillRect(QRect(white.p1(), QPoint(white.x2(), white.y1() + 1)), Qt::white);
    p.setPen(QPen(QColor(0x80, 0x80, 0x80), 1));
    p.drawLine(greyLine());
}

void FrmAbout::StartSysInfo() {
#ifdef Q_OS_WIN
    const QString program = findSysInfoProgram(
        getKeyValue, [](const QString& path) { return QFileInfo::exists(path); });
    if (program.isEmpty() || !QProcess::startDetached(program, {})) {
        QMessageBox box(QMessageBox::NoIcon, kAppTitle, kMsgSysInfoUnavailable, QMessageBox::Ok,
                        this);
        box.exec();
    }
#else
    // No system-information viewer here: show what a problem report needs instead. It belongs
    // to the frame, so it stays when the about box closes.
    showSysInfoWindow(parentWidget());
#endif
}

namespace {
QPointer<FrmAbout>& instance() {
    static QPointer<FrmAbout> p;
    return p;
}
}  // namespace

FrmAbout* aboutBoxIfOpen() {
    FrmAbout* box = instance().data();
    return box && box->isVisible() ? box : nullptr;
}

void showAboutBox(QWidget* parent) {
    QPointer<FrmAbout>& p = instance();
    // A box that was closed is only waiting for deletion; it is not shown again.
    if (!p || !p->isVisible())
        p = new FrmAbout(parent ? parent->window() : nullptr);
    p->show();
    p->raise();
    p->activateWindow();
}

}  // namespace qv
