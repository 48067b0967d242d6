#include "WalSnapshotCache.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

bool WalSnapshotCache::Signature::operator==(const Signature& other) const
{
    return dbSize == other.dbSize && dbModified == other.dbModified && walSize == other.walSize
        && walModified == other.walModified;
}

WalSnapshotCache& WalSnapshotCache::instance()
{
    static WalSnapshotCache cache;
    return cache;
}

WalSnapshotCache::~WalSnapshotCache()
{
    clear();
}

void WalSnapshotCache::clear()
{
    std::lock_guard<std::mutex> lock(mutex);
    entries.clear();
}

WalSnapshotCache::Signature WalSnapshotCache::signatureOf(const QString& dbPath)
{
    const QFileInfo db(dbPath);
    const QFileInfo wal(dbPath + QStringLiteral("-wal"));
    Signature signature;
    signature.dbSize = db.size();
    signature.dbModified = db.lastModified().toMSecsSinceEpoch();
    signature.walSize = wal.size();
    signature.walModified = wal.lastModified().toMSecsSinceEpoch();
    return signature;
}

std::unique_ptr<WalSnapshotCache::Entry> WalSnapshotCache::makeEntry(const QString& source,
                                                                     const Signature& signature)
{
    auto entry = std::make_unique<Entry>();
    entry->source = source;
    entry->signature = signature;
    entry->folder = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/msgservice-XXXXXX"));
    if (!entry->folder->isValid())
        return nullptr;
    // The "-shm" file is not copied: SQLite rebuilds the index from the WAL
    // itself, which is right even when the backup's index is stale.
    const QString copy = entry->folder->filePath(QFileInfo(source).fileName());
    if (!QFile::copy(source, copy) || !QFile::copy(source + QStringLiteral("-wal"), copy + QStringLiteral("-wal")))
        return nullptr;
    // Copies of read-only files are read-only too; SQLite needs to write its
    // index beside the copy, and the folder goes away as a whole.
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    QFile::setPermissions(copy + QStringLiteral("-wal"), QFile::ReadOwner | QFile::WriteOwner);
    entry->copy = copy;
    return entry;
}

QString WalSnapshotCache::snapshotFor(const QString& dbPath, bool fresh)
{
    const QString source = QFileInfo(dbPath).absoluteFilePath();
    const Signature signature = signatureOf(source);

    std::lock_guard<std::mutex> lock(mutex);
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if ((*it)->source != source)
            continue;
        if (!fresh && (*it)->signature == signature) {
            entries.splice(entries.begin(), entries, it);
            return entries.front()->copy;
        }
        entries.erase(it); // the backup changed, or the copy was lost
        break;
    }

    std::unique_ptr<Entry> entry = makeEntry(source, signature);
    if (!entry)
        return QString();
    entries.push_front(std::move(entry));
    while (entries.size() > maxEntries)
        entries.pop_back();
    return entries.front()->copy;
}
