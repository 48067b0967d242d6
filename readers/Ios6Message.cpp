#include "Ios6Message.h"

#include "AttributedBody.h"
#include "MsgContent.h"

#include <QDateTime>

#include <sqlite3.h>

#include <cstring>
#include <memory>

namespace {

// Richest schema first. The first two need item_type, share_status,
// share_direction and other_handle, which iOS 6 lacks; the first also needs
// attributedBody. The third reads only what every schema with chats has.
const char* const selectWithBody =
    "select chat.rowid, m.rowid, m.subject, m.text, m.handle_id, m.date, m.service, m.is_from_me, m.is_read, "
    "m.is_sent, m.date_read, m.error, m.item_type, m.share_status, m.share_direction, m.other_handle, "
    "m.attributedBody from message as m inner join chat_message_join as cmj on m.rowid = cmj.message_id "
    "inner join chat on chat.rowid = cmj.chat_id order by m.date desc";
const char* const selectWithoutBody =
    "select chat.rowid, m.rowid, m.subject, m.text, m.handle_id, m.date, m.service, m.is_from_me, m.is_read, "
    "m.is_sent, m.date_read, m.error, m.item_type, m.share_status, m.share_direction, m.other_handle,0 "
    "from message as m inner join chat_message_join as cmj on m.rowid = cmj.message_id "
    "inner join chat on chat.rowid = cmj.chat_id order by m.date desc";
const char* const selectOldest =
    "select chat.rowid, m.rowid, m.subject, m.text, m.handle_id, m.date, m.service, m.is_from_me, m.is_read, "
    "m.is_sent, m.date_read, m.error from message as m inner join chat_message_join as cmj on m.rowid = "
    "cmj.message_id inner join chat on chat.rowid = cmj.chat_id order by m.date desc";
const char* const countMessages =
    "select count(*) from message as m inner join chat_message_join as cmj on m.rowid = cmj.message_id "
    "inner join chat on chat.rowid = cmj.chat_id";

} // namespace

Ios6Message::Ios6Message(QMap<qint64, QList<MsgContent*>>* messageTable)
    : messageTable(messageTable)
{
    selectSqls.append(QString::fromLatin1(selectWithBody));
    selectSqls.append(QString::fromLatin1(selectWithoutBody));
    selectSqls.append(QString::fromLatin1(selectOldest));
    countSqls.append(QString::fromLatin1(countMessages));
}

Ios6Message::~Ios6Message() = default;

QDateTime Ios6Message::toDateTime(qint64 value)
{
    // Nanoseconds (iOS 11 and later) are brought to seconds; 10^9 itself is
    // taken as seconds. The value stays counted from the database's epoch.
    if (value > 1000000000)
        value /= 1000000000;
    return QDateTime::fromTime_t(static_cast<uint>(static_cast<quint64>(value) & 0xFFFFFFFFu));
}

bool Ios6Message::handleRow(sqlite3_stmt* stmt)
{
    const qint64 chatRowid = sqlite3_column_int64(stmt, 0);
    const qint64 messageRowid = sqlite3_column_int64(stmt, 1);
    // Compared as bytes: "SMS" is ASCII, and no other text equals it.
    const unsigned char* service = sqlite3_column_text(stmt, 6);
    const bool isSms = service && sqlite3_column_bytes(stmt, 6) == 3 && std::memcmp(service, "SMS", 3) == 0;

    auto message = std::make_unique<MsgContent>();
    message->id = messageRowid;
    message->handleId = sqlite3_column_int64(stmt, 4);
    message->date = toDateTime(sqlite3_column_int64(stmt, 5));
    message->dateRead = toDateTime(sqlite3_column_int64(stmt, 10));
    message->subject = columnText(stmt, 2);
    message->isNonSms = isSms ? 0 : 1;
    message->isFromMe = sqlite3_column_int(stmt, 7);
    message->isRead = sqlite3_column_int(stmt, 8);
    message->isSent = sqlite3_column_int(stmt, 9);
    message->error = sqlite3_column_int(stmt, 11);

    if (sqlite3_data_count(stmt) > 12) {
        message->itemType = sqlite3_column_int(stmt, 12);
        message->shareStatus = sqlite3_column_int(stmt, 13);
        message->shareDirection = sqlite3_column_int(stmt, 14);
        message->otherHandle = sqlite3_column_int(stmt, 15);
        // The second statement delivers the literal 0 here, which reads as the
        // one-byte text "0" and decodes to nothing.
        const void* body = sqlite3_column_blob(stmt, 16);
        const int bodyBytes = sqlite3_column_bytes(stmt, 16);
        if (body && bodyBytes >= 1)
            message->attributedText =
                textFromAttributedBody(QByteArray(static_cast<const char*>(body), bodyBytes));
    } else {
        message->itemType = 0;
        message->shareStatus = 0;
        message->shareDirection = 0;
        message->otherHandle = 0;
    }

    messageTexts.insert(messageRowid, columnText(stmt, 3));
    (*messageTable)[chatRowid].append(message.get());
    message.release();
    return true;
}

QString& Ios6Message::getText(qint64 messageRowid)
{
    const auto it = messageTexts.find(messageRowid);
    return it != messageTexts.end() ? it.value() : emptyText;
}
