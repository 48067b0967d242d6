#include "TerminalProgress.h"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

#if defined(_WIN32)
int duplicate(int fd) { return ::_dup(fd); }
int closeFd(int fd) { return ::_close(fd); }
void writeFd(int fd, const QByteArray& bytes) { ::_write(fd, bytes.constData(), static_cast<unsigned>(bytes.size())); }
#else
int duplicate(int fd) { return ::dup(fd); }
int closeFd(int fd) { return ::close(fd); }
void writeFd(int fd, const QByteArray& bytes)
{
    const ssize_t written = ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size()));
    static_cast<void>(written); // progress is best effort
}
#endif

} // namespace

TerminalProgress::TerminalProgress(int fd, bool enabled)
    : fd(enabled ? duplicate(fd) : -1)
{
}

TerminalProgress::~TerminalProgress()
{
    stopSpinner();
    clear();
    if (fd >= 0)
        closeFd(fd);
}

bool TerminalProgress::isTerminal(int fd)
{
#if defined(_WIN32)
    // _isatty() holds for any character device, NUL included; only a console
    // that understands the erase sequence of draw() qualifies.
    const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)
        && SetConsoleMode(handle, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
#else
    return ::isatty(fd) == 1;
#endif
}

void TerminalProgress::startSpinner(const QString& label)
{
    if (!enabled() || spinner.joinable())
        return;
    stopping = false;
    spinner = std::thread(&TerminalProgress::spin, this, label);
}

void TerminalProgress::stopSpinner()
{
    if (!spinner.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    spinner.join();
    clear();
}

void TerminalProgress::spin(QString label)
{
    static const char frames[] = {'|', '/', '-', '\\'};
    const auto start = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> lock(mutex);
    for (unsigned frame = 0; !stopping; ++frame) {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        draw(QStringLiteral("%1 %2 %3s")
                 .arg(QString(QLatin1Char(frames[frame % 4])), label, QString::number(seconds, 'f', 1))
                 .toUtf8());
        wake.wait_for(lock, std::chrono::milliseconds(100), [this] { return stopping; });
    }
}

void TerminalProgress::bar(const QString& label, int done, int total)
{
    if (!enabled() || total <= 0)
        return;
    // Conversions report from their own threads.
    std::lock_guard<std::mutex> lock(mutex);
    constexpr int width = 30;
    const int filled = static_cast<int>(static_cast<qint64>(width) * done / total);
    // Redraw only when the bar grows or the work ends: terminals are slow.
    if (filled == lastBarWidth && done != total)
        return;
    lastBarWidth = filled;
    draw(QStringLiteral("[%1%2] %3/%4 %5")
             .arg(QString(filled, QLatin1Char('#')), QString(width - filled, QLatin1Char('.')))
             .arg(done)
             .arg(total)
             .arg(label)
             .toUtf8());
}

void TerminalProgress::clear()
{
    lastBarWidth = -1;
    if (enabled())
        draw(QByteArray());
}

void TerminalProgress::draw(const QByteArray& line)
{
    // Back to the start of the line, the new text, then erase what is left
    // of a longer earlier one.
    const QByteArray bytes = "\r" + line + "\x1b[K";
    writeFd(fd, bytes);
}
