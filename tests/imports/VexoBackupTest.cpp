#include "imports/VexoBackup.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class BackupRoot
{
public:
    BackupRoot() { qputenv("VEXOBACKUP_ROOT", QFile::encodeName(dir.path())); }
    ~BackupRoot() { qunsetenv("VEXOBACKUP_ROOT"); }

    void writeStatus(const QString& device, const QByteArray& content)
    {
        QDir(dir.path()).mkpath(device);
        QFile status(dir.filePath(device + QStringLiteral("/Status.plist")));
        ASSERT_TRUE(status.open(QIODevice::WriteOnly));
        status.write(content);
    }

    QTemporaryDir dir;
};

QByteArray xmlStatus(const char* state)
{
    return QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>\n"
                      "<key>BackupState</key><string>new</string>\n<key>SnapshotState</key><string>")
        + state + "</string>\n</dict></plist>\n";
}

} // namespace

TEST(VexoBackup, DeviceFolderLiesUnderTheBackupRoot)
{
    {
        BackupRoot root;
        EXPECT_EQ(VexoBackup::getDeviceBackupPath(QStringLiteral("00008030-001A")),
                  QDir::toNativeSeparators(root.dir.path() + QStringLiteral("/00008030-001A")));
    }
    // Without an override: the platform's folder for computer backups.
    EXPECT_TRUE(QDir::fromNativeSeparators(VexoBackup::getDeviceBackupPath(QStringLiteral("abc")))
                    .endsWith(QStringLiteral("/MobileSync/Backup/abc")));
}

TEST(VexoBackup, BackupRunsWhileItsStatusIsNotFinished)
{
    BackupRoot root;
    const QString device = QStringLiteral("dev-1");
    EXPECT_FALSE(VexoBackup::isDeviceBackuping(device)) << "no folder";
    root.writeStatus(device, xmlStatus("new"));
    EXPECT_TRUE(VexoBackup::isDeviceBackuping(device));
    root.writeStatus(device, xmlStatus("uploading"));
    EXPECT_TRUE(VexoBackup::isDeviceBackuping(device));
    root.writeStatus(device, xmlStatus("finished"));
    EXPECT_FALSE(VexoBackup::isDeviceBackuping(device));
    // Binary plists keep the same names as plain ASCII.
    root.writeStatus(device, QByteArray("bplist00\xd4\x01\x02\x03SnapshotState\x55new\x08", 29));
    EXPECT_TRUE(VexoBackup::isDeviceBackuping(device));
    VexoBackup::cancelBackup(device); // nothing runs here to stop; must simply return
    EXPECT_FALSE(VexoBackup::isDeviceBackuping(QStringLiteral("other")));
}
