#include "OwnerMark.h"

#include <QDir>
#include <QFile>
#include <QList>

#if defined(_WIN32)
#  include <fcntl.h>
#  include <io.h>
#  include <sys/stat.h>
#  include <windows.h>
#else
#  include <cerrno>
#  include <csignal>
#  include <fcntl.h>
#  include <sys/types.h>
#  include <unistd.h>
#endif

namespace {

const QByteArray keptMark = "kept\n";

struct Owner
{
    qint64 pid = 0;
    QByteArray start; // empty: not known on this system
    QByteArray boot;
};

#if defined(__linux__)
QByteArray readSmallFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(4096) : QByteArray();
}

// Field 22 of /proc/<pid>/stat: the start time in clock ticks since boot. The
// command name (field 2) may hold spaces and parentheses, so the count starts
// after its last ')'.
QByteArray startTimeOf(qint64 pid)
{
    const QByteArray stat = readSmallFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const int close = stat.lastIndexOf(')');
    if (close < 0)
        return QByteArray();
    const QList<QByteArray> fields = stat.mid(close + 1).simplified().split(' ');
    // fields[0] is field 3 (the state).
    return fields.size() > 19 ? fields.at(19) : QByteArray();
}

QByteArray bootId()
{
    return readSmallFile(QStringLiteral("/proc/sys/kernel/random/boot_id")).trimmed();
}
#elif defined(_WIN32)
QByteArray creationTimeOf(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return QByteArray();
    const quint64 ticks = (quint64(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    return QByteArray::number(ticks);
}
#endif

Owner currentOwner()
{
    Owner owner;
#if defined(_WIN32)
    owner.pid = static_cast<qint64>(GetCurrentProcessId());
    owner.start = creationTimeOf(GetCurrentProcess());
#else
    owner.pid = static_cast<qint64>(::getpid());
#  if defined(__linux__)
    owner.start = startTimeOf(owner.pid);
    owner.boot = bootId();
#  endif
#endif
    return owner;
}

// Whether the process of the mark has ended: gone, or its id now names
// another process.
bool hasEnded(const Owner& owner)
{
    if (owner.pid <= 0)
        return false;
#if defined(__linux__)
    if (!owner.boot.isEmpty() && owner.boot != bootId())
        return true;
    if (!QFile::exists(QStringLiteral("/proc/%1").arg(owner.pid)))
        return true;
    const QByteArray start = startTimeOf(owner.pid);
    return !owner.start.isEmpty() && !start.isEmpty() && start != owner.start;
#elif defined(_WIN32)
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(owner.pid));
    if (!process)
        return GetLastError() == ERROR_INVALID_PARAMETER; // no such process
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    const QByteArray start = creationTimeOf(process);
    CloseHandle(process);
    return !running || (!owner.start.isEmpty() && !start.isEmpty() && start != owner.start);
#else
    return ::kill(static_cast<pid_t>(owner.pid), 0) != 0 && errno == ESRCH;
#endif
}

QByteArray format(const Owner& owner)
{
    return "pid " + QByteArray::number(owner.pid) + "\nstart " + owner.start + "\nboot " + owner.boot + '\n';
}

bool parse(const QByteArray& text, Owner* owner)
{
    bool havePid = false;
    for (const QByteArray& line : text.split('\n')) {
        const int space = line.indexOf(' ');
        const QByteArray key = space < 0 ? line : line.left(space);
        const QByteArray value = space < 0 ? QByteArray() : line.mid(space + 1).trimmed();
        if (key == "pid")
            owner->pid = value.toLongLong(&havePid);
        else if (key == "start")
            owner->start = value;
        else if (key == "boot")
            owner->boot = value;
    }
    return havePid;
}

bool replace(const QString& folder, const QByteArray& mark)
{
    const QString path = QDir(folder).filePath(OwnerMark::fileName());
    const QString fresh = path + QStringLiteral(".new");
    QFile::remove(fresh);
    if (!OwnerMark::writePrivateFile(fresh, mark))
        return false;
    QFile::remove(path);
    return QFile::rename(fresh, path);
}

} // namespace

QString OwnerMark::fileName()
{
    return QStringLiteral(".msgservice-owner");
}

QByteArray OwnerMark::current()
{
    static const QByteArray mark = format(currentOwner());
    return mark;
}

bool OwnerMark::write(const QString& folder)
{
    return replace(folder, current());
}

bool OwnerMark::keep(const QString& folder)
{
    return replace(folder, keptMark);
}

bool OwnerMark::isAbandoned(const QString& folder, QString* description)
{
    QFile file(QDir(folder).filePath(fileName()));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = file.read(4096);
    Owner owner;
    if (text == keptMark || !parse(text, &owner))
        return false;
    if (description)
        *description = QStringLiteral("process %1").arg(owner.pid);
    return hasEnded(owner);
}

bool OwnerMark::createPrivateFile(const QString& path, QFile* file)
{
#if defined(_WIN32)
    const int fd = ::_wopen(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()),
                            _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
#endif
    if (fd < 0)
        return false;
    if (file->open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle))
        return true;
#if defined(_WIN32)
    ::_close(fd);
#else
    ::close(fd);
#endif
    QFile::remove(path);
    return false;
}

bool OwnerMark::writePrivateFile(const QString& path, const QByteArray& data)
{
    QFile file;
    if (!createPrivateFile(path, &file))
        return false;
    const bool written = file.write(data) == data.size() && file.flush();
    file.close();
    if (!written)
        QFile::remove(path);
    return written;
}
