// Reader of the "chat" table: one conversation per chat identifier.
#pragma once

#include "query/CISQLiteQuery.h"

#include <QList>
#include <QMap>
#include <QString>

class MsgSession;

class Ios6Chat : public CISQLiteQuery
{
public:
    // Sessions made here pass to the owner of chatTable.
    explicit Ios6Chat(QMap<QString, MsgSession*>* chatTable);
    ~Ios6Chat() override;

    bool handleRow(sqlite3_stmt* stmt) override;

    // Rowids of every chat row read with this identifier, in read order.
    QList<qint64> getChatRowids(const QString& chatIdentifier) const;

private:
    QMap<QString, QList<qint64>> chatRowids;
    QMap<QString, MsgSession*>* chatTable;
};
