#include "gui/mainframe.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QuervinStudio"));
    QApplication::setOrganizationName(QStringLiteral("QUERVIN"));
    // The program ends when its last query window closes (endProgram), not when the last
    // top-level window does.
    app.setQuitOnLastWindowClosed(false);
    qv::MainFrame frame;
    frame.show();
    return app.exec();
}
