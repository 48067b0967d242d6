#include "BenchTestSupport.h"

#include "TypedStreamArchive.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

namespace {

// Everything a backup holds: every row of every table and every file.
QByteArray fingerprint(const QString& folder)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QString& db : {QStringLiteral("SMS/sms.db"), QStringLiteral("AddressBook/AddressBook.sqlitedb")}) {
        const QString path = folder + QLatin1Char('/') + db;
        for (const QString& table : column(path, QStringLiteral("select name from sqlite_master where type = 'table' order by name"))) {
            const QStringList columns = column(path, QStringLiteral("select name from pragma_table_info('%1')").arg(table));
            const QString row = QStringLiteral("quote(") + columns.join(QStringLiteral(") || '|' || quote(")) + QLatin1Char(')');
            for (const QString& value : column(path, QStringLiteral("select %1 from %2 order by rowid").arg(row, table)))
                hash.addData(value.toUtf8());
        }
    }
    QStringList files;
    QDirIterator it(folder + QStringLiteral("/SMS/Attachments"), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next().mid(folder.size()));
    files.sort();
    for (const QString& file : files) {
        QFile content(folder + file);
        content.open(QIODevice::ReadOnly);
        hash.addData(file.toUtf8());
        hash.addData(content.readAll());
    }
    return hash.result().toHex();
}

class GeneratedBackup : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { backup = new TestBackup(3000); }
    static void TearDownTestSuite()
    {
        delete backup;
        backup = nullptr;
    }
    static TestBackup* backup;
};
TestBackup* GeneratedBackup::backup = nullptr;

} // namespace

TEST(BackupGenerator, SameSeedGivesTheSameBackupAndAnotherSeedAnother)
{
    const TestBackup first(1500, 7);
    const TestBackup second(1500, 7);
    const TestBackup other(1500, 8);
    ASSERT_TRUE(first.error.isEmpty()) << qPrintable(first.error);
    EXPECT_TRUE(first.manifest == second.manifest);
    EXPECT_EQ(fingerprint(first.folder), fingerprint(second.folder));
    EXPECT_NE(fingerprint(first.folder), fingerprint(other.folder));
}

TEST(BackupGenerator, RefusesAnExistingFolderAndAnEmptyBackup)
{
    QTemporaryDir dir;
    BackupPlan plan;
    QString error;
    EXPECT_FALSE(generateBackup(dir.path(), plan, nullptr, &error));
    EXPECT_FALSE(error.isEmpty());
    plan.messages = 0;
    EXPECT_FALSE(generateBackup(dir.path() + QStringLiteral("/new"), plan, nullptr, &error));
    EXPECT_FALSE(QFileInfo::exists(dir.path() + QStringLiteral("/new")));
}

TEST_F(GeneratedBackup, ManifestCountsWhatTheDatabasesHold)
{
    ASSERT_TRUE(backup->error.isEmpty()) << qPrintable(backup->error);
    const BackupManifest& m = backup->manifest;
    const QString sms = backup->sms();
    EXPECT_EQ(m.messages, 3000);
    EXPECT_EQ(number(sms, QStringLiteral("select count(*) from message")), m.messages);
    EXPECT_EQ(number(sms, QStringLiteral("select count(*) from chat_message_join")), m.messages);
    EXPECT_EQ(number(sms, QStringLiteral("select count(*) from chat")), m.chatRows);
    EXPECT_EQ(number(sms, QStringLiteral("select count(distinct chat_identifier) from chat")), m.chatIdentifiers);
    EXPECT_EQ(number(sms, QStringLiteral("select count(*) from (select chat_identifier from chat group by 1 having count(*) = 2)")),
              m.sharedIdentifiers);
    EXPECT_GT(m.sharedIdentifiers, 0);
    EXPECT_EQ(number(sms, QStringLiteral("select count(*) from handle")), m.handles);
    EXPECT_EQ(number(sms, QStringLiteral("select count(*) from message_attachment_join")), m.attachments);
    EXPECT_EQ(number(backup->addressBook(), QStringLiteral("select count(*) from abperson")), m.contacts);
    // Identifiers whose chat rows got a message become sessions.
    EXPECT_EQ(number(sms, QStringLiteral("select count(distinct chat.chat_identifier) from chat join chat_message_join "
                                         "on chat.rowid = chat_message_join.chat_id")),
              m.sessions);
    EXPECT_EQ(number(sms, QStringLiteral("select count(*) from (select distinct c.chat_identifier, j.handle_id from chat c "
                                         "join chat_handle_join j on c.rowid = j.chat_id where c.chat_identifier in "
                                         "(select chat.chat_identifier from chat join chat_message_join on chat.rowid = chat_id))")),
              m.participants);
}

