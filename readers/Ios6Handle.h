// Reader of the "handle" table joined to "chat" through "chat_handle_join":
// the participants of every chat row.
#pragma once

#include "query/CISQLiteQuery.h"

#include <QMap>

class MsgIdentifier;

class Ios6Handle : public CISQLiteQuery
{
public:
    // Identifiers made here pass to the owner of handleTable, which maps
    // chat rowid, then handle rowid, to the participant.
    explicit Ios6Handle(QMap<qint64, QMap<qint64, MsgIdentifier*>>* handleTable);
    ~Ios6Handle() override;

    bool handleRow(sqlite3_stmt* stmt) override;

private:
    QMap<qint64, QMap<qint64, MsgIdentifier*>>* handleTable;
};
