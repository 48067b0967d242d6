#include "ExportOptions.h"

#include "ExportWriter.h"

#include <QCommandLineParser>
#include <QCoreApplication>

ExportOptions::Outcome ExportOptions::parse(const QStringList& arguments, ExportOptions* options, QString* text)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Exports the text messages of an iPhone backup folder as text, JSON or HTML.\n"
        "\n"
        "The folder is laid out like the device's Library (SMS/sms.db), or is a\n"
        "computer backup (Manifest.db, files named by hash; encrypted or not), or a\n"
        "full file-system extraction (holding private/var/mobile/Library). It is\n"
        "read only; nothing is ever written into it. The password of an encrypted\n"
        "backup is asked on the terminal, or read from --password-file.\n"
        "Exit codes: 0 done, 1 bad arguments, 2 backup folder not found,\n"
        "3 no message database (SMS/sms.db), 4 message database refused,\n"
        "5 output (or the view of a computer backup) could not be written,\n"
        "6 wrong password, 7 unknown keybag version, 8 backup still being written,\n"
        "9 partial backup (the message database's data file is missing),\n"
        "10 corrupt Manifest.db, 11 truncated encrypted file, 12 no password given,\n"
        "13 --device fits the backups of several devices."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption deviceOption(
        QStringLiteral("device"),
        QStringLiteral("Load the newest backup of device <id> from the backup folders (see --list) instead of a "
                       "folder: its identifier, a unique prefix of it, or its name."),
        QStringLiteral("id"));
    const QCommandLineOption listOption(
        QStringLiteral("list"),
        QStringLiteral("List the backups in the backup folders, newest first, as text or (--format json) JSON."));
    const QCommandLineOption rootOption(
        QStringLiteral("backup-root"),
        QStringLiteral("Also look for backups (for --list and --device) in <dir>, e.g. the one of "
                       "\"idevicebackup2 backup --full <dir>\"; may be repeated."),
        QStringLiteral("dir"));
    const QCommandLineOption formatOption(
        QStringLiteral("format"),
        QStringLiteral("Output format: %1 (default: text).").arg(ExportWriter::formats().join(QStringLiteral(", "))),
        QStringLiteral("format"), QStringLiteral("text"));
    const QCommandLineOption outputOption(
        QStringLiteral("output"),
        QStringLiteral("Write into folder <dir> (required for html) instead of standard output."), QStringLiteral("dir"));
    const QCommandLineOption copyOption(
        QStringLiteral("copy-attachments"),
        QStringLiteral("Copy attachment and preview files into the output folder, so that it stands on its own."));
    const QCommandLineOption passwordOption(
        QStringLiteral("password-file"),
        QStringLiteral("Read the password of an encrypted backup from the first line of <file>."),
        QStringLiteral("file"));
    const QCommandLineOption keepViewOption(
        QStringLiteral("keep-view"),
        QStringLiteral("Build the view of a computer backup (for an encrypted one: its decrypted files) in <dir> "
                       "and keep it; by default it is removed when the export ends."),
        QStringLiteral("dir"));
    const QCommandLineOption skipDeletedOption(
        QStringLiteral("skip-deleted"),
        QStringLiteral("Leave out the messages in Recently Deleted; by default they are shown in place, marked."));
    const QCommandLineOption quietOption(QStringList{QStringLiteral("q"), QStringLiteral("quiet")},
                                         QStringLiteral("No progress and no summary."));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"),
                                           QStringLiteral("Also show the message library's log lines."));
    parser.addOptions({deviceOption, listOption, rootOption, formatOption, outputOption, copyOption, passwordOption, keepViewOption, quietOption,
                       verboseOption, skipDeletedOption});
    parser.addPositionalArgument(QStringLiteral("backup-folder"),
                                 QStringLiteral("The backup folder."),
                                 QStringLiteral("[backup-folder]"));

    if (!parser.parse(arguments)) {
        *text = parser.errorText();
        return Outcome::Error;
    }
    if (parser.isSet(helpOption)) {
        *text = parser.helpText();
        return Outcome::Help;
    }
    if (parser.isSet(versionOption)) {
        *text = QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                              QCoreApplication::applicationVersion());
        return Outcome::Version;
    }

    const QStringList positional = parser.positionalArguments();
    options->deviceId = parser.value(deviceOption);
    if (positional.size() > 1) {
        *text = QStringLiteral("Give one backup folder, not %1.").arg(positional.size());
        return Outcome::Error;
    }
    options->list = parser.isSet(listOption);
    options->backupRoots = parser.values(rootOption);
    options->format = parser.value(formatOption);
    if (options->list) {
        if (!positional.isEmpty() || !options->deviceId.isEmpty()) {
            *text = QStringLiteral("--list takes no backup folder and no --device.");
            return Outcome::Error;
        }
        if (options->format != QLatin1String("text") && options->format != QLatin1String("json")) {
            *text = QStringLiteral("--list writes text or json, not \"%1\".").arg(options->format);
            return Outcome::Error;
        }
        if (parser.isSet(outputOption)) {
            *text = QStringLiteral("--list writes to standard output; --output is for exports.");
            return Outcome::Error;
        }
        return Outcome::Run;
    }
    if (positional.isEmpty() == options->deviceId.isEmpty()) {
        *text = QStringLiteral("Give either a backup folder or --device <id>, or --list.");
        return Outcome::Error;
    }
    if (!positional.isEmpty() && !options->backupRoots.isEmpty()) {
        *text = QStringLiteral("--backup-root is for --device and --list, not for a backup folder.");
        return Outcome::Error;
    }
    options->backupFolder = positional.value(0);
    if (!ExportWriter::formats().contains(options->format)) {
        *text = QStringLiteral("Unknown format \"%1\"; use one of %2.")
                    .arg(options->format, ExportWriter::formats().join(QStringLiteral(", ")));
        return Outcome::Error;
    }
    options->outputFolder = parser.value(outputOption);
    options->copyAttachments = parser.isSet(copyOption);
    options->passwordFile = parser.value(passwordOption);
    options->keepView = parser.value(keepViewOption);
    options->quiet = parser.isSet(quietOption);
    options->skipDeleted = parser.isSet(skipDeletedOption);
    options->verbose = parser.isSet(verboseOption);
    if (options->format == QLatin1String("html") && options->outputFolder.isEmpty()) {
        *text = QStringLiteral("The html format writes a folder of pages: give --output <dir>.");
        return Outcome::Error;
    }
    if (options->copyAttachments && options->outputFolder.isEmpty()) {
        *text = QStringLiteral("--copy-attachments needs --output <dir>.");
        return Outcome::Error;
    }
    return Outcome::Run;
}
