#pragma once

#include "MsgServiceExport.h"

#include <QList>
#include <QMap>
#include <QString>

class MsgContent;
class MsgIdentifier;

// One conversation. Owns its participants and its messages.
// The member layout is shared with hosts: never add, remove or reorder.
//
// Copies are deep: a copy owns copies of the source's participants and
// messages, so every owned object is deleted exactly once.
class MSGSERVICE_EXPORT MsgSession
{
public:
    MsgSession();
    MsgSession(const MsgSession& other);
    ~MsgSession();
    MsgSession& operator=(const MsgSession& other);

    QString name;                               // chat.room_name
    int unreadCount;                            // received messages not yet read
    QMap<qint64, MsgIdentifier*> participants;  // owned, by handle rowid
    QList<MsgContent*> messages;                // owned
};
