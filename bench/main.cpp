// msgbench: the load benchmark. Generates synthetic backups, then times the
// floor and MsgService::loadBackup on each, alternating, and reports.
#include "BackupGenerator.h"
#include "Benchmark.h"
#include "Measure.h"
#include "ModelDump.h"
#include "MsgService.h"
#include "Report.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <memory>

namespace {

bool writeText(const QString& path, const QString& text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text.toUtf8()) >= 0;
}

int fail(const QString& message)
{
    std::fprintf(stderr, "msgbench: %s\n", qPrintable(message));
    return 1;
}

// The canonical text of a load of folder.
QByteArray loadedModel(const QString& folder)
{
    MsgService service(QStringLiteral("bench"), false);
    const bool loaded = service.loadBackup(folder);
    return "loaded=" + QByteArray(loaded ? "1" : "0") + '\n' + dumpModel(service);
}

int dump(const QString& folder)
{
    const QByteArray text = loadedModel(folder);
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
    return text.startsWith("loaded=1") ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Times MsgService::loadBackup against the floor of its statements."));
    parser.addHelpOption();
    const QCommandLineOption sizesOption(QStringLiteral("sizes"), QStringLiteral("Message counts, comma-separated."),
                                         QStringLiteral("list"), QStringLiteral("10000,100000,1000000"));
    const QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Timed runs per size (default 5)."),
                                        QStringLiteral("n"), QStringLiteral("5"));
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("Seed of the generated backups."),
                                        QStringLiteral("n"), QString::number(BackupPlan().seed));
    const QCommandLineOption cacheOption(QStringLiteral("cache"), QStringLiteral("Folder of the generated backups."),
                                         QStringLiteral("dir"), QDir::tempPath() + QStringLiteral("/msgbench"));
    const QCommandLineOption markdownOption(QStringLiteral("markdown"), QStringLiteral("Write the report to this file."),
                                            QStringLiteral("file"));
    const QCommandLineOption dataOption(QStringLiteral("data"), QStringLiteral("Write the plot's data to this file."),
                                        QStringLiteral("file"));
    const QCommandLineOption smokeOption(QStringLiteral("smoke"),
                                         QStringLiteral("10 000 messages, one run each, check the results only."));
    const QCommandLineOption generateOption(QStringLiteral("generate-only"), QStringLiteral("Generate the backups and stop."));
    const QCommandLineOption dumpOption(QStringLiteral("dump"), QStringLiteral("Print everything a load of folder yields."),
                                        QStringLiteral("folder"));
    const QCommandLineOption profileOption(QStringLiteral("load-once"),
                                           QStringLiteral("Load folder once and stop: a target for profilers."),
                                           QStringLiteral("folder"));
    const QCommandLineOption shapeOption(QStringLiteral("profile"),
                                         QStringLiteral("Shape of the generated backups: default, short or media."),
                                         QStringLiteral("name"), profileName(BackupProfile::Default));
    const QCommandLineOption logOption(QStringLiteral("log"), QStringLiteral("Keep the library's log lines on stderr."));
    parser.addOptions({sizesOption, runsOption, seedOption, cacheOption, markdownOption, dataOption, smokeOption,
                       generateOption, dumpOption, profileOption, shapeOption, logOption});
    parser.process(app);

    if (parser.isSet(dumpOption))
        return dump(parser.value(dumpOption));
    if (parser.isSet(profileOption)) {
        const LoadRun run = measureLoad(parser.value(profileOption), !parser.isSet(logOption));
        std::printf("load %.3f s (cpu %.3f s), %lld messages\n", run.loadSeconds, run.loadCpuSeconds,
                    static_cast<long long>(run.counts.messages));
        return run.counts.loaded ? 0 : 1;
    }

    const bool smoke = parser.isSet(smokeOption);
    QVector<qint64> sizes;
    for (const QString& item : parser.value(sizesOption).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const qint64 size = item.trimmed().toLongLong(&ok);
        if (!ok || size < 1)
            return fail(QStringLiteral("not a message count: %1").arg(item));
        sizes.append(size);
    }
    bool ok = false;
    const int runs = smoke ? 1 : parser.value(runsOption).toInt(&ok);
    if (!smoke && (!ok || runs < 1))
        return fail(QStringLiteral("--runs needs a positive number"));
    const quint64 seed = parser.value(seedOption).toULongLong(&ok);
    if (!ok)
        return fail(QStringLiteral("--seed needs a number"));
    BackupProfile profile = BackupProfile::Default;
    if (!parseProfile(parser.value(shapeOption), &profile))
        return fail(QStringLiteral("no such profile: %1").arg(parser.value(shapeOption)));
    if (smoke)
        sizes = {10000};

    QVector<SizeResult> results;
    for (const qint64 messages : qAsConst(sizes)) {
        BackupPlan plan;
        plan.messages = messages;
        plan.seed = seed;
        plan.profile = profile;
        std::printf("%lld messages (%s): backup", static_cast<long long>(messages), qPrintable(profileName(profile)));
        std::fflush(stdout);
        const qint64 start = nowNanoseconds();
        BackupManifest manifest;
        QString error;
        const QString folder = ensureBackup(parser.value(cacheOption), plan, &manifest, &error);
        if (folder.isEmpty())
            return fail(error);
        std::printf(" ready in %.1f s (%s)\n", secondsSince(start), qPrintable(folder));
        if (parser.isSet(generateOption))
            continue;

        results.append(benchmarkSize(folder, manifest, runs, !parser.isSet(logOption)));
        const SizeResult& result = results.last();
        std::printf("  median: floor %.3f s, load %.3f s, load/floor %.2f (cpu: floor %.3f s, load %.3f s, %.2f)\n",
                    floorMedian(result), loadMedian(result), loadMedian(result) / floorMedian(result),
                    floorCpuMedian(result), loadCpuMedian(result), loadCpuMedian(result) / floorCpuMedian(result));
        if (!result.problems.isEmpty()) {
            for (const QString& problem : result.problems)
                std::fprintf(stderr, "msgbench: %s\n", qPrintable(problem));
            return fail(QStringLiteral("the load of %1 messages does not match the backup").arg(messages));
        }
        // The attachment lookup's direct way (a clean folder) and its QDir way
        // (a trailing slash) must build the same model.
        bool lookupsAgree = true;
        if (smoke) {
            const QuietStderr silence(!parser.isSet(logOption));
            lookupsAgree = loadedModel(folder) == loadedModel(folder + QLatin1Char('/'));
        }
        if (!lookupsAgree)
            return fail(QStringLiteral("the direct and the QDir attachment lookups disagree"));
    }

    if (parser.isSet(markdownOption) && !writeText(parser.value(markdownOption), markdownReport(results, describeMachine(), runs, profile)))
        return fail(QStringLiteral("cannot write %1").arg(parser.value(markdownOption)));
    if (parser.isSet(dataOption) && !writeText(parser.value(dataOption), plotData(results)))
        return fail(QStringLiteral("cannot write %1").arg(parser.value(dataOption)));
    if (smoke)
        std::printf("smoke: the load matches the generated backup\n");
    return 0;
}
