#include "ExportApp.h"

#include "AttachmentLinker.h"
#include "BackupBoundary.h"
#include "BackupCatalog.h"
#include "BackupInspection.h"
#include "BackupListWriter.h"
#include "ConversationBuilder.h"
#include "ConversationSelection.h"
#include "ExportRecord.h"
#include "ExportWriter.h"
#include "IosDate.h"
#if defined(MSGEXPORT_WITH_MEDIA)
#include "MediaConverter.h"
#endif
#include "OutputFolder.h"
#include "OutputSink.h"
#include "StderrCapture.h"
#include "PasswordPrompt.h"
#include "TerminalProgress.h"
#include "VexoBackup.h"
#include "ViewGuard.h"

#include "MsgDetails.h"
#include "MsgService.h"
#include "MsgSession.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimeZone>

#include <csignal>
#include <system_error>
#include <thread>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#else
#include <poll.h>
#include <unistd.h>
#endif

namespace {

// Backups of iOS 5 to 9 list their files in Manifest.mbdb; a folder that
// iOS 10 wrote over keeps its Manifest.db, which the library reads first.
bool olderManifest(const QString& folder)
{
    return !QFileInfo::exists(QDir(folder).filePath(QStringLiteral("Manifest.db")))
        && QFileInfo::exists(QDir(folder).filePath(QStringLiteral("Manifest.mbdb")));
}

// The attachment files of a conversation that are in the backup.
void recordAttachments(ExportRecord& record, const ConversationView& view)
{
    for (const MessageView& message : view.messages) {
        for (const PieceView& piece : message.pieces) {
            if (piece.kind != PieceView::Kind::Attachment)
                continue;
            const AttachmentView& attachment = piece.attachment;
            if (attachment.fileState == BackupBoundary::FileState::Present)
                record.addRead(QStringLiteral("attachment"), attachment.filePath);
            if (attachment.hasOwnPreview() && attachment.previewState == BackupBoundary::FileState::Present)
                record.addRead(QStringLiteral("attachment preview"), attachment.previewPath);
        }
    }
}

} // namespace

#if !defined(_WIN32)
namespace {

// Whether standard output is a pipe or socket whose reader has gone: a write
// to it failed with EPIPE, SIGPIPE being ignored.
bool outputClosed()
{
    pollfd output{STDOUT_FILENO, 0, 0};
    return ::poll(&output, 1, 0) == 1 && (output.revents & (POLLERR | POLLHUP)) != 0;
}

} // namespace
#endif

ExportApp::ExportApp(const ExportOptions& options)
    : options(options)
{
}

ExportApp::~ExportApp() = default;

int ExportApp::run()
{
    // Duplicates taken before standard error is redirected, so that progress
    // and msgexport's own messages still reach the user.
#if defined(_WIN32)
    const int stderrFd = 2;
    const int messagesFd = ::_dup(stderrFd);
#else
    const int stderrFd = STDERR_FILENO;
    const int messagesFd = ::dup(stderrFd);
#endif
    TerminalProgress progress(stderrFd, !options.quiet && TerminalProgress::isTerminal(stderrFd));
    messages.open(messagesFd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle);

    // The library logs every missing attachment; that is detail for --verbose.
    StderrCapture capture;
    // Views and snapshots of runs that were killed before they could remove them.
    VexoBackup::removeAbandonedViews();
    int code = exportBackup(progress);
    // What the run made is removed on the way out: the view with this object,
    // the database snapshots when the process exits.
    if (ViewGuard::interruption() != 0) {
        progress.clear();
        code = ViewGuard::exitCode();
#if !defined(_WIN32)
        if (ViewGuard::interruption() != SIGPIPE) // the reader has gone, and so has the terminal, maybe
#endif
            say(QStringLiteral("interrupted"));
    }
    const QByteArray log = capture.finish();
    if (options.verbose && !log.isEmpty())
        messages.write(log);
    if (code == DatabaseRefused && !options.verbose && !log.isEmpty())
        say(QStringLiteral("run with --verbose to see the message library's log"));
    return code;
}

