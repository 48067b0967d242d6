#include "imports/vexobackup/VexoBackup.h"

#include "ComputerBackup.h"
#include "PropertyListFixture.h"
#include "TestBackup.h"

#include <QDir>
#include <QFile>
#include <QDateTime>
#include <QDirIterator>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

class BackupRoot
{
public:
    BackupRoot() { qputenv("VEXOBACKUP_ROOT", QFile::encodeName(dir.folder())); }
    ~BackupRoot() { qunsetenv("VEXOBACKUP_ROOT"); }

    TestBackup dir;
};

QByteArray xmlStatus(const char* state)
{
    return QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>\n"
                      "<key>BackupState</key><string>new</string>\n<key>SnapshotState</key><string>")
        + state + "</string>\n</dict></plist>\n";
}

} // namespace

TEST(VexoBackup, BackupRunsWhileItsStatusIsNotFinished)
{
    BackupRoot root;
    const QString device = QStringLiteral("dev-1");
    EXPECT_FALSE(VexoBackup::isDeviceBackuping(device)) << "no folder";
    const std::pair<QByteArray, bool> statuses[] = {{xmlStatus("new"), true}, {xmlStatus("uploading"), true},
        {xmlStatus("finished"), false}, {"<plist><dict><key>SnapshotState</key><string>fin", false}};
    for (const auto& [status, running] : statuses) {
        root.dir.writeFile(device + QStringLiteral("/Status.plist"), status);
        EXPECT_EQ(VexoBackup::isDeviceBackuping(device), running) << status.toStdString();
    }
    VexoBackup::cancelBackup(device); // nothing runs here to stop; must simply return
    EXPECT_FALSE(VexoBackup::isDeviceBackuping(QStringLiteral("other")));
    // Without an override: the platform's folder for computer backups.
    qunsetenv("VEXOBACKUP_ROOT");
    EXPECT_TRUE(QDir::fromNativeSeparators(VexoBackup::getDeviceBackupPath(QStringLiteral("abc")))
                    .endsWith(QStringLiteral("/MobileSync/Backup/abc")));
}

namespace {

// A Library-like folder whose files are their own names, and a cache folder.
class Views : public BackupRoot
{
public:
    Views()
    {
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
        for (const char* file : {"SMS/sms.db", "SMS/sms.db-wal", "AddressBook/AddressBook.sqlitedb",
                                 "SMS/Attachments/0a/10/G/IMG 1.jpeg"})
            addFile(QString::fromLatin1(file));
    }
    ~Views() { qunsetenv("XDG_CACHE_HOME"); }

    void addFile(const QString& relative) { library.writeFile(relative, relative.toUtf8().repeated(7)); }

    QTemporaryDir cache;
    TestBackup library;
};

} // namespace

TEST(VexoBackup, ComputerBackupsAreLoadedThroughAViewThatFollowsTheBackup)
{
    Views views;
    const QString expected = ComputerBackup::contents(views.library.folder());
    const QString device = QStringLiteral("00008110-0001");
    const QString backup = views.dir.path(device);
    ASSERT_TRUE(ComputerBackup().write(views.library.folder(), backup));
    const QString view = QDir::fromNativeSeparators(VexoBackup::getDeviceBackupPath(device));
#if defined(_WIN32)
    // The profile's own cache folder, private already; hard links or copies instead of symbolic links.
    const QString cacheRoot = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
#else
    const QString cacheRoot = views.cache.path();
    EXPECT_TRUE(QFileInfo(view + QStringLiteral("/SMS/sms.db")).isSymLink()) << "links, not copies";
    EXPECT_EQ(QFile::permissions(view), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                            | QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
#endif
    EXPECT_TRUE(view.startsWith(cacheRoot + QStringLiteral("/msgservice/views/"))) << view.toStdString();
    EXPECT_EQ(ComputerBackup::contents(view), expected);

    // A new backup without the attachment and with another file.
    QFile::remove(views.library.path(QStringLiteral("SMS/Attachments/0a/10/G/IMG 1.jpeg")));
    views.addFile(QStringLiteral("SMS/Attachments/0b/11/H/IMG 2.jpeg"));
    QDir(backup).removeRecursively();
    ASSERT_TRUE(ComputerBackup().write(views.library.folder(), backup));
    QFile manifest(backup + QStringLiteral("/Manifest.db")); // written within the same millisecond, perhaps
    ASSERT_TRUE(manifest.open(QIODevice::ReadWrite));
    manifest.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime);
    EXPECT_EQ(VexoBackup::getDeviceBackupPath(device), QDir::toNativeSeparators(view));
    EXPECT_EQ(ComputerBackup::contents(view), ComputerBackup::contents(views.library.folder()));

    // Laid out like Library already: the folder itself.
    views.dir.writeFile(QStringLiteral("lib/SMS/sms.db"), QByteArray());
    EXPECT_EQ(VexoBackup::getDeviceBackupPath(QStringLiteral("lib")),
              QDir::toNativeSeparators(views.dir.path(QStringLiteral("lib"))));
}

