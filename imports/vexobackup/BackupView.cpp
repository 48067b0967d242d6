#include "BackupView.h"

#include "BackupCrypto.h"
#include "BackupLayout.h"
#include "KeyBag.h"
#include "Log.h"
#include "ManifestReader.h"
#include "ManifestSource.h"
#include "OwnerMark.h"
#include "ViewCancel.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>

#include <filesystem>
#include <mutex>
#include <system_error>
#include <vector>

namespace {

// Marks a folder as a view, so that only views are ever emptied or removed.
const QString stampName = QStringLiteral(".msgservice-view");
const QString plainMark = QStringLiteral("plain ");

QString fileStamp(const QString& path)
{
    const QFileInfo info(path);
    return QStringLiteral("%1:%2").arg(info.size()).arg(info.lastModified().toMSecsSinceEpoch());
}

// Where an entry lies in a folder laid out like Library; empty for one the
// view does not hold.
QString viewPath(const ManifestEntry& entry)
{
    static const QString library = QStringLiteral("Library/");
    if (entry.domain != QLatin1String("HomeDomain") && entry.domain != QLatin1String("MediaDomain"))
        return QString();
    return entry.relativePath.startsWith(library) ? entry.relativePath.mid(library.size()) : QString();
}

// The message database must be complete; a missing address book or
// attachment only leaves out names or files.
bool isMessageDatabase(const QString& path)
{
    return path.startsWith(QLatin1String("SMS/sms.db"));
}

// The real location of path, which need not exist: its existing leading part
// with links resolved, then the rest as written.
QString realPath(const QString& path)
{
    QString existing = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QString rest;
    while (!QFileInfo::exists(existing)) {
        const int slash = existing.lastIndexOf(QLatin1Char('/'));
        if (slash <= 0)
            return QDir::cleanPath(path);
        rest = existing.mid(slash) + rest;
        existing = existing.left(slash);
    }
    return QFileInfo(existing).canonicalFilePath() + rest;
}

bool isInside(const QString& path, const QString& folder)
{
    return path == folder || path.startsWith(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'));
}

std::filesystem::path nativePath(const QString& path)
{
#if defined(_WIN32)
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

bool link(const QString& source, const QString& target)
{
    std::error_code error;
    const std::filesystem::path from = nativePath(QFileInfo(source).canonicalFilePath());
    const std::filesystem::path to = nativePath(target);
#if defined(_WIN32)
    // Symbolic links need a privilege on Windows; a hard link or a copy serves.
    std::filesystem::create_hard_link(from, to, error);
    if (error)
        return QFile::copy(source, target);
#else
    std::filesystem::create_symlink(from, to, error);
#endif
    return !error;
}

bool makePrivateFolder(const QString& path)
{
    if (!QDir().mkpath(path))
        return false;
#if defined(_WIN32)
    // The user's profile, where the cache folder lies, is private already.
    return true;
#else
    return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
#endif
}

// Whether folder holds folders at the most: what a removal stopped halfway
// left (on Windows a file still open elsewhere cannot go at once, and its
// folder then stays), where nothing can be lost.
bool holdsNoFile(const QString& folder)
{
    QDirIterator it(folder, QDir::Files | QDir::System | QDir::Hidden, QDirIterator::Subdirectories);
    return !it.hasNext();
}

struct ExitSweeper
{
    std::mutex mutex;
    QStringList folders;
    ~ExitSweeper()
    {
        for (const QString& folder : qAsConst(folders))
            BackupView::remove(folder);
    }
};

ExitSweeper& sweeper()
{
    static ExitSweeper instance;
    return instance;
}

} // namespace

QString BackupView::stampOf(const QString& backupFolder)
{
    return fileStamp(backupFolder + QStringLiteral("/Manifest.db")) + QLatin1Char(' ')
        + fileStamp(backupFolder + QStringLiteral("/Manifest.plist")) + QLatin1Char(' ')
        + fileStamp(backupFolder + QStringLiteral("/Manifest.mbdb"));
}

bool BackupView::isCurrent(const QString& viewFolder, const QString& stamp)
{
    QFile file(QDir(viewFolder).filePath(stampName));
    return file.open(QIODevice::ReadOnly) && QString::fromUtf8(file.read(4096)) == plainMark + stamp
        && QFileInfo(QDir(viewFolder).filePath(QStringLiteral("SMS/sms.db"))).isFile();
}

bool BackupView::prepare(const QString& viewFolder)
{
    QDir dir(viewFolder);
    if (dir.exists()) {
        const QStringList names = dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
        if (!names.isEmpty() && !names.contains(stampName) && !holdsNoFile(viewFolder))
            return false;
        if (!dir.removeRecursively())
            return false;
    }
    // Marked from the start, so that a view that fails halfway can be emptied,
    // and one whose process is killed halfway can be swept: the owner first,
    // for a process killed between the two marks leaves a folder the sweep
    // can still tell is abandoned.
    QFile stamp(dir.filePath(stampName));
    return makePrivateFolder(viewFolder) && OwnerMark::write(viewFolder) && stamp.open(QIODevice::WriteOnly);
}

bool BackupView::remove(const QString& viewFolder)
{
    QDir dir(viewFolder);
    if (viewFolder.isEmpty() || !dir.exists())
        return true;
    const QStringList names = dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    if (!names.isEmpty() && !names.contains(stampName))
        return false;
    // The stamp and the owner's mark go last: a removal stopped halfway
    // leaves a folder still known as a view, which the next load or sweep
    // empties. Links are removed, never what they point at.
    bool removed = true;
    for (const QString& name : names) {
        if (name == stampName || name == OwnerMark::fileName())
            continue;
        const QFileInfo entry(dir.filePath(name));
        removed = (entry.isDir() && !entry.isSymLink() ? QDir(entry.filePath()).removeRecursively() : dir.remove(name))
            && removed;
    }
    return removed && dir.removeRecursively();
}

QString BackupView::viewsRoot()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/msgservice/views");
}

bool BackupView::keep(const QString& viewFolder)
{
    return QFileInfo(QDir(viewFolder).filePath(stampName)).isFile() && OwnerMark::keep(viewFolder);
}

int BackupView::sweep()
{
    int removed = 0;
    const QDir::Filters folders = QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks;
    for (const QFileInfo& view : QDir(viewsRoot()).entryInfoList(folders)) {
        QString owner;
        const QDir dir(view.filePath());
        const bool stamped = QFileInfo(dir.filePath(stampName)).isFile();
        // A view killed before its stamp holds its owner's mark and nothing else.
        const bool onlyMarked = !stamped
            && dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)
                   == QStringList{OwnerMark::fileName()};
        if ((stamped || onlyMarked) && OwnerMark::isAbandoned(view.filePath(), &owner)
            && (stamped ? remove(view.filePath()) : QDir(view.filePath()).removeRecursively())) {
            Log("VexoBackup", 1, "removed the view %s left by %s, which has ended.", view.filePath().toUtf8().constData(),
                owner.toUtf8().constData());
            ++removed;
        }
    }
    // Private copies of WAL-mode databases (the SQLite service's snapshots).
    const QString temporary = QDir::tempPath(); // empty when it does not exist
    const QFileInfoList copies = temporary.isEmpty()
        ? QFileInfoList()
        : QDir(temporary).entryInfoList({QStringLiteral("msgservice-*")}, folders);
    for (const QFileInfo& copy : copies) {
        QString owner;
        if (OwnerMark::isAbandoned(copy.filePath(), &owner) && QDir(copy.filePath()).removeRecursively()) {
            Log("VexoBackup", 1, "removed the database snapshot %s left by %s, which has ended.",
                copy.filePath().toUtf8().constData(), owner.toUtf8().constData());
            ++removed;
        }
    }
    return removed;
}