int ExportApp::exportBackup(TerminalProgress& progress)
{
    if (options.list)
        return listBackups();
    if (!options.verifyFolder.isEmpty())
        return verifyExport();
    const bool fromDevice = !options.deviceId.isEmpty();
    // The backup is looked at once; what it is, whether it is being written and
    // its keys are handed on from this look.
    BackupSummary device;
    if (fromDevice) {
        const int found = findDevice(&device);
        if (found != Done)
            return found;
    }
    const QString folder = fromDevice ? device.folder : options.backupFolder;
    if (!QFileInfo(folder).isDir()) {
        say(QStringLiteral("backup folder not found: %1").arg(folder));
        return FolderNotFound;
    }
    const BackupInspection inspection = fromDevice ? device.inspection : BackupInspection(folder);
    // A device folder laid out like Library where the backup service looks for
    // it loads through the service, as a host would load it.
    const bool throughService = fromDevice
        && QDir::cleanPath(QDir::fromNativeSeparators(VexoBackup::getDeviceBackupFolder(device.deviceId))) == folder;
    MsgService service(throughService ? device.deviceId : QStringLiteral("msgexport"), false);

    if (!options.outputFolder.isEmpty() && BackupBoundary(folder).contains(options.outputFolder)) {
        say(QStringLiteral("refusing to write into the backup folder: %1").arg(options.outputFolder));
        return OutputFailed;
    }
    QString library;
    QString linked;
    const int located = locate(inspection, progress, &library, &linked);
    if (located != Done)
        return located;
    const BackupBoundary boundary(library, linked);
    const QString databasePath = QDir(boundary.root()).filePath(QStringLiteral("SMS/sms.db"));
    if (!QFileInfo(databasePath).isFile()) {
        say(QStringLiteral("no message database in %1: SMS/sms.db is missing").arg(folder));
        return NoDatabase;
    }
    if (!options.outputFolder.isEmpty() && boundary.contains(options.outputFolder)) {
        say(QStringLiteral("refusing to write into the backup folder: %1").arg(options.outputFolder));
        return OutputFailed;
    }
    // From here on the run makes private copies of databases, which an
    // interruption must not leave behind.
    ViewGuard::watchInterruptions();
    if (ViewGuard::interruption() != 0)
        return ViewGuard::exitCode();
    progress.startSpinner(QStringLiteral("Loading %1").arg(folder));
    // Reactions, replies, edits and the like are read on a thread of their
    // own while the library loads on this one. Their reader does not map the
    // file, so it adds only its table to the load's memory.
    MsgDetails details(boundary.root());
    bool detailsLoaded = false;
    std::thread detailsReader;
    try {
        detailsReader = std::thread([&details, &detailsLoaded] { detailsLoaded = details.load(); });
    } catch (const std::system_error&) {
        detailsLoaded = details.load();
    }
    // A device whose folder is laid out like Library loads as the library finds it.
    const bool loaded =
        throughService && linked.isEmpty() ? service.loadSMSOnly() == 1 : service.loadBackup(boundary.root());
    if (detailsReader.joinable())
        detailsReader.join();
    progress.stopSpinner();
    // The load cannot be stopped halfway; an interruption meanwhile ends the run here.
    if (ViewGuard::interruption() != 0)
        return ViewGuard::exitCode();
    // A database the details reader could not read is refused, not taken for
    // one without messages.
    if (!loaded || !detailsLoaded)
        return refused(databasePath);

    if (!options.timeZone.isEmpty())
        IosDate::setTimeZone(QTimeZone(options.timeZone.toUtf8()));
    ConversationSelection selection(options.conversations, options.since, options.until, IosDate::timeZone());

    ExportDocument document;
    document.timeZone = QString::fromUtf8(IosDate::timeZone().id());
    document.exportedAt = QDateTime::currentDateTimeUtc();
    // From the look at the backup taken at the start: its Info.plist is not read again.
    document.deviceName = inspection.deviceName();
    document.iosVersion = inspection.productVersion();
    if (selection.choosesConversations() || selection.limitsDates())
        document.selection = selection.describe();
    document.generator = QStringLiteral("%1 %2").arg(QCoreApplication::applicationName(),
                                                     QCoreApplication::applicationVersion());
    document.backupFolder = linked.isEmpty() ? boundary.root() : QFileInfo(linked).canonicalFilePath();
    std::unique_ptr<ExportRecord> record;
    if (!options.outputFolder.isEmpty()) {
        record = std::make_unique<ExportRecord>(document.backupFolder, boundary.root());
        record->tool = document.generator;
        record->commandLine = QCoreApplication::arguments();
        record->timeZone = document.timeZone;
        record->selection = document.selection;
        record->addDatabases();
    }
    progress.startSpinner(QStringLiteral("Counting the messages of %1").arg(folder));
    ConversationBuilder builder(boundary, &details, options.skipDeleted);
    builder.setSelection(&selection);
    // Conversations are built while they are written, never all at once; only the
    // totals of the headers are counted up front. Each keeps its place in the
    // library's order as its number, whatever was chosen.
    std::vector<const MsgSession*> sessions;
    std::vector<int> places;
    int place = 0;
    for (unsigned int i = 0; i < service.msgSessionCount(); ++i) {
        if (ViewGuard::interruption() != 0)
            return ViewGuard::exitCode();
        if (const MsgSession* session = service.msgSession(i)) {
            // A conversation with no message in the chosen days is left out.
            const bool chosen = selection.matches(*session, place);
            const int count = chosen ? builder.messageCount(*session) : 0;
            if (chosen && (count > 0 || !selection.limitsDates())) {
                sessions.push_back(session);
                places.push_back(place);
                document.madeMessages += count;
            }
            ++place;
        }
    }
    progress.stopSpinner();
    for (const QString& missing : selection.unmatched())
        say(QStringLiteral("no conversation matches --conversation %1").arg(OutputSink::withoutControls(missing)));
    document.madeConversations = static_cast<int>(sessions.size());

    QString error;
    std::unique_ptr<OutputFolder> output;
    std::unique_ptr<AttachmentLinker> linker;
    if (!options.outputFolder.isEmpty()) {
        output = std::make_unique<OutputFolder>(options.outputFolder);
        if (!output->isOpen()) {
            say(output->errorString());
            return OutputFailed;
        }
        // Made just now, perhaps through a link: its real place is checked again.
        if (boundary.contains(output->path())) {
            say(QStringLiteral("refusing to write into the backup folder: %1").arg(options.outputFolder));
            return OutputFailed;
        }
        if (options.copyAttachments)
            linker = std::make_unique<AttachmentLinker>(boundary, *output);
    }
#if defined(MSGEXPORT_WITH_MEDIA)
    // The pages show media, the PDF its thumbnails, and the JSON lists it; text and CSV do neither.
    std::unique_ptr<MediaConverter> media;
    if (output && options.convertMedia
        && (options.format == QLatin1String("html") || options.format == QLatin1String("json")
            || options.format == QLatin1String("pdf"))) {
        media = std::make_unique<MediaConverter>(*output, MediaLimits());
        media->cancelled = [] { return ViewGuard::interruption() != 0; };
        media->progress = [&progress](int done, int total) { progress.bar(QStringLiteral("media"), done, total); };
    }
#endif
    // Made on a thread of their own while the one before is written.
    document.make = [&](int i, ConversationView* view, QString* why) {
        if (ViewGuard::interruption() != 0) {
            *why = QStringLiteral("interrupted");
            return false;
        }
        *view = builder.build(*sessions[static_cast<size_t>(i)], places[static_cast<size_t>(i)]);
        if (linker)
            linker->copy(*view);
#if defined(MSGEXPORT_WITH_MEDIA)
        if (media)
            media->convert(*view);
#endif
        if (record)
            recordAttachments(*record, *view);
        return true;
    };
    document.messagesOf = [&sessions](int i) { return sessions[static_cast<size_t>(i)]->messages.size(); };

    QFile standardOutput;
#if defined(_WIN32)
    // The exports are UTF-8 with "\n" line ends on every system; text mode
    // would make them "\r\n" on standard output only.
    ::_setmode(1, _O_BINARY);
    standardOutput.open(1, QIODevice::WriteOnly, QFileDevice::DontCloseHandle);
#else
    standardOutput.open(STDOUT_FILENO, QIODevice::WriteOnly, QFileDevice::DontCloseHandle);
#endif
    ExportTarget target;
    target.folder = output.get();
    target.stream = &standardOutput;
    target.progress = [&progress](int done, int total) { progress.bar(QStringLiteral("messages"), done, total); };
    WriterSettings settings;
    settings.excel = options.excel;
    settings.pageSize = options.pageSize;
    const std::unique_ptr<ExportWriter> writer = ExportWriter::create(options.format, settings);
    const bool written = writer && writer->write(document, target, &error);
    standardOutput.flush();
    progress.clear();
#if !defined(_WIN32)
    if (!written && !target.folder && outputClosed())
        ViewGuard::interrupt(SIGPIPE); // as the signal would have, but with everything removed
#endif
    if (ViewGuard::interruption() != 0)
        return ViewGuard::exitCode();
    if (linker && !linker->skipped().isEmpty()) {
        if (options.verbose) {
            for (const QString& skipped : linker->skipped())
                say(QStringLiteral("attachment not copied: %1").arg(OutputSink::withoutControls(skipped)));
        } else {
            say(QStringLiteral("%1 of the attachment files could not be copied; the export notes each one (run with --verbose "
                               "to list them)")
                    .arg(linker->skipped().size()));
        }
    }
    if (written && record && !record->write(*output, &error)) {
        say(error);
        return OutputFailed;
    }
    if (!written) {
        say(error);
        return OutputFailed;
    }
#if defined(MSGEXPORT_WITH_MEDIA)
    if (media && !options.quiet && media->converted() + media->reused() + media->failed() > 0) {
        say(QStringLiteral("media: %1 converted, %2 taken from earlier exports, %3 could not be converted")
                .arg(media->converted())
                .arg(media->reused())
                .arg(media->failed()));
    }
#endif
    if (!options.quiet && !options.outputFolder.isEmpty()) {
        say(QStringLiteral("%1 conversations, %2 messages written to %3")
                .arg(document.conversationCount())
                .arg(document.messageCount())
                .arg(options.outputFolder));
    }
    return Done;
}

