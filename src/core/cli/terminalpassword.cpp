#include "core/cli/terminalpassword.h"

#include <QByteArray>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <csignal>
#endif

namespace qv {

#ifdef Q_OS_UNIX

namespace {

constexpr std::array<int, 4> kEndingSignals{SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The terminal being read and its settings before, for the signal handler.
volatile sig_atomic_t gTty = -1;
termios gSaved{};

extern "C" void restoreAndEnd(int signal) {
    if (gTty >= 0) {
        tcsetattr(gTty, TCSANOW, &gSaved);
        (void)!::write(gTty, "\n", 1);
    }
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// Echo off while it lives; on every way out the terminal is as it was.
class QuietTerminal {
  public:
    explicit QuietTerminal(int tty) {
        if (tcgetattr(tty, &gSaved) != 0)
            return;
        struct sigaction action {};
        action.sa_handler = restoreAndEnd;
        sigemptyset(&action.sa_mask);
        for (size_t i = 0; i < kEndingSignals.size(); ++i)
            sigaction(kEndingSignals[i], &action, &before_[i]);
        gTty = tty;
        termios quiet = gSaved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(tty, TCSAFLUSH, &quiet);
    }
    ~QuietTerminal() {
        if (gTty < 0)
            return;
        tcsetattr(gTty, TCSAFLUSH, &gSaved);
        gTty = -1;
        for (size_t i = 0; i < kEndingSignals.size(); ++i)
            sigaction(kEndingSignals[i], &before_[i], nullptr);
    }
    QuietTerminal(const QuietTerminal&) = delete;
    QuietTerminal& operator=(const QuietTerminal&) = delete;

  private:
    std::array<struct sigaction, kEndingSignals.size()> before_{};
};

}  // namespace

std::optional<QString> readTerminalPassword(const QString& prompt) {
    const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0)
        return std::nullopt;
    QByteArray line;
    {
        const QuietTerminal quiet(tty);
        const QByteArray text = prompt.toLocal8Bit();
        (void)!::write(tty, text.constData(), size_t(text.size()));
        char c = 0;
        while (::read(tty, &c, 1) == 1 && c != '\n')
            line.append(c);
    }
    (void)!::write(tty, "\n", 1);
    ::close(tty);
    if (line.endsWith('\r'))
        line.chop(1);
    return QString::fromLocal8Bit(line);
}

#else

std::optional<QString> readTerminalPassword(const QString&) {
    return std::nullopt;
}

#endif

}  // namespace qv
