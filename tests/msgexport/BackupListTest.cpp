// msgexport --list and --device: the backups of the platform's folders, of
// MSGSERVICE_BACKUP_ROOTS and of --backup-root, and the backup each form of
// --device picks; and an export that looks at its backup once.
#include "BackupInspection.h"
#include "ExportApp.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString annaPhone = QStringLiteral("00008110-000A11112222333E");
const QString annaPad = QStringLiteral("00008110-000A1111ABCD0001");

class BackupListTest : public ::testing::Test
{
protected:
    QTemporaryDir temp;
    QString at(const QString& name) const { return QFileInfo(temp.path()).canonicalFilePath() + QLatin1Char('/') + name; }

    // The platform's folder (on Windows the store app's; the classic one
    // holds nothing), one named by MSGSERVICE_BACKUP_ROOTS, one for --backup-root.
#if defined(_WIN32)
    QString platformRoot() const { return at(QStringLiteral("profile/Apple/MobileSync/Backup")); }
#else
    QString platformRoot() const { return at(QStringLiteral("data/MobileSync/Backup")); }
#endif
    QString environmentRoot() const { return at(QStringLiteral("env")); }
    QString givenRoot() const { return at(QStringLiteral("given")); }

    QStringList environment() const
    {
        return {QStringLiteral("VEXOBACKUP_ROOT="),
                QStringLiteral("XDG_DATA_HOME=") + at(QStringLiteral("data")),
                QStringLiteral("XDG_CACHE_HOME=") + at(QStringLiteral("cache")),
                QStringLiteral("APPDATA=") + QDir::toNativeSeparators(at(QStringLiteral("appdata"))),
                QStringLiteral("USERPROFILE=") + QDir::toNativeSeparators(at(QStringLiteral("profile"))),
                QStringLiteral("MSGSERVICE_BACKUP_ROOTS=") + QDir::toNativeSeparators(at(QStringLiteral("none")))
                    + QDir::listSeparator() + QDir::toNativeSeparators(environmentRoot())};
    }

    void backup(const QString& root, const QString& udid, const QString& name, int day,
                ComputerBackup maker = ComputerBackup())
    {
        maker.deviceName = name;
        maker.productType = QStringLiteral("iPhone15,3");
        maker.lastBackup = QDateTime(QDate(2024, 3, day), QTime(9, 0), Qt::UTC);
        ASSERT_TRUE(maker.write(sampleBackup(), root + QLatin1Char('/') + udid));
    }

    // Two devices whose identifiers share a prefix and whose names begin alike.
    void twoDevices()
    {
        backup(platformRoot(), annaPhone, QStringLiteral("Anna's iPhone"), 5);
        backup(environmentRoot(), annaPad, QStringLiteral("Anna's iPhone 2"), 7);
    }
};

} // namespace

