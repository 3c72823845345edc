#include "core/cli/clirunner.h"
#include "core/cli/terminalpassword.h"
#include "core/window/programstate.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <functional>
#include <thread>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

namespace {

int runProgram(int argc, char* argv[]) {
    qv::CliTerminal terminal;
#ifdef Q_OS_UNIX
    // During the run, Ctrl-C and SIGTERM stop the run rather than the process, so the server
    // cancels the statement. Blocked before the run's thread starts (every thread inherits the
    // mask), they are taken by a thread of their own that waits for them; until then they end
    // the program as usual.
    static sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    terminal.arm = [] { pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr); };
    terminal.watchStop = [](std::function<void()> stop) {
        std::thread([stop = std::move(stop)] {
            try {
                for (;;) {
                    int signal = 0;
                    if (sigwait(&stopSignals, &signal) == 0)
                        stop();
                }
            } catch (...) {
                // Nothing else would stop the run now: the program ends, saying why.
                QTextStream err(stderr);
                std::quick_exit(qv::reportInternalError(err));
            }
        }).detach();
    };
    terminal.readPassword = qv::readTerminalPassword;
#endif
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quervin-cli"));
    QCoreApplication::setOrganizationName(QStringLiteral("QUERVIN"));
    QTextStream in(stdin);
    QTextStream out(stdout);
    QTextStream err(stderr);
    // The runner neither reads nor writes the settings or the statement ring: it takes only how
    // connections are opened.
    const qv::ProgramState program(qv::SettingsStore::platformStore());
    const int status = qv::runCli(QCoreApplication::arguments(), in, out, err, program, terminal);
    out.flush();
    err.flush();
    return status;
}

}  // namespace

int main(int argc, char* argv[]) {
    // The runner reports what reaches it; this is for what fails before or after it.
    try {
        return runProgram(argc, argv);
    } catch (...) {
        QTextStream err(stderr);
        return qv::reportInternalError(err);
    }
}
