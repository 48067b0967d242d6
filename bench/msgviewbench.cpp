// msgviewbench: what opening a computer backup costs before the load. Writes
// a hashed and two encrypted computer backups of a generated backup (one with
// the phone's key-derivation rounds, one with a single round, so that the
// decryption shows apart from the derivation), then times building the view
// of each, and the reuse of a current plain view.
#include "BackupGenerator.h"
#include "ComputerBackupWriter.h"
#include "Measure.h"
#include "VexoBackup.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

int fail(const QString& message)
{
    std::fprintf(stderr, "msgviewbench: %s\n", qPrintable(message));
    return 1;
}

struct Files
{
    qint64 count = 0;
    qint64 bytes = 0;
};

// The regular files a view holds, links followed.
Files filesBelow(const QString& folder)
{
    Files files;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++files.count;
        files.bytes += it.fileInfo().size();
    }
    return files;
}

// Writes the backup once; a stamp written last marks a complete one.
bool ensureComputerBackup(const QString& source, const QString& target, const ComputerBackupWriter& writer,
                          QString* error)
{
    const QString stamp = target + QStringLiteral(".complete");
    if (QFile::exists(stamp))
        return true;
    QDir(target).removeRecursively();
    QFile done(stamp);
    return writer.write(source, target, error) && done.open(QIODevice::WriteOnly);
}

struct Form
{
    const char* name;
    QString folder;
    QString password;
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Times building the view of a computer backup."));
    parser.addHelpOption();
    const QCommandLineOption messagesOption(QStringLiteral("messages"), QStringLiteral("Messages of the backup."),
                                            QStringLiteral("n"), QStringLiteral("100000"));
    const QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Timed runs of each form (default 5)."),
                                        QStringLiteral("n"), QStringLiteral("5"));
    const QCommandLineOption cacheOption(QStringLiteral("cache"), QStringLiteral("Folder of the generated backups."),
                                         QStringLiteral("dir"), QDir::tempPath() + QStringLiteral("/msgbench"));
    parser.addOptions({messagesOption, runsOption, cacheOption});
    parser.process(app);

    bool ok = false;
    BackupPlan plan;
    plan.messages = parser.value(messagesOption).toLongLong(&ok);
    if (!ok || plan.messages < 1)
        return fail(QStringLiteral("--messages needs a positive number"));
    const int runs = parser.value(runsOption).toInt(&ok);
    if (!ok || runs < 1)
        return fail(QStringLiteral("--runs needs a positive number"));

    const QString cache = parser.value(cacheOption);
    BackupManifest manifest;
    QString error;
    const QString library = ensureBackup(cache, plan, &manifest, &error);
    if (library.isEmpty())
        return fail(error);
    const QString password = QStringLiteral("bench password");
    ComputerBackupWriter hashed;
    ComputerBackupWriter encrypted;
    encrypted.password = password;
    ComputerBackupWriter phone = encrypted;
    phone.passwordIterations = 10000000;
    phone.iterations = 10000;
    const QList<Form> forms = {
        {"hashed", library + QStringLiteral("-hashed"), {}},
        {"encrypted, 1 round", library + QStringLiteral("-encrypted"), password},
        {"encrypted, the phone's rounds", library + QStringLiteral("-encrypted-phone"), password},
    };
    const ComputerBackupWriter* writers[] = {&hashed, &encrypted, &phone};
    for (int i = 0; i < forms.size(); ++i) {
        if (!ensureComputerBackup(library, forms[i].folder, *writers[i], &error))
            return fail(error);
    }

    QTemporaryDir scratch;
    if (!scratch.isValid())
        return fail(QStringLiteral("no temporary folder"));
    std::printf("%lld messages, %d runs each, medians\n\n", static_cast<long long>(plan.messages), runs);
    std::printf("| Backup | View (s) | CPU (s) | Files | MiB | MiB/s |\n|---|---:|---:|---:|---:|---:|\n");
    for (const Form& form : forms) {
        QVector<double> wall;
        QVector<double> cpu;
        Files files;
        for (int run = 0; run < runs; ++run) {
            const QString view = scratch.filePath(QStringLiteral("view"));
            const qint64 start = nowNanoseconds();
            const double cpuStart = cpuSeconds();
            const VexoBackup::ViewStatus status = VexoBackup::makeBackupView(form.folder, form.password, view);
            wall.append(secondsSince(start));
            cpu.append(cpuSeconds() - cpuStart);
            if (status != VexoBackup::ViewReady)
                return fail(QStringLiteral("no view of %1 (status %2)").arg(form.folder).arg(status));
            files = filesBelow(view);
            if (!VexoBackup::removeBackupView(view))
                return fail(QStringLiteral("cannot remove %1").arg(view));
        }
        const double mib = files.bytes / 1048576.0;
        std::printf("| %s | %.3f | %.3f | %lld | %.1f | %.0f |\n", form.name, median(wall), median(cpu),
                    static_cast<long long>(files.count), mib, mib / median(wall));
    }

    // A plain view whose backup has not changed is kept: what a second open costs.
    const QString view = scratch.filePath(QStringLiteral("kept"));
    if (VexoBackup::makeBackupView(forms[0].folder, {}, view) != VexoBackup::ViewReady)
        return fail(QStringLiteral("no view of %1").arg(forms[0].folder));
    QVector<double> reuse;
    for (int run = 0; run < runs; ++run) {
        const qint64 start = nowNanoseconds();
        if (VexoBackup::makeBackupView(forms[0].folder, {}, view) != VexoBackup::ViewReady)
            return fail(QStringLiteral("the kept view was not reused"));
        reuse.append(secondsSince(start));
    }
    std::printf("| hashed, view kept | %.4f | | | | |\n", median(reuse));
    return 0;
}
