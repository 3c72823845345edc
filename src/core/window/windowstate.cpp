#include "core/window/windowstate.h"

namespace qv {

void WindowState::setCaption(const QString& caption) {
    caption_ = caption;
    Q_EMIT captionChanged(caption_);
}

void WindowState::setMenuEnabled(Menu m, bool enabled) {
    menus_[static_cast<size_t>(m)] = enabled;
    Q_EMIT menusChanged();
}

QString WindowState::panelText(int panel) const {
    if (panel < 1 || panel > kPanels)
        return QString();
    return panels_[static_cast<size_t>(panel - 1)];
}

void WindowState::setPanelText(int panel, const QString& text) {
    if (panel < 1 || panel > kPanels)
        return;
    panels_[static_cast<size_t>(panel - 1)] = text;
    Q_EMIT panelChanged(panel);
}

QString WindowState::panelToolTip(int panel) const {
    if (panel < 1 || panel > kPanels)
        return QString();
    return tips_[static_cast<size_t>(panel - 1)];
}

void WindowState::setPanelToolTip(int panel, const QString& text) {
    if (panel < 1 || panel > kPanels)
        return;
    tips_[static_cast<size_t>(panel - 1)] = text;
    Q_EMIT panelChanged(panel);
}

void WindowState::setLine(Line l, const QString& text) {
    lines_[static_cast<size_t>(l)] = text;
    Q_EMIT lineChanged(l, text);
}

void WindowState::setRunning(bool running) {
    running_ = running;
    Q_EMIT runningChanged(running);
}

void WindowState::setCommitMode(const QString& text) {
    if (commitMode_ == text)
        return;
    commitMode_ = text;
    Q_EMIT commitModeChanged(text);
}

}  // namespace qv