QStringList ExportApp::backupRoots()
{
    // The platform's folders need not exist; one given by hand is meant to.
    for (const QString& root : qAsConst(options.backupRoots)) {
        if (!QFileInfo(root).isDir())
            say(QStringLiteral("--backup-root %1 is not a folder").arg(root));
    }
    return BackupCatalog::defaultRoots() + options.backupRoots;
}

int ExportApp::listBackups()
{
    const QStringList roots = backupRoots();
    const QVector<BackupSummary> backups = BackupCatalog::list(roots);
    QFile out;
#if defined(_WIN32)
    ::_setmode(1, _O_BINARY);
    out.open(1, QIODevice::WriteOnly, QFileDevice::DontCloseHandle);
#else
    out.open(STDOUT_FILENO, QIODevice::WriteOnly, QFileDevice::DontCloseHandle);
#endif
    const bool json = options.format == QLatin1String("json");
    if (json)
        out.write(BackupListWriter::json(roots, backups));
    else if (!backups.isEmpty())
        out.write(BackupListWriter::text(backups));
    out.flush();
    if (backups.isEmpty() && !options.quiet) {
        QStringList shown;
        for (const QString& root : roots)
            shown << QDir::toNativeSeparators(root);
        say(QStringLiteral("no backups in %1").arg(shown.join(QStringLiteral(", "))));
    }
    return Done;
}