TEST_F(BackupListTest, ListsEveryBackupNewestFirstAsTextAndJson)
{
    twoDevices();
    ComputerBackup running;
    running.snapshotState = QStringLiteral("uploading");
    backup(givenRoot(), QStringLiteral("running"), QStringLiteral("Bo"), 9, running);
    backup(givenRoot(), QStringLiteral("broken"), QStringLiteral("Cy"), 1);
    ASSERT_TRUE(QFile::remove(givenRoot() + QStringLiteral("/broken/Manifest.db")));
    QDir().mkpath(givenRoot() + QStringLiteral("/notes"));
    const QStringList list = {QStringLiteral("--list"), QStringLiteral("--backup-root"), QDir::toNativeSeparators(givenRoot())};

    const ExportRun text = runMsgExport(list, environment());
    ASSERT_EQ(text.exitCode, 0) << text.err.toStdString();
    const QStringList lines = text.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 6) << text.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("UDID "))) << "a header";
    const QStringList expected[] = {
        {QStringLiteral("running"), QStringLiteral("2024-03-09 09:00"), QStringLiteral("in progress")},
        {annaPad, QStringLiteral("Anna's iPhone 2"), QStringLiteral("iPhone15,3"), QStringLiteral("16.4"),
         QStringLiteral("2024-03-07 09:00"), QStringLiteral(" no "), QStringLiteral("complete")},
        {annaPhone, QStringLiteral("Anna's iPhone "), QStringLiteral("2024-03-05 09:00"), QStringLiteral("complete")},
        {QStringLiteral("broken"), QStringLiteral("damaged: Manifest.db is missing")},
        {QStringLiteral("notes"), QStringLiteral("damaged: not a backup")},
    };
    for (int i = 0; i < 5; ++i) {
        for (const QString& part : expected[i])
            EXPECT_TRUE(lines[i + 1].contains(part)) << lines[i + 1].toStdString() << " lacks " << part.toStdString();
    }
    EXPECT_TRUE(lines[2].contains(QDir::toNativeSeparators(environmentRoot()))) << "where it lies";

    const ExportRun json = runMsgExport(list + QStringList{QStringLiteral("--format"), QStringLiteral("json")}, environment());
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    const QJsonObject top = QJsonDocument::fromJson(json.out.toUtf8()).object();
    const QJsonArray backups = top.value(QStringLiteral("backups")).toArray();
    ASSERT_EQ(backups.size(), 5) << json.out.toStdString();
    EXPECT_TRUE(top.value(QStringLiteral("roots")).toArray().contains(QDir::toNativeSeparators(givenRoot())));
    const QJsonObject pad = backups[1].toObject();
    EXPECT_EQ(pad.value(QStringLiteral("udid")).toString(), annaPad);
    EXPECT_EQ(pad.value(QStringLiteral("deviceName")).toString(), QStringLiteral("Anna's iPhone 2"));
    EXPECT_EQ(pad.value(QStringLiteral("productType")).toString(), QStringLiteral("iPhone15,3"));
    EXPECT_EQ(pad.value(QStringLiteral("productVersion")).toString(), QStringLiteral("16.4"));
    EXPECT_EQ(pad.value(QStringLiteral("lastBackup")).toString(), QStringLiteral("2024-03-07T09:00:00Z"));
    EXPECT_EQ(pad.value(QStringLiteral("encrypted")), QJsonValue(false));
    EXPECT_GT(pad.value(QStringLiteral("size")).toDouble(), 0.0);
    EXPECT_EQ(pad.value(QStringLiteral("state")).toString(), QStringLiteral("complete"));
    EXPECT_TRUE(pad.value(QStringLiteral("reason")).isNull());
    EXPECT_EQ(backups[0].toObject().value(QStringLiteral("state")).toString(), QStringLiteral("inProgress"));
    EXPECT_EQ(backups[3].toObject().value(QStringLiteral("state")).toString(), QStringLiteral("damaged"));
    EXPECT_TRUE(backups[3].toObject().value(QStringLiteral("reason")).toString().contains(QStringLiteral("Manifest.db")));
    EXPECT_TRUE(backups[4].toObject().value(QStringLiteral("lastBackup")).isNull());

    // An encrypted backup says so; nothing found says where it looked.
    ComputerBackup encrypted;
    encrypted.password = QStringLiteral("pw");
    backup(at(QStringLiteral("secret")), QStringLiteral("enc"), QStringLiteral("Di"), 2, encrypted);
    const ExportRun secret = runMsgExport({QStringLiteral("--list"), QStringLiteral("--format"), QStringLiteral("json"),
                                           QStringLiteral("--backup-root"), at(QStringLiteral("secret"))},
                                          environment());
    const QJsonArray found = QJsonDocument::fromJson(secret.out.toUtf8()).object().value(QStringLiteral("backups")).toArray();
    EXPECT_EQ(found.size(), 3);
    for (const QJsonValue& item : found)
        EXPECT_EQ(item.toObject().value(QStringLiteral("encrypted")),
                  QJsonValue(item.toObject().value(QStringLiteral("deviceId")).toString() == QStringLiteral("enc")));
    const ExportRun none = runMsgExport({QStringLiteral("--list")}, {QStringLiteral("VEXOBACKUP_ROOT=") + at(QStringLiteral("void"))});
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_TRUE(none.out.isEmpty());
    EXPECT_TRUE(none.err.contains(QStringLiteral("no backups in"))) << none.err.toStdString();
    const ExportRun typo = runMsgExport({QStringLiteral("--list"), QStringLiteral("--backup-root"), at(QStringLiteral("typo"))},
                                        environment());
    EXPECT_EQ(typo.exitCode, 0);
    EXPECT_TRUE(typo.err.contains(QStringLiteral("--backup-root ") + at(QStringLiteral("typo")) + QStringLiteral(" is not a folder")))
        << typo.err.toStdString();
    EXPECT_TRUE(typo.out.contains(annaPad)) << "the other roots are listed";
    EXPECT_EQ(runMsgExport({QStringLiteral("--list"), QStringLiteral("--format"), QStringLiteral("html")}).exitCode,
              ExportApp::BadArguments);
}

