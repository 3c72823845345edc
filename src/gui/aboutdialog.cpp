#include "gui/aboutdialog.h"

#include "core/about/aboutinfo.h"
#include "core/program.h"
#include "core/window/twips.h"
#include "gui/appicon.h"
#include "gui/systeminfodialog.h"
#include "gui/windowfont.h"

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

AboutDialog::AboutDialog(SystemInfoSources sources, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      sources_(std::move(sources)) {
    setObjectName(QStringLiteral("aboutDialog"));
    setFont(windowFont());
    setFixedSize(px(5730), px(3420));

    iconLabel_ = named(new QLabel(this), "iconLabel");
    place(iconLabel_, 240, 240, 480, 480);
    setWindowIcon(appIcon());
    QPixmap picture = appIcon().pixmap(iconLabel_->size());
    // Without Qt's SVG support the icon cannot be drawn; a stock picture stands in.
    if (picture.isNull())
        picture = style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(iconLabel_->size());
    iconLabel_->setPixmap(picture);

    titleLabel_ = named(new QLabel(this), "titleLabel");
    place(titleLabel_, 1050, 240, 3885, 480);
    QFont titleFont = font();
    titleFont.setPointSize(14);
    titleFont.setBold(true);
    titleLabel_->setFont(titleFont);
    versionLabel_ = named(new QLabel(this), "versionLabel");
    place(versionLabel_, 1050, 780, 3885, 225);
    descriptionLabel_ = named(new QLabel(kAboutDescription, this), "descriptionLabel");
    place(descriptionLabel_, 1050, 1125, 4125, 570);
    feedbackLabel_ = named(new QLabel(feedbackText(), this), "feedbackLabel");
    place(feedbackLabel_, 240, 2400, 3870, 915);
    for (QLabel* l : {descriptionLabel_, feedbackLabel_}) {
        l->setWordWrap(true);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    feedbackLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    okButton_ = named(new QPushButton(QStringLiteral("OK"), this), "okButton");
    place(okButton_, 4245, 2400, 1380, 345);
    okButton_->setDefault(true);
    systemInfoButton_ =
        named(new QPushButton(QStringLiteral("ｼｽﾃﾑ情報(&S)..."), this), "systemInfoButton");
    place(systemInfoButton_, 4260, 2880, 1380, 345);
    systemInfoButton_->setAutoDefault(false);
    okButton_->setFocus();

    // Esc, the close box and OK all end in finished; the box is made anew next time.
    connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);
    connect(this, &QDialog::finished, this, &QObject::deleteLater);
    connect(systemInfoButton_, &QPushButton::clicked, this, &AboutDialog::showSystemInfo);

    setWindowTitle(aboutCaption(kAppTitle));
    versionLabel_->setText(versionText(kAppVersion));
    titleLabel_->setText(kAppTitle);
}

AboutDialog::~AboutDialog() = default;

int AboutDialog::px(int twips) const {
    return twipsToPixels(twips, logicalDpi(*this));
}

void AboutDialog::place(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(px(left), px(top), px(width), px(height));
}

QLine AboutDialog::whiteLine() const {
    return {px(105), px(2160), px(5654), px(2160)};
}
QLine AboutDialog::greyLine() const {
    return {px(120), px(2160), px(5684), px(2160)};
}

void AboutDialog::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter p(this);
    const QLine white = whiteLine();
    p.fillRect(QRect(white.p1(), QPoint(white.x2(), white.y1() + 1)), Qt::white);
    p.setPen(QPen(QColor(0x80, 0x80, 0x80), 1));
    p.drawLine(greyLine());
}

void AboutDialog::showSystemInfo() {
#ifdef Q_OS_WIN
    const QString program = findSystemInfoProgram(
        readRegistryValue, [](const QString& path) { return QFileInfo::exists(path); });
    if (program.isEmpty() || !QProcess::startDetached(program, {})) {
        QMessageBox box(QMessageBox::NoIcon, kAppTitle, kMsgSystemInfoUnavailable, QMessageBox::Ok,
                        this);
        box.exec();
    }
#else
    // No system-information viewer here: show what a problem report needs instead. It belongs
    // to the frame, so it stays when the about box closes.
    showSystemInfoDialog(sources_, parentWidget());
#endif
}

namespace {
QPointer<AboutDialog>& instance() {
    static QPointer<AboutDialog> p;
    return p;
}
}  // namespace

AboutDialog* aboutDialogIfOpen() {
    AboutDialog* box = instance().data();
    return box && box->isVisible() ? box : nullptr;
}

void showAboutDialog(SystemInfoSources sources, QWidget* parent) {
    QPointer<AboutDialog>& p = instance();
    // A box that was closed is only waiting for deletion; it is not shown again.
    if (!p || !p->isVisible())
        p = new AboutDialog(std::move(sources), parent ? parent->window() : nullptr);
    p->show();
    p->raise();
    p->activateWindow();
}

}  // namespace qv