int ExportApp::verifyExport()
{
    if (!QFileInfo(options.verifyFolder).isDir()) {
        say(QStringLiteral("export folder not found: %1").arg(options.verifyFolder));
        return FolderNotFound;
    }
    QFile out;
    out.open(stdout, QIODevice::WriteOnly, QFileDevice::DontCloseHandle);
    QString error;
    const int differences = ExportRecord::check(options.verifyFolder, out, &error);
    out.flush();
    if (differences < 0) {
        say(error);
        return VerifyDifference;
    }
    return differences == 0 ? Done : VerifyDifference;
}

int ExportApp::findDevice(BackupSummary* found)
{
    const QVector<BackupSummary> backups = BackupCatalog::list(backupRoots(), false);
    QVector<BackupSummary> matches;
    switch (BackupCatalog::find(options.deviceId, backups, &matches)) {
    case BackupCatalog::Found:
        *found = matches.first();
        if (!options.quiet && found->deviceId.compare(options.deviceId, Qt::CaseInsensitive) != 0)
            say(QStringLiteral("device %1: %2").arg(options.deviceId, BackupListWriter::brief(*found)));
        return Done;
    case BackupCatalog::NotFound:
        break;
    case BackupCatalog::Ambiguous:
        say(QStringLiteral("device %1 is ambiguous; it fits %2 devices:").arg(options.deviceId).arg(matches.size()));
        for (const BackupSummary& match : qAsConst(matches))
            messages.write(QStringLiteral("  %1\n").arg(BackupListWriter::brief(match)).toUtf8());
        say(QStringLiteral("give more of the identifier, or the whole of it"));
        return AmbiguousDevice;
    }
    QStringList roots;
    for (const QString& root : BackupCatalog::defaultRoots() + options.backupRoots)
        roots << QDir::toNativeSeparators(root);
    say(QStringLiteral("no backup of device %1 in %2%3")
            .arg(options.deviceId, roots.join(QStringLiteral(", ")),
                 backups.isEmpty() ? QString() : QStringLiteral("; msgexport --list shows the backups there")));
    return FolderNotFound;
}

