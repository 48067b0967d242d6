// One size of the benchmark: the floor and the library's load, alternating.
#pragma once

#include "BackupGenerator.h"
#include "Floor.h"

#include <QStringList>
#include <QVector>

#include <vector>

class MsgService;

// What a load yielded, counted from the sessions the host would see.
struct LoadCounts
{
    bool loaded = false;
    qint64 sessions = 0;
    qint64 messages = 0;
    qint64 participants = 0;
    qint64 namedParticipants = 0;
    qint64 attachmentPieces = 0;
};

LoadCounts countLoad(const MsgService& service, bool loaded);

// Differences between what the generator promised and what the floor and the
// load found; empty when they agree.
QStringList mismatches(const BackupManifest& manifest, const FloorCounts& floor, const LoadCounts& load);

struct LoadRun
{
    double loadSeconds = 0.0;
    double loadCpuSeconds = 0.0;
    double destroySeconds = 0.0;
    qint64 peakRssBytes = 0;     // VmHWM during the load, the process's baseline included
    bool peakReset = false;      // false: the kernel kept the older peak, which may be higher
    qint64 baseRssBytes = 0;     // RSS right before the load
    qint64 retainedHeapBytes = 0; // heap in use after the load minus before it
    qint64 retainedRssBytes = 0;
    qint64 leftoverHeapBytes = 0; // heap in use after the destruction minus before the load
    LoadCounts counts;
};

// One timed load of folder by a new MsgService, destroyed afterwards.
LoadRun measureLoad(const QString& folder, bool quiet);

struct SizeResult
{
    qint64 messages = 0;
    BackupManifest manifest;
    QVector<double> floorSeconds;
    QVector<double> floorCpuSeconds;
    std::vector<LoadRun> loads; // not QVector: GCC 12 misreads its append at -O3
    QStringList problems; // mismatches seen in any run
};

// A warm-up of each, then `runs` rounds of floor then load.
SizeResult benchmarkSize(const QString& folder, const BackupManifest& manifest, int runs, bool quiet);
