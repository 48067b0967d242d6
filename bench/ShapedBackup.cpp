#include "ShapedBackup.h"

#include "FixtureDatabase.h"

#include <QDir>
#include <QFile>

#include <sqlite3.h>

namespace {

// Texts are cut from this at varying offsets and lengths. It goes into the
// SQL as a literal: no apostrophe, no colon.
const char* const corpus =
    "Running a few minutes late, the train is stuck outside the station again. Can you save me a seat at "
    "dinner? Thanks for the pictures from the weekend, the kids look great. Remember the tickets for the concert "
    "on Friday, I left them on the kitchen table next to the keys. Café au lait or just a plain coffee? Grüße aus "
    "München, the weather is amazing and the hotel is right by the lake. Do not forget the milk and the bread on "
    "your way home, the shop closes at eight tonight. Landed safely, waiting for the luggage now. Happy birthday! "
    "See you tomorrow at the office, the meeting moved to ten thirty in the big room downstairs.";

// Per message: i (rowid), h (a hash of i and the seed), chat, sender
// (handle rowid, 0 for the owner), fromme, attach and text.
const char* const messageHashes =
    "WITH RECURSIVE m(i, h) AS (SELECT 1, (1103515245 + :seed) % 2147483648 UNION ALL "
    "SELECT i + 1, ((i + 1) * 1103515245 + :seed) % 2147483648 FROM m WHERE i < :messages) ";

// One handle and one chat row per one-to-one conversation; a tenth of the
// messages carry an attachment, placeholder only.
const char* const shortSql =
    "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < :chats) "
    "INSERT INTO handle (ROWID, id, country, service, person_centric_id) "
    "SELECT i, printf('+1555%07d', i), 'us', CASE WHEN i % 5 = 0 THEN 'SMS' ELSE 'iMessage' END, 'P' || i FROM k;\n"
    "INSERT INTO chat (ROWID, guid, style, state, account_id, chat_identifier, service_name, account_login, group_id, "
    "is_filtered, successful_query) SELECT rowid, service || ';-;' || id, 45, 3, 'A' || rowid, id, service, "
    "'E:owner@example.com', 'G' || rowid, 0, 1 FROM handle;\n"
    "INSERT INTO chat_handle_join (chat_id, handle_id) SELECT rowid, rowid FROM handle;\n"
    "CREATE TEMP TABLE plan AS :hashes"
    "SELECT i, h, 1 + h % :chats AS chat, 1 + h % :chats AS sender, (h / 7) % 2 AS fromme, i % 10 = 0 AS attach, "
    "CASE WHEN i % 10 = 0 THEN char(65532) ELSE substr(:corpus, 1 + h % 300, 60 + h % 21) END AS text FROM m;\n";

// Group chats of 3 to 12 members; a third of the messages carry an
// attachment, some with a caption; texts of 5 to 144 characters.
const char* const mediaSql =
    "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < :handles) "
    "INSERT INTO handle (ROWID, id, country, service, person_centric_id) "
    "SELECT i, printf('+1555%07d', i), 'us', 'iMessage', 'P' || i FROM k;\n"
    "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < :chats) "
    "INSERT INTO chat (ROWID, guid, style, state, account_id, chat_identifier, service_name, room_name, account_login, "
    "display_name, group_id, is_filtered, successful_query) SELECT i, 'iMessage;+;chat' || (100000 + i), 43, 3, 'A' || i, "
    "'chat' || (100000 + i), 'iMessage', 'chat' || (100000 + i), 'E:owner@example.com', "
    "CASE WHEN i % 2 THEN 'Group ' || i END, 'G' || i, 0, 1 FROM k;\n"
    "WITH RECURSIVE k(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM k WHERE i < 11) "
    "INSERT INTO chat_handle_join (chat_id, handle_id) SELECT chat.rowid, 1 + (chat.rowid * 5 + k.i) % :handles "
    "FROM chat JOIN k ON k.i < 3 + chat.rowid % 10;\n"
    "CREATE TEMP TABLE plan AS :hashes, p AS (SELECT i, h, 1 + h % :chats AS chat, (h / 7) % 2 AS fromme, "
    "i % 3 = 0 AS attach FROM m) "
    "SELECT i, h, chat, CASE WHEN fromme THEN 0 ELSE 1 + (chat * 5 + (h / 11) % (3 + chat % 10)) % :handles END AS sender, "
    "fromme, attach, CASE WHEN NOT attach THEN substr(:corpus, 1 + h % 300, 5 + h % 140) "
    "WHEN h % 4 = 0 THEN substr(:corpus, 1 + h % 300, 5 + h % 30) || ' ' || char(65532) ELSE char(65532) END AS text "
    "FROM p;\n";

// Messages, their chats and attachments from the plan of either profile.
// Dates in nanoseconds since 2001 from 2016 on, rowids mostly in date order.
const char* const commonSql =
    "CREATE TEMP TABLE dated AS SELECT *, 473385600000000000 + i * :step + (h % 1000) * (:step / 50) AS date FROM plan;\n"
    "INSERT INTO message (ROWID, guid, text, handle_id, attributedBody, service, account, account_guid, date, date_read, "
    "date_delivered, is_delivered, is_finished, is_from_me, is_read, is_sent, cache_has_attachments, item_type, "
    "other_handle, share_status, share_direction, error, destination_caller_id) "
    "SELECT i, printf('M-%08X-%d', h, i), text, sender, archived_body(text), chat.service_name, 'E:owner@example.com', "
    "'ACCOUNT', date, CASE WHEN fromme THEN 0 ELSE date + 60000000000 END, CASE WHEN fromme THEN date + 1000000000 "
    "ELSE 0 END, 1, 1, fromme, 1 - fromme, fromme, attach, 0, 0, 0, 0, 0, "
    "CASE WHEN fromme THEN 'E:owner@example.com' END FROM dated JOIN chat ON chat.rowid = dated.chat;\n"
    "INSERT INTO chat_message_join (chat_id, message_id, message_date) SELECT chat, i, date FROM dated;\n"
    "CREATE TEMP TABLE files AS SELECT row_number() OVER (ORDER BY i) AS a, i FROM dated WHERE attach;\n"
    "INSERT INTO attachment (ROWID, guid, created_date, start_date, filename, uti, mime_type, transfer_state, "
    "is_outgoing, transfer_name, total_bytes, original_guid) SELECT a, 'AT-' || a, date / 1000000000, 0, "
    "printf('%sSMS/Attachments/%02x/%02d/AT-%d/IMG_%d.jpeg', CASE WHEN a % 20 = 0 THEN '/var/mobile/Library/' "
    "ELSE '~/Library/' END, a % 256, a % 16, a, a), 'public.jpeg', 'image/jpeg', 5, fromme, 'IMG_' || a || '.jpeg', "
    "20000 + h % 4000000, 'AT-' || a FROM files JOIN dated USING (i);\n"
    "INSERT INTO message_attachment_join (message_id, attachment_id) SELECT i, a FROM files;\n";

// The media profile's address book names the handles whose rowid is not a
// multiple of four, and as many people again whom no chat mentions.
const char* const addressBookSql =
    "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 2 * :handles) "
    "INSERT INTO ABPerson (ROWID, First, Last, Kind, CreationDate, guid) "
    "SELECT i, 'Friend', 'Number ' || i, 0, 600000000 + i, 'P' || i FROM k WHERE i % 4 <> 0;\n"
    "INSERT INTO ABMultiValue (record_id, property, identifier, label, value, guid) "
    "SELECT rowid, 3, 0, 1, printf('+1555%07d', rowid), 'V' || rowid FROM ABPerson;\n";

QString withValues(QString sql, const QVector<QPair<QString, QString>>& values)
{
    for (const auto& value : values)
        sql.replace(value.first, value.second);
    return sql;
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// Read-only queries of the generated message database, for the manifest and
// the files.
class Reader
{
public:
    explicit Reader(const QString& path)
    {
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    }
    ~Reader() { sqlite3_close(db); }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // Calls row for each row until it returns false; false on an SQL error.
    template <typename Row>
    bool each(const char* sql, Row row)
    {
        sqlite3_stmt* stmt = nullptr;
        bool ok = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK;
        int rc = SQLITE_DONE;
        while (ok && (rc = sqlite3_step(stmt)) == SQLITE_ROW)
            ok = row(stmt);
        sqlite3_finalize(stmt);
        return ok && rc == SQLITE_DONE;
    }
    qint64 number(const QString& sql)
    {
        qint64 value = -1;
        each(sql.toUtf8().constData(), [&value](sqlite3_stmt* stmt) {
            value = sqlite3_column_int64(stmt, 0);
            return true;
        });
        return value;
    }

private:
    sqlite3* db = nullptr;
};

// Every attachment's file, and the preview of the message's side beside it.
bool writeAttachmentFiles(const QString& folder, Reader& sms, BackupManifest* manifest)
{
    return sms.each("select filename, is_outgoing from attachment order by rowid", [&](sqlite3_stmt* stmt) {
        QString path = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        path = path.mid(path.indexOf(QStringLiteral("SMS/Attachments/")));
        const QString file = folder + QLatin1Char('/') + path;
        const QString preview = file.left(file.lastIndexOf(QLatin1Char('.')))
            + (sqlite3_column_int(stmt, 1) ? QStringLiteral("-preview-right.jpg") : QStringLiteral("-preview-left.jpg"));
        ++manifest->attachmentsOnDisk;
        ++manifest->previews;
        return QDir().mkpath(file.left(file.lastIndexOf(QLatin1Char('/')))) && writeFile(file, "attachment")
            && writeFile(preview, "preview");
    });
}

} // namespace

bool ShapedBackup::generate(const QString& folder, const BackupPlan& plan, BackupManifest* manifest, QString* error)
{
    const bool media = plan.profile == BackupProfile::Media;
    const qint64 chats = media ? qMax<qint64>(4, plan.messages / 20000) : qMax<qint64>(8, plan.messages / 100);
    const qint64 handles = media ? qMax<qint64>(24, chats * 3) : chats;
    // Replaced in this order: the hashes hold the seed and the message count.
    const QVector<QPair<QString, QString>> values = {
        {QStringLiteral(":hashes"), QString::fromLatin1(messageHashes)},
        {QStringLiteral(":messages"), QString::number(plan.messages)},
        {QStringLiteral(":chats"), QString::number(chats)},
        {QStringLiteral(":handles"), QString::number(handles)},
        {QStringLiteral(":seed"), QString::number(plan.seed % 2147483648ULL)},
        {QStringLiteral(":step"), QString::number(8LL * 365 * 86400 * 1000000000LL / plan.messages)},
        {QStringLiteral(":corpus"), QLatin1Char('\'') + QString::fromUtf8(corpus) + QLatin1Char('\'')},
    };
    const QString sms = folder + QStringLiteral("/SMS/sms.db");
    const QString book = folder + QStringLiteral("/AddressBook/AddressBook.sqlitedb");
    if (!QDir().mkpath(folder + QStringLiteral("/SMS")) || (media && !QDir().mkpath(folder + QStringLiteral("/AddressBook")))) {
        *error = QStringLiteral("cannot create %1").arg(folder);
        return false;
    }
    const QString sql = FixtureDatabase::readText(QStringLiteral(MSGFIXTURE_SCHEMA_DIR "/ios14-sms.sql"))
        + withValues(QString::fromLatin1(media ? mediaSql : shortSql) + QString::fromLatin1(commonSql), values);
    if (!FixtureDatabase::create(sms, sql, FixtureDatabase::Journal::Rollback, error))
        return false;
    if (media
        && !FixtureDatabase::create(book, FixtureDatabase::readText(QStringLiteral(MSGFIXTURE_SCHEMA_DIR "/addressbook.sql"))
                                              + withValues(QString::fromLatin1(addressBookSql), values),
                                    FixtureDatabase::Journal::WalOnly, error))
        return false;

    BackupManifest made;
    Reader reader(sms);
    if (media && !writeAttachmentFiles(folder, reader, &made)) {
        *error = QStringLiteral("cannot write the attachments of %1").arg(folder);
        return false;
    }
    // Sessions are the identifiers with a message; their participants the
    // distinct handles of their chat rows.
    const QString withMessages = QStringLiteral(
        "select count(*) from (select distinct c.chat_identifier, j.handle_id from chat c join chat_handle_join j "
        "on c.rowid = j.chat_id where c.chat_identifier in (select chat_identifier from chat join chat_message_join "
        "on chat.rowid = chat_id) and %1)");
    made.messages = reader.number(QStringLiteral("select count(*) from message"));
    made.chatRows = reader.number(QStringLiteral("select count(*) from chat"));
    made.chatIdentifiers = reader.number(QStringLiteral("select count(distinct chat_identifier) from chat"));
    made.sharedIdentifiers = reader.number(
        QStringLiteral("select count(*) from (select chat_identifier from chat group by 1 having count(*) > 1)"));
    made.handles = reader.number(QStringLiteral("select count(*) from handle"));
    made.attachments = reader.number(QStringLiteral("select count(*) from message_attachment_join"));
    made.contacts = media ? 2 * handles - 2 * handles / 4 : 0;
    made.sessions = reader.number(QStringLiteral("select count(distinct chat_identifier) from chat join chat_message_join "
                                                 "on chat.rowid = chat_id"));
    made.participants = reader.number(withMessages.arg(QStringLiteral("1")));
    made.namedParticipants = media ? reader.number(withMessages.arg(QStringLiteral("j.handle_id % 4 <> 0"))) : 0;
    *manifest = made;
    return true;
}
