#pragma once

#include "gui/binddialog.h"

#include <QObject>
#include <QStringList>

#include <functional>

namespace qv::test {

// What each line of a bind dialog shows: ":name type value", the value in brackets when it
// cannot be typed.
QStringList bindLines(const BindDialog& d);

// While it lives, works each bind dialog that shows with `answer` once the dialog's own event
// loop runs, and keeps what the dialog offered (bindLines).
class BindAnswerer : public QObject {
  public:
    BindAnswerer();

    std::function<void(BindDialog&)> answer;
    QStringList offered;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace qv::test
