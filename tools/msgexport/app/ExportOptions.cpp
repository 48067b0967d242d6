#include "ExportOptions.h"

#include "ExportWriter.h"
#if defined(MSGEXPORT_WITH_MEDIA)
#include "MediaConverter.h"
#endif

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimeZone>

#include <utility>

ExportOptions::Outcome ExportOptions::parse(const QStringList& arguments, ExportOptions* options, QString* text)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Exports the text messages of an iPhone backup folder as text, JSON, HTML, CSV or PDF.\n"
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
        "13 --verify found a difference, 14 --device fits the backups of several devices."));
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
    const QCommandLineOption noConvertOption(
        QStringLiteral("no-convert"),
        QStringLiteral("Link pictures, voice messages and videos as they are, without making thumbnails and "
                       "browser-readable copies in media/ of the output folder."));
    const QCommandLineOption passwordOption(
        QStringLiteral("password-file"),
        QStringLiteral("Read the password of an encrypted backup from the first line of <file>."),
        QStringLiteral("file"));
    const QCommandLineOption keepViewOption(
        QStringLiteral("keep-view"),
        QStringLiteral("Build the view of a computer backup (for an encrypted one: its decrypted files) in <dir> "
                       "and keep it; by default it is removed when the export ends."),
        QStringLiteral("dir"));
    const QCommandLineOption conversationOption(
        QStringLiteral("conversation"),
        QStringLiteral("Export only the conversation named <which>: its name, a participant's name or address, or "
                       "its number (its index in an export of everything); may be repeated."),
        QStringLiteral("which"));
    const QCommandLineOption sinceOption(
        QStringLiteral("since"), QStringLiteral("Export only messages of <date> (YYYY-MM-DD) or later."),
        QStringLiteral("date"));
    const QCommandLineOption untilOption(
        QStringLiteral("until"), QStringLiteral("Export only messages of <date> (YYYY-MM-DD) or earlier."),
        QStringLiteral("date"));
    const QCommandLineOption zoneOption(
        QStringLiteral("timezone"),
        QStringLiteral("Show times, and read --since and --until, in time zone <zone> (an IANA name such as "
                       "Europe/Berlin; default: the system's)."),
        QStringLiteral("zone"));
    const QCommandLineOption excelOption(
        QStringLiteral("excel"),
        QStringLiteral("With --format csv: begin with a byte-order mark, so that a spreadsheet program reads UTF-8, "
                       "and mark text that it would run as a formula."));
    const QCommandLineOption pageSizeOption(
        QStringLiteral("page-size"),
        QStringLiteral("With --format pdf: a4 or letter (default: the one of the locale)."), QStringLiteral("size"));
    const QCommandLineOption verifyOption(
        QStringLiteral("verify"),
        QStringLiteral("Check the export in <dir> against its export-record.json, and the backup's files where the "
                       "backup is there; each difference is listed, and the exit code is 13 when there is one."),
        QStringLiteral("dir"));
    const QCommandLineOption skipDeletedOption(
        QStringLiteral("skip-deleted"),
        QStringLiteral("Leave out the messages in Recently Deleted; by default they are shown in place, marked."));
    const QCommandLineOption quietOption(QStringList{QStringLiteral("q"), QStringLiteral("quiet")},
                                         QStringLiteral("No progress and no summary."));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"),
                                           QStringLiteral("Also show the message library's log lines."));
    parser.addOptions({deviceOption, listOption, rootOption, formatOption, outputOption, copyOption, noConvertOption, passwordOption, keepViewOption,
                       conversationOption, sinceOption, untilOption, zoneOption, excelOption, pageSizeOption, verifyOption,
                       skipDeletedOption, quietOption,
                       verboseOption});
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
        *text = QStringLiteral("%1 %2%3\n")
                    .arg(QCoreApplication::applicationName(), QCoreApplication::applicationVersion(),
                         ExportWriter::pdfBuiltIn() ? QString() : QStringLiteral(" (PDF export not built in)"));
#if defined(MSGEXPORT_WITH_MEDIA)
        *text += QStringLiteral("converts pictures, voice messages and videos for html, json and pdf exports (%1)\n")
                     .arg(MediaConverter::libraries());
