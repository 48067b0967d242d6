#include "Measure.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// A field of /proc/self/status in bytes, found without allocating, so that
// reading it does not disturb the heap figures it is taken beside.
qint64 statusBytes(const char* status, const char* field)
{
    const char* at = std::strstr(status, field);
    return at ? std::strtoll(at + std::strlen(field), nullptr, 10) * 1024 : 0;
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
    ProcessMemory memory;
    char status[8192];
    const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return memory;
    const ssize_t size = ::read(fd, status, sizeof(status) - 1);
    ::close(fd);
    if (size <= 0)
        return memory;
    status[size] = '\0';
    memory.rssBytes = statusBytes(status, "VmRSS:");
    memory.peakBytes = statusBytes(status, "VmHWM:");
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

double cpuSeconds()
{
    struct rusage usage;
    if (getrusage(RUSAGE_SELF, &usage) != 0)
        return 0.0;
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
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