TEST(VexoBackup, EncryptedBackupsNeedTheirPassword)
{
    Views views;
    ComputerBackup maker;
    maker.password = QStringLiteral("correct horse");
    const QString device = QStringLiteral("enc-1");
    ASSERT_TRUE(maker.write(views.library.folder(), views.dir.path(device)));
    const QString view = QDir::fromNativeSeparators(VexoBackup::getDeviceBackupPath(device));
    EXPECT_FALSE(QFile::exists(view + QStringLiteral("/SMS/sms.db"))) << "no password";
    VexoBackup::setBackupPassword(device, QStringLiteral("battery staple"));
    EXPECT_EQ(QDir::fromNativeSeparators(VexoBackup::getDeviceBackupPath(device)), view);
    EXPECT_FALSE(QFile::exists(view + QStringLiteral("/SMS/sms.db"))) << "wrong password";
#if !defined(_WIN32) // no fork there
    // Decrypted files do not outlive the process that made them.
    std::fflush(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        VexoBackup::setBackupPassword(device, maker.password);
        std::exit(QFile::exists(VexoBackup::getDeviceBackupPath(device) + QStringLiteral("/SMS/sms.db")) ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(QFile::exists(view)) << "removed at exit";
#endif
    VexoBackup::setBackupPassword(device, maker.password);
    EXPECT_EQ(QDir::fromNativeSeparators(VexoBackup::getDeviceBackupPath(device)), view);
    EXPECT_EQ(ComputerBackup::contents(view), ComputerBackup::contents(views.library.folder()));

    // A view made elsewhere: only into an empty folder or an earlier view, never into the backup.
    const QString other = views.cache.filePath(QStringLiteral("other"));
    EXPECT_EQ(VexoBackup::makeBackupView(views.dir.path(device), maker.password, views.dir.path(device) + QStringLiteral("/v")),
              VexoBackup::ViewFolderUnusable);
    EXPECT_EQ(VexoBackup::makeBackupView(views.dir.path(device), maker.password, views.library.folder()),
              VexoBackup::ViewFolderUnusable);
    EXPECT_EQ(VexoBackup::makeBackupView(views.dir.path(device), maker.password, other), VexoBackup::ViewReady);
    EXPECT_EQ(VexoBackup::makeBackupView(views.dir.path(device), maker.password, other), VexoBackup::ViewReady);
    EXPECT_FALSE(VexoBackup::removeBackupView(views.library.folder()));
    EXPECT_TRUE(VexoBackup::removeBackupView(other));
    EXPECT_FALSE(QFile::exists(other));
    // What a removal stopped halfway may leave, folders without files, is
    // taken (a file without the view's stamp is not, as above).
    ASSERT_TRUE(QDir().mkpath(other + QStringLiteral("/SMS/Attachments")));
    ASSERT_TRUE(QDir().mkpath(other + QStringLiteral("/AddressBook")));
    EXPECT_EQ(VexoBackup::makeBackupView(views.dir.path(device), maker.password, other), VexoBackup::ViewReady);
    EXPECT_EQ(ComputerBackup::contents(other), ComputerBackup::contents(views.library.folder()));
    EXPECT_TRUE(VexoBackup::removeBackupView(other));
    EXPECT_FALSE(QFile::exists(other));
}

TEST(VexoBackup, DeeplyNestedManifestsAreCorruptAndLeaveNoView)
{
    Views views;
    const QString password = QStringLiteral("pw");
    const QString view = views.cache.filePath(QStringLiteral("view"));
    const auto expectCorrupt = [&](const QString& backup, const QString& given, const char* name) {
        EXPECT_EQ(VexoBackup::makeBackupView(backup, given, view), VexoBackup::ViewCorruptManifest) << name;
        EXPECT_FALSE(QFile::exists(view + QStringLiteral("/SMS/sms.db"))) << name;
    };

    // A record of Manifest.db, in a plain and in an encrypted backup.
    for (const QString& given : {QString(), password}) {
        ComputerBackup maker;
        maker.password = given;
        maker.manifestSql =
            QStringLiteral("UPDATE Files SET file = nested_plist(100000) WHERE relativePath = 'Library/SMS/sms.db';");
        const QString backup = views.dir.path(QStringLiteral("record-") + given);
        ASSERT_TRUE(maker.write(views.library.folder(), backup));
        expectCorrupt(backup, given, given.isEmpty() ? "plain, deep record" : "encrypted, deep record");
    }

    // Manifest.plist, which holds the keybag of an encrypted backup.
    const std::pair<const char*, QByteArray> plists[] = {{"binary", PropertyListFixture::nestedArrays(100000)},
                                                         {"XML", PropertyListFixture::nestedArraysXml(100000)}};
    for (const auto& [name, plist] : plists) {
        ComputerBackup maker;
        maker.password = password;
        const QString backup = views.dir.path(QStringLiteral("plist-") + QLatin1String(name));
        ASSERT_TRUE(maker.write(views.library.folder(), backup));
        views.dir.writeFile(QStringLiteral("plist-") + QLatin1String(name) + QStringLiteral("/Manifest.plist"), plist);
        expectCorrupt(backup, password, name);
    }
}

TEST(VexoBackup, ADataFileNamedUnderManyPathsIsDecryptedOnce)
{
    Views views;
    const QString folder = QStringLiteral("SMS/Attachments/0a/10/G/");
    const QByteArray picture = QByteArray("picture ").repeated(32 * 1024); // 256 KiB
    views.library.writeFile(folder + QStringLiteral("IMG 1.jpeg"), picture);
    ComputerBackup maker;
    maker.password = QStringLiteral("pw");
    // Without the key on fileID, 100 more rows name the picture's data file.
    maker.manifestSql = QStringLiteral(
        "CREATE TABLE Copy AS SELECT * FROM Files; DROP TABLE Files; ALTER TABLE Copy RENAME TO Files;\n"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100)\n"
        "INSERT INTO Files SELECT f.fileID, f.domain, 'Library/%1copy ' || n.i || '.jpeg', f.flags, f.file\n"
        "FROM Files f, n WHERE f.relativePath = 'Library/%1IMG 1.jpeg';").arg(folder);
    const QString backup = views.dir.path(QStringLiteral("enc"));
    ASSERT_TRUE(maker.write(views.library.folder(), backup));
    const QString view = views.cache.filePath(QStringLiteral("view"));
    ASSERT_EQ(VexoBackup::makeBackupView(backup, maker.password, view), VexoBackup::ViewReady);

    // Every path reads the picture.
    QStringList names = QDir(view + QLatin1Char('/') + folder).entryList(QDir::Files);
    EXPECT_EQ(names.size(), 101);
    for (const QString& name : names) {
        QFile file(view + QLatin1Char('/') + folder + name);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        EXPECT_TRUE(file.readAll() == picture) << name.toStdString();
    }
#if !defined(_WIN32)
    // Decrypted bytes (files that are no links) stay within the backup's data.
    const auto bytesBelow = [](const QString& root, QDir::Filters filters) {
        qint64 total = 0;
        QDirIterator it(root, QDir::Files | filters, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            if (!it.fileName().startsWith(QLatin1String("Manifest.")))
                total += it.fileInfo().size();
        }
        return total;
    };
    const qint64 decrypted = bytesBelow(view, QDir::NoSymLinks);
    EXPECT_GE(decrypted, picture.size());
    EXPECT_LE(decrypted, bytesBelow(backup, QDir::NoFilter));
#endif
}
