#include "BackupLayout.h"

#include "PropertyList.h"

#include <QDir>
#include <QFileInfo>

#include <atomic>

namespace {

std::atomic<quint64> listsRead{0};

PropertyList readList(const QString& path, qint64 limit, PropertyList::FileRead* outcome)
{
    PropertyList list = PropertyList::fromFile(path, limit, outcome);
    if (*outcome != PropertyList::FileRead::Missing)
        ++listsRead;
    return list;
}

QString whatIsWrong(const char* file, PropertyList::FileRead outcome, qint64 limit)
{
    const QString name = QLatin1String(file);
    switch (outcome) {
    case PropertyList::FileRead::Done:
        break;
    case PropertyList::FileRead::Missing:
        return QStringLiteral("%1 is missing").arg(name);
    case PropertyList::FileRead::TooLarge:
        return QStringLiteral("%1 is larger than %2 MB").arg(name).arg(limit >> 20);
    case PropertyList::FileRead::Unreadable:
        return QStringLiteral("%1 cannot be read").arg(name);
    case PropertyList::FileRead::Invalid:
        return QStringLiteral("%1 is no property list").arg(name);
    }
    return QString();
}

} // namespace

BackupLayout::BackupLayout(const QString& folder)
    : folder(folder)
{
    const QFileInfo info(folder);
    if (folder.isEmpty() || !info.isDir()) {
        problem = QStringLiteral("not a folder");
        return;
    }
    // Without the right to list or enter it, every file below would look missing.
#if defined(Q_OS_WIN)
    const bool enterable = true; // folders carry no execute right there
#else
    const bool enterable = info.isExecutable();
#endif
    if (!info.isReadable() || !enterable || !QDir(folder).isReadable()) {
        problem = QStringLiteral("the folder cannot be read (permission denied)");
        return;
    }
    canonicalFolder = info.canonicalFilePath();
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
    if (!computerBackup) {
        problem = QStringLiteral("not a backup: no Manifest.db, Manifest.mbdb, Manifest.plist, Status.plist or SMS/sms.db");
        return;
    }
    folderKind = Kind::Hashed;
    readComputerBackup();
}

void BackupLayout::readComputerBackup()
{
    // Status.plist first: a backup being written has the others half-done.
    constexpr qint64 statusLimit = qint64(1) << 20;
    constexpr qint64 manifestLimit = qint64(16) << 20;
    PropertyList::FileRead statusRead = PropertyList::FileRead::Done;
    const PropertyList status = readList(path(QStringLiteral("Status.plist")), statusLimit, &statusRead);
    const PropertyList::Node state = PropertyList::item(status.top(), "SnapshotState");
    running = state && PropertyList::string(state) != QLatin1String("finished");

    PropertyList::FileRead manifestRead = PropertyList::FileRead::Done;
    const PropertyList manifest = readList(path(QStringLiteral("Manifest.plist")), manifestLimit, &manifestRead);
    PropertyList::FileRead infoRead = PropertyList::FileRead::Done;
    const PropertyList info = readList(path(QStringLiteral("Info.plist")), infoLimit, &infoRead);

    const PropertyList::Node lockdown = PropertyList::item(manifest.top(), "Lockdown");
    const auto text = [&](const char* infoKey, const char* lockdownKey) {
        const QString value = PropertyList::string(PropertyList::item(info.top(), infoKey));
        return value.isEmpty() ? PropertyList::string(PropertyList::item(lockdown, lockdownKey)) : value;
    };
    name = text("Device Name", "DeviceName");
    product = text("Product Type", "ProductType");
    version = text("Product Version", "ProductVersion");
    udid = text("Unique Identifier", "UniqueDeviceID");
    if (udid.isEmpty())
        udid = text("Target Identifier", "UniqueDeviceID");
    lastBackup = PropertyList::date(PropertyList::item(info.top(), "Last Backup Date"));
    if (!lastBackup.isValid())
        lastBackup = PropertyList::date(PropertyList::item(status.top(), "Date"));

    if (PropertyList::boolean(PropertyList::item(manifest.top(), "IsEncrypted"))) {
        folderKind = Kind::Encrypted;
        bag = PropertyList::data(PropertyList::item(manifest.top(), "BackupKeyBag"));
        const QByteArray key = PropertyList::data(PropertyList::item(manifest.top(), "ManifestKey"));
        if (key.size() > 4) {
            const auto* bytes = reinterpret_cast<const unsigned char*>(key.constData());
            manifestKeyClass = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (quint32(bytes[3]) << 24);
            wrappedManifestKey = key.mid(4);
        }
    }

    // A backup being written is expected to be incomplete; what is missing then is no damage.
    if (running)
        return;
    QStringList wrong;
    if (manifestForm == Form::Database && !QFileInfo(path(QStringLiteral("Manifest.db"))).isFile())
        wrong << QStringLiteral("Manifest.db is missing");
    if (manifestRead != PropertyList::FileRead::Done)
        wrong << whatIsWrong("Manifest.plist", manifestRead, manifestLimit);
    else if (folderKind == Kind::Encrypted && (bag.isEmpty() || wrappedManifestKey.isEmpty()))
        wrong << QStringLiteral("Manifest.plist holds no keybag or no key for Manifest.db");
    // An Info.plist too big to read is no damage: the Lockdown record names the device.
    if (infoRead != PropertyList::FileRead::Done && infoRead != PropertyList::FileRead::TooLarge)
        wrong << whatIsWrong("Info.plist", infoRead, infoLimit);
    if (statusRead != PropertyList::FileRead::Done && statusRead != PropertyList::FileRead::Missing)
        wrong << whatIsWrong("Status.plist", statusRead, statusLimit);
    problem = wrong.join(QStringLiteral("; "));
}

quint64 BackupLayout::propertyListsRead()
{
    return listsRead.load();
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