void BackupView::removeAtExit(const QString& viewFolder)
{
    ExitSweeper& instance = sweeper();
    std::lock_guard<std::mutex> lock(instance.mutex);
    if (!instance.folders.contains(viewFolder))
        instance.folders.append(viewFolder);
}

VexoBackup::ViewStatus BackupView::build(const BackupLayout& layout, const QString& password,
                                         const QString& viewFolder)
{
    const QString backupFolder = layout.folderPath();
    if (layout.kind() != BackupLayout::Kind::Hashed && layout.kind() != BackupLayout::Kind::Encrypted)
        return VexoBackup::ViewCorruptManifest;
    if (layout.inProgress())
        return VexoBackup::ViewBackupInProgress;
    if (layout.kind() == BackupLayout::Kind::Encrypted && password.isEmpty())
        return VexoBackup::ViewPasswordNeeded;

    // Nothing may be written into the backup, and emptying the view must not
    // reach the backup either.
    const QString backup = realPath(backupFolder);
    const QString view = realPath(viewFolder);
    if (viewFolder.isEmpty() || isInside(view, backup) || isInside(backup, view))
        return VexoBackup::ViewFolderUnusable;

    sweep();
    if (ViewCancel::requested())
        return VexoBackup::ViewCancelled;
    const QString stamp = stampOf(backupFolder);
    if (layout.kind() == BackupLayout::Kind::Hashed && isCurrent(viewFolder, stamp))
        return OwnerMark::write(viewFolder) ? VexoBackup::ViewReady : VexoBackup::ViewFolderUnusable;
    if (!prepare(viewFolder))
        return VexoBackup::ViewFolderUnusable;
    VexoBackup::ViewStatus status = fill(layout, password, viewFolder);
    if (ViewCancel::requested())
        status = VexoBackup::ViewCancelled;
    if (status != VexoBackup::ViewReady) {
        prepare(viewFolder); // a failed view holds nothing but its mark
        return status;
    }
    QFile file(QDir(viewFolder).filePath(stampName));
    const QString mark = layout.kind() == BackupLayout::Kind::Hashed ? plainMark : QStringLiteral("decrypted ");
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write((mark + stamp).toUtf8()) < 0)
        return VexoBackup::ViewFolderUnusable;
    return VexoBackup::ViewReady;
}