TEST_F(GeneratedBackup, ChatsHaveOneToTenParticipants)
{
    const QStringList sizes = column(backup->sms(), QStringLiteral("select count(*) from chat_handle_join group by chat_id"));
    QSet<int> seen;
    for (const QString& size : sizes)
        seen.insert(size.toInt());
    EXPECT_EQ(sizes.size(), backup->manifest.chatRows);
    EXPECT_TRUE(seen.contains(1));
    EXPECT_TRUE(seen.contains(2) || seen.contains(3));
    for (const int size : qAsConst(seen)) {
        EXPECT_GE(size, 1);
        EXPECT_LE(size, 10);
    }
}

TEST_F(GeneratedBackup, TextsAreShortAndLongWithBodiesAndPlaceholders)
{
    const QString sms = backup->sms();
    EXPECT_GT(number(sms, QStringLiteral("select count(*) from message where length(cast(text as blob)) < 40")), 1000);
    EXPECT_GT(number(sms, QStringLiteral("select count(*) from message where length(cast(text as blob)) > 127")), 200);
    EXPECT_GT(number(sms, QStringLiteral("select count(*) from message where text is null")), 0);
    // Every text has its archive; a text that is only placeholders too.
    EXPECT_EQ(number(sms, QStringLiteral("select count(*) from message where (text is null) != (attributedBody is null)")), 0);
    for (const QString& text : column(sms, QStringLiteral("select text from message where rowid % 97 = 1 and text is not null"))) {
        const QStringList bodies =
            column(sms, QStringLiteral("select hex(attributedBody) from message where text = %1").arg(QStringLiteral("'") + QString(text).replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'')));
        ASSERT_FALSE(bodies.isEmpty());
        EXPECT_TRUE(bodies.contains(QString::fromLatin1(TypedStreamArchive::attributedString(text).toHex().toUpper())));
    }

    // A message with placeholders has as many as it has attachments.
    const QStringList rows = column(sms, QStringLiteral(
        "select m.text || char(1) || (select count(*) from message_attachment_join j where j.message_id = m.rowid) "
        "from message m where instr(m.text, char(65532)) > 0"));
    EXPECT_GT(rows.size(), 100);
    for (const QString& row : rows) {
        const QStringList parts = row.split(QChar(1));
        EXPECT_EQ(parts.at(0).count(QChar(0xFFFC)), parts.at(1).toInt()) << qPrintable(parts.at(0));
    }
}

TEST_F(GeneratedBackup, DatesAreNanosecondsSince2001AndMostlyGrowWithRowid)
{
    const QString sms = backup->sms();
    const qint64 year2015 = 441763200LL * 1000000000LL;
    const qint64 year2025 = 757382400LL * 1000000000LL;
    EXPECT_EQ(number(sms, QStringLiteral("select count(*) from message where date < %1 or date > %2").arg(year2015).arg(year2025)), 0);
    EXPECT_EQ(number(sms, QStringLiteral("select count(*) from message where date_read != 0 and date_read < date")), 0);
    const qint64 ordered = number(sms, QStringLiteral("select count(*) from message a join message b on b.rowid = a.rowid + 100 where b.date > a.date"));
    EXPECT_GT(ordered, 2800);
}

