#include "RecoverableMessages.h"

#include "ArchivedBody.h"

#include <sqlite3.h>

namespace {

// Database dates above 10^9 are nanoseconds; both count from 2001.
qint64 secondsOf(qint64 value)
{
    return value > 1000000000 ? value / 1000000000 : value;
}

} // namespace

RecoverableMessages::RecoverableMessages(QList<MsgDeletedMessage>* messages)
    : messages(messages)
{
    selectSqls.append(QStringLiteral(
        "select m.rowid, j.delete_date, (select min(cmj.message_id) from chat_message_join as cmj "
        "join chat as other on other.rowid = cmj.chat_id where other.chat_identifier = c.chat_identifier), "
        "m.date, m.handle_id, m.is_from_me, m.service, m.text, m.attributedBody "
        "from chat_recoverable_message_join as j join message as m on m.rowid = j.message_id "
        "join chat as c on c.rowid = j.chat_id order by m.rowid"));
    countSqls.append(QStringLiteral("select count(*) from chat_recoverable_message_join"));
}

bool RecoverableMessages::handleRow(sqlite3_stmt* stmt)
{
    MsgDeletedMessage message;
    message.rowid = sqlite3_column_int64(stmt, 0);
    // A message joined to two chat rows is deleted from both at once.
    if (!messages->isEmpty() && messages->last().rowid == message.rowid)
        return true;
    message.dateDeleted = secondsOf(sqlite3_column_int64(stmt, 1));
    message.anchor = sqlite3_column_int64(stmt, 2);
    message.date = secondsOf(sqlite3_column_int64(stmt, 3));
    message.handleId = sqlite3_column_int64(stmt, 4);
    message.isFromMe = sqlite3_column_int(stmt, 5) != 0;
    message.service = columnText(stmt, 6);
    message.text = columnText(stmt, 7);
    if (message.text.isEmpty() && sqlite3_column_type(stmt, 8) == SQLITE_BLOB) {
        const QByteArray body = QByteArray::fromRawData(static_cast<const char*>(sqlite3_column_blob(stmt, 8)),
                                                        sqlite3_column_bytes(stmt, 8));
        ArchivedBody archived;
        if (ArchivedBody::parse(body, &archived))
            message.text = archived.text;
    }
    messages->append(message);
    return true;
}
