// MsgDbLoader::buildPieces and the attachment resolution behind it: a message
// cut into text pieces and attachment pieces whose files lie in the backup.
#include "service/MsgDbLoader.h"

#include "MsgContent.h"
#include "MsgPiece.h"
#include "assembly/AttachmentFolders.h"
#include "assembly/PreviewFinder.h"
#include "imports/Log.h"
#include "readers/AttachmentInfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <memory>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>
#endif

namespace {

// U+FFFC OBJECT REPLACEMENT CHARACTER marks where an attachment stands.
const QString& placeholder()
{
    static const QString marker = QString::fromUtf8("\xEF\xBF\xBC");
    return marker;
}

// A text as a piece's UTF-8 data. toUtf8 keeps room for three bytes per
// character; a load keeps every piece, so the room is given back (realloc
// shrinks the block in place). Null and empty data stay as toUtf8 made them:
// squeezing them would allocate.
QByteArray utf8(const QString& text)
{
    QByteArray data = text.toUtf8();
    if (!data.isEmpty())
        data.squeeze();
    return data;
}

void appendPiece(MsgContent* message, std::unique_ptr<MsgPiece> piece)
{
    message->pieces.append(piece.get());
    piece.release(); // the message owns it now
}

// Whether a path, taken relative to the backup folder, stays inside it. An
// absolute path, a drive letter, a network name ("\\\\host\\share",
// "//host"), a Qt resource (":/") or a ".." component leads elsewhere, and so
// does a backslash on Windows, where it separates folders.
bool staysInsideBackup(const QString& path)
{
    if (path.startsWith(QLatin1Char('/')) || path.startsWith(QLatin1Char('\\')) || path.startsWith(QLatin1Char(':'))
        || (path.size() >= 2 && path.at(1) == QLatin1Char(':') && path.at(0).unicode() < 128 && path.at(0).isLetter()))
        return false;
#if defined(Q_OS_WIN)
    if (path.contains(QLatin1Char('\\')) || path.contains(QLatin1Char(':')))
        return false;
#endif
    for (const QStringRef& segment : path.splitRef(QLatin1Char('/'))) {
        if (segment == QLatin1String(".."))
            return false;
    }
    return true;
}

// Where an attachment's file and preview were looked for, and what was found.
struct Resolution
{
    QDir dir;         // the attachment's folder, or the backup folder when it is missing
    bool exists = false;
    QString preview;  // the first preview file in dir, or empty
};

#if defined(Q_OS_UNIX)
// A relative path without empty, "." or ".." segments: QDir joins it to a
// clean folder as it stands, and the system resolves it the same way.
bool plainRelativePath(const QString& path)
{
    if (path.isEmpty() || path.startsWith(QLatin1Char('/')) || path.startsWith(QLatin1Char(':')))
        return false;
    for (const QStringRef& segment : path.splitRef(QLatin1Char('/'))) {
        if (segment.isEmpty() || segment == QLatin1String(".") || segment == QLatin1String(".."))
            return false;
    }
    return true;
}

// The attachment's folder opened once, instead of QDir::exists on the file,
// QDir::cd into the folder and a listing by PreviewFinder::firstMatch, which
// walk the same long path three times. An opened folder is one that cd would
// enter, and the file exists in it exactly when fstatat finds it there. Only
// for a clean absolute backup folder and a plain path; false otherwise, or
// when the folder does not open, leaving the work to the general way. A
// folder below one that an earlier attachment found missing is answered as
// the general way answers it (no file, the backup folder's preview), without
// asking the system again; folders tells which.
bool resolveDirectly(const QString& backupFolder, const QString& path, const QString& fileName,
                     const QString& pattern, AttachmentFolders* folders, Resolution* resolution)
{
    if (!plainRelativePath(path) || !path.contains(QLatin1Char('/')) || !backupFolder.startsWith(QLatin1Char('/'))
        || QDir::cleanPath(backupFolder) != backupFolder)
        return false;
    const QString root = backupFolder.size() == 1 ? QString() : backupFolder;
    const QString folder = root + QLatin1Char('/') + path.left(path.size() - fileName.size() - 1);
    if (folders && folders->knownMissing(folder)) {
        resolution->exists = false;
        resolution->preview = folders->backupFolderMatch(pattern);
        resolution->dir = QDir(backupFolder);
        return true;
    }
    // A folder shared by many attachments is listed once.
    QStringList names;
    if (folders && folders->listing(folder, &names)) {
        struct stat info;
        resolution->exists = stat(QFile::encodeName(folder + QLatin1Char('/') + fileName).constData(), &info) == 0;
        resolution->preview = PreviewFinder::firstMatch(names, pattern);
        resolution->dir = QDir(folder);
        return true;
    }
    const QByteArray encoded = QFile::encodeName(folder);
    DIR* listing = opendir(encoded.constData());
    if (!listing) {
        if (folders && errno == ENOENT)
            folders->markMissing(folder);
        return false;
    }
    struct stat info;
    resolution->exists = fstatat(dirfd(listing), QFile::encodeName(fileName).constData(), &info, 0) == 0;
    resolution->preview = PreviewFinder::firstMatch(listing, pattern);
    closedir(listing);
    resolution->dir = QDir(folder);
    return true;
}
#endif

// What QDir::exists, QDir::cd and PreviewFinder::firstMatch say.
void resolveThroughQt(const QString& backupFolder, const QString& path, const QString& fileName,
                      const QString& pattern, Resolution* resolution)
{
    resolution->dir = QDir(backupFolder);
    resolution->exists = !path.isEmpty() && resolution->dir.exists(path);
    // A folder missing from the backup leaves the paths under the backup
    // folder itself.
    const QString folderPart = path.left(path.size() - fileName.size());
    if (!folderPart.isEmpty())
        resolution->dir.cd(folderPart);
    resolution->preview = PreviewFinder::firstMatch(resolution->dir.absolutePath(), pattern);
}

} // namespace