TEST_F(GeneratedBackup, AttachmentsLieInGuidFoldersMostlyOnDiskSomeWithPreviews)
{
    const QRegularExpression shape(QStringLiteral(
        "^(~/Library/|/var/mobile/Library/)(SMS/Attachments/[0-9a-f]{2}/[0-9]{2}/[0-9A-F-]{36})/([^/]+)$"));
    const QStringList rows = column(backup->sms(), QStringLiteral(
        "select a.filename || char(1) || m.is_from_me from attachment a join message_attachment_join j on a.rowid = j.attachment_id "
        "join message m on m.rowid = j.message_id"));
    ASSERT_EQ(rows.size(), backup->manifest.attachments);
    EXPECT_GT(rows.size(), 250);
    EXPECT_LT(rows.size(), 450);
    int onDisk = 0;
    int previews = 0;
    int ownSide = 0;
    QSet<QString> prefixes;
    for (const QString& row : rows) {
        const QStringList parts = row.split(QChar(1));
        const QRegularExpressionMatch match = shape.match(parts.at(0));
        ASSERT_TRUE(match.hasMatch()) << qPrintable(parts.at(0));
        prefixes.insert(match.captured(1));
        const QDir folder(backup->folder + QLatin1Char('/') + match.captured(2));
        if (!folder.exists(match.captured(3)))
            continue;
        ++onDisk;
        const QString base = QFileInfo(match.captured(3)).completeBaseName();
        const QStringList found = folder.entryList({base + QStringLiteral("-preview-*")}, QDir::Files);
        previews += found.size();
        const QString side = parts.at(1) == QLatin1String("1") ? QStringLiteral("right") : QStringLiteral("left");
        if (found.size() == 1 && found.first().contains(side))
            ++ownSide;
    }
    EXPECT_EQ(onDisk, backup->manifest.attachmentsOnDisk);
    EXPECT_EQ(previews, backup->manifest.previews);
    EXPECT_GT(onDisk, rows.size() * 8 / 10);
    EXPECT_LT(onDisk, rows.size());
    EXPECT_GT(previews, 0);
    EXPECT_GT(ownSide, previews / 2);
    EXPECT_EQ(prefixes.size(), 2);
}

TEST_F(GeneratedBackup, AddressBookNamesMostHandles)
{
    const QStringList handles = column(backup->sms(), QStringLiteral("select coalesce(nullif(uncanonicalized_id, ''), id) from handle"));
    QSet<QString> book;
    for (QString value : column(backup->addressBook(), QStringLiteral("select value from abmultivalue where property in (3, 4)")))
        book.insert(value.remove(QRegularExpression(QStringLiteral("[-() ]"))));
    int known = 0;
    for (const QString& handle : handles)
        known += book.contains(handle) ? 1 : 0;
    EXPECT_GT(known, handles.size() / 2);
    EXPECT_LT(known, handles.size());
    EXPECT_GT(backup->manifest.namedParticipants, backup->manifest.participants / 2);
    EXPECT_LT(backup->manifest.namedParticipants, backup->manifest.participants);
    // Properties other than phone numbers and e-mail addresses are there to be skipped.
    EXPECT_GT(number(backup->addressBook(), QStringLiteral("select count(*) from abmultivalue where property not in (3, 4)")), 0);
}

TEST(BackupCache, ReusesACompleteBackupAndRemakesAStaleOne)
{
    QTemporaryDir cache;
    BackupPlan plan;
    plan.messages = 300;
    BackupManifest made;
    QString error;
    const QString folder = ensureBackup(cache.path(), plan, &made, &error);
    ASSERT_FALSE(folder.isEmpty()) << qPrintable(error);
    EXPECT_EQ(made.messages, 300);

    // A marker inside shows whether the same folder is handed back.
    QFile marker(folder + QStringLiteral("/marker"));
    ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
    marker.close();
    BackupManifest again;
    EXPECT_EQ(ensureBackup(cache.path(), plan, &again, &error), folder);
    EXPECT_TRUE(again == made);
    EXPECT_TRUE(QFileInfo::exists(marker.fileName()));

    // A manifest of another generator version means the backup is made anew.
    QFile manifest(folder + QStringLiteral(".manifest"));
    ASSERT_TRUE(manifest.open(QIODevice::ReadOnly));
    QByteArray text = manifest.readAll();
    manifest.close();
    text.replace("generator=", "generator=9");
    ASSERT_TRUE(manifest.open(QIODevice::WriteOnly | QIODevice::Truncate));
    manifest.write(text);
    manifest.close();
    EXPECT_EQ(ensureBackup(cache.path(), plan, &again, &error), folder);
    EXPECT_FALSE(QFileInfo::exists(marker.fileName()));
    EXPECT_TRUE(again == made);
}

TEST(BackupManifestFile, RoundTripsAndRefusesIncompleteFiles)
{
    QTemporaryDir dir;
    BackupManifest written;
    written.messages = 12;
    written.namedParticipants = 5;
    written.previews = 3;
    const QString path = dir.path() + QStringLiteral("/m");
    ASSERT_TRUE(written.save(path));
    BackupManifest read;
    ASSERT_TRUE(read.load(path));
    EXPECT_TRUE(read == written);

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    file.close();
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QByteArray(text).replace("previews=3\n", ""));
    file.close();
    BackupManifest partial;
    partial.messages = 99;
    EXPECT_FALSE(partial.load(path));
    EXPECT_EQ(partial.messages, 99);
    EXPECT_FALSE(partial.load(dir.path() + QStringLiteral("/missing")));
}
