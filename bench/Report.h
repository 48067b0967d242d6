// The benchmark's results as a Markdown page and as data for the plot.
#pragma once

#include "Benchmark.h"

#include <QString>
#include <QVector>

struct MachineInfo
{
    QString cpu;
    int cores = 0;
    qint64 memoryBytes = 0;
    QString kernel;
    QString compiler;
    QString qt;
    QString sqlite;
    QString buildType;
};

MachineInfo describeMachine();

// Median seconds of the floor and of the load of one size.
double floorMedian(const SizeResult& size);
double loadMedian(const SizeResult& size);
// The same for the processor time (user and system) of the process.
double floorCpuMedian(const SizeResult& size);
double loadCpuMedian(const SizeResult& size);

// The whole page for the default profile; for another profile a section to
// follow it, without what the page says already.
QString markdownReport(const QVector<SizeResult>& sizes, const MachineInfo& machine, int runs,
                       BackupProfile profile = BackupProfile::Default);

// One line per size: messages, floor median, load median (seconds).
QString plotData(const QVector<SizeResult>& sizes);
