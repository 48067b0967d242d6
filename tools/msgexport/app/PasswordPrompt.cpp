#include "PasswordPrompt.h"

#include <QFile>

#include <iostream>
#include <string>

#if defined(_WIN32)
#  include <io.h>
#  include <windows.h>
#else
#  include <csignal>
#  include <termios.h>
#  include <unistd.h>
#endif

namespace {

#if !defined(_WIN32)
termios savedMode;

// Ctrl-C at the prompt must not leave the terminal without echo.
void restoreAndRaise(int signal)
{
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedMode); // async-signal-safe
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}
#endif

// Echo off for the lifetime of the object, restored after.
class EchoOff
{
public:
#if defined(_WIN32)
    EchoOff()
    {
        input = GetStdHandle(STD_INPUT_HANDLE);
        saved = GetConsoleMode(input, &mode);
        if (saved)
            SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    }
    ~EchoOff()
    {
        if (saved)
            SetConsoleMode(input, mode);
    }

private:
    HANDLE input = nullptr;
    DWORD mode = 0;
    BOOL saved = FALSE;
#else
    EchoOff()
    {
        saved = tcgetattr(STDIN_FILENO, &savedMode) == 0;
        if (saved) {
            termios quiet = savedMode;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            quiet.c_lflag |= ECHONL;
            for (const int signal : {SIGINT, SIGTERM, SIGHUP})
                std::signal(signal, restoreAndRaise);
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        }
    }
    ~EchoOff()
    {
        if (saved) {
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedMode);
            for (const int signal : {SIGINT, SIGTERM, SIGHUP})
                std::signal(signal, SIG_DFL);
        }
    }

private:
    bool saved = false;
#endif
};

QString withoutLineEnd(QString line)
{
    while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    return line;
}

} // namespace

bool PasswordPrompt::canAsk()
{
#if defined(_WIN32)
    return _isatty(_fileno(stdin)) != 0;
#else
    return isatty(STDIN_FILENO) != 0;
#endif
}

bool PasswordPrompt::ask(QFile& out, const QString& prompt, QString* password)
{
    out.write(prompt.toUtf8());
    std::string line;
    bool read = false;
    {
        const EchoOff echoOff;
        read = static_cast<bool>(std::getline(std::cin, line));
    }
#if defined(_WIN32)
    out.write("\n"); // the console does not echo the line end either
#endif
    *password = withoutLineEnd(QString::fromStdString(line));
    return read;
}

bool PasswordPrompt::fromFile(const QString& path, QString* password)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *password = withoutLineEnd(QString::fromUtf8(file.readLine(4096)));
    return true;
}
