#pragma once

#include <QObject>
#include <QString>

#include <array>

namespace qv {

// What a query window shows outside its SQL box and grids: caption, the enabled state of the
// menu items that change, the three status-bar panels, the three message lines, the count
// label with the step's time beside it, and whether a run is under way (the execute button then
// stops it). Plain state with change signals; the widget binds to it and
// repaints a message line or the button as soon as its signal arrives.
class WindowState : public QObject {
    Q_OBJECT
  public:
    enum class Menu { Login, Logout, StartRecording, StopRecording, Commit, Rollback };
    // Note: what the last run could not do or should be read with (its per-line figures
    // missing, another plan ran, an adaptive plan), beside the status bar's panels.
    enum class Line { Plan, Result, Stats, Count, Elapsed, Note };

    static constexpr int kPanels = 3;

    QString caption() const { return caption_; }
    void setCaption(const QString& caption);

    bool menuEnabled(Menu m) const { return menus_[static_cast<size_t>(m)]; }
    void setMenuEnabled(Menu m, bool enabled);

    // Panels count from 1.
    QString panelText(int panel) const;
    void setPanelText(int panel, const QString& text);
    QString panelToolTip(int panel) const;
    void setPanelToolTip(int panel, const QString& text);

    QString line(Line l) const { return lines_[static_cast<size_t>(l)]; }
    void setLine(Line l, const QString& text);

    bool running() const { return running_; }
    void setRunning(bool running);

    // The commit mode the label beside the status bar's panels shows (commitModeText()).
    QString commitMode() const { return commitMode_; }
    void setCommitMode(const QString& text);

  Q_SIGNALS:
    void captionChanged(const QString& caption);
    void menusChanged();
    void panelChanged(int panel);
    void lineChanged(qv::WindowState::Line line, const QString& text);
    void runningChanged(bool running);
    void commitModeChanged(const QString& text);

  private:
    QString caption_;
    std::array<bool, 6> menus_{true, false, true, false, false, false};
    std::array<QString, kPanels> panels_;
    std::array<QString, kPanels> tips_;
    std::array<QString, 6> lines_;
    bool running_ = false;
    QString commitMode_;
};

}  // namespace qv
