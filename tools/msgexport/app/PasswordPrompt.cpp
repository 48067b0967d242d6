#include "PasswordPrompt.h"

#include <QFile>

#include <algorithm>
#include <iostream>
#include <string>

#if defined(_WIN32)
#  include <io.h>
#  include <windows.h>
#else
#  include <csignal>
#  include <sys/stat.h>
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

// Through a volatile pointer, so that the stores are not dropped as dead.
void wipeBytes(void* data, size_t size)
{
    volatile unsigned char* bytes = static_cast<volatile unsigned char*>(data);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = 0;
}

void clearString(std::string& text)
{
    wipeBytes(&text[0], text.size());
    text.clear();
}

void clearBytes(QByteArray& bytes)
{
    if (!bytes.isEmpty() && !bytes.isDetached())
        bytes = QByteArray(); // shared: not ours to overwrite
    else if (!bytes.isEmpty())
        wipeBytes(bytes.data(), static_cast<size_t>(bytes.size()));
    bytes.clear();
}

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
    clearString(line);
    return read;
}

bool PasswordPrompt::fromFile(const QString& path, QString* password, QString* warning)
{
    // Unbuffered, so that QFile keeps no copy of the password of its own.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
#if !defined(_WIN32)
    struct stat status;
    if (warning && ::fstat(file.handle(), &status) == 0 && (status.st_mode & 077) != 0) {
        *warning = QStringLiteral("the password file %1 can be read by other users (mode %2); allow only its owner "
                                  "(chmod 600)")
                       .arg(path)
                       .arg(status.st_mode & 0777, 3, 8, QLatin1Char('0'));
    }
#else
    Q_UNUSED(warning)
#endif
    QByteArray line(4096, Qt::Uninitialized);
    const qint64 length = file.readLine(line.data(), line.size());
    if (length < 0 && file.error() != QFileDevice::NoError) {
        clearBytes(line);
        return false;
    }
    *password = withoutLineEnd(QString::fromUtf8(line.constData(), static_cast<int>(std::max<qint64>(length, 0))));
    clearBytes(line);
    return true;
}

void PasswordPrompt::wipe(QString* password)
{
    // Only the text's own buffer: a shared one would be copied, not wiped.
    if (!password->isEmpty() && password->isDetached())
        wipeBytes(password->data(), static_cast<size_t>(password->size()) * sizeof(QChar));
    password->clear();
}