TEST_F(BackupListTest, DeviceTakesAnIdentifierAPrefixOrAName)
{
    twoDevices();
    // The matching rules are the catalog's; here each root and each kind of form once.
    const QPair<QString, QString> forms[] = {
        {QStringLiteral("00008110-000a11112"), annaPhone},
        {QStringLiteral("Anna's iPhone 2"), annaPad},
    };
    for (const auto& [device, chosen] : forms) {
        const ExportRun run = runMsgExport({QStringLiteral("--device"), device}, environment());
        EXPECT_EQ(run.exitCode, 0) << device.toStdString() << ": " << run.err.toStdString();
        const QString folder = (chosen == annaPad ? environmentRoot() : platformRoot()) + QLatin1Char('/') + chosen;
        EXPECT_TRUE(run.out.startsWith(QStringLiteral("7 conversations, 52 messages from ") + folder + QLatin1Char('\n')))
            << device.toStdString() << ": " << run.out.left(200).toStdString();
        EXPECT_TRUE(run.out.contains(QStringLiteral("2024-05-10 18:02  Maya Chen: Are we still on for Saturday?")));
    }

    const ExportRun ambiguous = runMsgExport({QStringLiteral("--device"), QStringLiteral("00008110-000A1111")}, environment());
    EXPECT_EQ(ambiguous.exitCode, ExportApp::AmbiguousDevice);
    EXPECT_TRUE(ambiguous.err.contains(QStringLiteral("ambiguous"))) << ambiguous.err.toStdString();
    EXPECT_TRUE(ambiguous.err.contains(annaPhone) && ambiguous.err.contains(annaPad)) << "the candidates";
    EXPECT_TRUE(ambiguous.out.isEmpty());

    const ExportRun missing = runMsgExport({QStringLiteral("--device"), QStringLiteral("Anna")}, environment());
    EXPECT_EQ(missing.exitCode, ExportApp::FolderNotFound);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("msgexport --list"))) << missing.err.toStdString();

    // A backup below --backup-root, a Library-like folder there included.
    makeBackup(givenRoot() + QStringLiteral("/plain-library"), QString());
    const ExportRun given = runMsgExport(
        {QStringLiteral("--device"), QStringLiteral("plain-lib"), QStringLiteral("--backup-root"), givenRoot()}, environment());
    EXPECT_EQ(given.exitCode, 0) << given.err.toStdString();
    EXPECT_EQ(runMsgExport({sampleBackup(), QStringLiteral("--backup-root"), givenRoot()}).exitCode, ExportApp::BadArguments);
}

TEST_F(BackupListTest, AnExportReadsItsBackupsPropertyListsOnce)
{
    ComputerBackup maker;
    ASSERT_TRUE(maker.write(sampleBackup(), at(QStringLiteral("backup"))));
    ExportOptions options;
    options.backupFolder = at(QStringLiteral("backup"));
    options.outputFolder = at(QStringLiteral("out"));
    options.keepView = at(QStringLiteral("view"));
    options.quiet = true;
    const quint64 before = BackupInspection::propertyListsRead();
    EXPECT_EQ(ExportApp(options).run(), ExportApp::Done);
    EXPECT_EQ(BackupInspection::propertyListsRead() - before, 3u) << "Info.plist, Manifest.plist and Status.plist, once";
    EXPECT_FALSE(QDir(at(QStringLiteral("out"))).isEmpty()) << "the export was written";
}
