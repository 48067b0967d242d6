#include "Report.h"

#include "Measure.h"

#include <QDateTime>
#include <QFile>
#include <QTextStream>

#include <sqlite3.h>

#include <sys/utsname.h>
#include <unistd.h>

#ifndef MSGBENCH_BUILD_TYPE
#define MSGBENCH_BUILD_TYPE "unknown"
#endif

namespace {

constexpr double mebibyte = 1024.0 * 1024.0;
// The allocator's per-thread caches count as in use: a few kilobytes either
// way are not memory that the load left behind.
constexpr qint64 allocatorNoise = 16 * 1024;
// The targets at a million messages, the same for every backup profile.
constexpr double maxRatio = 1.25;
constexpr qint64 maxPeakMiB = 768;
constexpr double maxGrowth = 11.0;

QString procField(const QString& path, const QString& name)
{
    // Files of /proc report no size, so they are read whole, not by atEnd().
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (line.startsWith(name))
            return line.mid(line.indexOf(QLatin1Char(':')) + 1).trimmed();
    }
    return QString();
}

// QTextStream takes a char* as Latin-1.
QString times()
{
    return QString(QChar(0x00D7));
}

// 1000000 as "1 000 000".
QString grouped(qint64 value)
{
    QString digits = QString::number(value < 0 ? -value : value);
    for (int at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, QLatin1Char(' '));
    return value < 0 ? QLatin1Char('-') + digits : digits;
}

QString fixed(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

template <typename T>
QVector<T> collect(const SizeResult& size, T LoadRun::*member)
{
    QVector<T> values;
    for (const LoadRun& run : size.loads)
        values.append(run.*member);
    return values;
}

const SizeResult* findSize(const QVector<SizeResult>& sizes, qint64 messages)
{
    for (const SizeResult& size : sizes) {
        if (size.messages == messages)
            return &size;
    }
    return nullptr;
}

QString verdict(bool met)
{
    return met ? QStringLiteral("met") : QStringLiteral("**not met**");
}

} // namespace

MachineInfo describeMachine()
{
    MachineInfo machine;
    machine.cpu = procField(QStringLiteral("/proc/cpuinfo"), QStringLiteral("model name"));
    machine.cores = static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
    machine.memoryBytes = procField(QStringLiteral("/proc/meminfo"), QStringLiteral("MemTotal")).remove(QStringLiteral("kB")).trimmed().toLongLong() * 1024;
    struct utsname name;
    if (uname(&name) == 0)
        machine.kernel = QStringLiteral("%1 %2 (%3)").arg(QString::fromUtf8(name.sysname), QString::fromUtf8(name.release), QString::fromUtf8(name.machine));
#if defined(__clang__)
    machine.compiler = QStringLiteral("Clang ") + QStringLiteral(__clang_version__);
#elif defined(__GNUC__)
    machine.compiler = QStringLiteral("GCC ") + QStringLiteral(__VERSION__);
#endif
    machine.qt = QString::fromLatin1(qVersion());
    machine.sqlite = QString::fromLatin1(sqlite3_libversion());
    machine.buildType = QStringLiteral(MSGBENCH_BUILD_TYPE);
    return machine;
}

double floorMedian(const SizeResult& size)
{
    return median(size.floorSeconds);
}

double loadMedian(const SizeResult& size)
{
    return median(collect(size, &LoadRun::loadSeconds));
}

double floorCpuMedian(const SizeResult& size)
{
    return median(size.floorCpuSeconds);
}

double loadCpuMedian(const SizeResult& size)
{
    return median(collect(size, &LoadRun::loadCpuSeconds));
}