int ExportApp::locate(const BackupInspection& backup, TerminalProgress& progress, QString* library, QString* linked)
{
    const QString folder = backup.folder();
    *library = folder;
    const VexoBackup::BackupKind kind = VexoBackup::backupKind(backup);
    if (kind == VexoBackup::HashedBackup || kind == VexoBackup::EncryptedBackup) {
        if (!options.quiet) {
            const bool encrypted = kind == VexoBackup::EncryptedBackup;
            say(olderManifest(folder)
                    ? QStringLiteral("%1 is a computer backup (iOS 5\u20139 manifest%2)")
                          .arg(folder, encrypted ? QStringLiteral(", encrypted") : QString())
                    : QStringLiteral("%1 is a computer backup%2").arg(folder, encrypted ? QStringLiteral(", encrypted")
                                                                                        : QString()));
        }
        *linked = folder;
        return openView(backup, progress, library);
    }
    if (kind == VexoBackup::NoBackup) {
        // A copy of the device's whole file system keeps Library deeper down.
        for (const QString& inside : {QStringLiteral("private/var/mobile/Library"), QStringLiteral("var/mobile/Library")}) {
            const QString candidate = QDir(folder).filePath(inside);
            if (VexoBackup::backupKind(candidate) == VexoBackup::LibraryFolder) {
                if (!options.quiet)
                    say(QStringLiteral("%1 is a file-system extraction; reading %2").arg(folder, inside));
                *library = candidate;
                break;
            }
        }
    }
    return Done;
}

