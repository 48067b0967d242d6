#include "BackupInspection.h"

#include "BackupLayout.h"

BackupInspection::BackupInspection()
    : BackupInspection(QString())
{
}

BackupInspection::BackupInspection(const QString& folder)
{
    try {
        layout = std::make_shared<const BackupLayout>(folder);
    } catch (...) {
        layout.reset(); // every accessor answers as for no backup
    }
}

QString BackupInspection::folder() const
{
    return layout ? layout->folderPath() : QString();
}

VexoBackup::BackupKind BackupInspection::kind() const
{
    switch (layout ? layout->kind() : BackupLayout::Kind::None) {
    case BackupLayout::Kind::None:
        break;
    case BackupLayout::Kind::LibraryFolder:
        return VexoBackup::LibraryFolder;
    case BackupLayout::Kind::Hashed:
        return VexoBackup::HashedBackup;
    case BackupLayout::Kind::Encrypted:
        return VexoBackup::EncryptedBackup;
    }
    return VexoBackup::NoBackup;
}

bool BackupInspection::isComputerBackup() const
{
    return kind() == VexoBackup::HashedBackup || kind() == VexoBackup::EncryptedBackup;
}

bool BackupInspection::isEncrypted() const
{
    return kind() == VexoBackup::EncryptedBackup;
}

bool BackupInspection::isInProgress() const
{
    return layout && layout->inProgress();
}

QString BackupInspection::damage() const
{
    return layout ? layout->damage() : QStringLiteral("the folder cannot be inspected");
}

QString BackupInspection::deviceName() const
{
    return layout ? layout->deviceName() : QString();
}

QString BackupInspection::productType() const
{
    return layout ? layout->productType() : QString();
}

QString BackupInspection::productVersion() const
{
    return layout ? layout->productVersion() : QString();
}

QString BackupInspection::uniqueIdentifier() const
{
    return layout ? layout->uniqueIdentifier() : QString();
}

QDateTime BackupInspection::lastBackupDate() const
{
    return layout ? layout->lastBackupDate() : QDateTime();
}

quint64 BackupInspection::propertyListsRead()
{
    return BackupLayout::propertyListsRead();
}