QString markdownReport(const QVector<SizeResult>& sizes, const MachineInfo& machine, int runs, BackupProfile profile)
{
    QString page;
    QTextStream out(&page);
    const bool whole = profile == BackupProfile::Default;
    const char* const h2 = whole ? "## " : "### ";
    const QString plot = whole ? QStringLiteral("performance.png") : QStringLiteral("performance-%1.png").arg(profileName(profile));
    if (!whole) {
        out << "## The " << profileName(profile) << " backups\n\n"
            << "Measured " << QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd")) << ", median of "
            << runs << " runs per size, on the machine above.\n\n";
    } else {
        out << "# Load performance\n\n"
            << "Reproduce (a Release build in `build-bench`, synthetic backups cached in `build-bench/bench-backups`, "
            << "then this page and its plots rewritten, every backup profile in turn):\n\n"
            << "    bench/run.sh\n\n"
            << "Measured " << QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd")) << ", median of " << runs
            << " runs per size; the floor and the load alternate in one process after one warm-up run of each.\n\n";

        out << "## Machine\n\n"
            << "| | |\n|---|---|\n"
            << "| CPU | " << machine.cpu << " |\n"
            << "| Cores | " << machine.cores << " |\n"
            << "| RAM | " << fixed(static_cast<double>(machine.memoryBytes) / (mebibyte * 1024.0), 1) << " GiB |\n"
            << "| Kernel | " << machine.kernel << " |\n"
            << "| Compiler | " << machine.compiler << " |\n"
            << "| Qt | " << machine.qt << " |\n"
            << "| SQLite | " << machine.sqlite << " |\n"
            << "| Build | " << machine.buildType << " |\n\n";
    }

    out << h2 << "Results\n\n"
        << "| Messages | Floor (s) | Load (s) | Load / floor | Floor CPU (s) | Load CPU (s) | Peak RSS during load (MiB) "
        << "| Retained heap (B/message) | Retained RSS (B/message) | Heap left after destruction (B) | Destruction (s) |\n"
        << "|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    for (const SizeResult& size : sizes) {
        const double floor = floorMedian(size);
        const double load = loadMedian(size);
        const double perMessage = static_cast<double>(qMax<qint64>(1, size.messages));
        out << "| " << grouped(size.messages) << " | " << fixed(floor, 3) << " | " << fixed(load, 3) << " | "
            << fixed(load / floor, 2) << " | " << fixed(floorCpuMedian(size), 3) << " | " << fixed(loadCpuMedian(size), 3)
            << " | " << fixed(static_cast<double>(median(collect(size, &LoadRun::peakRssBytes))) / mebibyte, 0)
            << " | " << fixed(static_cast<double>(median(collect(size, &LoadRun::retainedHeapBytes))) / perMessage, 0) << " | "
            << fixed(static_cast<double>(median(collect(size, &LoadRun::retainedRssBytes))) / perMessage, 0) << " | "
            << grouped(median(collect(size, &LoadRun::leftoverHeapBytes))) << " | "
            << fixed(median(collect(size, &LoadRun::destroySeconds)), 3) << " |\n";
    }
    out << '\n';
    bool peaksReset = true;
    for (const SizeResult& size : sizes) {
        for (const LoadRun& run : size.loads)
            peaksReset = peaksReset && run.peakReset;
    }
    if (!peaksReset)
        out << "The kernel refused to reset the peak RSS (`/proc/self/clear_refs`): the peaks above may be those "
            << "of earlier runs.\n\n";

    const SizeResult* small = findSize(sizes, 100000);
    const SizeResult* large = findSize(sizes, 1000000);
    if (large) {
        const QString x = times();
        const double ratio = loadMedian(*large) / floorMedian(*large);
        const qint64 peak = median(collect(*large, &LoadRun::peakRssBytes));
        const qint64 leftover = median(collect(*large, &LoadRun::leftoverHeapBytes));
        out << h2 << "Targets at 1 000 000 messages\n\n"
            << "| Target | Measured | |\n|---|---:|---|\n"
            << "| Load within " << fixed(maxRatio, 2) << ' ' << x << " the floor | " << fixed(ratio, 2) << ' ' << x
            << " | " << verdict(ratio <= maxRatio) << " |\n"
            << "| Peak RSS at most " << maxPeakMiB << " MiB | " << fixed(static_cast<double>(peak) / mebibyte, 0)
            << " MiB | " << verdict(peak <= maxPeakMiB * 1024LL * 1024) << " |\n"
            << "| No heap left after the service is destroyed | " << grouped(leftover) << " B | "
            << verdict(leftover <= allocatorNoise) << " |\n";
        if (small) {
            const double growth = loadMedian(*large) / loadMedian(*small);
            const double floorGrowth = floorMedian(*large) / floorMedian(*small);
            out << "| Load time from 100 000 to 1 000 000 messages at most " << x << ' ' << fixed(maxGrowth, 0)
                << " | " << x << ' ' << fixed(growth, 2) << " (floor " << x << ' ' << fixed(floorGrowth, 2) << ") | "
                << verdict(growth <= maxGrowth) << " |\n";
        }
        out << '\n';
    }

    out << "![Median load and floor time against the number of messages](" << plot << ")\n\n";

    out << h2 << "Every run (seconds)\n\n| Messages | Floor | Load |\n|---:|---|---|\n";
    for (const SizeResult& size : sizes) {
        QStringList floors;
        QStringList loads;
        for (const double seconds : size.floorSeconds)
            floors.append(fixed(seconds, 3));
        for (const LoadRun& run : size.loads)
            loads.append(fixed(run.loadSeconds, 3));
        out << "| " << grouped(size.messages) << " | " << floors.join(QStringLiteral(", ")) << " | "
            << loads.join(QStringLiteral(", ")) << " |\n";
    }
    out << '\n';

    const char* const shapes[] = {
        "texts of 1 to 160 words (some over 127 bytes, a few non-ASCII), an `attributedBody` archive for each text, "
        "about one attachment per ten messages with U+FFFC placeholders, 92 % of the attachment files on disk and a "
        "quarter of those with a preview image, chats of 1 to 10 participants, some conversations made of an SMS and "
        "an iMessage chat row, an address book naming most handles.",
        "texts of 60 to 80 characters, every message with an `attributedBody` archive, one one-to-one chat per "
        "hundred messages, one attachment row per ten messages whose file is not in the backup, no address book.",
        "texts of 5 to 144 characters, group chats of 3 to 12 members (one per 20 000 messages, at least 4), an "
        "attachment on every third message with its file and a preview on disk, an address book naming three handles "
        "in four whose rows are all in its WAL file.",
    };
    out << h2 << "Backups\n\n"
        << "Generated by `msgbench --profile " << profileName(profile) << "` from a fixed seed in the iOS 14 table shapes: "
        << shapes[static_cast<int>(profile)] << "\n\n"
        << "| Messages | Chat rows | Conversations | Shared identifiers | Handles | Participants | Named | Attachments "
        << "| Files on disk | Previews | Contacts |\n"
        << "|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    for (const SizeResult& size : sizes) {
        const BackupManifest& m = size.manifest;
        out << "| " << grouped(m.messages) << " | " << grouped(m.chatRows) << " | " << grouped(m.sessions) << " | "
            << grouped(m.sharedIdentifiers) << " | " << grouped(m.handles) << " | " << grouped(m.participants) << " | "
            << grouped(m.namedParticipants) << " | " << grouped(m.attachments) << " | " << grouped(m.attachmentsOnDisk)
            << " | " << grouped(m.previews) << " | " << grouped(m.contacts) << " |\n";
    }
    out << '\n';

    if (!whole) {
        out.flush();
        return page;
    }
    out << "## What is measured\n\n"
        << "- **Floor**: the statements of a load (the schema test, then count and row statement of the chat, handle, "
        << "message and attachment readers and of both address-book readers, each on a connection of its own opened "
        << "with `SqlUtils::openSqlite`), every row stepped and every column the readers read fetched "
        << "(`sqlite3_column_text`/`_blob` and `_bytes`), and one `opendir`/`readdir` pass over each attachment's "
        << "folder. Tuning how `SqlUtils` opens a connection speeds up both sides.\n"
        << "- **Load**: `MsgService::loadBackup` on a new service; the service is destroyed after each run "
        << "(destruction timed separately). Log lines go to /dev/null.\n"
        << "- **Peak RSS**: `VmHWM` of the process, reset (`/proc/self/clear_refs`) right before the load; it "
        << "includes the process's own baseline and pages of memory-mapped databases.\n"
        << "- **Retained**: heap in use (`mallinfo2`, `uordblks + hblkhd`) and RSS after the load minus before it, "
        << "per message; **heap left** is the heap in use after the service's destruction minus before the load "
        << "(glibc counts the blocks in its per-thread cache as in use, so a few kilobytes either way are noise).\n"
        << "- **CPU**: user and system time of the process during the floor or the load (`getrusage`), which other "
        << "processes on the machine disturb less than the wall-clock times the ratio is taken from.\n";
    out.flush();
    return page;
}

QString plotData(const QVector<SizeResult>& sizes)
{
    QString data = QStringLiteral("# messages floor_seconds load_seconds\n");
    for (const SizeResult& size : sizes)
        data += QStringLiteral("%1 %2 %3\n").arg(size.messages).arg(floorMedian(size), 0, 'f', 4).arg(loadMedian(size), 0, 'f', 4);
    return data;
}
