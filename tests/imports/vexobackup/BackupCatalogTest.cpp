// The backups a person has: one look at each folder, the list of every root,
// and the backup a device identifier, a prefix of one or a name stands for.
#include "imports/vexobackup/BackupCatalog.h"
#include "imports/vexobackup/BackupInspection.h"

#include "ComputerBackup.h"
#include "TestBackup.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace {

const QString annaPhone = QStringLiteral("00008110-000A11112222333E");
const QString annaPad = QStringLiteral("00008110-000A1111ABCD0001");

QDateTime at(int day)
{
    return QDateTime(QDate(2024, 3, day), QTime(9, 0), Qt::UTC);
}

// Two roots of backups made from one small Library folder.
class Roots
{
public:
    Roots()
    {
        library.writeFile(QStringLiteral("SMS/sms.db"), "sms");
        QDir().mkpath(first());
        QDir().mkpath(second());
    }

    QString first() const { return temp.filePath(QStringLiteral("first")); }
    QString second() const { return temp.filePath(QStringLiteral("second")); }

    void backup(const QString& root, const QString& udid, const QString& name, QDateTime date,
                ComputerBackup maker = ComputerBackup())
    {
        maker.deviceName = name;
        maker.lastBackup = date;
        ASSERT_TRUE(maker.write(library.folder(), root + QLatin1Char('/') + udid));
    }

    QTemporaryDir temp;
    TestBackup library;
};

const BackupSummary* byFolder(const QVector<BackupSummary>& list, const QString& folder)
{
    for (const BackupSummary& backup : list)
        if (backup.folder == QDir::cleanPath(folder))
            return &backup;
    return nullptr;
}

} // namespace

TEST(BackupInspection, ReadsThePropertyListsOnceAndHandsThemOn)
{
    Roots roots;
    ComputerBackup encrypted;
    encrypted.password = QStringLiteral("pw");
    roots.backup(roots.first(), annaPad, QStringLiteral("Anna's iPad"), at(2), encrypted);
    const QString folder = roots.first() + QLatin1Char('/') + annaPad;
    QTemporaryDir views;

    const quint64 before = BackupInspection::propertyListsRead();
    const BackupInspection look(folder);
    EXPECT_EQ(BackupInspection::propertyListsRead() - before, 3u) << "Info.plist, Manifest.plist, Status.plist";
    EXPECT_EQ(VexoBackup::backupKind(look), VexoBackup::EncryptedBackup);
    EXPECT_FALSE(VexoBackup::isBackupInProgress(look));
    EXPECT_EQ(VexoBackup::makeBackupView(look, encrypted.password, views.filePath(QStringLiteral("v"))),
              VexoBackup::ViewReady);
    const BackupInspection copy = look; // copies share the look
    EXPECT_EQ(copy.deviceName(), QStringLiteral("Anna's iPad"));
    EXPECT_EQ(BackupInspection::propertyListsRead() - before, 3u) << "nothing read again";
    EXPECT_EQ(look.uniqueIdentifier(), annaPad);
    EXPECT_EQ(look.productType(), QStringLiteral("iPhone14,2"));
    EXPECT_EQ(look.lastBackupDate(), at(2));
    EXPECT_TRUE(look.damage().isEmpty()) << look.damage().toStdString();

    // The folder forms take a look of their own each time.
    EXPECT_EQ(VexoBackup::backupKind(folder), VexoBackup::EncryptedBackup);
    EXPECT_EQ(BackupInspection::propertyListsRead() - before, 6u);
    // Library-like folders and folders that are no backup have no property lists to read.
    BackupInspection(roots.library.folder());
    BackupInspection(roots.first());
    EXPECT_EQ(BackupInspection::propertyListsRead() - before, 6u);
}

