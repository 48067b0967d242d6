#include "BackupLayout.h"

#include "PropertyList.h"

#include <QFileInfo>

BackupLayout::BackupLayout(const QString& folder)
    : folder(folder)
{
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return;
    canonicalFolder = QFileInfo(folder).canonicalFilePath();
    if (QFileInfo(path(QStringLiteral("SMS/sms.db"))).isFile()) {
        folderKind = Kind::LibraryFolder;
        return;
    }
    // A folder written by iOS 10 over an older backup keeps its Manifest.db.
    if (!QFileInfo::exists(path(QStringLiteral("Manifest.db"))) && QFileInfo::exists(path(QStringLiteral("Manifest.mbdb"))))
        manifestForm = Form::Mbdb;
    const bool computerBackup = QFileInfo::exists(path(QStringLiteral("Manifest.db")))
        || manifestForm == Form::Mbdb
        || QFileInfo::exists(path(QStringLiteral("Manifest.plist")))
        || QFileInfo::exists(path(QStringLiteral("Status.plist")));
    if (!computerBackup)
        return;
    folderKind = Kind::Hashed;
    const PropertyList manifest = PropertyList::fromFile(path(QStringLiteral("Manifest.plist")));
    if (!PropertyList::boolean(PropertyList::item(manifest.top(), "IsEncrypted")))
        return;
    folderKind = Kind::Encrypted;
    bag = PropertyList::data(PropertyList::item(manifest.top(), "BackupKeyBag"));
    const QByteArray key = PropertyList::data(PropertyList::item(manifest.top(), "ManifestKey"));
    if (key.size() > 4) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(key.constData());
        manifestKeyClass = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (quint32(bytes[3]) << 24);
        wrappedManifestKey = key.mid(4);
    }
}

bool BackupLayout::inProgress(const QString& folder)
{
    const PropertyList status = PropertyList::fromFile(folder + QStringLiteral("/Status.plist"), qint64(1) << 20);
    const PropertyList::Node state = PropertyList::item(status.top(), "SnapshotState");
    return state && PropertyList::string(state) != QLatin1String("finished");
}

QString BackupLayout::path(const QString& relative) const
{
    return folder + QLatin1Char('/') + relative;
}

QString BackupLayout::manifestName() const
{
    return manifestForm == Form::Mbdb ? QStringLiteral("Manifest.mbdb") : QStringLiteral("Manifest.db");
}

QString BackupLayout::hashedFile(const QString& fileID) const
{
    if (manifestForm == Form::Mbdb)
        return path(fileID);
    return path(fileID.left(2) + QLatin1Char('/') + fileID);
}
