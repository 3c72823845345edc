#pragma once

#include <QLabel>
#include <QObject>
#include <QSize>

#include <array>
#include <functional>

class QWidget;

namespace qv {

class QueryWindowLayout;

// One splitter bar: a thin label. A movable bar shows a grip while the pointer is over it or
// drags it, so the strip can be found without trying.
class SplitterBar : public QLabel {
    Q_OBJECT
  public:
    explicit SplitterBar(QWidget* parent = nullptr);

    bool gripShown() const { return grip_; }
    void setGripShown(bool on);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    bool grip_ = false;
};

// Lets the user drag a query window's inner splitter bars: watches the five bar labels,
// forwards press, move and release to the window's layout (which decides everything), frames
// bars 1 to 3 while a drag lasts and asks the window to place its controls again.
class SplitterBars : public QObject {
    Q_OBJECT
  public:
    // `bars[k]` is split(k); `relayout` places every control where `layout` now says.
    SplitterBars(QueryWindowLayout& layout, const std::array<QLabel*, 5>& bars,
                 std::function<void()> relayout, QObject* parent = nullptr);

    // Gives bars 1 to 3 a single-line border, or none.
    void setBarsFramed(bool on);

  Q_SIGNALS:
    // The user dropped bar k where the layout now has it.
    void barDropped(int k);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    int barIndex(QObject* watched) const;
    void showGrip(int k, bool on);
    void sync();

    QueryWindowLayout& layout_;
    std::array<QLabel*, 5> bars_;
    std::function<void()> relayout_;
};

// The outer size in twips that the layout's resize rule works with: the QMdiSubWindow's when
// the window sits in one (frame and title bar included), else the window's own frame.
QSize outerSizeTwips(const QWidget* window);

}  // namespace qv