TEST(BackupCatalog, ListsEveryFolderNewestFirstWithItsState)
{
    Roots roots;
    roots.backup(roots.first(), annaPhone, QStringLiteral("Anna's iPhone"), at(5));
    ComputerBackup encrypted;
    encrypted.password = QStringLiteral("pw");
    roots.backup(roots.second(), annaPad, QStringLiteral("Anna's iPad"), at(7), encrypted);
    ComputerBackup running;
    running.snapshotState = QStringLiteral("uploading");
    roots.backup(roots.first(), QStringLiteral("running"), QStringLiteral("Bo"), at(9), running);
    // Damaged: an Info.plist that cannot be read (a folder in its place) and no Manifest.db.
    roots.backup(roots.first(), QStringLiteral("broken"), QStringLiteral("Cy"), at(1));
    const QString broken = roots.first() + QStringLiteral("/broken");
    ASSERT_TRUE(QFile::remove(broken + QStringLiteral("/Info.plist")) && QDir().mkpath(broken + QStringLiteral("/Info.plist")));
    ASSERT_TRUE(QFile::remove(broken + QStringLiteral("/Manifest.db")));
    // An Info.plist beyond the limit is not read; Manifest.plist names the device.
    roots.backup(roots.second(), QStringLiteral("big"), QStringLiteral("Dee"), at(3));
    QFile big(roots.second() + QStringLiteral("/big/Info.plist"));
    ASSERT_TRUE(big.open(QIODevice::ReadWrite) && big.resize((qint64(9) << 20)));
    big.close();
    QDir().mkpath(roots.second() + QStringLiteral("/photos/2023"));

    const QVector<BackupSummary> list =
        BackupCatalog::list({roots.first(), roots.second(), roots.temp.filePath(QStringLiteral("missing"))});
    QStringList order;
    for (const BackupSummary& backup : list)
        order << backup.deviceId;
    EXPECT_EQ(order.join(QLatin1Char(' ')), QStringLiteral("running %1 %2 big broken photos").arg(annaPad, annaPhone));

    const BackupSummary* phone = byFolder(list, roots.first() + QLatin1Char('/') + annaPhone);
    ASSERT_NE(phone, nullptr);
    EXPECT_EQ(phone->state, BackupSummary::Complete);
    EXPECT_EQ(phone->deviceName, QStringLiteral("Anna's iPhone"));
    EXPECT_EQ(phone->productVersion, QStringLiteral("16.4"));
    EXPECT_FALSE(phone->encrypted);
    EXPECT_GT(phone->size, 0);
    const BackupSummary* pad = byFolder(list, roots.second() + QLatin1Char('/') + annaPad);
    ASSERT_NE(pad, nullptr);
    EXPECT_TRUE(pad->encrypted);
    EXPECT_EQ(pad->state, BackupSummary::Complete);
    EXPECT_EQ(list.first().state, BackupSummary::InProgress);

    const BackupSummary* damaged = byFolder(list, broken);
    ASSERT_NE(damaged, nullptr);
    EXPECT_EQ(damaged->state, BackupSummary::Damaged);
    EXPECT_TRUE(damaged->reason.contains(QStringLiteral("Manifest.db is missing"))) << damaged->reason.toStdString();
    EXPECT_TRUE(damaged->reason.contains(QStringLiteral("Info.plist cannot be read"))) << damaged->reason.toStdString();
    EXPECT_EQ(damaged->deviceName, QStringLiteral("Cy")) << "from the Lockdown record";

    const BackupSummary* oversized = byFolder(list, roots.second() + QStringLiteral("/big"));
    ASSERT_NE(oversized, nullptr);
    EXPECT_EQ(oversized->state, BackupSummary::Complete) << oversized->reason.toStdString();
    EXPECT_EQ(oversized->deviceName, QStringLiteral("Dee"));
    EXPECT_EQ(oversized->lastBackup, at(3)) << "Status.plist's date";

    const BackupSummary* photos = byFolder(list, roots.second() + QStringLiteral("/photos"));
    ASSERT_NE(photos, nullptr);
    EXPECT_EQ(photos->state, BackupSummary::Damaged);
    EXPECT_TRUE(photos->reason.startsWith(QStringLiteral("not a backup")));

    // A root that is a backup itself is listed as one, not as its hashed folders.
    const QVector<BackupSummary> itself = BackupCatalog::list({roots.first() + QLatin1Char('/') + annaPhone});
    ASSERT_EQ(itself.size(), 1);
    EXPECT_EQ(itself.first().udid, annaPhone);
}

#if !defined(_WIN32)
TEST(BackupCatalog, ListsAFolderItMayNotReadAsDamaged)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the superuser";
    Roots roots;
    roots.backup(roots.first(), annaPhone, QStringLiteral("Anna's iPhone"), at(5));
    const QString folder = roots.first() + QLatin1Char('/') + annaPhone;
    ASSERT_TRUE(QFile::setPermissions(folder, QFileDevice::Permissions()));
    const QVector<BackupSummary> list = BackupCatalog::list({roots.first()});
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list.first().state, BackupSummary::Damaged);
    EXPECT_TRUE(list.first().reason.contains(QStringLiteral("permission denied"))) << list.first().reason.toStdString();
}
#endif

