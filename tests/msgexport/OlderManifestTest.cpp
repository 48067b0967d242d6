// msgexport on computer backups in the form of iOS 5 to 9 (Manifest.mbdb,
// files directly in the folder) made from the sample backup: the export of
// the unpacked folder, and a message and exit code for each bad one.
#include "ComputerBackup.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <functional>

#include <gtest/gtest.h>

namespace {

class OlderManifestTest : public ::testing::Test
{
protected:
    QTemporaryDir temp;
    QString at(const QString& name) const { return QFileInfo(temp.path()).canonicalFilePath() + QLatin1Char('/') + name; }
    QStringList cacheEnvironment() const { return {QStringLiteral("XDG_CACHE_HOME=") + at(QStringLiteral("cache"))}; }

    static ComputerBackup older(const QString& password = QString(), quint32 keyBagVersion = 3)
    {
        ComputerBackup maker;
        maker.olderManifest = true;
        maker.password = password;
        maker.keyBagVersion = keyBagVersion;
        maker.passwordRound = false;
        // A real iOS 9 backup records the message database a third smaller than it is.
        maker.recordedShortfall = 20000;
        return maker;
    }

    QString backupOf(const ComputerBackup& maker, const QString& name)
    {
        const QString folder = at(name);
        EXPECT_TRUE(maker.write(sampleBackup(), folder));
        return folder;
    }

    ExportRun run(const QString& folder, const QString& password, const QStringList& extra = {})
    {
        QStringList arguments{folder};
        if (!password.isEmpty()) {
            writeFile(at(QStringLiteral("password")), password.toUtf8() + "\n");
            arguments << QStringLiteral("--password-file") << at(QStringLiteral("password"));
        }
        return runMsgExport(arguments + extra, cacheEnvironment());
    }
};

} // namespace

TEST_F(OlderManifestTest, ExportsAsTheUnpackedFolder)
{
    const QString password = QStringLiteral("iOS 9 p\u00e4ssword");
    const struct
    {
        QString folder;
        QString password;
        QString announced;
    } forms[] = {
        {sampleBackup(), QString(), QString()},
        {backupOf(older(), QStringLiteral("plain")), QString(),
         QStringLiteral(" is a computer backup (iOS 5\u20139 manifest)\n")},
        // Each key bag version's view is the library's to test; one is enough here.
        {backupOf(older(password, 2), QStringLiteral("bag2")), password,
         QStringLiteral(" is a computer backup (iOS 5\u20139 manifest, encrypted)\n")},
    };
    QString expected[2];
    for (const auto& form : forms) {
        const QString before = ComputerBackup::listing(form.folder);
        const QString view = at(QStringLiteral("view"));
        int i = 0;
        for (const char* format : {"text", "json"}) {
            const ExportRun result = run(form.folder, form.password,
                                         {QStringLiteral("--format"), QLatin1String(format), QStringLiteral("--keep-view"), view});
            ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
            EXPECT_TRUE(result.err.contains(form.announced)) << result.err.toStdString();
            QString exported = result.out;
            for (const QString& path : {view, form.folder, sampleBackup()})
                exported.replace(path, QStringLiteral("@BACKUP@"));
            EXPECT_GT(exported.size(), 1000);
            if (expected[i].isEmpty())
                expected[i] = exported;
            EXPECT_EQ(exported.toStdString(), expected[i].toStdString()) << form.folder.toStdString() << ' ' << format;
            ++i;
        }
        EXPECT_EQ(ComputerBackup::listing(form.folder), before) << "nothing written into the backup";
        QDir(view).removeRecursively();
    }
}

TEST_F(OlderManifestTest, EachBadBackupHasItsOwnMessageAndExitCode)
{
    const auto rewrite = [](const std::function<QByteArray(const QByteArray&)>& change) {
        return [change](const QString& folder) {
            QFile file(folder + QStringLiteral("/Manifest.mbdb"));
            ASSERT_TRUE(file.open(QIODevice::ReadWrite));
            const QByteArray changed = change(file.readAll());
            file.resize(0);
            file.seek(0);
            file.write(changed);
        };
    };
    const struct
    {
        const char* name;
        QString password;
        QString givenPassword;
        std::function<void(const QString&)> damage;
        int code;
        QString message;
    } cases[] = {
        {"wrong password", QStringLiteral("right"), QStringLiteral("wrong"), nullptr, 6,
         QStringLiteral("wrong password for the encrypted backup")},
        {"no password", QStringLiteral("right"), QString(), nullptr, 12, QStringLiteral("is encrypted: give its password")},
        {"manifest cut short", QString(), QString(), rewrite([](const QByteArray& m) { return m.left(m.size() - 9); }),
         10, QStringLiteral("is damaged: its Manifest.mbdb cannot be read")},
        {"message database cut short", QStringLiteral("right"), QStringLiteral("right"),
         [](const QString& folder) {
             QFile file(folder + QLatin1Char('/')
                        + ComputerBackup::olderDataPath(QStringLiteral("HomeDomain"), QStringLiteral("Library/SMS/sms.db")));
             file.resize(file.size() - 100);
         },
         11, QStringLiteral("an encrypted database file is truncated")},
    };
    for (const auto& c : cases) {
        const QString folder = backupOf(older(c.password), QLatin1String(c.name));
        if (c.damage)
            c.damage(folder);
        const QString before = ComputerBackup::listing(folder);
        const ExportRun result = run(folder, c.givenPassword);
        EXPECT_EQ(result.exitCode, c.code) << c.name << ": " << result.err.toStdString();
        EXPECT_TRUE(result.err.contains(c.message)) << c.name << ": " << result.err.toStdString();
        EXPECT_TRUE(result.out.isEmpty()) << c.name;
        EXPECT_EQ(ComputerBackup::listing(folder), before) << c.name;
    }
    EXPECT_EQ(ComputerBackup::contents(at(QStringLiteral("cache"))), QString()) << "views do not outlive the run";
}