#else
        *text += QStringLiteral("built without conversion of pictures, voice messages and videos: pages link the "
                                "files as they are\n");
#endif
        return Outcome::Version;
    }

    const QStringList positional = parser.positionalArguments();
    options->deviceId = parser.value(deviceOption);
    if (positional.size() > 1) {
        *text = QStringLiteral("Give one backup folder, not %1.").arg(positional.size());
        return Outcome::Error;
    }
    options->verifyFolder = parser.value(verifyOption);
    if (parser.isSet(verifyOption)) {
        if (!positional.isEmpty() || !options->deviceId.isEmpty() || parser.isSet(listOption)) {
            *text = QStringLiteral("--verify takes the export's folder only.");
            return Outcome::Error;
        }
        options->quiet = parser.isSet(quietOption);
        return Outcome::Run;
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
    if (options->format == QLatin1String("pdf") && !ExportWriter::pdfBuiltIn()) {
        *text = QStringLiteral("This msgexport was built without PDF export; use html, text, json or csv.");
        return Outcome::Error;
    }
    if (!ExportWriter::formats().contains(options->format)) {
        *text = QStringLiteral("Unknown format \"%1\"; use one of %2.")
                    .arg(options->format, ExportWriter::formats().join(QStringLiteral(", ")));
        return Outcome::Error;
    }
    options->outputFolder = parser.value(outputOption);
    options->copyAttachments = parser.isSet(copyOption);
    options->convertMedia = !parser.isSet(noConvertOption);
    options->passwordFile = parser.value(passwordOption);
    options->keepView = parser.value(keepViewOption);
    options->conversations = parser.values(conversationOption);
    for (const QString& which : qAsConst(options->conversations)) {
        if (which.trimmed().isEmpty()) {
            *text = QStringLiteral("--conversation needs a name, an address or a number.");
            return Outcome::Error;
        }
    }
    for (const auto& bound : {std::make_pair(&sinceOption, &options->since), std::make_pair(&untilOption, &options->until)}) {
        if (!parser.isSet(*bound.first))
            continue;
        *bound.second = QDate::fromString(parser.value(*bound.first), Qt::ISODate);
        if (!bound.second->isValid()) {
            *text = QStringLiteral("--%1 takes a date as YYYY-MM-DD, not \"%2\".")
                        .arg(bound.first->names().first(), parser.value(*bound.first));
            return Outcome::Error;
        }
    }
    if (options->since.isValid() && options->until.isValid() && options->since > options->until) {
        *text = QStringLiteral("--since is after --until.");
        return Outcome::Error;
    }
    options->timeZone = parser.value(zoneOption);
    if (parser.isSet(zoneOption) && !QTimeZone(options->timeZone.toUtf8()).isValid()) {
        *text = QStringLiteral("Unknown time zone \"%1\"; give an IANA name such as Europe/Berlin.").arg(options->timeZone);
        return Outcome::Error;
    }
    options->excel = parser.isSet(excelOption);
    if (options->excel && options->format != QLatin1String("csv")) {
        *text = QStringLiteral("--excel is for --format csv.");
        return Outcome::Error;
    }
    options->quiet = parser.isSet(quietOption);
    options->skipDeleted = parser.isSet(skipDeletedOption);
    options->verbose = parser.isSet(verboseOption);
    options->pageSize = parser.value(pageSizeOption).toLower();
    if (parser.isSet(pageSizeOption)
        && (options->format != QLatin1String("pdf")
            || (options->pageSize != QLatin1String("a4") && options->pageSize != QLatin1String("letter")))) {
        *text = QStringLiteral("--page-size is a4 or letter, with --format pdf.");
        return Outcome::Error;
    }
    if (options->format == QLatin1String("html") && options->outputFolder.isEmpty()) {
        *text = QStringLiteral("The html format writes a folder of pages: give --output <dir>.");
        return Outcome::Error;
    }
    if (options->format == QLatin1String("pdf") && options->outputFolder.isEmpty()) {
        *text = QStringLiteral("The pdf format writes a folder of files: give --output <dir>.");
        return Outcome::Error;
    }
    if (options->copyAttachments && options->outputFolder.isEmpty()) {
        *text = QStringLiteral("--copy-attachments needs --output <dir>.");
        return Outcome::Error;
    }
    return Outcome::Run;
}
