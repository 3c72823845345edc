#include "core/version.h"
#include "core/window/programstate.h"
#include "gui/appicon.h"
#include "gui/mainframe.h"
#include "gui/qttranslations.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char* argv[]) {
    // Answered before any QApplication exists, so it works without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-v") == 0) {
            std::puts("QuervinStudio " QUERVIN_VERSION);
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setWindowIcon(qv::appIcon());
    QApplication::setApplicationName(QStringLiteral("QuervinStudio"));
    QApplication::setOrganizationName(QStringLiteral("QUERVIN"));
    qv::installQtTranslations(app);
    // The program ends when its last query window closes (ProgramState::end), not when the last
    // top-level window does.
    app.setQuitOnLastWindowClosed(false);
    // What the frame, its windows and their dialogs share, kept in the platform's store.
    qv::ProgramState program(qv::SettingsStore::platformStore());
    int status = 0;
    {
        qv::MainFrame frame(program);
        frame.show();
        status = app.exec();
    }
    // A run whose driver never came back from the cancel, or a login still in the driver's
    // call, holds its thread; the settings and the statement ring are saved, so end without
    // waiting for it.
    if (program.threadsLeftInDrivers())
        std::quick_exit(status);
    return status;
}