int ExportApp::openView(const BackupInspection& backup, TerminalProgress& progress, QString* library)
{
    const QString folder = backup.folder();
    const bool encrypted = VexoBackup::backupKind(backup) == VexoBackup::EncryptedBackup;
    if (VexoBackup::isBackupInProgress(backup)) {
        say(QStringLiteral("the backup in %1 is still being written; try again once the computer has finished it")
                .arg(folder));
        return BackupInProgress;
    }
    QString password;
    if (encrypted) {
        if (!options.passwordFile.isEmpty()) {
            QString warning;
            const bool read = PasswordPrompt::fromFile(options.passwordFile, &password, &warning);
            if (!warning.isEmpty())
                say(warning);
            if (!read) {
                say(QStringLiteral("cannot read the password file %1").arg(options.passwordFile));
                return BadArguments;
            }
        } else if (!PasswordPrompt::canAsk()
                   || !PasswordPrompt::ask(messages, QStringLiteral("Password of the backup: "), &password)) {
            say(QStringLiteral("the backup in %1 is encrypted: give its password on a terminal or with "
                               "--password-file FILE")
                    .arg(folder));
            return PasswordNeeded;
        }
    }
    const bool keep = !options.keepView.isEmpty();
    const QString view = keep ? options.keepView : ViewGuard::temporaryFolder();
    if (view.isEmpty()) {
        say(QStringLiteral("cannot make a folder for the backup's view in the cache folder"));
        return OutputFailed;
    }
    viewGuard = std::make_unique<ViewGuard>(view, keep);
    if (ViewGuard::interruption() != 0)
        return ViewGuard::exitCode();
    progress.startSpinner(encrypted ? QStringLiteral("Decrypting %1").arg(folder)
                                    : QStringLiteral("Opening %1").arg(folder));
    const VexoBackup::ViewStatus status = VexoBackup::makeBackupView(backup, password, view);
    PasswordPrompt::wipe(&password);
    progress.stopSpinner();
    *library = view;
    if (ViewGuard::interruption() != 0)
        return ViewGuard::exitCode();
    switch (status) {
    case VexoBackup::ViewReady:
        viewGuard->viewBuilt();
        return Done;
    case VexoBackup::ViewCancelled: // not asked for by this run: an interruption is
        break;
    case VexoBackup::ViewBackupInProgress: // begun meanwhile
        say(QStringLiteral("the backup in %1 has begun to be written again").arg(folder));
        return BackupInProgress;
    case VexoBackup::ViewPasswordNeeded:
        say(QStringLiteral("the backup in %1 is encrypted and the password is empty").arg(folder));
        return PasswordNeeded;
    case VexoBackup::ViewWrongPassword:
        say(QStringLiteral("wrong password for the encrypted backup in %1").arg(folder));
        return WrongPassword;
    case VexoBackup::ViewUnknownKeyBag:
        say(QStringLiteral("the encrypted backup in %1 has a keybag of an unknown version").arg(folder));
        return UnknownKeyBag;
    case VexoBackup::ViewCorruptManifest:
        say(QStringLiteral("the backup in %1 is damaged: its %2 cannot be read")
                .arg(folder, olderManifest(folder) ? QStringLiteral("Manifest.mbdb") : QStringLiteral("Manifest.db")));
        return CorruptManifest;
    case VexoBackup::ViewPartialBackup:
        say(QStringLiteral("the backup in %1 is partial: the data file of the message database "
                           "(Library/SMS/sms.db) is missing")
                .arg(folder));
        return PartialBackup;
    case VexoBackup::ViewTruncatedFile:
        say(QStringLiteral("the backup in %1 is damaged: an encrypted database file is truncated").arg(folder));
        return TruncatedFile;
    case VexoBackup::ViewFolderUnusable:
        break;
    }
    say(QStringLiteral("cannot make the backup's view in %1: it must be a new or empty folder outside the backup")
            .arg(view));
    return OutputFailed;
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
