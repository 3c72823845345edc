#include "core/cli/clirunner.h"
#include "core/window/programstate.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <functional>
#include <thread>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
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
    terminal.readPassword = [](const QString& prompt) -> std::optional<QString> {
        // The terminal itself, not standard input, which may carry the statement.
        const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY);
        if (tty < 0)
            return std::nullopt;
        termios saved{};
        const bool echoOff = tcgetattr(tty, &saved) == 0;
        if (echoOff) {
            termios quiet = saved;
            quiet.c_lflag &= ~tcflag_t(ECHO);
            tcsetattr(tty, TCSAFLUSH, &quiet);
        }
        const QByteArray text = prompt.toLocal8Bit();
        (void)!::write(tty, text.constData(), size_t(text.size()));
        QByteArray line;
        char c = 0;
        while (::read(tty, &c, 1) == 1 && c != '\n')
            line.append(c);
        if (echoOff)
            tcsetattr(tty, TCSAFLUSH, &saved);
        (void)!::write(tty, "\n", 1);
        ::close(tty);
        if (line.endsWith('\r'))
            line.chop(1);
        return QString::fromLocal8Bit(line);
    };
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
