#include "gui/application.h"

#include "core/internalerror.h"
#include "core/program.h"
#include "gui/plaintext.h"

#include <QMessageBox>

#include <cstdio>
#include <utility>

namespace qv {

namespace {

void showInBox(const QString& message) {
    QMessageBox box(QMessageBox::NoIcon, kAppTitle, message, QMessageBox::Ok);
    plainBox(box);
    box.exec();
}

}  // namespace

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        showCurrentException();
        return false;
    }
}

void Application::setMessageShower(std::function<bool(const QString&)> show) {
    show_ = std::move(show);
}

void Application::showCurrentException() {
    const QString message = internalErrorMessage(currentExceptionText());
    if (std::exchange(showing_, true)) {
        std::fprintf(stderr, "%s\n", qUtf8Printable(message));
        return;
    }
    try {
        if (!show_ || !show_(message))
            showInBox(message);
    } catch (...) {
        std::fprintf(stderr, "%s\n", qUtf8Printable(message));
    }
    showing_ = false;
}

}  // namespace qv