void MsgDbLoader::buildPieces(MsgContent* message, const QString& text, const QList<AttachmentInfo*>& attachments)
{
    if (!text.contains(placeholder())) {
        if (attachments.isEmpty()) {
            addTextPiece(message, text);
        } else {
            // Attachments without placeholders: the text is not shown.
            for (const AttachmentInfo* attachment : attachments)
                addAttachmentPiece(message, attachment);
        }
        return;
    }

    // Text and attachments alternate in the order of the text. A placeholder
    // without a record, or a record without a placeholder, yields nothing.
    const QStringList parts = text.split(placeholder(), Qt::KeepEmptyParts);
    for (int i = 0; i < parts.size(); ++i) {
        const QString part = parts.at(i).trimmed();
        if (!part.isEmpty()) {
            auto piece = std::make_unique<MsgPiece>();
            piece->mimeType = QStringLiteral("text/plain");
            piece->data = utf8(part);
            appendPiece(message, std::move(piece));
        }
        if (i < parts.size() - 1 && i < attachments.size())
            addAttachmentPiece(message, attachments.at(i));
    }
}

void MsgDbLoader::addTextPiece(MsgContent* message, const QString& text)
{
    // Most messages are this one piece: a list of exactly one takes a 32-byte
    // block where growing from empty takes 48.
    if (message->pieces.isEmpty())
        message->pieces.reserve(1);
    auto piece = std::make_unique<MsgPiece>();
    piece->mimeType = QStringLiteral("text/plain");
    piece->data = utf8(text);
    appendPiece(message, std::move(piece));
}

void MsgDbLoader::addAttachmentPiece(MsgContent* message, const AttachmentInfo* attachment)
{
    // The device's path, made relative to the backup, whose layout mirrors
    // the device's Library folder. Newer devices store "~/Library/...",
    // older ones "/var/mobile/Library/...".
    QString path = attachment->filename;
    static const QString homePrefix = QStringLiteral("~/Library/");
    static const QString mobilePrefix = QStringLiteral("/var/mobile/Library/");
    if (path.startsWith(homePrefix))
        path = path.mid(homePrefix.size());
    if (path.startsWith(mobilePrefix))
        path = path.mid(mobilePrefix.size());

    const bool inside = staysInsideBackup(path);
    int slash = path.lastIndexOf(QLatin1Char('/'));
#if defined(Q_OS_WIN)
    if (!inside) // the name follows the last separator of either kind, or the drive
        slash = qMax(slash, qMax(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char(':'))));
#endif
    QString fileName = path.mid(slash + 1);
    if (fileName == QLatin1String(".."))
        fileName.clear(); // the paths name the backup folder itself, not its parent
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString baseName = dot >= 0 ? fileName.left(dot) : fileName;

    // Older backups keep a preview beside the file: "-preview-right" for
    // sent messages, "-preview-left" for received ones.
    const QString pattern = message->isFromMe != 0 ? QStringLiteral("%1*preview*r*").arg(baseName, 0)
                                                   : QStringLiteral("%1*preview*l*").arg(baseName, 0);

    Resolution resolution;
    bool resolved = !inside;
    if (!inside) {
        // Missing without asking the system, which would look outside the
        // backup (or, for a network name, on another computer); the paths
        // fall back to the backup folder as for a missing folder.
        resolution.dir = QDir(backupFolder);
        resolution.preview = attachmentFolders ? attachmentFolders->backupFolderMatch(pattern)
                                               : PreviewFinder::firstMatch(resolution.dir.absolutePath(), pattern);
    }
#if defined(Q_OS_UNIX)
    if (!resolved)
        resolved = resolveDirectly(backupFolder, path, fileName, pattern, attachmentFolders.get(), &resolution);
#endif
    if (!resolved)
        resolveThroughQt(backupFolder, path, fileName, pattern, &resolution);
    if (!resolution.exists)
        Log("MsgDbLoader", 0, "attachment %s not exists.", path.toUtf8().constData());

    const QDir& dir = resolution.dir;

    auto piece = std::make_unique<MsgPiece>();
    piece->mimeType = attachment->mimeType;
    piece->filePath = dir.absoluteFilePath(fileName);
    // Without a preview both paths name the file: one shared string.
    if (!resolution.preview.isEmpty())
        piece->previewPath = dir.absoluteFilePath(resolution.preview);
    else if (!fileName.isEmpty())
        piece->previewPath = piece->filePath;
    appendPiece(message, std::move(piece));
}
