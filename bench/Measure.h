// Timing and memory probes of this process (Linux: /proc/self and glibc).
#pragma once

#include <QVector>
#include <QtGlobal>

struct ProcessMemory
{
    qint64 rssBytes = 0;  // VmRSS
    qint64 peakBytes = 0; // VmHWM, since the start or the last resetPeakMemory
};

// Allocates nothing: heap figures taken around it stay exact.
ProcessMemory processMemory();
// Starts a new peak (VmHWM) at the current RSS; false where the kernel refuses.
bool resetPeakMemory();
// Bytes the allocator hands out now, mapped chunks included.
qint64 heapInUse();
// Gives free heap pages back to the system, so that RSS shows what is in use.
void releaseFreeHeap();

double median(QVector<double> values);
qint64 median(QVector<qint64> values);
double secondsSince(qint64 startNanoseconds);
qint64 nowNanoseconds();
// User and system time of this process so far: less disturbed than wall time
// by other processes on a busy machine.
double cpuSeconds();

// Sends this process's stderr to /dev/null while it lives: the load logs one
// line per missing attachment file.
class QuietStderr
{
public:
    explicit QuietStderr(bool enabled = true);
    ~QuietStderr();
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved = -1;
};
