// Reader of "chat_recoverable_message_join" (iOS 16 and later): the messages
// in Recently Deleted, with the date each was deleted and, as the conversation
// it belongs to, the first message still joined to a chat row of the same
// chat identifier (the rows the fixed model makes one conversation of).
#pragma once

#include "MsgDetail.h"
#include "query/CISQLiteQuery.h"

#include <QList>

class RecoverableMessages : public CISQLiteQuery
{
public:
    explicit RecoverableMessages(QList<MsgDeletedMessage>* messages);

    bool handleRow(sqlite3_stmt* stmt) override;
    bool memoryMapped() const override { return false; }

private:
    QList<MsgDeletedMessage>* messages;
};
