#include "Ios6Chat.h"

#include "MsgSession.h"

#include <sqlite3.h>

#include <memory>

Ios6Chat::Ios6Chat(QMap<QString, MsgSession*>* chatTable)
    : chatTable(chatTable)
{
    // properties is never read, but a chat table without it is not one we know.
    selectSqls.append(QStringLiteral("select rowid, chat_identifier, room_name, properties from chat"));
    countSqls.append(QStringLiteral("select count(*) from chat"));
}

Ios6Chat::~Ios6Chat() = default;

bool Ios6Chat::handleRow(sqlite3_stmt* stmt)
{
    const qint64 rowid = sqlite3_column_int64(stmt, 0);
    const QString identifier = columnText(stmt, 1);

    auto session = std::make_unique<MsgSession>();
    session->name = columnText(stmt, 2);

    // Several chat rows may share an identifier (the same conversation over
    // SMS and iMessage, say); they fold into one session.
    chatRowids[identifier].append(rowid);

    // A later row replaces the session an earlier row made for the
    // identifier; that one holds only a name and nothing refers to it.
    MsgSession*& slot = (*chatTable)[identifier];
    delete slot;
    slot = session.release();
    return true;
}

QList<qint64> Ios6Chat::getChatRowids(const QString& chatIdentifier) const
{
    return chatRowids.value(chatIdentifier);
}