VexoBackup::ViewStatus BackupView::fill(const BackupLayout& layout, const QString& password,
                                        const QString& viewFolder)
{
    if (!ManifestSource::exists(layout))
        return VexoBackup::ViewCorruptManifest;

    KeyBag keys;
    const bool encrypted = layout.kind() == BackupLayout::Kind::Encrypted;
    if (encrypted) {
        KeyBag::Status status = keys.parse(layout.keyBag());
        if (status == KeyBag::Status::Ready) {
            QByteArray secret = password.toUtf8();
            status = keys.unlock(secret);
            KeyBag::wipe(secret);
        }
        if (status == KeyBag::Status::UnknownVersion)
            return VexoBackup::ViewUnknownKeyBag;
        if (status == KeyBag::Status::WrongPassword)
            return VexoBackup::ViewWrongPassword;
        if (status != KeyBag::Status::Ready)
            return VexoBackup::ViewCorruptManifest;
    }

    std::vector<ManifestEntry> entries;
    if (!ManifestSource::read(layout, encrypted ? &keys : nullptr, viewFolder, &entries))
        return VexoBackup::ViewCorruptManifest;

    bool haveMessages = false;
    // A crafted manifest may name one data file under many paths: it is
    // decrypted once, and the other paths link to that copy in the view (or
    // share the first attempt's failure).
    struct Earlier
    {
        QString target;
        Placed placed;
    };
    QHash<QString, Earlier> byData;
    for (const ManifestEntry& entry : entries) {
        if (ViewCancel::requested())
            return VexoBackup::ViewCancelled;
        const QString relative = viewPath(entry);
        if (relative.isEmpty())
            continue;
        const QString target = QDir(viewFolder).filePath(relative);
        const QString data = layout.hashedFile(entry.fileID);
        const auto earlier = byData.constFind(data);
        Placed placed;
        if (earlier == byData.cend())
            placed = place(layout, encrypted ? &keys : nullptr, entry, target);
        else if (earlier->placed != Placed::Done)
            placed = earlier->placed;
        else if (QFileInfo::exists(target) || !QDir().mkpath(QFileInfo(target).path()))
            placed = Placed::Skipped;
        else
            placed = link(earlier->target, target) ? Placed::Done : Placed::WriteFailed;
        if (earlier == byData.cend() && placed != Placed::Skipped)
            byData.insert(data, Earlier{target, placed});
        const bool essential = isMessageDatabase(relative);
        haveMessages = haveMessages || (relative == QLatin1String("SMS/sms.db") && placed == Placed::Done);
        switch (placed) {
        case Placed::Done:
        case Placed::Skipped:
            break;
        case Placed::WriteFailed:
            return VexoBackup::ViewFolderUnusable;
        case Placed::Missing:
            if (essential)
                return VexoBackup::ViewPartialBackup;
            Log("VexoBackup", 0, "%s is missing from the backup.", relative.toUtf8().constData());
            break;
        case Placed::Truncated:
        case Placed::Unreadable:
            if (essential)
                return placed == Placed::Truncated ? VexoBackup::ViewTruncatedFile : VexoBackup::ViewCorruptManifest;
            QFile::remove(target);
            Log("VexoBackup", 0, "%s cannot be decrypted.", relative.toUtf8().constData());
            break;
        }
    }
    return haveMessages ? VexoBackup::ViewReady : VexoBackup::ViewPartialBackup;
}

BackupView::Placed BackupView::place(const BackupLayout& layout, const KeyBag* keys, const ManifestEntry& entry,
                                     const QString& target)
{
    const QString source = layout.hashedFile(entry.fileID);
    const QFileInfo sourceInfo(source);
    if (!sourceInfo.isFile())
        return Placed::Missing;
    // A data file that is a link, or lies elsewhere through a linked folder,
    // would let the view lead out of the backup.
    if (sourceInfo.isSymLink() || !isInside(sourceInfo.canonicalFilePath(), layout.realFolder())) {
        Log("VexoBackup", 0, "%s is left out: its data file leads outside the backup.",
            entry.relativePath.toUtf8().constData());
        return Placed::Skipped;
    }
    if (QFileInfo::exists(target) || !QDir().mkpath(QFileInfo(target).path()))
        return Placed::Skipped; // a repeated row, or a file where a folder belongs
    if (!keys)
        return link(source, target) ? Placed::Done : Placed::WriteFailed;

    const QByteArray key = BackupCrypto::unwrapKey(keys->classKey(entry.record.protectionClass), entry.record.wrappedKey);
    if (key.isEmpty())
        return Placed::Unreadable;
    switch (BackupCrypto::decryptFile(key, source, target, entry.record.size)) {
    case BackupCrypto::FileResult::Done:
        return Placed::Done;
    case BackupCrypto::FileResult::Truncated:
        return Placed::Truncated;
    case BackupCrypto::FileResult::Failed:
        break;
    }
    return QFileInfo::exists(target) ? Placed::WriteFailed : Placed::Unreadable;
}
