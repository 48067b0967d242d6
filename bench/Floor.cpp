#include "Floor.h"

#include "SqlUtils.h"

#include <QDir>
#include <QFile>

#include <sqlite3.h>

#include <dirent.h>

#include <string>
#include <vector>

namespace {

// The library's statements, word for word.
const char* const schemaCount = "select count(*) from sqlite_master where type = 'table' and name = 'chat_message_join'";
const char* const chatCount = "select count(*) from chat";
const char* const chatRows = "select rowid, chat_identifier, room_name, properties from chat";
const char* const handleCount =
    "select count(*) from handle as h inner join chat_handle_join as chj on h.rowid = chj.handle_id "
    "inner join chat on chat.rowid = chj.chat_id";
const char* const handleRows =
    "select chat.rowid, h.rowid, h.id, h.country, h.uncanonicalized_id from handle as h "
    "inner join chat_handle_join as chj on h.rowid = chj.handle_id inner join chat on chat.rowid = chj.chat_id";
const char* const messageCount =
    "select count(*) from message as m inner join chat_message_join as cmj on m.rowid = cmj.message_id "
    "inner join chat on chat.rowid = cmj.chat_id";
const char* const messageRows =
    "select chat.rowid, m.rowid, m.subject, m.text, m.handle_id, m.date, m.service, m.is_from_me, m.is_read, "
    "m.is_sent, m.date_read, m.error, m.item_type, m.share_status, m.share_direction, m.other_handle, "
    "m.attributedBody from message as m inner join chat_message_join as cmj on m.rowid = cmj.message_id "
    "inner join chat on chat.rowid = cmj.chat_id order by m.date desc";
const char* const attachmentCount =
    "select count(*) from attachment as a inner join message_attachment_join as maj on a.rowid = maj.attachment_id "
    "inner join message as m on m.rowid = maj.message_id";
const char* const attachmentRows =
    "select m.rowid, a.rowid, a.filename, a.mime_type from attachment as a "
    "inner join message_attachment_join as maj on a.rowid = maj.attachment_id "
    "inner join message as m on m.rowid = maj.message_id order by a.rowid";
const char* const personCount = "select count(*) from abperson";
const char* const personRows = "select rowid, prefix, first, middle, last, suffix from abperson";
const char* const addressCount = "select count(*) from abmultivalue where property in (3, 4)";
const char* const addressRows = "select record_id, value, property from abmultivalue where property in (3, 4)";

// One statement on a connection of its own, as the library's query base does.
class Query
{
public:
    Query(const QString& path, const char* sql)
    {
        if (SqlUtils::openSqlite(path, &db) == SQLITE_OK)
            sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
    }
    ~Query()
    {
        sqlite3_finalize(stmt);
        sqlite3_close(db);
    }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    bool next() { return stmt && sqlite3_step(stmt) == SQLITE_ROW; }
    sqlite3_stmt* get() const { return stmt; }

private:
    sqlite3* db = nullptr;
    sqlite3_stmt* stmt = nullptr;
};

class Reader
{
public:
    explicit Reader(FloorCounts& counts) : counts(counts) {}

