#include "gui/splitterbars.h"

#include "core/window/querywindowlayout.h"
#include "core/window/twips.h"

#include <QEvent>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace qv {

SplitterBar::SplitterBar(QWidget* parent) : QLabel(parent) {
    setCursor(Qt::SizeVerCursor);
    setFrameShape(QFrame::NoFrame);
}

void SplitterBar::setGripShown(bool on) {
    if (grip_ == on)
        return;
    grip_ = on;
    update();
}

void SplitterBar::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (!grip_)
        return;
    QPainter p(this);
    // Only the part inside the window is seen: the bar is as wide as the window's outer edge.
    const int seen = parentWidget() ? std::min(width(), parentWidget()->width() - x()) : width();
    QColor band = palette().color(QPalette::Highlight);
    band.setAlpha(70);
    p.fillRect(QRect(0, 0, seen, height()), band);
    // A row of dots in the middle, as a splitter handle shows.
    const int dot = std::max(1, std::min(2, height() / 2));
    const int dots = 9;
    const int pitch = dot * 3;
    int x = (seen - (dots - 1) * pitch - dot) / 2;
    const int y = (height() - dot) / 2;
    for (int i = 0; i < dots; ++i, x += pitch)
        p.fillRect(QRect(x, y, dot, dot), palette().color(QPalette::Shadow));
}

SplitterBars::SplitterBars(QueryWindowLayout& layout, const std::array<QLabel*, 5>& bars,
                           std::function<void()> relayout, QObject* parent)
    : QObject(parent), layout_(layout), bars_(bars), relayout_(std::move(relayout)) {
    for (QLabel* bar : bars_) {
        bar->setCursor(Qt::SizeVerCursor);
        bar->installEventFilter(this);
    }
    setBarsFramed(layout_.barsFramed());
}

void SplitterBars::setBarsFramed(bool on) {
    for (int k = 1; k <= 3; ++k) {
        QLabel* bar = bars_[static_cast<size_t>(k)];
        bar->setFrameShape(on ? QFrame::Box : QFrame::NoFrame);
        bar->setFrameShadow(QFrame::Plain);
        bar->setLineWidth(1);
    }
}

int SplitterBars::barIndex(QObject* watched) const {
    for (int k = 0; k < 5; ++k) {
        if (bars_[static_cast<size_t>(k)] == watched)
            return k;
    }
    return -1;
}

void SplitterBars::showGrip(int k, bool on) {
    if (auto* bar = qobject_cast<SplitterBar*>(bars_[static_cast<size_t>(k)]))
        bar->setGripShown(on);
}

void SplitterBars::sync() {
    setBarsFramed(layout_.barsFramed());
    if (relayout_)
        relayout_();
}

bool SplitterBars::eventFilter(QObject* watched, QEvent* event) {
    const int k = barIndex(watched);
    if (k < 0 || !QueryWindowLayout::isMovableBar(k))
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            layout_.pressBar(k);
            sync();
            return true;
        case QEvent::MouseMove: {
            if (!layout_.drag().dragging)
                return true;
            // The press grabbed the mouse for this bar, so the position is relative to it.
            const auto* me = static_cast<QMouseEvent*>(event);
            const double dpi = logicalDpi(*bars_[static_cast<size_t>(k)]);
            layout_.moveBar(static_cast<float>(me->position().y() * 1440.0 / dpi));
            if (relayout_)
                relayout_();
            return true;
        }
        case QEvent::MouseButtonRelease:
            if (layout_.drag().dragging) {
                const int dragged = layout_.drag().index;
                const bool accepted = layout_.releaseBar();
                sync();
                if (accepted)
                    Q_EMIT barDropped(dragged);
            }
            // The pointer may have left the bar while it dragged it.
            showGrip(k, bars_[static_cast<size_t>(k)]->underMouse());
            return true;
        case QEvent::Enter:
            showGrip(k, true);
            break;
        case QEvent::Leave:
            // A drag keeps the grip until the button comes up.
            if (!layout_.drag().dragging)
                showGrip(k, false);
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

QSize outerSizeTwips(const QWidget* window) {
    const QWidget* outer = window;
    if (auto* sub = qobject_cast<const QMdiSubWindow*>(window->parentWidget()))
        outer = sub;
    const QSize px = outer->isWindow() ? outer->frameGeometry().size() : outer->size();
    const double dpi = logicalDpi(*window);
    return {pixelsToTwips(px.width(), dpi), pixelsToTwips(px.height(), dpi)};
}

}  // namespace qv
