#include "FilteredChats.h"

#include <sqlite3.h>

FilteredChats::FilteredChats(QList<MsgFilteredChat>* chats)
    : chats(chats)
{
    // One identifier may have several chat rows; the strongest filter wins.
    selectSqls.append(QStringLiteral(
        "select max(c.is_filtered), (select min(cmj.message_id) from chat_message_join as cmj "
        "join chat as other on other.rowid = cmj.chat_id where other.chat_identifier = c.chat_identifier) "
        "from chat as c where c.is_filtered > 0 group by c.chat_identifier order by c.chat_identifier"));
    countSqls.append(QStringLiteral("select count(distinct chat_identifier) from chat where is_filtered > 0"));
}

bool FilteredChats::handleRow(sqlite3_stmt* stmt)
{
    MsgFilteredChat chat;
    chat.filter = sqlite3_column_int(stmt, 0);
    chat.anchor = sqlite3_column_int64(stmt, 1);
    if (chat.anchor != 0)
        chats->append(chat);
    return true;
}
