#include "app/cli/TerminalPasswordPrompt.h"

#include "blib/crypto/BWipe.h"

#include <QByteArray>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <iterator>
#include <termios.h>
#include <unistd.h>

namespace {

// While echo is off, a signal that ends the program must give the user a
// terminal that echoes again: the handler restores it and re-raises.
int g_terminal = -1;
termios g_savedTerminal {};
constexpr int restoredSignals[] = { SIGINT, SIGTERM, SIGHUP, SIGQUIT };

void restoreTerminalAndReraise(int signal)
{
    if (g_terminal >= 0)
        ::tcsetattr(g_terminal, TCSAFLUSH, &g_savedTerminal);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// Longest password read from the terminal; the buffer never reallocates, so
// no copy of a partial password is left behind in freed memory.
constexpr int maximumLength = 4096;

} // namespace

QByteArray TerminalPasswordPrompt::ask(const QString& label, bool& ok)
{
    ok = false;
    const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return QByteArray();

    const QByteArray prompt = label.toUtf8();
    if (::write(fd, prompt.constData(), static_cast<size_t>(prompt.size())) < 0) {
        ::close(fd);
        return QByteArray();
    }

    termios saved {};
    const bool haveTerminal = ::tcgetattr(fd, &saved) == 0;
    struct sigaction previous[std::size(restoredSignals)] {};
    if (haveTerminal) {
        g_savedTerminal = saved;
        g_terminal = fd;
        struct sigaction action {};
        action.sa_handler = restoreTerminalAndReraise;
        sigemptyset(&action.sa_mask);
        for (size_t i = 0; i < std::size(restoredSignals); ++i)
            ::sigaction(restoredSignals[i], &action, &previous[i]);

        termios silent = saved;
        silent.c_lflag &= static_cast<tcflag_t>(~ECHO);
        silent.c_lflag |= ECHONL;
        ::tcsetattr(fd, TCSAFLUSH, &silent);
    }

    QByteArray line(maximumLength, '\0');
    int length = 0;
    bool ended = false;
    for (;;) {
        char c = 0;
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (c == '\n') {
            ended = true;
            break;
        }
        if (length < maximumLength)
            line[length++] = c;
    }

    if (haveTerminal) {
        ::tcsetattr(fd, TCSAFLUSH, &saved);
        for (size_t i = 0; i < std::size(restoredSignals); ++i)
            ::sigaction(restoredSignals[i], &previous[i], nullptr);
        g_terminal = -1;
    }
    ::close(fd);

    if (length > 0 && line.at(length - 1) == '\r')
        --length;
    ok = ended || length > 0;
    line.truncate(length); // keeps the allocation: nothing is copied
    return line;
}
