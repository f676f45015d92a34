#include "app/cli/TerminalPasswordPrompt.h"

#include "blib/crypto/BWipe.h"

#include <QByteArray>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

QString TerminalPasswordPrompt::ask(const QString& label, bool& ok)
{
    ok = false;
    const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return QString();

    const QByteArray prompt = label.toUtf8();
    if (::write(fd, prompt.constData(), static_cast<size_t>(prompt.size())) < 0) {
        ::close(fd);
        return QString();
    }

    termios saved {};
    const bool haveTerminal = ::tcgetattr(fd, &saved) == 0;
    if (haveTerminal) {
        termios silent = saved;
        silent.c_lflag &= static_cast<tcflag_t>(~ECHO);
        silent.c_lflag |= ECHONL;
        ::tcsetattr(fd, TCSAFLUSH, &silent);
    }

    QByteArray line;
    char c = 0;
    bool ended = false;
    for (;;) {
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (c == '\n') {
            ended = true;
            break;
        }
        line.append(c);
    }

    if (haveTerminal)
        ::tcsetattr(fd, TCSAFLUSH, &saved);
    ::close(fd);

    if (line.endsWith('\r'))
        line.chop(1);
    ok = ended || !line.isEmpty();
    const QString password = QString::fromUtf8(line);
    wipe(line);
    return password;
}
