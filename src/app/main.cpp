#include "core/about/programhelp.h"
#include "core/connection/offthread.h"
#include "core/embedded/service/embeddedengine.h"
#include "core/embedded/service/sampledb.h"
#include "core/internalerror.h"
#include "core/program.h"
#include "core/version.h"
#include "core/window/programstate.h"
#include "gui/appicon.h"
#include "gui/application.h"
#include "gui/mainframe.h"
#include "gui/qttranslations.h"
#include "gui/querywindow.h"

#include <QFileInfo>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// The program from its frame's start to its end; the status to exit with.
int runFrame(qv::Application& app) {
    // What the frame, its windows and their dialogs share, kept in the platform's store.
    qv::ProgramState program(qv::SettingsStore::platformStore());
    int status = 0;
    {
        qv::MainFrame frame(program);
        // An exception an event handler lets out is told as the windows tell their messages.
        app.setMessageShower([&frame](const QString& message) {
            qv::QueryWindow* window = frame.activeQueryWindow();
            if (window)
                window->showMessage(message, qv::kAppTitle);
            return window != nullptr;
        });
        frame.show();
        // What a making of the sample cut short left goes, off the window's thread.
        qv::runOffThread(
            &frame,
            [dir = QFileInfo(qv::sampleDatabasePath(program.sampleDirectory())).absolutePath()] {
                qv::embedded::removeAbandonedSampleFiles(dir);
            },
            [](const std::optional<QString>&) {});
        status = app.exec();
        app.setMessageShower({});
    }
    // A run whose driver never came back from the cancel, or a login still in the driver's
    // call, holds its thread; the settings and the statement ring are saved, so end without
    // waiting for it.
    if (program.threadsLeftInDrivers())
        std::quick_exit(status);
    return status;
}

}  // namespace

int main(int argc, char* argv[]) {
    // Answered before any QApplication exists, so it works without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-v") == 0) {
            std::puts("QuervinStudio " QUERVIN_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(qv::windowProgramHelp(QString::fromLocal8Bit(argv[0])).toUtf8().constData(),
                       stdout);
            return 0;
        }
    }
    std::unique_ptr<qv::Application> app;
    try {
        app = std::make_unique<qv::Application>(argc, argv);
        qv::Application::setWindowIcon(qv::appIcon());
        qv::Application::setApplicationName(QStringLiteral("QuervinStudio"));
        qv::Application::setOrganizationName(QStringLiteral("QUERVIN"));
        qv::installQtTranslations(*app);
        // The program ends when its last query window closes (ProgramState::end), not when the
        // last top-level window does.
        app->setQuitOnLastWindowClosed(false);
        return runFrame(*app);
    } catch (...) {
        // The frame could not be made, or went: nothing to go on with.
        if (app)
            app->showCurrentException();
        else
            std::fprintf(stderr, "%s\n",
                         qUtf8Printable(qv::internalErrorMessage(qv::currentExceptionText())));
        return EXIT_FAILURE;
    }
}
