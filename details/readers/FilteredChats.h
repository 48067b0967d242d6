// Reader of chat.is_filtered: the conversations iOS filtered (unknown
// senders, junk), each with the first message joined to a chat row of its
// chat identifier, by which a host finds the conversation.
#pragma once

#include "MsgDetail.h"
#include "query/CISQLiteQuery.h"

#include <QList>

class FilteredChats : public CISQLiteQuery
{
public:
    explicit FilteredChats(QList<MsgFilteredChat>* chats);

    bool handleRow(sqlite3_stmt* stmt) override;
    bool memoryMapped() const override { return false; }

private:
    QList<MsgFilteredChat>* chats;
};