    qint64 integer(sqlite3_stmt* stmt, int column)
    {
        const qint64 value = sqlite3_column_int64(stmt, column);
        counts.checksum += static_cast<quint64>(value);
        return value;
    }
    // Text as the readers fetch it: the pointer first, then the length.
    const char* text(sqlite3_stmt* stmt, int column, int* bytes = nullptr)
    {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
        const int size = sqlite3_column_bytes(stmt, column);
        counts.checksum += static_cast<quint64>(size) + (data && size > 0 ? static_cast<unsigned char>(data[0]) : 0);
        if (bytes)
            *bytes = size;
        return data;
    }
    void blob(sqlite3_stmt* stmt, int column)
    {
        const auto* data = static_cast<const unsigned char*>(sqlite3_column_blob(stmt, column));
        const int size = sqlite3_column_bytes(stmt, column);
        counts.checksum += static_cast<quint64>(size) + (data && size > 0 ? data[size - 1] : 0);
    }

private:
    FloorCounts& counts;
};

qint64 count(const QString& path, const char* sql)
{
    Query query(path, sql);
    return query.next() ? sqlite3_column_int(query.get(), 0) : -1;
}

// What the attachment lookup lists: the folder of a stored path, relative to
// the backup once the device's library prefix is gone.
std::string attachmentFolder(const char* filename, int bytes)
{
    std::string path(filename ? filename : "", filename ? static_cast<size_t>(bytes) : 0);
    for (const char* prefix : {"~/Library/", "/var/mobile/Library/"}) {
        if (path.compare(0, std::char_traits<char>::length(prefix), prefix) == 0)
            path.erase(0, std::char_traits<char>::length(prefix));
    }
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace

FloorCounts runFloor(const QString& backupFolder)
{
    FloorCounts counts;
    Reader read(counts);
    const QDir folder(backupFolder);
    const QString smsDb = folder.absoluteFilePath(QStringLiteral("SMS/sms.db"));

    counts.schemaFound = count(smsDb, schemaCount) > 0;
    if (!counts.schemaFound)
        return counts;

    if (count(smsDb, chatCount) > 0) {
        Query query(smsDb, chatRows);
        for (; query.next(); ++counts.chatRows) {
            read.integer(query.get(), 0);
            read.text(query.get(), 1);
            read.text(query.get(), 2);
        }
    }

    if (count(smsDb, handleCount) > 0) {
        Query query(smsDb, handleRows);
        for (; query.next(); ++counts.handleRows) {
            read.integer(query.get(), 0);
            read.integer(query.get(), 1);
            for (int column = 2; column <= 4; ++column)
                read.text(query.get(), column);
        }
    }

    if (count(smsDb, messageCount) > 0) {
        Query query(smsDb, messageRows);
        for (sqlite3_stmt* row = query.get(); query.next(); ++counts.messageRows) {
            read.integer(row, 0);
            read.integer(row, 1);
            read.text(row, 6);
            read.integer(row, 4);
            read.integer(row, 5);
            read.integer(row, 10);
            read.text(row, 2);
            for (const int column : {7, 8, 9, 11})
                counts.checksum += static_cast<quint64>(sqlite3_column_int(row, column));
            if (sqlite3_data_count(row) > 12) {
                for (int column = 12; column <= 15; ++column)
                    counts.checksum += static_cast<quint64>(sqlite3_column_int(row, column));
                read.blob(row, 16);
            }
            read.text(row, 3);
        }
    }

    std::vector<std::string> folders;
    if (count(smsDb, attachmentCount) > 0) {
        Query query(smsDb, attachmentRows);
        for (; query.next(); ++counts.attachmentRows) {
            read.integer(query.get(), 0);
            int bytes = 0;
            const char* filename = read.text(query.get(), 2, &bytes);
            read.text(query.get(), 3);
            folders.push_back(attachmentFolder(filename, bytes));
        }
    }
    const std::string root = QFile::encodeName(folder.absolutePath()).toStdString() + '/';
    for (const std::string& relative : folders) {
        DIR* dir = opendir((root + relative).c_str());
        if (!dir)
            continue;
        ++counts.foldersListed;
        while (const dirent* entry = readdir(dir))
            counts.checksum += static_cast<unsigned char>(entry->d_name[0]);
        closedir(dir);
    }

    QString addressBook = folder.absoluteFilePath(QStringLiteral("AddressBook/AddressBook.sqlitedb"));
    if (!QFile::exists(addressBook))
        addressBook = folder.absoluteFilePath(QStringLiteral("AddressBook/AddressBook.db"));
    if (count(addressBook, personCount) > 0) {
        Query query(addressBook, personRows);
        for (; query.next(); ++counts.personRows) {
            read.integer(query.get(), 0);
            for (int column = 1; column <= 5; ++column)
                read.text(query.get(), column);
        }
    }
    if (count(addressBook, addressCount) > 0) {
        Query query(addressBook, addressRows);
        for (; query.next(); ++counts.addressRows) {
            read.integer(query.get(), 0);
            read.text(query.get(), 1);
            counts.checksum += static_cast<quint64>(sqlite3_column_int(query.get(), 2));
        }
    }
    return counts;
}
