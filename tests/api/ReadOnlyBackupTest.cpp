// The shared library with the real service libraries, as a host runs it: a
// backup is read as it lies and never written to.
#include "ComputerBackup.h"
#include "MsgContent.h"
#include "MsgIdentifier.h"
#include "MsgPiece.h"
#include "MsgService.h"
#include "MsgSession.h"
#include "TestBackup.h"
#include "VexoBackup.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sys/stat.h>
#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

void setTreeWritable(const QString& folder, bool writable)
{
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    QStringList paths{folder};
    while (it.hasNext())
        paths << it.next();
    for (const QString& path : qAsConst(paths))
        chmod(QFile::encodeName(path).constData(), (QFileInfo(path).isDir() ? 0555 : 0444) | (writable ? 0200 : 0));
}

// A backup of a recent device whose newest rows sit only in the "-wal"
// files of both databases.
class WalBackup : public TestBackup
{
public:
    WalBackup()
    {
        writeFile(QStringLiteral("SMS/Attachments/ab/11/G1/IMG_0001.jpeg"), "jpeg");
        writeDatabase(QStringLiteral("SMS/sms.db"), schema(QStringLiteral("ios14-sms.sql")) + QStringLiteral(R"(
insert into handle (ROWID, id, service, uncanonicalized_id) values (1, '+19192084530', 'iMessage', NULL);
insert into chat (ROWID, guid, chat_identifier) values (1, 'c1', '+19192084530');
insert into chat_handle_join (chat_id, handle_id) values (1, 1);
insert into message (ROWID, guid, text, date, service, attributedBody) values
  (1, 'm1', 'look ' || char(65532), 700000000000000000, 'iMessage', archived_body('look')),
  (2, 'm2', NULL, 700000060000000000, 'iMessage', archived_body('only in the body'));
insert into chat_message_join (chat_id, message_id) values (1, 1), (1, 2);
insert into attachment (ROWID, guid, original_guid, filename, mime_type) values
  (1, 'a1', 'o1', '~/Library/SMS/Attachments/ab/11/G1/IMG_0001.jpeg', 'image/jpeg');
insert into message_attachment_join (message_id, attachment_id) values (1, 1);
)"), FixtureDatabase::Journal::WalOnly);
        writeDatabase(QStringLiteral("AddressBook/AddressBook.sqlitedb"), schema(QStringLiteral("addressbook.sql")) + QStringLiteral(R"(
insert into ABPerson (ROWID, First, Last, guid) values (1, 'Dana', 'Reyes', 'p1');
insert into ABMultiValue (UID, record_id, property, value, guid) values (1, 1, 3, '+1 (919) 208-4530', 'v1');
)"), FixtureDatabase::Journal::WalOnly);
    }

    // What a host reads of a backup folder, or of a device's backup at its
    // default path; empty when the load failed.
    static QString summary(const QString& folderOrDevice, bool device = false)
    {
        MsgService service(device ? folderOrDevice : QStringLiteral("api-test"), false);
        const bool loaded = device ? service.loadSMSOnly() == 1 : service.loadBackup(folderOrDevice);
        if (!loaded || service.msgSessionCount() != 1)
            return QString();
        const MsgSession* session = service.msgSession(0);
        QStringList parts{session->participants.value(1)->contactName};
        for (const MsgContent* message : session->messages) {
            parts << message->attributedText;
            for (const MsgPiece* piece : message->pieces)
                parts << piece->mimeType + QLatin1Char(' ') + QString::fromUtf8(piece->data) + QLatin1Char(' ')
                        + QFileInfo(piece->filePath).fileName();
        }
        return parts.join(QLatin1Char('|'));
    }
};

const QString expected = QStringLiteral(
    "Dana Reyes|only in the body|text/plain  |look|text/plain look |image/jpeg  IMG_0001.jpeg");

// Root ignores permissions, so a load as root is repeated as an unprivileged user.
// Windows has no root: the read-only attribute binds administrators as well.
void expectAsUnprivilegedUser(const QString& folder, const std::function<bool()>& load)
{
#if defined(_WIN32)
    Q_UNUSED(folder)
    Q_UNUSED(load)
#else
    if (geteuid() != 0)
        return;
    chmod(QFile::encodeName(QFileInfo(folder).path()).constData(), 01777);
    std::fflush(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const bool dropped = setgid(65534) == 0 && setuid(65534) == 0;
        // exit, not _exit: the child's private copies of the databases are removed on the way out.
        std::exit(!dropped ? 2 : load() ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: wrong result, 2: could not drop privileges";
#endif
}

} // namespace

TEST(ReadOnlyBackup, WalBackupLoadsFullyAlsoWithoutWritePermissionAndIsLeftExactlyAsItWas)
{
    WalBackup backup;
    ASSERT_TRUE(QFile::exists(backup.folder() + QStringLiteral("/SMS/sms.db-wal")));
    const QString before = ComputerBackup::listing(backup.folder());
    EXPECT_EQ(WalBackup::summary(backup.folder()), expected);
    EXPECT_EQ(WalBackup::summary(backup.folder()), expected) << "a second load reads the same";
    EXPECT_EQ(ComputerBackup::listing(backup.folder()), before);

    setTreeWritable(backup.folder(), false);
    const QString readOnly = ComputerBackup::listing(backup.folder());
    EXPECT_EQ(WalBackup::summary(backup.folder()), expected);
    expectAsUnprivilegedUser(backup.folder(), [&] { return WalBackup::summary(backup.folder()) == expected; });
    EXPECT_EQ(ComputerBackup::listing(backup.folder()), readOnly);
    setTreeWritable(backup.folder(), true);
}

TEST(ReadOnlyBackup, ComputerBackupsLoadFromTheDefaultPathAndAreLeftAsTheyWere)
{
    WalBackup library;
    QTemporaryDir root;
    QTemporaryDir cache;
    chmod(QFile::encodeName(cache.path()).constData(), 01777); // the unprivileged user's views too
    qputenv("VEXOBACKUP_ROOT", QFile::encodeName(root.path()));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
    for (const QString& password : {QString(), QStringLiteral("s3cret")}) {
        const QString device = password.isEmpty() ? QStringLiteral("hashed-1") : QStringLiteral("encrypted-1");
        const QString backup = root.filePath(device);
        ComputerBackup maker;
        maker.password = password;
        ASSERT_TRUE(maker.write(library.folder(), backup));
        setTreeWritable(backup, false);
        const auto before = ComputerBackup::listing(backup);
        VexoBackup::setBackupPassword(device, password);
        EXPECT_EQ(WalBackup::summary(device, true), expected) << device.toStdString();
        EXPECT_EQ(WalBackup::summary(device, true), expected) << "again, from the same view";
        expectAsUnprivilegedUser(backup, [&] {
            qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.filePath(QStringLiteral("nobody"))));
            return WalBackup::summary(device, true) == expected;
        });
        EXPECT_EQ(ComputerBackup::listing(backup), before);
        setTreeWritable(backup, true);
    }
    qunsetenv("VEXOBACKUP_ROOT");
    qunsetenv("XDG_CACHE_HOME");
}
