// Views of backups in the form of iOS 5 to 9 (Manifest.mbdb), and views that
// must not lead out of their backup.
#include "VexoBackup.h"

#include "ComputerBackup.h"
#include "TestBackup.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <functional>

namespace {

// A Library-like folder whose files are their own names, repeated.
class OlderBackups : public ::testing::Test
{
protected:
    OlderBackups()
    {
        for (const char* file : {"SMS/sms.db", "SMS/sms.db-wal", "AddressBook/AddressBook.sqlitedb",
                                 "SMS/Attachments/0a/10/G/IMG 1.jpeg"})
            dir.writeFile(QStringLiteral("lib/") + QLatin1String(file), QByteArray(file).repeated(97));
    }

    QString library() const { return dir.path(QStringLiteral("lib")); }
    QString backupOf(const ComputerBackup& maker, const QString& name)
    {
        const QString folder = dir.path(name);
        EXPECT_TRUE(maker.write(library(), folder));
        return folder;
    }
    static ComputerBackup older(const QString& password = QString(), quint32 version = 3, bool passwordRound = false)
    {
        ComputerBackup maker;
        maker.olderManifest = true;
        maker.password = password;
        maker.keyBagVersion = version;
        maker.passwordRound = passwordRound;
        return maker;
    }

    TestBackup dir;
};

#if !defined(_WIN32)
// Every file reached from the view, links followed, with its real path.
QStringList realPaths(const QString& view)
{
    QStringList paths;
    QDirIterator it(view, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << QFileInfo(it.next()).canonicalFilePath();
    return paths;
}
#endif

} // namespace

TEST_F(OlderBackups, GiveTheViewOfTheUnpackedFolderWhateverTheKeyBag)
{
    const QString expected = ComputerBackup::contents(library());
    const struct
    {
        const char* name;
        ComputerBackup maker;
    } forms[] = {
        {"plain", older()},
        {"key bag 2", older(QStringLiteral("pw \u00e4"), 2)},
        {"key bag 3", older(QStringLiteral("pw \u00e4"), 3)},
        {"key bag 3, two rounds", older(QStringLiteral("pw \u00e4"), 3, true)},
    };
    for (const auto& form : forms) {
        ComputerBackup maker = form.maker;
        // iOS 9 records sizes smaller than the files; the whole file counts.
        maker.recordedShortfall = 700;
        const QString backup = backupOf(maker, QLatin1String(form.name));
        EXPECT_FALSE(QFileInfo::exists(backup + QStringLiteral("/Manifest.db"))) << form.name;
        const QString before = ComputerBackup::listing(backup);
        const QString view = dir.path(QStringLiteral("view"));
        ASSERT_EQ(VexoBackup::makeBackupView(backup, maker.password, view), VexoBackup::ViewReady) << form.name;
        EXPECT_EQ(ComputerBackup::contents(view), expected) << form.name;
        EXPECT_EQ(ComputerBackup::listing(backup), before) << form.name << ": nothing written into the backup";
        EXPECT_EQ(VexoBackup::backupKind(backup),
                  maker.password.isEmpty() ? VexoBackup::HashedBackup : VexoBackup::EncryptedBackup);
        EXPECT_TRUE(VexoBackup::removeBackupView(view));
        if (!maker.password.isEmpty()) {
            EXPECT_EQ(VexoBackup::makeBackupView(backup, QStringLiteral("pw a"), view), VexoBackup::ViewWrongPassword)
                << form.name;
            EXPECT_EQ(VexoBackup::makeBackupView(backup, QString(), view), VexoBackup::ViewPasswordNeeded) << form.name;
        }
        VexoBackup::removeBackupView(view);
    }
}

TEST_F(OlderBackups, DamageHasItsOwnStatus)
{
    const QString sms = ComputerBackup::olderDataPath(QStringLiteral("HomeDomain"), QStringLiteral("Library/SMS/sms.db"));
    const auto cut = [](const QString& relative, qint64 bytes) {
        return [relative, bytes](const QString& folder) {
            QFile file(folder + QLatin1Char('/') + relative);
            file.resize(file.size() - bytes);
        };
    };
    const struct
    {
        const char* name;
        QString password;
        std::function<void(const QString&)> damage;
        VexoBackup::ViewStatus status;
    } cases[] = {
        {"manifest cut short", QString(), cut(QStringLiteral("Manifest.mbdb"), 3), VexoBackup::ViewCorruptManifest},
        {"manifest of iOS 4", QString(), [](const QString& folder) {
             QFile file(folder + QStringLiteral("/Manifest.mbdb"));
             file.open(QIODevice::ReadWrite);
             file.seek(4);
             file.write("\x04", 1);
         }, VexoBackup::ViewCorruptManifest},
        {"no message database", QString(), [sms](const QString& folder) { QFile::remove(folder + QLatin1Char('/') + sms); },
         VexoBackup::ViewPartialBackup},
        {"database cut short", QStringLiteral("pw"), cut(sms, 5), VexoBackup::ViewTruncatedFile},
    };
    for (const auto& c : cases) {
        const QString backup = backupOf(older(c.password), QLatin1String(c.name));
        c.damage(backup);
        const QString view = dir.path(QStringLiteral("view"));
        EXPECT_EQ(VexoBackup::makeBackupView(backup, c.password, view), c.status) << c.name;
        EXPECT_FALSE(QFileInfo::exists(view + QStringLiteral("/SMS/sms.db"))) << c.name;
        VexoBackup::removeBackupView(view);
    }
}

#if !defined(_WIN32) // symbolic links need a privilege there
TEST_F(OlderBackups, DataFilesThatLeadOutsideTheBackupStayOutOfTheView)
{
    dir.writeFile(QStringLiteral("secret/file"), "not for the view");
    dir.writeFile(QStringLiteral("secret/d5/file"), "not for the view either");
    const QString secret = dir.path(QStringLiteral("secret/file"));
    const QString wal = QStringLiteral("Library/SMS/sms.db-wal");
    const QString attachment = QStringLiteral("Library/SMS/Attachments/0a/10/G/IMG 1.jpeg");
    for (const bool olderForm : {false, true}) {
        for (const QString& password : {QString(), QStringLiteral("pw")}) {
            ComputerBackup maker = olderForm ? older(password) : ComputerBackup();
            maker.password = password;
            const QString backup = backupOf(maker, QStringLiteral("linked-%1-%2").arg(olderForm).arg(password));
            const auto dataOf = [&](const QString& domain, const QString& path) {
                return backup + QLatin1Char('/')
                    + (olderForm ? ComputerBackup::olderDataPath(domain, path) : ComputerBackup::dataPath(domain, path));
            };
            // The write-ahead log's data is a link to a file outside.
            const QString walData = dataOf(QStringLiteral("HomeDomain"), wal);
            ASSERT_TRUE(QFile::remove(walData));
            ASSERT_TRUE(QFile::link(secret, walData));
            // The attachment's data lies in a linked folder (Manifest.db's
            // two-letter folders), or is itself a link to a linked file.
            const QString attachmentData = dataOf(QStringLiteral("MediaDomain"), attachment);
            if (olderForm) {
                ASSERT_TRUE(QFile::remove(attachmentData));
                ASSERT_TRUE(QFile::link(secret, attachmentData));
            } else {
                const QString folder = QFileInfo(attachmentData).path();
                const QString outside = dir.path(QStringLiteral("secret/") + QFileInfo(folder).fileName() + password);
                ASSERT_TRUE(QDir().rename(folder, outside));
                ASSERT_TRUE(QFile::link(outside, folder));
            }
            const QString view = dir.path(QStringLiteral("view"));
            ASSERT_EQ(VexoBackup::makeBackupView(backup, password, view), VexoBackup::ViewReady);
            EXPECT_TRUE(QFileInfo(view + QStringLiteral("/SMS/sms.db")).isFile());
            EXPECT_FALSE(QFileInfo::exists(view + QStringLiteral("/SMS/sms.db-wal"))) << backup.toStdString();
            EXPECT_FALSE(QFileInfo::exists(view + QLatin1Char('/') + attachment.mid(8))) << backup.toStdString();
            const QString inside = QFileInfo(backup).canonicalFilePath() + QLatin1Char('/');
            const QString ownFiles = QFileInfo(view).canonicalFilePath() + QLatin1Char('/');
            for (const QString& path : realPaths(view))
                EXPECT_TRUE(path.startsWith(inside) || path.startsWith(ownFiles)) << path.toStdString();
            VexoBackup::removeBackupView(view);

            // The message database itself: without it there is no view.
            const QString smsData = dataOf(QStringLiteral("HomeDomain"), QStringLiteral("Library/SMS/sms.db"));
            ASSERT_TRUE(QFile::remove(smsData));
            ASSERT_TRUE(QFile::link(secret, smsData));
            EXPECT_EQ(VexoBackup::makeBackupView(backup, password, view), VexoBackup::ViewPartialBackup);
            VexoBackup::removeBackupView(view);
        }
    }
}
#endif
