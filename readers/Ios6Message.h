// Reader of the "message" table joined to "chat" through "chat_message_join":
// one message object per (message, chat) pair, newest first.
#pragma once

#include "query/CISQLiteQuery.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>

class MsgContent;

class Ios6Message : public CISQLiteQuery
{
public:
    // Messages made here pass to the owner of messageTable (chat rowid to
    // that chat's messages, in read order).
    explicit Ios6Message(QMap<qint64, QList<MsgContent*>>* messageTable);
    ~Ios6Message() override;

    bool handleRow(sqlite3_stmt* stmt) override;

    // message.text of a message rowid; an empty text for an unknown rowid.
    QString& getText(qint64 messageRowid);

    // A database date in the form the model carries: seconds, unshifted.
    static QDateTime toDateTime(qint64 value);

private:
    QString emptyText;
    QMap<qint64, QString> messageTexts;
    QMap<qint64, QList<MsgContent*>>* messageTable;
};
