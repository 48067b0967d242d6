#include "Measure.h"

#include <QFile>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

namespace {

qint64 statusKilobytes(const QByteArray& status, const char* field)
{
    const int at = status.indexOf(field);
    if (at < 0)
        return 0;
    const int end = status.indexOf('\n', at);
    return status.mid(at + qstrlen(field), end - at - qstrlen(field)).replace("kB", "").trimmed().toLongLong();
}

template <typename T>
T middle(QVector<T> values)
{
    if (values.isEmpty())
        return T();
    std::sort(values.begin(), values.end());
    const int half = values.size() / 2;
    return values.size() % 2 ? values.at(half) : (values.at(half - 1) + values.at(half)) / 2;
}

} // namespace

ProcessMemory processMemory()
{
    QFile file(QStringLiteral("/proc/self/status"));
    ProcessMemory memory;
    if (!file.open(QIODevice::ReadOnly))
        return memory;
    const QByteArray status = file.readAll();
    memory.rssBytes = statusKilobytes(status, "VmRSS:") * 1024;
    memory.peakBytes = statusKilobytes(status, "VmHWM:") * 1024;
    return memory;
}

bool resetPeakMemory()
{
    const int fd = ::open("/proc/self/clear_refs", O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, "5", 1) == 1;
    ::close(fd);
    return ok;
}

qint64 heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return static_cast<qint64>(info.uordblks + info.hblkhd);
}

void releaseFreeHeap()
{
    malloc_trim(0);
}

double median(QVector<double> values)
{
    return middle(std::move(values));
}

qint64 median(QVector<qint64> values)
{
    return middle(std::move(values));
}

qint64 nowNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double secondsSince(qint64 startNanoseconds)
{
    return static_cast<double>(nowNanoseconds() - startNanoseconds) / 1e9;
}

QuietStderr::QuietStderr(bool enabled)
{
    if (!enabled)
        return;
    std::fflush(stderr);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null < 0)
        return;
    saved = ::dup(STDERR_FILENO);
    ::dup2(null, STDERR_FILENO);
    ::close(null);
}

QuietStderr::~QuietStderr()
{
    if (saved < 0)
        return;
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
}
