#include "core/cli/clirunner.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <csignal>
#include <ctime>
#endif

int main(int argc, char* argv[]) {
    qv::StopSource stops;
#ifdef Q_OS_UNIX
    // During the run, Ctrl-C and SIGTERM stop the run rather than the process, so the server
    // cancels the statement. Blocked before the run's thread starts (it inherits the mask),
    // they are taken with sigtimedwait; until then they end the program as usual.
    static sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    stops.arm = [] { pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr); };
    stops.wait = [](int ms) {
        const timespec wait{ms / 1000, (ms % 1000) * 1'000'000L};
        return sigtimedwait(&stopSignals, nullptr, &wait) > 0;
    };
#endif
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quervin-cli"));
    QCoreApplication::setOrganizationName(QStringLiteral("QUERVIN"));
    QTextStream in(stdin);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const int status =
        qv::runCli(QCoreApplication::arguments(), in, out, err, qv::defaultDatabaseOpener(), stops);
    out.flush();
    err.flush();
    return status;
}
