#include "Benchmark.h"

#include "Measure.h"
#include "MsgContent.h"
#include "MsgIdentifier.h"
#include "MsgPiece.h"
#include "MsgService.h"
#include "MsgSession.h"

#include <cstdio>
#include <memory>

LoadCounts countLoad(const MsgService& service, bool loaded)
{
    LoadCounts counts;
    counts.loaded = loaded;
    counts.sessions = service.msgSessionCount();
    for (unsigned int i = 0; i < service.msgSessionCount(); ++i) {
        const MsgSession* session = service.msgSession(i);
        counts.messages += session->messages.size();
        counts.participants += session->participants.size();
        for (const MsgIdentifier* participant : session->participants) {
            if (!participant->contactName.isEmpty())
                ++counts.namedParticipants;
        }
        for (const MsgContent* message : session->messages) {
            for (const MsgPiece* piece : message->pieces) {
                if (!piece->filePath.isEmpty())
                    ++counts.attachmentPieces;
            }
        }
    }
    return counts;
}

QStringList mismatches(const BackupManifest& manifest, const FloorCounts& floor, const LoadCounts& load)
{
    QStringList problems;
    const auto expect = [&problems](const char* what, qint64 found, qint64 expected) {
        if (found != expected)
            problems.append(QStringLiteral("%1: %2, expected %3").arg(QLatin1String(what)).arg(found).arg(expected));
    };
    if (!floor.schemaFound)
        problems.append(QStringLiteral("floor: the schema test found no chat_message_join"));
    expect("floor chat rows", floor.chatRows, manifest.chatRows);
    expect("floor message rows", floor.messageRows, manifest.messages);
    expect("floor attachment rows", floor.attachmentRows, manifest.attachments);
    expect("floor attachment folders listed", floor.foldersListed, manifest.attachmentsOnDisk);
    expect("floor address-book persons", floor.personRows, manifest.contacts);
    if (!load.loaded)
        problems.append(QStringLiteral("load: loadBackup returned false"));
    expect("load sessions", load.sessions, manifest.sessions);
    expect("load messages", load.messages, manifest.messages);
    expect("load participants", load.participants, manifest.participants);
    expect("load participants with a contact name", load.namedParticipants, manifest.namedParticipants);
    // Every generated message has as many placeholders as attachments, or none.
    expect("load attachment pieces", load.attachmentPieces, manifest.attachments);
    return problems;
}

LoadRun measureLoad(const QString& folder, bool quiet)
{
    // Between the two heap readings nothing but the service allocates:
    // processMemory, countLoad and QuietStderr allocate nothing.
    LoadRun run;
    releaseFreeHeap();
    run.baseRssBytes = processMemory().rssBytes;
    run.peakReset = resetPeakMemory();
    const qint64 heapBefore = heapInUse();

    auto service = std::make_unique<MsgService>(QStringLiteral("bench"), false);
    bool loaded = false;
    {
        const QuietStderr silence(quiet);
        const double cpuStart = cpuSeconds();
        const qint64 start = nowNanoseconds();
        loaded = service->loadBackup(folder);
        run.loadSeconds = secondsSince(start);
        run.loadCpuSeconds = cpuSeconds() - cpuStart;
    }
    run.retainedHeapBytes = heapInUse() - heapBefore;
    const ProcessMemory after = processMemory();
    run.peakRssBytes = after.peakBytes;
    run.retainedRssBytes = after.rssBytes - run.baseRssBytes;
    run.counts = countLoad(*service, loaded);

    {
        const QuietStderr silence(quiet);
        const qint64 start = nowNanoseconds();
        service.reset();
        run.destroySeconds = secondsSince(start);
    }
    run.leftoverHeapBytes = heapInUse() - heapBefore;
    return run;
}

SizeResult benchmarkSize(const QString& folder, const BackupManifest& manifest, int runs, bool quiet)
{
    SizeResult result;
    result.messages = manifest.messages;
    result.manifest = manifest;
    const auto check = [&](const FloorCounts& floor, const LoadCounts& load) {
        for (const QString& problem : mismatches(manifest, floor, load)) {
            if (!result.problems.contains(problem))
                result.problems.append(problem);
        }
    };

    // Warm-up: page cache, the library's first-use statics, allocator arenas.
    check(runFloor(folder), measureLoad(folder, quiet).counts);
    for (int i = 0; i < runs; ++i) {
        const double cpuStart = cpuSeconds();
        const qint64 start = nowNanoseconds();
        const FloorCounts floor = runFloor(folder);
        result.floorSeconds.append(secondsSince(start));
        result.floorCpuSeconds.append(cpuSeconds() - cpuStart);
        const LoadRun load = measureLoad(folder, quiet);
        result.loads.push_back(load);
        check(floor, load.counts);
        std::printf("  run %d: floor %.3f s (cpu %.3f), load %.3f s (cpu %.3f), peak RSS %.1f MiB\n", i + 1,
                    result.floorSeconds.last(), result.floorCpuSeconds.last(), load.loadSeconds, load.loadCpuSeconds,
                    static_cast<double>(load.peakRssBytes) / (1024.0 * 1024.0));
        std::fflush(stdout);
    }
    return result;
}
