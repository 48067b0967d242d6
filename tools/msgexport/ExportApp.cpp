#include "ExportApp.h"

#include "AttachmentLinker.h"
#include "BackupBoundary.h"
#include "ConversationBuilder.h"
#include "ExportWriter.h"
#include "StderrCapture.h"
#include "TerminalProgress.h"

#include "MsgService.h"
#include "MsgSession.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <unistd.h>

ExportApp::ExportApp(const ExportOptions& options)
    : options(options)
{
}

int ExportApp::run()
{
    // Duplicates taken before standard error is redirected, so that progress
    // and msgexport's own messages still reach the user.
    TerminalProgress progress(STDERR_FILENO, !options.quiet && TerminalProgress::isTerminal(STDERR_FILENO));
    messages.open(::dup(STDERR_FILENO), QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle);

    // The library logs every missing attachment; that is detail for --verbose.
    StderrCapture capture;
    const int code = exportBackup(progress);
    const QByteArray log = capture.finish();
    if (options.verbose && !log.isEmpty())
        messages.write(log);
    if (code == DatabaseRefused && !options.verbose && !log.isEmpty())
        say(QStringLiteral("run with --verbose to see the message library's log"));
    return code;
}

int ExportApp::exportBackup(TerminalProgress& progress)
{
    const bool fromDevice = !options.deviceId.isEmpty();
    MsgService service(fromDevice ? options.deviceId : QStringLiteral("msgexport"), false);

    QString folder = options.backupFolder;
    if (fromDevice) {
        // The device's folder, as the library will load it.
        const QString databasePath = QDir::fromNativeSeparators(service.getBDPath());
        folder = databasePath.left(databasePath.size() - QStringLiteral("/SMS/sms.db").size());
    }
    if (!QFileInfo(folder).isDir()) {
        say(fromDevice ? QStringLiteral("no backup of device %1: %2 is not a folder").arg(options.deviceId, folder)
                       : QStringLiteral("backup folder not found: %1").arg(folder));
        return FolderNotFound;
    }
    const BackupBoundary boundary(folder);
    const QString databasePath = QDir(boundary.root()).filePath(QStringLiteral("SMS/sms.db"));
    if (!QFileInfo(databasePath).isFile()) {
        say(QStringLiteral("no message database in %1: SMS/sms.db is missing").arg(folder));
        return NoDatabase;
    }
    if (!options.outputFolder.isEmpty() && boundary.contains(options.outputFolder)) {
        say(QStringLiteral("refusing to write into the backup folder: %1").arg(options.outputFolder));
        return OutputFailed;
    }

    progress.startSpinner(QStringLiteral("Loading %1").arg(folder));
    const bool loaded = fromDevice ? service.loadSMSOnly() == 1 : service.loadBackup(boundary.root());
    progress.stopSpinner();
    if (!loaded)
        return refused(databasePath);

    ExportDocument document;
    document.generator = QStringLiteral("%1 %2").arg(QCoreApplication::applicationName(),
                                                     QCoreApplication::applicationVersion());
    document.backupFolder = boundary.root();
    const ConversationBuilder builder(boundary);
    for (unsigned int i = 0; i < service.msgSessionCount(); ++i) {
        if (const MsgSession* session = service.msgSession(i))
            document.conversations.append(builder.build(*session, document.conversations.size()));
    }

    QString error;
    if (!options.outputFolder.isEmpty()) {
        if (!QDir().mkpath(options.outputFolder)) {
            say(QStringLiteral("cannot create the output folder %1").arg(options.outputFolder));
            return OutputFailed;
        }
        if (options.copyAttachments) {
            AttachmentLinker linker(boundary, options.outputFolder);
            const bool copied = linker.copyAll(
                document, [&progress](int done, int total) { progress.bar(QStringLiteral("attachments"), done, total); },
                &error);
            progress.clear();
            if (!copied) {
                say(error);
                return OutputFailed;
            }
        }
    }

    QFile standardOutput;
    standardOutput.open(STDOUT_FILENO, QIODevice::WriteOnly, QFileDevice::DontCloseHandle);
    ExportTarget target;
    target.folder = options.outputFolder;
    target.stream = &standardOutput;
    target.progress = [&progress](int done, int total) { progress.bar(QStringLiteral("pages"), done, total); };
    const std::unique_ptr<ExportWriter> writer = ExportWriter::create(options.format);
    const bool written = writer && writer->write(document, target, &error);
    standardOutput.flush();
    progress.clear();
    if (!written) {
        say(error);
        return OutputFailed;
    }
    if (!options.quiet && !options.outputFolder.isEmpty()) {
        say(QStringLiteral("%1 conversations, %2 messages written to %3")
                .arg(document.conversations.size())
                .arg(document.messageCount())
                .arg(options.outputFolder));
    }
    return Done;
}

int ExportApp::refused(const QString& databasePath)
{
    QFile database(databasePath);
    const bool isSqlite = database.open(QIODevice::ReadOnly) && database.read(16) == QByteArray("SQLite format 3", 16);
    if (!isSqlite) {
        say(QStringLiteral("the message database was refused: %1 is not an SQLite database").arg(databasePath));
    } else {
        say(QStringLiteral("the message database was refused: %1 has no chat_message_join table (a schema older "
                           "than iOS 6) or cannot be read")
                .arg(databasePath));
    }
    return DatabaseRefused;
}

void ExportApp::say(const QString& message)
{
    messages.write(QStringLiteral("msgexport: %1\n").arg(message).toUtf8());
}