TEST(BackupCatalog, FindsADeviceByIdentifierPrefixOrName)
{
    Roots roots;
    roots.backup(roots.first(), annaPhone, QStringLiteral("Anna's iPhone"), at(5));
    roots.backup(roots.second(), annaPhone, QStringLiteral("Anna's iPhone"), at(8)); // a newer one elsewhere
    roots.backup(roots.second(), annaPad, QStringLiteral("Anna's iPhone 2"), at(7));
    const QVector<BackupSummary> list = BackupCatalog::list({roots.first(), roots.second()}, false);
    const QString newestPhone = roots.second() + QLatin1Char('/') + annaPhone;

    const struct
    {
        QString query;
        BackupCatalog::Match match;
        QString folder;
    } cases[] = {
        {annaPhone, BackupCatalog::Found, newestPhone},
        {annaPhone.toLower(), BackupCatalog::Found, newestPhone},
        {QStringLiteral("00008110-000a11112"), BackupCatalog::Found, newestPhone},
        {QStringLiteral("00008110-000A1111A"), BackupCatalog::Found, roots.second() + QLatin1Char('/') + annaPad},
        {QStringLiteral("anna's iphone"), BackupCatalog::Found, newestPhone},
        {QStringLiteral("ANNA'S IPHONE 2"), BackupCatalog::Found, roots.second() + QLatin1Char('/') + annaPad},
        {QStringLiteral("00008110-000A1111"), BackupCatalog::Ambiguous, QString()},
        {QStringLiteral("Anna"), BackupCatalog::NotFound, QString()}, // names match whole
        {QStringLiteral("ffff"), BackupCatalog::NotFound, QString()},
        {QString(), BackupCatalog::NotFound, QString()},
    };
    for (const auto& c : cases) {
        QVector<BackupSummary> matches;
        EXPECT_EQ(BackupCatalog::find(c.query, list, &matches), c.match) << c.query.toStdString();
        if (c.match == BackupCatalog::Found && !matches.isEmpty()) {
            EXPECT_EQ(matches.first().folder, QDir::cleanPath(c.folder)) << c.query.toStdString();
        }
        if (c.match == BackupCatalog::Ambiguous) {
            EXPECT_EQ(matches.size(), 2) << "each device once, not each backup";
        }
    }
}

TEST(BackupCatalog, TheDeviceFolderIsSoughtInEveryRoot)
{
    Roots roots;
    const QByteArray savedRoot = qgetenv("VEXOBACKUP_ROOT");
    qunsetenv("VEXOBACKUP_ROOT");
#if defined(_WIN32)
    // The classic installer's folder and the store app's.
    const QByteArray savedAppData = qgetenv("APPDATA");
    const QByteArray savedProfile = qgetenv("USERPROFILE");
    qputenv("APPDATA", QDir::toNativeSeparators(roots.temp.filePath(QStringLiteral("appdata"))).toUtf8());
    qputenv("USERPROFILE", QDir::toNativeSeparators(roots.temp.filePath(QStringLiteral("profile"))).toUtf8());
    const QString primary = roots.temp.filePath(QStringLiteral("appdata/Apple Computer/MobileSync/Backup"));
    const QString other = roots.temp.filePath(QStringLiteral("profile/Apple/MobileSync/Backup"));
    qputenv("MSGSERVICE_BACKUP_ROOTS", QDir::toNativeSeparators(roots.temp.filePath(QStringLiteral("none"))).toUtf8());
#else
    const QByteArray savedData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(roots.temp.filePath(QStringLiteral("data"))));
    const QString primary = roots.temp.filePath(QStringLiteral("data/MobileSync/Backup"));
    const QString other = roots.second();
    qputenv("MSGSERVICE_BACKUP_ROOTS",
             QFile::encodeName(roots.temp.filePath(QStringLiteral("none")) + QDir::listSeparator() + other));
#endif
    QDir().mkpath(primary);
    QDir().mkpath(other);
    EXPECT_TRUE(BackupCatalog::defaultRoots().contains(QDir::cleanPath(other)));
    const auto folderOf = [](const QString& id) {
        return QDir::cleanPath(QDir::fromNativeSeparators(VexoBackup::getDeviceBackupFolder(id)));
    };

    EXPECT_EQ(folderOf(annaPhone), QDir::cleanPath(primary + QLatin1Char('/') + annaPhone)) << "missing: the first root";
    roots.backup(other, annaPhone, QStringLiteral("Anna's iPhone"), at(5));
    EXPECT_EQ(folderOf(annaPhone), QDir::cleanPath(other + QLatin1Char('/') + annaPhone));
    roots.backup(primary, annaPhone, QStringLiteral("Anna's iPhone"), at(4));
    EXPECT_EQ(folderOf(annaPhone), QDir::cleanPath(other + QLatin1Char('/') + annaPhone)) << "the newer backup";
    QDir(other + QLatin1Char('/') + annaPhone).removeRecursively();
    roots.backup(other, annaPhone, QStringLiteral("Anna's iPhone"), at(2));
    EXPECT_EQ(folderOf(annaPhone), QDir::cleanPath(primary + QLatin1Char('/') + annaPhone));

    qunsetenv("MSGSERVICE_BACKUP_ROOTS");
#if defined(_WIN32)
    qputenv("APPDATA", savedAppData);
    qputenv("USERPROFILE", savedProfile);
#else
    if (savedData.isEmpty())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", savedData);
#endif
    if (!savedRoot.isEmpty())
        qputenv("VEXOBACKUP_ROOT", savedRoot);
}
