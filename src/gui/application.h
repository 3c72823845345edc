#pragma once

#include <QApplication>
#include <QString>

#include <functional>

namespace qv {

// The window program's application object. An exception that an event handler lets out cannot
// pass through Qt's event loop, and would end the program; here it becomes a message box (by
// default a box of its own; main() sends it to the active query window's) and the program goes
// on with the next event.
class Application : public QApplication {
    Q_OBJECT
  public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Who shows `message` in a modal message box: `show`, and the application's own box when it
    // returns false (it had nowhere to show it) or is empty.
    void setMessageShower(std::function<bool(const QString& message)> show);
    // Shows the exception being handled as notify() does; call it in a catch block.
    void showCurrentException();

  private:
    std::function<bool(const QString&)> show_;
    bool showing_ = false;  // a box is up: an exception meanwhile goes to standard error
};

}  // namespace qv
